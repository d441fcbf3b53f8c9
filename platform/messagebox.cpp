#include "platform/messagebox.h"

#include <QApplication>
#include <QMessageBox>

namespace {
CMessageBoxHook& Hook() {
    static CMessageBoxHook hook;
    return hook;
}
} // namespace

QString ApplicationTitle() { return QStringLiteral("quillmark"); }

CMessageBoxHook SetMessageBoxHook(CMessageBoxHook hook) {
    CMessageBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

int ShowMessageBox(QWidget* owner, const QString& text, CMessageIcon icon,
                   CMessageButtons buttons) {
    const CMessageBoxRecord record{owner, ApplicationTitle(), text, icon, buttons};
    if (Hook())
        return Hook()(record);

    QMessageBox box(owner);
    box.setWindowTitle(record.title);
    box.setText(text);
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
    case CMessageIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case CMessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case CMessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case CMessageIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case CMessageIcon::None:
        break;
    }
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    switch (buttons) {
    case CMessageButtons::Ok:
        break;
    case CMessageButtons::OkCancel:
        standard = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case CMessageButtons::YesNo:
        standard = QMessageBox::Yes | QMessageBox::No;
        break;
    case CMessageButtons::YesNoCancel:
        standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    }
    box.setStandardButtons(standard);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return QM_IDYES;
    case QMessageBox::No:
        return QM_IDNO;
    case QMessageBox::Cancel:
        return QM_IDCANCEL;
    default:
        return QM_IDOK;
    }
}

CMessageBoxRecorder::CMessageBoxRecorder(int answer) {
    m_previous = SetMessageBoxHook([this, answer](const CMessageBoxRecord& record) {
        m_records.push_back(record);
        return answer;
    });
}

CMessageBoxRecorder::~CMessageBoxRecorder() {
    SetMessageBoxHook(std::move(m_previous));
}
