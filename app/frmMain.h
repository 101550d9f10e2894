// app/: the main window frmMain: its four controls, its menus, start-up and shutdown, and every handler.
//
// A handler (*_Click, *_DblClick, Form_*) is a few lines that call into the room that does the work, passing
// what that room needs: the list control, the player component, the status line. A handler may throw
// platform::RuntimeError; the menus and the list reach it through platform::Guarded, which shows the error
// report and lets the program go on.
#pragma once

#include "app/history_window.h"
#include "app/search_window.h"
#include "platform/plain_text.h"
#include "player/recorder.h"
#include "player/session.h"
#include "player/title_history.h"
#include "stations/edit_commands.h"
#include "stations/list_file.h"
#include "stations/list_history.h"
#include "stations/station_reader.h"
#include "web/directory.h"
#include "web/fetcher.h"

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <functional>

class QAction;
class QMenu;
class QMimeData;

namespace player {
class MediaPlayer;
class PlayerComponent;
} // namespace player
namespace stations {
class ListView;
class StationChecker;
class StationFinder;
} // namespace stations
namespace tray {
class TrayIcon;
}
namespace desktop {
class MprisService;
}

namespace mod_Function {
// The window state a tray click gives back to a minimized window: 0 normal or 2 maximized, never 1.
extern qint16 RestoreWindowState;
} // namespace mod_Function

