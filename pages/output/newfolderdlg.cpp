#include "pages/output/newfolderdlg.h"

#include "pages/output/filenameedit.h"
#include "platform/dialogbuilder.h"
#include "resources/resource.h"

#include <QAbstractButton>

CNewFolderDialog::CNewFolderDialog(QWidget* parent) : QDialog(parent) {
    CDialogBuilder builder(*FindDialogTemplate(IDD_NEW_FOLDER));
    builder.SetFactory(IDC_NEW_FOLDER_NAME,
                       [](const CControlTemplate&, QWidget* p) { return new CFileNameEdit(p); });
    builder.Build(this);
    m_edit = GetDlgItemAs<CFileNameEdit>(this, IDC_NEW_FOLDER_NAME);
    Q_ASSERT(m_edit);
    if (auto* ok = GetDlgItemAs<QAbstractButton>(this, IDOK))
        connect(ok, &QAbstractButton::clicked, this, &QDialog::accept);
    if (auto* cancel = GetDlgItemAs<QAbstractButton>(this, IDCANCEL))
        connect(cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    m_edit->setText(QStringLiteral("new folder"));
    m_edit->selectAll();
    m_edit->setFocus(Qt::OtherFocusReason);
}

CNewFolderDialog::~CNewFolderDialog() = default;

void CNewFolderDialog::done(int result) {
    // Every way out (OK, cancel, Escape, the close box) comes through here.
    m_name = m_edit->text();
    QDialog::done(result);
}
