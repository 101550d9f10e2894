// app/: frmMain's handlers: start-up (Load), shutdown (QueryUnload, also at logout), and the commands of the
// menus, the list and the link label, each handing its work to the room that does it.
#include "app/frmMain.h"

#include "platform/dialogs.h"
#include "platform/error.h"
#include "platform/launch.h"
#include "player/media_player.h"
#include "player/player_commands.h"
#include "stations/edit_commands.h"
#include "stations/list_file.h"
#include "stations/list_view.h"
#include "tray/tray_icon.h"

#include <QAction>
#include <QCloseEvent>

namespace {

std::optional<player::SelectedStation> Selected(stations::ListView& list) {
    const std::optional<stations::ListItem> item = list.SelectedItem();
    if (!item) return std::nullopt;
    return player::SelectedStation{item->Text(), item->SubItems(1)};
}

} // namespace

// start-up and shutdown

void frmMain::Form_Load() {
    // 1. The list's report view and its two columns, before any entry is appended.
    stations::SetUpColumns(*lst_Play);
    // 2. Where the list file lives.
    const stations::ListFileLocation location = stations::DefaultListFileLocation();
    ListFilePath = location.savePath;
    ListFileRules = location.rules;
    // 3. The list file, if there is one; a missing file is an empty list and says nothing.
    m_listFileFormat = stations::LoadList(*lst_Play, location.loadPath);
    m_fileEntriesPinned = false;
    UpdateEmptyListHint();
    // 4. The player: compact mode, no context menu, mute mark clear, the first status text.
    SetUpPlayer();
    // Lines that gave no station stay in the file; the user hears of them once, before any command.
    if (const size_t unread = m_listFileFormat.unreadLines.size())
        StatusLine()(QStringLiteral("列表有%1行无法读取,保存时原样保留").arg(unread));
    // 5. The icon and what its clicks do; menu_Control is its pop-up menu.
    m_tray->Install();
    // 6. The tray tip.
    m_tray->SetTip(QStringLiteral("Corvana"));
    // 7. The state a tray click restores: never minimized.
    const qint16 state = WindowState();
    mod_Function::RestoreWindowState = state == 1 ? 0 : state;
}

void frmMain::Form_QueryUnload(qint16& /*cancel: never set*/, qint16 /*unloadMode*/) {
    // 1. The tray icon goes before any question: no tray click reaches a closing window.
    m_tray->Remove();
    // 2. and 3. The save question; Yes runs the save command itself.
    if (ListModified) {
        if (platform::MsgBox(QStringLiteral("列表已被修改,是否要保存列表?"),
                             platform::vbYesNo | platform::vbInformation,
                             QStringLiteral("保存")) == platform::vbYes)
            menu_SaveList_Click();
    }
}

void frmMain::SessionEnding(SessionEndRequest& request) {
    if (m_unloaded || !isVisible()) return;
    // The save question of a close is open already: the user answers that one, and the logout waits.
    if (m_unloading) {
        request.cancel();
        return;
    }
    if (!request.allowsInteraction()) {
        // Not allowed to ask: hold the logout rather than drop an unsaved list.
        if (ListModified) request.cancel();
        return;
    }
    qint16 cancel = 0;
    m_unloading = true;
    const bool done = platform::Guarded([&] { Form_QueryUnload(cancel, 2); });
    m_unloading = false;
    request.release();
    if (!done) request.cancel();
    // The window stays until the session manager ends the program, and another program may still cancel
    // the logout: it is whole again now, and a later close runs QueryUnload again.
    m_sessionAnswered = done;
    KeepRunningAfterUnload();
}

void frmMain::KeepRunningAfterUnload() {
    platform::Guarded([this] {
        m_tray->Install();
        m_tray->SetTip(QStringLiteral("Corvana"));
    });
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (m_unloaded) {
        if (m_search) m_search->close();
        if (m_historyWindow) m_historyWindow->close();
        event->accept();
        return;
    }
    // A close while QueryUnload runs (a second termination signal while the save question is open) changes
    // nothing: the question is asked once.
    if (m_unloading) {
        event->ignore();
        return;
    }
    qint16 cancel = 0;
    const qint16 mode = event->spontaneous() ? 0 : 1;
    m_unloading = true;
    const bool done = platform::Guarded([&] { Form_QueryUnload(cancel, mode); });
    m_unloading = false;
    // A failed save at shutdown keeps the window open: closing now would lose the list the user asked to
    // keep.
    if (!done) {
        KeepRunningAfterUnload();
        event->ignore();
        return;
    }
    m_unloaded = true;
    // The search and history windows are the main window's: they go with it.
    if (m_search) m_search->close();
    if (m_historyWindow) m_historyWindow->close();
    event->accept();
}

