// platform/: the message box and input box on QMessageBox and QInputDialog, and which dialogs are in use: these,
// or the ones a test has put in their place.
#include "platform/dialogs.h"

#include "platform/error.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace platform {

namespace {
QtDialogs g_realDialogs;
Dialogs* g_dialogs = nullptr;
QPointer<QWidget> g_parent;

// A Yes/No question: Esc and the window's close (Alt+F4, the title bar's x, a close from the window manager)
// leave it open; only Yes or No answers it. Left to itself, QMessageBox takes its lone No button for the
// escape button, even after setEscapeButton(nullptr), and answers No to both.
class QuestionBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Cancel)) {
            event->accept();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    // An answer hides the box without a close event; every close event is one of the ways out above.
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
};

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
    if ((style & 0x7) == vbYesNo) {
        QuestionBox box(IconOf(style), title, text, QMessageBox::NoButton, g_parent.data());
        QPushButton* yes = box.addButton(QStringLiteral("是(&Y)"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("否(&N)"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setWindowFlag(Qt::WindowCloseButtonHint, false);
        box.setTextFormat(Qt::PlainText);
        for (;;) {
            box.exec();
            if (box.clickedButton() == yes) return vbYes;
            if (box.clickedButton() == no) return vbNo;
            // Still up without an answer: the event loop is being torn down under it (the session ends and
            // Qt quits), and every further exec() would return at once. Keep what the user has.
            if (box.isVisible()) return vbYes;
        }
    }
    QMessageBox box(IconOf(style), title, text, QMessageBox::NoButton, g_parent.data());
    // Reports quote file names and addresses: never read as markup.
    box.setTextFormat(Qt::PlainText);
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

QString QtDialogs::SaveFileName(const QString& title, const QString& suggested) {
    return QFileDialog::getSaveFileName(g_parent.data(), title, suggested);
}

} // namespace platform
