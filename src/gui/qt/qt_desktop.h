// SPDX-License-Identifier: MIT
#pragma once

#include "window/desktop.h"

class QWidget;

namespace orvik {

class TextBox;

// The desktop as Qt Widgets gives it: the window's two text boxes, the application's clipboard,
// QMessageBox and the application's override cursor. The boxes and the message boxes' parent belong
// to the window, which outlives this object.
class QtDesktop final : public Desktop
{
public:
    QtDesktop(QWidget* messageParent, TextBox* source, TextBox* result);

    std::u16string BoxText(Box box) override;
    void SetBoxText(Box box, std::u16string_view text) override;
    void ClearClipboard() override;
    std::u16string ClipboardText() override;
    void SetClipboardText(std::u16string_view text) override;
    void ShowMessage(std::u16string_view prompt, std::u16string_view title) override;
    // With QFile.
    std::string ReadFile(std::u16string_view file, std::size_t limit) override;
    std::u16string DescribeCurrentError() override;
    void BeginBusy() noexcept override;
    void EndBusy() noexcept override;

private:
    TextBox& BoxFor(Box box) const;

    QWidget* m_messageParent;
    TextBox* m_source;
    TextBox* m_result;
};

} // namespace orvik
