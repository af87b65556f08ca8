// SPDX-License-Identifier: MIT
// Owns the Wayland clipboard with the bytes of FILE, offered as TYPE alone:
//
//     wayland_clipboard_owner TYPE FILE [hang]
//
// Prints "ready" once it owns the clipboard, and serves it until it is killed; with "hang", the
// first request for the text hangs it for good. (weston's clipboard keeper asks for a new
// selection at once and serves its own copy from then on: an owner that hangs is the only one
// that stays in charge.) A client takes the clipboard with the serial of an input event: it shows
// a small window, takes the clipboard at the first key pressed there (the test presses Shift
// until it is ready), and hides the window again.
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QRasterWindow>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <utility>

namespace {

class HangingData final : public QMimeData
{
protected:
    QVariant retrieveData(const QString&, QMetaType) const override
    {
        for (;;)
            pause();
    }
};

class OwnerWindow final : public QRasterWindow
{
public:
    QMimeData* m_data = nullptr;

protected:
    void keyPressEvent(QKeyEvent*) override
    {
        if (!m_data)
            return;
        QGuiApplication::clipboard()->setMimeData(std::exchange(m_data, nullptr));
        hide();
        std::puts("ready");
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    // Its window hidden, it still owns the clipboard.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QFile file(argc >= 3 ? QString::fromLocal8Bit(argv[2]) : QString());
    const bool hang = argc == 4 && std::strcmp(argv[3], "hang") == 0;
    if (argc != 3 + hang || !file.open(QIODevice::ReadOnly))
        qFatal("usage: wayland_clipboard_owner TYPE FILE [hang]");
    OwnerWindow window;
    window.m_data = hang ? new HangingData : new QMimeData;
    window.m_data->setData(QString::fromLatin1(argv[1]), file.readAll());
    window.resize(16, 16);
    window.show();
    return QGuiApplication::exec();
}
