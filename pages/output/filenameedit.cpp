#include "pages/output/filenameedit.h"

#include "platform/shell.h"

#include <QKeyEvent>

CFileNameEdit::CFileNameEdit(QWidget* parent) : QLineEdit(parent) {}

bool CFileNameEdit::IsRefusedCharacter(QChar c) {
    static const QString kRefused = QStringLiteral("\\/:*?<>|\"");
    return kRefused.contains(c);
}

void CFileNameEdit::keyPressEvent(QKeyEvent* event) {
    // Only what is typed: shortcuts (copy, paste, moving the caret) carry no such text.
    const QString text = event->text();
    if (!text.isEmpty() && !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
        for (const QChar c : text) {
            if (IsRefusedCharacter(c)) {
                MessageBeep();
                event->accept();
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}
