// SPDX-License-Identifier: MIT
#pragma once

namespace orvik {

// While it lives, holds back Qt's messages, and turns a fatal one into one French line on stderr
// and exit status 1. Qt's only fatal message while a QApplication is being built is its failure
// to reach the display; left alone, it would print several English lines and abort.
//
// Build one before the QApplication and Release() it once the application stands: the messages
// held back then go, in order, to the handler that was in place before.
class StartupMessageGuard
{
public:
    StartupMessageGuard();
    ~StartupMessageGuard();
    StartupMessageGuard(const StartupMessageGuard&) = delete;
    StartupMessageGuard& operator=(const StartupMessageGuard&) = delete;

    void Release();

private:
    bool m_active = true;
};

// The line printed when no window can be opened.
inline constexpr const char* kNoDisplayMessage
    = "orvik : impossible d'ouvrir la fenêtre, aucun affichage graphique n'est accessible.";

} // namespace orvik
