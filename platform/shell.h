#pragma once

#include <QString>

#include <functional>

// The default beep.
void MessageBeep();
// Opens an address (web address or local path) with the desktop's handler; false when it
// could not be handed over.
bool ShellOpen(const QString& address);

// For tests: while a hook is set, beeps and opened addresses go to it instead of the
// desktop. ShellOpen returns the hook's answer.
struct CShellHooks {
    std::function<void()> beep;
    std::function<bool(const QString&)> open;
};
// Sets the hooks and returns the previous ones.
CShellHooks SetShellHooks(CShellHooks hooks);