// the list

void frmMain::menu_SaveList_Click() {
    // A save with no entry line keeps the list modified; a failed one throws and changes nothing.
    const stations::SaveOutcome saved =
        stations::SaveList(*lst_Play, ListFilePath, ListFileRules, m_listFileFormat);
    // The file now holds the list's stations, whatever the save wrote or removed.
    m_fileEntriesPinned = false;
    if (saved == stations::SaveOutcome::EntriesWritten) ListModified = false;
}

void frmMain::PinFileEntries() {
    if (m_fileEntriesPinned) return;
    m_fileEntries = stations::NamedEntriesDigest(*lst_Play);
    m_fileEntriesPinned = true;
}

void frmMain::menu_NetUrl_Click() {
    PinFileEntries();
    if (stations::AddStation(*lst_Play, &m_history)) ListModified = true;
}

void frmMain::menu_Del_Click() {
    PinFileEntries();
    if (stations::DeleteSelected(*lst_Play, &m_history)) ListModified = true;
    UpdateEmptyListHint();
}

void frmMain::menu_CleanList_Click() {
    // More rows than the history keeps cannot come back: the file's stations are then never reached by an undo,
    // and digesting them (seconds for millions of rows) would only hold the window. The save question at close
    // stays the last guard.
    const bool undoable = size_t(lst_Play->ListItems().Count()) <= stations::ListHistory::MaxRows;
    if (undoable) {
        PinFileEntries();
    } else {
        m_fileEntries.clear();
        m_fileEntriesPinned = true;
    }
    if (stations::ClearList(*lst_Play, &m_history)) ListModified = true;
    UpdateEmptyListHint(undoable ? QStringLiteral("按Ctrl+Z撤销")
                                 : QStringLiteral("电台太多,这次清空无法撤销"));
}

void frmMain::UpdateEmptyListHint(const QString& afterClear) {
    const QString hint = QStringLiteral("拖入或粘贴(Ctrl+V)电台链接,或按Ctrl+F搜索电台");
    lst_Play->SetEmptyHint(afterClear.isEmpty() ? hint : hint + u'\n' + afterClear);
}

void frmMain::Form_Undo() {
    PinFileEntries();
    // Nothing to take back changes nothing, the empty list's line included.
    if (!m_history.Undo(*lst_Play)) return;
    ListModified = stations::NamedEntriesDigest(*lst_Play) != m_fileEntries;
    UpdateEmptyListHint();
}

void frmMain::Form_Redo() {
    PinFileEntries();
    if (!m_history.Redo(*lst_Play)) return;
    ListModified = stations::NamedEntriesDigest(*lst_Play) != m_fileEntries;
    // A clear made again is a clear.
    UpdateEmptyListHint(lst_Play->ListItems().Count() == 0 ? QStringLiteral("按Ctrl+Z撤销") : QString());
}

// the player

void frmMain::SetUpPlayer() {
    player::SetUpPlayer(Player(), StatusLine(), QStringLiteral("Corvana") + SiteAddress);
    menu_OffSound->setChecked(false);
}

void frmMain::lst_Play_DblClick() {
    const std::optional<player::SelectedStation> selected = Selected(*lst_Play);
    // Named before the player starts, so that nothing shows the new address under the old name.
    if (selected) {
        m_listeningTo = selected->name;
        m_session.setListName(selected->name);
    }
    player::PlayStation(Player(), selected, StatusLine());
}

void frmMain::menu_Play_Click() {
    player::Play(Player(), Selected(*lst_Play), StatusLine());
}

void frmMain::menu_Stop_Click() {
    player::Stop(Player(), StatusLine());
}

void frmMain::menu_Up_Click() {
    player::VolumeUp(Player());
}

void frmMain::menu_Down_Click() {
    player::VolumeDown(Player());
}

void frmMain::menu_OffSound_Click() {
    menu_OffSound->setChecked(player::ToggleMute(Player(), menu_OffSound->isChecked()));
}

void frmMain::Form_History() {
    if (!m_historyWindow) m_historyWindow = new frmHistory(m_titlesHeard, m_recorder.folder(), this);
    m_historyWindow->show();
    m_historyWindow->raise();
    m_historyWindow->activateWindow();
}

void frmMain::Form_Record() {
    m_recorder.toggle();
}

// the informational extras

void frmMain::Label1_Click() {
    platform::Shell(QStringLiteral("explorer.exe ") + SiteAddress, 2);
}

void frmMain::menu_About_Click() {
    platform::MsgBox(QStringLiteral("提示：Ostrel为你提供一切免费杀毒，软件等资源下载 ") + SiteHost,
                     platform::vbInformation, QStringLiteral("关于"));
}
