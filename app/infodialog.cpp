#include "app/infodialog.h"

#include "app/hotstatic.h"
#include "platform/dialogbuilder.h"
#include "qmversion.h"
#include "resources/resource.h"
#include "resources/stringtable.h"

#include <QLabel>
#include <QPushButton>

CInfoDialog::CInfoDialog(QWidget* parent) : QDialog(parent) {
    CDialogBuilder builder(*FindDialogTemplate(IDD_INFO_DIALOG));
    builder.SetFactory(IDC_INFO_LINK, [this](const CControlTemplate& control, QWidget* p) {
        m_link = new CHotStatic(p);
        m_link->setText(QString::fromUtf8(control.text));
        return m_link;
    });
    // The credits line also says which version this is, so that a user reporting a fault
    // can tell without a terminal.
    for (QWidget* control : builder.Build(this))
        if (auto* label = qobject_cast<QLabel*>(control); label && label->text() == kCreditsLine)
            label->setText(
                QStringLiteral("v%1, %2").arg(QString::fromLatin1(kProgramVersion), label->text()));
    if (m_link)
        m_link->SetAddress(QString::fromUtf8(kProductSiteAddress));
    if (auto* close = GetDlgItemAs<QPushButton>(this, IDOK))
        connect(close, &QPushButton::clicked, this, &QDialog::accept);
}
