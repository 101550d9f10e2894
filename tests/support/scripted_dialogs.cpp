// tests/support: the scripted dialogs.
#include "support/scripted_dialogs.h"

#include "platform/error.h"

namespace platform {

int ScriptedDialogs::MsgBox(const QString& text, int style, const QString& title) {
    if (atMsgBox) atMsgBox();
    shown.push_back({QStringLiteral("MsgBox"), text, style, title});
    if (msgBoxAnswers.empty()) {
        // An OK-only box needs no scripted answer; a question does.
        if ((style & 0x7) == vbOKOnly) return vbOK;
        throw RuntimeError(errInvalidCall, QStringLiteral("unscripted question: ") + text);
    }
    const int answer = msgBoxAnswers.front();
    msgBoxAnswers.pop_front();
    return answer;
}

QString ScriptedDialogs::SaveFileName(const QString& title, const QString& suggested) {
    shown.push_back({QStringLiteral("SaveFileName"), suggested, 0, title});
    return Answer(suggested);
}

QString ScriptedDialogs::InputBox(const QString& prompt, const QString& title) {
    shown.push_back({QStringLiteral("InputBox"), prompt, 0, title});
    return Answer(prompt);
}

QString ScriptedDialogs::Answer(const QString& asked) {
    if (inputAnswers.empty())
        throw RuntimeError(errInvalidCall, QStringLiteral("unscripted input box: ") + asked);
    QString answer = inputAnswers.front();
    inputAnswers.pop_front();
    return answer;
}

} // namespace platform
