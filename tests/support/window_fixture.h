// tests/support: a frmMain as the app tests meet it: in a temporary program folder of its own, with scripted
// dialogs installed for as long as it lives, and the list file's bytes at hand.
#pragma once

#include "app/frmMain.h"
#include "support/scripted_dialogs.h"

#include <QByteArray>
#include <QScopeGuard>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class WindowFixture {
public:
    // A test with dialogs of its own kind passes them; they must outlive the fixture.
    explicit WindowFixture(platform::ScriptedDialogs* dialogs = nullptr);
    ~WindowFixture();
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;

    platform::ScriptedDialogs& dialogs() const { return *m_dialogs; }
    QString folder() const { return m_dir.path(); }
    QString listPath() const;
    bool writeList(const QByteArray& bytes) const;
    QByteArray listBytes() const; // "<missing>" when there is no file

    frmMain* create(); // a new window, not loaded yet
    frmMain* load();   // Form_Load, on the window there is or a new one
    // Loaded, shown and with its tray icon up, as a user first sees it; nullptr when the icon never came.
    frmMain* start();
    frmMain* form() const { return m_form.get(); }
    void destroy() { m_form.reset(); }

private:
    QTemporaryDir m_dir;
    platform::ScriptedDialogs m_ownDialogs;
    platform::ScriptedDialogs* m_dialogs;
    // Declared after the folder and before the window: the window goes first, then the dialogs it could still
    // reach while closing, then the folder.
    QScopeGuard<std::function<void()>> m_restoreDialogs;
    std::unique_ptr<frmMain> m_form;
};
