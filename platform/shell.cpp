#include "platform/shell.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {
CShellHooks& Hooks() {
    static CShellHooks hooks;
    return hooks;
}
} // namespace

CShellHooks SetShellHooks(CShellHooks hooks) {
    CShellHooks previous = std::move(Hooks());
    Hooks() = std::move(hooks);
    return previous;
}

void MessageBeep() {
    if (Hooks().beep) {
        Hooks().beep();
        return;
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        QApplication::beep();
}

bool ShellOpen(const QString& address) {
    if (Hooks().open)
        return Hooks().open(address);
    if (address.isEmpty())
        return false;
    const QUrl url =
        QFileInfo::exists(address) ? QUrl::fromLocalFile(address) : QUrl::fromUserInput(address);
    return url.isValid() && QDesktopServices::openUrl(url);
}
