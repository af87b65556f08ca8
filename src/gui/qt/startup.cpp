// SPDX-License-Identifier: MIT
#include "gui/qt/startup.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace orvik {

namespace {

struct HeldMessage
{
    QtMsgType type;
    QByteArray file;
    QByteArray function;
    QByteArray category;
    int line;
    QString text;
};

std::mutex gMutex;
QtMessageHandler gPrevious = nullptr;
std::vector<HeldMessage> gHeld;

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
    const std::lock_guard lock(gMutex);
    gHeld.push_back({ type, QByteArray(context.file), QByteArray(context.function),
        QByteArray(context.category), context.line, text });
}

} // namespace

StartupMessageGuard::StartupMessageGuard()
{
    gPrevious = qInstallMessageHandler(HoldMessage);
}

StartupMessageGuard::~StartupMessageGuard()
{
    Release();
}

void StartupMessageGuard::Release()
{
    if (!m_active)
        return;
    m_active = false;
    qInstallMessageHandler(gPrevious);
    std::vector<HeldMessage> held;
    {
        const std::lock_guard lock(gMutex);
        held.swap(gHeld);
    }
    for (const HeldMessage& message : held) {
        const QMessageLogContext context(message.file.isNull() ? nullptr : message.file.constData(),
            message.line, message.function.isNull() ? nullptr : message.function.constData(),
            message.category.isNull() ? nullptr : message.category.constData());
        if (gPrevious)
            gPrevious(message.type, context, message.text);
        else
            qt_message_output(message.type, context, message.text);
    }
}

} // namespace orvik
