#pragma once

#include <QLineEdit>

// An edit box for one file or folder name: the characters that a name cannot hold
// (\ / : * ? < > | ") are refused as they are typed, with the default beep. Text that
// arrives otherwise (pasted, set by the program) is taken as it is.
class CFileNameEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CFileNameEdit(QWidget* parent = nullptr);

    // Whether a typed character is refused.
    static bool IsRefusedCharacter(QChar c);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