// The link label: a label that reports clicks.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The session manager's request to commit data at logout, as the window uses it. QSessionManager cannot be
// made outside Qt, so a test hands in its own.
class SessionEndRequest {
public:
    virtual ~SessionEndRequest() = default;
    virtual bool allowsInteraction() = 0;
    virtual void release() = 0;
    virtual void cancel() = 0; // holds the logout back
};

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // The program's one way to the web and what the user listens to are made before the window and outlive it
    // (app/main.cpp): the window's children, the finder and the search window among them, cancel their
    // requests and stop showing the session as they go, whatever the order.
    frmMain(web::Fetcher& fetcher, player::Session& session, QWidget* parent = nullptr);
    ~frmMain() override;

    // Window states: 0 normal, 1 minimized, 2 maximized.
    qint16 WindowState() const;
    void SetWindowState(qint16 state);

    // The program's state, kept here: the rooms are handed what they need of it and report what they did.
    // The full path of the list file and the rules of its place, set once at start-up.
    QString ListFilePath;
    stations::SaveRules ListFileRules;
    // The list changed since the last save: set by each edit that changed it, cleared by a save that wrote at
    // least one entry line and replaced the file.
    bool ListModified = false;

    // The controls, top to bottom.
    player::MediaPlayer* WMP = nullptr;
    LinkLabel* Label1 = nullptr;
    stations::ListView* lst_Play = nullptr;
    QLabel* l_State = nullptr;

    // The menus and their entries.
    QMenu* menu_File = nullptr;
    QAction* menu_NetUrl = nullptr;
    QAction* menu_Line1 = nullptr;
    QAction* menu_SaveList = nullptr;
    QAction* menu_Line2 = nullptr;
    QAction* menu_Exit = nullptr;
    QMenu* menu_List = nullptr;
    QAction* menu_CleanList = nullptr;
    QAction* menu_Del = nullptr;
    QMenu* menu_Control = nullptr;
    QAction* menu_Play = nullptr;
    QAction* menu_Stop = nullptr;
    QAction* menu_Line3 = nullptr;
    QAction* menu_Up = nullptr;
    QAction* menu_Down = nullptr;
    QAction* menu_OffSound = nullptr;
    QMenu* menu_Help = nullptr;
    QAction* menu_About = nullptr;

    // The player the commands drive: WMP, unless a test has put another in its place.
    player::PlayerComponent& Player();
    void SetPlayer(player::PlayerComponent* player);
    // Starts the player's engine, once the window is on screen: libmpv takes a moment to start, which should
    // delay neither the window nor the first station. A failure shows in the strip.
    void StartEngine();

    // The notification-area icon, once Form_Load has put it up.
    tray::TrayIcon* TrayIcon() const { return m_tray; }

    // The desktop's media controls (MPRIS on the session bus): media keys, the panel's media widget,
    // playerctl. Without a session bus the program runs as before and says nothing.
    void PublishToDesktop();
    desktop::MprisService* Mpris() const { return m_mpris; }

    // Start-up and shutdown.
    void Form_Load();
    void Form_QueryUnload(qint16& cancel, qint16 unloadMode);
    // Logout or shutdown: Qt does not close the window by itself then, so the same QueryUnload steps run
    // here.
    void SessionEnding(SessionEndRequest& request);

    // The list file and the list.
    void menu_SaveList_Click();
    void menu_NetUrl_Click();
    void menu_Del_Click();
    void menu_CleanList_Click();
    // Ctrl+Z and Ctrl+Y (or Ctrl+Shift+Z): the list's last change taken back, or made again. Keys only, no
    // menu entry. The list then counts as modified unless its stations are those the file holds.
    void Form_Undo();
    void Form_Redo();
    // Ctrl+F: the search window for the community's station directory, made at the first press and raised at
    // the next (app/search_window.h). Its results play as a list station does and are added as a paste is.
    void Form_Search();
    frmSearch* SearchWindow() const { return m_search; }
    // Ctrl+H: the titles heard since the start (app/history_window.h), made at the first press and raised at
    // the next.
    void Form_History();
    frmHistory* HistoryWindow() const { return m_historyWindow; }
    // What the user listens to (its signals feed the history).
    player::Session& ListeningSession() { return m_session; }
    // Ctrl+R: records what plays into the music folder, one file per title, or stops recording; the strip
    // shows it (player/recorder.h).
    void Form_Record();
    player::Recorder& Recorder() { return m_recorder; }
    // Stations dropped on the list or pasted into it (Ctrl+V): links, a page's links, a playlist's text,
    // playlist files. Completed from the web on the event loop; StationsFound appends them as 网络URL appends
    // one (app/station_import.cpp). Escape on the list drops what is still being read.
    void lst_Play_OLEDragDrop(const QMimeData& data);
    void lst_Play_Paste();
    void lst_Play_CancelReading();
    void StationsFound(const readers::FoundStations& found, int failures);
    // The list in the listener's hands (app/list_menu.cpp): its right-click menu (also the Menu key and
    // Shift+F10), made at the first request and showing every door with its key; a rename in place (F2) and
    // what the editor gave (AfterLabelEdit); a move of the selected station (Alt+Up, Alt+Down) or of a row
    // dragged within the list; the stations copied out (Ctrl+Insert, 复制全部电台). Each change is one step of the
    // list's history and marks the list modified.
    void lst_Play_ContextMenu(const QPoint& viewportPos, bool fromKeyboard);
    QMenu* ListMenu() const { return m_listMenu; }
    void lst_Play_Rename();
    void lst_Play_AfterLabelEdit(int row, const QString& text);
    void lst_Play_MoveUp();
    void lst_Play_MoveDown();
    void lst_Play_Move(int from, int to);
    void lst_Play_Copy();
    void lst_Play_CopyAll();
    // An old list brought back to life (app/list_check.cpp): which stations still answer (检查电台, 检查全部电台;
    // Escape stops it), the selected station looked up in the directory by its name (在目录中查找, whose 替换地址
    // gives it the address found), and the dead ones mended from the directory in one window (修复无法连接的电台).
    void lst_Play_Check();
    void lst_Play_CheckAll();
    void lst_Play_FindInDirectory();
    void lst_Play_Repair();
    void ReplaceAddresses(const QList<std::pair<stations::Station, QString>>& changes);

    // The player.
    void SetUpPlayer();
    void lst_Play_DblClick();
    void menu_Play_Click();
    void menu_Stop_Click();
    void menu_Up_Click();
    void menu_Down_Click();
    void menu_OffSound_Click();

    // The informational extras.
    void Label1_Click();
    void menu_About_Click();

    // The product's web site.
    static const QString SiteHost;
    static const QString SiteAddress;

