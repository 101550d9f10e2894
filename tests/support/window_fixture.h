// tests/support: a frmMain as the app tests meet it: in a temporary program folder of its own, with scripted
// dialogs installed for as long as it lives, and the list file's bytes at hand.
#pragma once

#include "app/frmMain.h"
#include "player/session.h"
#include "support/faulty_file_system.h"
#include "support/scripted_dialogs.h"
#include "web/network_fetcher.h"

#include <QByteArray>
#include <QScopeGuard>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class WindowFixture {
public:
    WindowFixture();
    WindowFixture(const WindowFixture&) = delete;
    WindowFixture& operator=(const WindowFixture&) = delete;

    platform::ScriptedDialogs& dialogs() { return m_dialogs; }
    QString folder() const { return m_dir.path(); }
    QString listPath() const { return m_dir.filePath(QStringLiteral("CvLst.lst")); }
    bool writeList(const QByteArray& bytes) const { return WriteBytes(listPath(), bytes); }
    QByteArray listBytes() const { return ReadBytes(listPath()); } // "<missing>" when there is no file

    frmMain* create(); // a new window, not loaded yet
    frmMain* load();   // Form_Load, on the window there is or a new one
    // Loaded, shown and with its tray icon up, as a user first sees it; nullptr when the icon never came.
    frmMain* start();
    frmMain* form() const { return m_form.get(); }
    void destroy() { m_form.reset(); }

private:
    QTemporaryDir m_dir;
    platform::ScriptedDialogs m_dialogs;
    // Declared after the folder and before the window: the window goes first, then the dialogs it could still
    // reach while closing, then the folder.
    QScopeGuard<std::function<void()>> m_restoreDialogs;
    // As the program makes them: before the window, gone after it.
    web::NetworkFetcher m_fetcher{"Corvana/test"};
    player::Session m_session{m_fetcher};
    std::unique_ptr<frmMain> m_form;
};
