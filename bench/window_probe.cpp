// SPDX-License-Identifier: MIT
// A measuring probe: the program's own start (RunProgram) with an event filter that times the
// program from outside its code and prints what it measures on stdout. scripts/measure_window.sh
// drives it under Xvfb; it is not a test.
//
//   ORVIK_PROBE_T0_NS   the launch time, CLOCK_REALTIME in ns (date +%s%N), for the start-up time
//   ORVIK_PROBE_QUIT    when set, quit once the first frame is on screen
//
// Lines printed: "first_frame_ms <ms since launch>"; then for each click on the paste or the copy
// button "<button>_ms <time from the click to the handler's return> busy <yes|no|->" (whether the
// busy cursor showed at every box write), "<button>_box_written_at_ms <t> ..." (when each box
// write ended), "rss_kib <VmRSS> after <button>", and a second later
// "<button>_shown_ms <click to the end of the first repaint after the handler> last_repaint_ms
// <click to the end of the last repaint so far>". At the next click: "event_loop_max_stall_ms
// <longest wait of the event loop since the previous handler returned>".
#include "gui/qt/startup.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

namespace {

qint64 NowNs()
{
    // The wall clock, as date +%s%N reads it.
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch())
        .count();
}

QByteArray ResidentKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return "?";
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).simplified().split(' ').value(0);
    }
    return "?";
}

class Probe final : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_firstFrameSeen) {
            m_firstFrameSeen = true;
            // Runs once the whole first frame has been painted and handed to the window system.
            QTimer::singleShot(0, this, &Probe::FirstFrame);
        } else if (event->type() == QEvent::Paint && m_click.isValid()) {
            QTimer::singleShot(0, this, [this] {
                m_lastPaintDoneNs = m_click.nsecsElapsed();
                if (m_handlerDone && m_firstPaintAfterHandlerNs == 0)
                    m_firstPaintAfterHandlerNs = m_lastPaintDoneNs;
            });
        } else if (event->type() == QEvent::MouseButtonRelease) {
            auto* button = qobject_cast<QPushButton*>(watched);
            if (button
                && (button->objectName() == u"cmdPaste" || button->objectName() == u"cmdCopy"))
                StartClick(button->objectName());
        }
        return false;
    }

private:
    void FirstFrame()
    {
        const QByteArray launch = qgetenv("ORVIK_PROBE_T0_NS");
        if (!launch.isEmpty())
            std::printf("first_frame_ms %.1f\n", double(NowNs() - launch.toLongLong()) / 1e6);
        std::fflush(stdout);
        for (QWidget* widget : QApplication::allWidgets()) {
            if (auto* box = qobject_cast<QTextEdit*>(widget))
                connect(box, &QTextEdit::textChanged, this, &Probe::NoteCursor);
        }
        // Ticks as often as the event loop lets it: the longest gap between two ticks is the
        // longest time the window could not answer the user.
        auto* ticker = new QTimer(this);
        connect(ticker, &QTimer::timeout, this, [this] {
            if (m_lastTick.isValid())
                m_maxStallNs = std::max(m_maxStallNs, m_lastTick.nsecsElapsed());
            m_lastTick.start();
        });
        ticker->start(5);
        if (qEnvironmentVariableIsSet("ORVIK_PROBE_QUIT"))
            QApplication::quit();
        else
            QTimer::singleShot(1000, this, [] {
                std::printf("rss_kib %s at rest\n", ResidentKib().constData());
                std::fflush(stdout);
            });
    }

    void StartClick(const QString& name)
    {
        if (m_sinceHandler.isValid()) {
            std::printf(
                "event_loop_max_stall_ms %.1f since the last click\n", double(m_maxStallNs) / 1e6);
            std::fflush(stdout);
        }
        m_busyWhileWriting = true;
        m_boxWritten = false;
        m_handlerDone = false;
        m_firstPaintAfterHandlerNs = 0;
        m_writesMs.clear();
        m_click.start();
        AfterHandler(name);
    }

    // Runs once the click handler has returned. The handler lets the window repaint as it starts
    // its work, under the busy cursor, which runs zero timers too: those are not its return.
    void AfterHandler(const QString& name)
    {
        QTimer::singleShot(0, this, [this, name] {
            if (QGuiApplication::overrideCursor()) {
                AfterHandler(name);
                return;
            }
            m_handlerDone = true;
            m_sinceHandler.start();
            m_lastTick.start();
            m_maxStallNs = 0;
            std::printf("%s_ms %.1f busy %s\n", qPrintable(name),
                double(m_click.nsecsElapsed()) / 1e6,
                !m_boxWritten ? "-" : (m_busyWhileWriting ? "yes" : "no"));
            if (m_boxWritten)
                std::printf("%s_box_written_at_ms%s\n", qPrintable(name), qPrintable(m_writesMs));
            std::printf("rss_kib %s after %s\n", ResidentKib().constData(), qPrintable(name));
            std::fflush(stdout);
            // The first repaint after the handler puts the new text on screen; the text
            // document may go on laying out the rest of a long text in the background, and
            // update the scroll bar as it goes.
            QTimer::singleShot(1000, this, [this, name] {
                std::printf("%s_shown_ms %.1f last_repaint_ms %.1f\n", qPrintable(name),
                    double(m_firstPaintAfterHandlerNs) / 1e6, double(m_lastPaintDoneNs) / 1e6);
                std::fflush(stdout);
            });
        });
    }

    void NoteCursor()
    {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        m_boxWritten = true;
        m_writesMs += QStringLiteral(" %1").arg(double(m_click.nsecsElapsed()) / 1e6, 0, 'f', 1);
        m_busyWhileWriting = m_busyWhileWriting && cursor && cursor->shape() == Qt::WaitCursor;
    }

    bool m_firstFrameSeen = false;
    bool m_handlerDone = false;
    QElapsedTimer m_sinceHandler;
    QElapsedTimer m_lastTick;
    qint64 m_maxStallNs = 0;
    QString m_writesMs; // when each box write of the click ended
    qint64 m_firstPaintAfterHandlerNs = 0;
    qint64 m_lastPaintDoneNs = 0;
    bool m_busyWhileWriting = true; // the busy cursor showed at every box write of the click
    bool m_boxWritten = false;
    QElapsedTimer m_click;
};

} // namespace

int main(int argc, char* argv[])
{
    return orvik::RunProgram(argc, argv, std::make_unique<Probe>());
}
