// tests/support: dialogs answered from a script, for tests of the commands that ask the user.
#pragma once

#include "platform/dialogs.h"

#include <deque>
#include <functional>
#include <vector>

namespace platform {

// Answers from a script, and keeps a record of every dialog shown. A dialog with no answer left throws.
class ScriptedDialogs : public Dialogs {
public:
    struct Shown {
        QString kind; // "MsgBox", "InputBox" or "SaveFileName"
        QString text;
        int style = 0;
        QString title;
    };
    std::deque<int> msgBoxAnswers;
    std::deque<QString> inputAnswers;
    std::vector<Shown> shown;
    std::function<void()> atMsgBox; // lets a test look around at the moment a message box opens

    int MsgBox(const QString& text, int style, const QString& title) override;
    QString InputBox(const QString& prompt, const QString& title) override;
    // Answered from inputAnswers too.
    QString SaveFileName(const QString& title, const QString& suggested) override;

private:
    QString Answer(const QString& asked);
};

} // namespace platform
