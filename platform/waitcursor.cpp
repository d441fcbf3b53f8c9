#include "platform/waitcursor.h"

#include <QCursor>
#include <QGuiApplication>

CWaitCursor::CWaitCursor()
    : m_active(qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    if (m_active)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

CWaitCursor::~CWaitCursor() {
    if (m_active)
        QGuiApplication::restoreOverrideCursor();
}
