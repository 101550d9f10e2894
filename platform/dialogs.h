// platform/: the two standard dialogs, the message box and the input box.
//
// The program calls MsgBox() and InputBox(); they go to the current Dialogs implementation, which is the real
// one (QMessageBox, QInputDialog) unless a test has put a scripted one in place.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>

class QWidget;

namespace platform {

// Buttons as the message box returns them.
enum MsgBoxResult : int { vbOK = 1, vbYes = 6, vbNo = 7 };

// Styles the program uses: 16 critical + OK, 64 information + OK, 68 information + Yes/No.
enum MsgBoxStyle : int {
    vbOKOnly = 0,
    vbYesNo = 4,
    vbCritical = 16,
    vbQuestion = 32,
    vbExclamation = 48,
    vbInformation = 64
};

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual int MsgBox(const QString& text, int style, const QString& title) = 0;
    // The typed text after OK; an empty text after Cancel.
    virtual QString InputBox(const QString& prompt, const QString& title) = 0;
    // The platform's dialog for a file to write: the path chosen, or an empty text after Cancel.
    virtual QString SaveFileName(const QString& title, const QString& suggested) = 0;
};

// The real dialogs. A Yes/No box cannot be escaped or closed without an answer.
class QtDialogs : public Dialogs {
public:
    int MsgBox(const QString& text, int style, const QString& title) override;
    QString InputBox(const QString& prompt, const QString& title) override;
    QString SaveFileName(const QString& title, const QString& suggested) override;
};

// The dialogs in use; SetDialogs(nullptr) goes back to the real ones. The caller keeps ownership.
Dialogs& CurrentDialogs();
void SetDialogs(Dialogs* dialogs);
// The window the dialogs are modal to (frmMain once it exists).
void SetDialogParent(QWidget* parent);
QWidget* DialogParent();

inline int MsgBox(const QString& text, int style, const QString& title) {
    return CurrentDialogs().MsgBox(text, style, title);
}
inline QString InputBox(const QString& prompt, const QString& title) {
    return CurrentDialogs().InputBox(prompt, title);
}
inline QString SaveFileName(const QString& title, const QString& suggested) {
    return CurrentDialogs().SaveFileName(title, suggested);
}

} // namespace platform
