#pragma once

#include <QString>

#include <functional>
#include <vector>

class QWidget;

// Message boxes of the program: owned by the window concerned, titled with the
// application's name.

enum class CMessageIcon { None, Error, Warning, Information, Question };
enum class CMessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
// Answers keep the numbers of the dialog results they stand for.
enum : int { QM_IDOK = 1, QM_IDCANCEL = 2, QM_IDYES = 6, QM_IDNO = 7 };

// The application's name as message boxes show it: "quillmark".
QString ApplicationTitle();

// Shows the box modally and returns the button pressed (QM_IDOK ...). While a hook is set
// nothing is shown: the hook gets the box and its answer is returned.
int ShowMessageBox(QWidget* owner, const QString& text, CMessageIcon icon,
                   CMessageButtons buttons = CMessageButtons::Ok);

struct CMessageBoxRecord {
    const QWidget* owner;
    QString title;
    QString text;
    CMessageIcon icon;
    CMessageButtons buttons;
};
using CMessageBoxHook = std::function<int(const CMessageBoxRecord&)>;
// Sets the hook (an empty function removes it) and returns the previous one.
CMessageBoxHook SetMessageBoxHook(CMessageBoxHook hook);

// For tests: while it lives, message boxes are recorded instead of shown and answered at
// once with `answer`.
class CMessageBoxRecorder {
public:
    explicit CMessageBoxRecorder(int answer = QM_IDOK);
    ~CMessageBoxRecorder();
    CMessageBoxRecorder(const CMessageBoxRecorder&) = delete;
    CMessageBoxRecorder& operator=(const CMessageBoxRecorder&) = delete;

    const std::vector<CMessageBoxRecord>& GetRecords() const { return m_records; }
    void Clear() { m_records.clear(); }

private:
    std::vector<CMessageBoxRecord> m_records;
    CMessageBoxHook m_previous;
};
