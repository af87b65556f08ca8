// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <memory>

class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QPushButton;

namespace orvik {

class CloseRequestWatch;
class MainCommands;
class QtDesktop;
class TextBox;
class WaylandWindowGuard;

// The program's one window: the source box (upper) for the damaged text, the result box (lower)
// for the repaired text, and three buttons: paste the clipboard and convert, convert, copy the
// result. Its size is fixed. Closing it ends the program; nothing is saved.
class frmMain final : public QWidget
{
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Reads `file` into the source box and converts it (MainCommands::OpenFile): a file named
    // when the program starts, or dropped on the window.
    void OpenFile(const QString& file);

protected:
    void closeEvent(QCloseEvent* event) override;
    // A local file dragged over the window, its boxes included, may be dropped; dropped, the first
    // one is opened.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs one of the commands' click handlers; a close request that comes meanwhile is honoured
    // once it returns.
    void Run(void (MainCommands::*handler)() noexcept);

    void CmdConvert_Click();
    void cmdPaste_Click();
    void cmdCopy_Click();

    QPushButton* cmdPaste;
    TextBox* rtbSource;
    QPushButton* CmdConvert;
    TextBox* rtbResult;
    QPushButton* cmdCopy;

    std::unique_ptr<QtDesktop> m_desktop;
    std::unique_ptr<MainCommands> m_commands;
    std::unique_ptr<CloseRequestWatch> m_closeWatch;
    std::unique_ptr<WaylandWindowGuard> m_waylandGuard;
};

} // namespace orvik
