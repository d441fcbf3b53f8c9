#pragma once

#include <QDialog>

class CHotStatic;

// "Info about quillmark": the application icon, a link to the product's web site and the
// credits line. Enter, Escape and "close" end it.
class CInfoDialog : public QDialog {
    Q_OBJECT
public:
    explicit CInfoDialog(QWidget* parent = nullptr);

    CHotStatic* GetLink() const { return m_link; }

private:
    CHotStatic* m_link = nullptr;
};