protected:
    void closeEvent(QCloseEvent* event) override;
    // The list's own keys and drops: Enter plays as a double-click does, and stations may be dropped on it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the desktop's media controls ask for, through the program's own commands
    // (app/desktop_controls.cpp).
    void ConnectDesktopRequests();
    void Desktop_Play();
    void Desktop_Step(int step);
    void Desktop_OpenUri(const QString& uri);
    // Shows the desktop what the player does, once the event loop is back; nothing when nothing changed.
    void UpdateDesktop();
    void ShowDesktop();
    // After QueryUnload, a window that stays open is whole again: its tray icon returns.
    void KeepRunningAfterUnload();
    // Where the player commands write: l_State, which shows a bounded part of a station's name.
    std::function<void(const QString&)> StatusLine() {
        return [this](const QString& text) { l_State->setText(platform::ShownText(text)); };
    }
    void PinFileEntries();
    // Appends stations brought from outside the input box as one step of the list's history; the status line
    // says what happened. What the list gained.
    stations::StationsAdded AddFoundStations(const readers::FoundStations& found, int failures,
                                             bool pasted = true);
    // The empty list's line: how stations come in, and after a clear, whether it can be taken back.
    void UpdateEmptyListHint(const QString& afterClear = {});
    void FindStations(const stations::Dropped& dropped);
    void ShowRefusal(const readers::FoundStations& found);
    void BuildLayout();
    void BuildMenus();
    // Runs a handler through the error report; the program goes on after a failure.
    void Run(void (frmMain::*handler)());

    // The program's one way to the web, handed to whoever asks it (the finder, the search window), and what the
    // user listens to.
    web::Fetcher& m_fetcher;
    player::Session& m_session;
    // What the session played: the titles of this run, and what is being kept in files.
    player::TitleHistory m_titlesHeard;
    player::Recorder m_recorder{m_session};
    player::PlayerComponent* m_player = nullptr;
    tray::TrayIcon* m_tray = nullptr;
    desktop::MprisService* m_mpris = nullptr;
    stations::StationFinder* m_finder = nullptr; // made at the first drop or paste
    web::DnsDirectoryNames m_directoryNames;
    QPointer<frmSearch> m_search;         // while the search window is open
    QPointer<frmHistory> m_historyWindow; // while the history window is open
    QMenu* m_listMenu = nullptr;          // the list's right-click menu, once asked for
    struct ListMenuEntries {
        QList<QAction*> onStation; // shown only on a station
        QAction *up = nullptr, *down = nullptr, *copyAll = nullptr, *undo = nullptr, *redo = nullptr;
        QAction *checkAll = nullptr, *repair = nullptr, *record = nullptr;
    } m_listMenuEntries;
    stations::StationChecker* m_checker = nullptr; // made at the first check
    QPointer<QWidget> m_repair;                    // while 修复电台 is open
    void CheckStations(const std::vector<stations::Station>& stations);
    QObject* m_listViewport = nullptr; // where drops on the list arrive
    QString m_listeningTo;             // the name of the station the player was last given
    // The list file's encoding and the lines it gave no station for: each save writes them back.
    stations::ListFileFormat m_listFileFormat;
    // The changes to the list in this run, and what the file holds of it now (at the load, or the last save).
    stations::ListHistory m_history;
    QByteArray m_fileEntries;
    // Until the list first changes after a load or a save, the file holds its stations: the digest is taken then,
    // not at start-up, where it would cost a long list's start its time.
    bool m_fileEntriesPinned = false;
    bool m_desktopUpdateQueued = false;
    bool m_unloaded = false;  // QueryUnload has run to its end; the window may go
    bool m_unloading = false; // QueryUnload is running (its save question may be open)
    // QueryUnload ran for a logout: the session manager's own quit closes the window without asking again.
    bool m_sessionAnswered = false;
};
