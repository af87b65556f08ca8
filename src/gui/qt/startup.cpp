// SPDX-License-Identifier: MIT
#include "gui/qt/startup.h"

#include "gui/qt/frm_main.h"
#include "gui/qt/qt_text.h"
#include "orvik_version.h"

#include <QApplication>
#include <QByteArray>
#include <QLibraryInfo>
#include <QLocale>
#include <QString>
#include <QTranslator>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#ifdef ORVIK_X11
#include <xcb/xcb.h>
#endif

namespace orvik {

namespace {

// The line printed when no window can be opened.
constexpr const char* kNoDisplayMessage
    = "orvik : impossible d'ouvrir la fenêtre, aucun affichage graphique n'est accessible.";

struct HeldMessage
{
    QtMsgType type;
    QByteArray file;
    QByteArray function;
    QByteArray category;
    int line;
    QString text;
};

std::mutex g_heldMutex;
QtMessageHandler g_previousHandler = nullptr;
std::vector<HeldMessage> g_held;

void HoldMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg) {
        std::fputs(kNoDisplayMessage, stderr);
        std::fputc('\n', stderr);
        std::fflush(stderr);
        // Leave at once: Qt would abort as soon as this handler returns, and nothing has been
        // built yet that needs tearing down.
        std::_Exit(EXIT_FAILURE);
    }
    const std::lock_guard lock(g_heldMutex);
    g_held.push_back({ type, QByteArray(context.file), QByteArray(context.function),
        QByteArray(context.category), context.line, text });
}

// While it lives, holds back Qt's messages, and turns a fatal one into one French line on stderr
// and exit status 1. Qt's only fatal message while a QApplication is being built is its failure
// to reach the display; left alone, it would print several English lines and abort.
//
// Build one before the QApplication and Release() it once the application stands: the messages
// held back then go, in order, to the handler that was in place before.
class StartupMessageGuard
{
public:
    StartupMessageGuard() { g_previousHandler = qInstallMessageHandler(HoldMessage); }
    ~StartupMessageGuard() { Release(); }
    StartupMessageGuard(const StartupMessageGuard&) = delete;
    StartupMessageGuard& operator=(const StartupMessageGuard&) = delete;

    void Release();

private:
    bool m_active = true;
};

void StartupMessageGuard::Release()
{
    if (!m_active)
        return;
    m_active = false;
    qInstallMessageHandler(g_previousHandler);
    std::vector<HeldMessage> held;
    {
        const std::lock_guard lock(g_heldMutex);
        held.swap(g_held);
    }
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(message.file.isNull() ? nullptr : message.file.constData(),
            message.line, message.function.isNull() ? nullptr : message.function.constData(),
            message.category.isNull() ? nullptr : message.category.constData());
        if (g_previousHandler)
            g_previousHandler(message.type, context, message.text);
        else
            qt_message_output(message.type, context, message.text);
    }
}

// The connection through which the X display was found, held until Qt has made its own: an X
// server (Xvfb at least) refuses about one connection in two made just after another client
// left, and Qt would then say it cannot reach the display.
struct ProbeConnection
{
#ifdef ORVIK_X11
    struct Disconnect
    {
        void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
    };
    std::unique_ptr<xcb_connection_t, Disconnect> connection;
#endif
};

// Qt reaches the X display that "-display NAME" names, while the program's own connections (the
// probe below, the clipboard's reader) follow $DISPLAY: set from it, all reach the same display.
void FollowDisplayArgument(int argc, char* argv[])
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-display") == 0 || std::strcmp(argv[i], "--display") == 0) {
            qputenv("DISPLAY", argv[i + 1]);
            return;
        }
    }
}

// Asks Qt for its X11 platform wherever an X display is reachable, in a Wayland session too
// (through XWayland, which GNOME, KDE and most compositors provide), whether or not Qt's Wayland
// plugin is installed: the window then behaves alike on every desktop, with the frame its window
// manager draws. Without an X display Qt picks Wayland itself. A platform the user chose
// (QT_QPA_PLATFORM, or -platform among the arguments) is left alone.
ProbeConnection ChoosePlatform(int argc, char* argv[])
{
    ProbeConnection probe;
#ifdef ORVIK_X11
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qEnvironmentVariableIsEmpty("DISPLAY"))
        return probe;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return probe;
    probe.connection.reset(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(probe.connection.get()) == 0)
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("xcb"));
#else
    (void)argc, (void)argv;
#endif
    return probe;
}

} // namespace

int RunProgram(int& argc, char* argv[], std::unique_ptr<QObject> eventFilter)
{
    FollowDisplayArgument(argc, argv);
    ProbeConnection probe = ChoosePlatform(argc, argv);
    StartupMessageGuard startupMessages;
    QApplication app(argc, argv);
    probe = {};
    startupMessages.Release();
    if (eventFilter) {
        eventFilter->setParent(&app);
        app.installEventFilter(eventFilter.release());
    }
    SetApplicationIdentity();
    InstallFrenchTranslations(app);

    frmMain window;
    window.show();
    // "orvik lettre.txt", or the desktop's "Open with": the file's text, converted. QApplication
    // has taken its own options out of the arguments.
    if (argc > 1)
        window.OpenFile(FileNameFromBytes(argv[1]));
    const int status = QApplication::exec();
    // Qt 6.4's Wayland plugin can deadlock while it closes its connection (its event thread waits
    // for a read that the main thread, then waiting for that thread, never makes), which leaves
    // the program running without a window. Once the window has gone there is nothing left to
    // save, so on Wayland the program leaves at once.
    if (QGuiApplication::platformName().startsWith(u"wayland")) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

void SetApplicationIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("orvik"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kVersionDisplay));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kAppId));
}

bool InstallFrenchTranslations(QCoreApplication& app)
{
    auto* translator = new QTranslator(&app);
    const bool loaded
        = translator->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"),
            QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!loaded || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}

} // namespace orvik
