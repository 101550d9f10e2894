// platform/: the message box and input box on QMessageBox and QInputDialog, and their scripted stand-in.
#include "platform/dialogs.h"

#include "platform/error.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace platform {

namespace {
QtDialogs g_realDialogs;
Dialogs* g_dialogs = nullptr;
QPointer<QWidget> g_parent;

QMessageBox::Icon IconOf(int style) {
    switch (style & 0x70) {
    case vbCritical:
        return QMessageBox::Critical;
    case vbQuestion:
        return QMessageBox::Question;
    case vbExclamation:
        return QMessageBox::Warning;
    case vbInformation:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}
} // namespace

Dialogs& CurrentDialogs() {
    return g_dialogs ? *g_dialogs : g_realDialogs;
}
void SetDialogs(Dialogs* dialogs) {
    g_dialogs = dialogs;
}
void SetDialogParent(QWidget* parent) {
    g_parent = parent;
}
QWidget* DialogParent() {
    return g_parent.data();
}

int QtDialogs::MsgBox(const QString& text, int style, const QString& title) {
    QMessageBox box(IconOf(style), title, text, QMessageBox::NoButton, g_parent.data());
    if ((style & 0x7) == vbYesNo) {
        QPushButton* yes = box.addButton(QStringLiteral("是(&Y)"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("否(&N)"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        // A Yes/No question has no way out but its two buttons: Esc and the title bar's close button do
        // nothing.
        box.setEscapeButton(static_cast<QAbstractButton*>(nullptr));
        box.setWindowFlag(Qt::WindowCloseButtonHint, false);
        for (;;) {
            box.exec();
            if (box.clickedButton() == yes) return vbYes;
            if (box.clickedButton() == no) return vbNo;
        }
    }
    box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box.exec();
    return vbOK;
}

QString QtDialogs::InputBox(const QString& prompt, const QString& title) {
    QInputDialog dialog(g_parent.data());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setOkButtonText(QStringLiteral("确定"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
    dialog.setInputMode(QInputDialog::TextInput);
    if (dialog.exec() != QDialog::Accepted) return QString();
    return dialog.textValue();
}

} // namespace platform
