#pragma once

#include <QDialog>
#include <QString>

class CFileNameEdit;

// Asks for the name of a folder to create (template 160). The field starts with
// "new folder"; the name is taken from it when the dialog closes, whichever button closed
// it, and the caller uses it only after OK.
class CNewFolderDialog : public QDialog {
    Q_OBJECT
public:
    explicit CNewFolderDialog(QWidget* parent = nullptr);
    ~CNewFolderDialog() override;

    // The field's last text; valid once the dialog has closed.
    const QString& GetName() const { return m_name; }
    CFileNameEdit* GetEdit() const { return m_edit; }

    void done(int result) override;

private:
    CFileNameEdit* m_edit = nullptr;
    QString m_name;
};
