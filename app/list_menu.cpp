// app/: the list in the listener's hands: its right-click menu, rename in place, moves, and stations copied out.
// The description's menus stay as they are; these doors are keys and this menu, which shows each with its key so
// that the window teaches them. The keys are bound on the window (app/frmMain.cpp), Enter on the list alone: a
// window-wide Enter would take the rename editor's.
#include "app/frmMain.h"

#include "platform/error.h"
#include "stations/edit_commands.h"
#include "stations/list_view.h"
#include "stations/station_copy.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>

namespace {

// What a step of the list's history did, as the menu names it after 撤销 and 重做.
QString StepName(stations::ListHistory::Kind kind) {
    using Kind = stations::ListHistory::Kind;
    switch (kind) {
    case Kind::Clear:
        return QStringLiteral("清空列表");
    case Kind::Delete:
        return QStringLiteral("删除");
    case Kind::Add:
        return QStringLiteral("添加");
    case Kind::Paste:
        return QStringLiteral("粘贴");
    case Kind::Rename:
        return QStringLiteral("重命名");
    case Kind::Move:
        return QStringLiteral("移动");
    case Kind::Replace:
        return QStringLiteral("替换地址");
    }
    return {};
}

} // namespace

void frmMain::lst_Play_ContextMenu(const QPoint& viewportPos, bool fromKeyboard) {
    if (!m_listMenu) {
        m_listMenu = new QMenu(this);
        m_listMenu->setObjectName(QStringLiteral("lst_Play_Menu"));
        ListMenuEntries& e = m_listMenuEntries;
        const auto entry = [this](const QString& caption, const char* key, void (frmMain::*handler)()) {
            // The key as the menu's shortcut column shows it; the key itself is bound elsewhere.
            QAction* action = m_listMenu->addAction(key ? caption + u'\t' + QLatin1String(key) : caption);
            connect(action, &QAction::triggered, this, [this, handler] { Run(handler); });
            return action;
        };
        e.onStation << entry(QStringLiteral("播放"), "Enter", &frmMain::lst_Play_DblClick)
                    << entry(QStringLiteral("重命名"), "F2", &frmMain::lst_Play_Rename)
                    << entry(QStringLiteral("复制链接"), "Ctrl+Insert", &frmMain::lst_Play_Copy)
                    << (e.up = entry(QStringLiteral("上移"), "Alt+Up", &frmMain::lst_Play_MoveUp))
                    << (e.down = entry(QStringLiteral("下移"), "Alt+Down", &frmMain::lst_Play_MoveDown))
                    << entry(QStringLiteral("删除"), "Del", &frmMain::menu_Del_Click)
                    << m_listMenu->addSeparator();
        entry(QStringLiteral("粘贴"), "Ctrl+V", &frmMain::lst_Play_Paste);
        e.copyAll = entry(QStringLiteral("复制全部电台"), nullptr, &frmMain::lst_Play_CopyAll);
        entry(QStringLiteral("搜索电台…"), "Ctrl+F", &frmMain::Form_Search);
        entry(QStringLiteral("播放记录"), "Ctrl+H", &frmMain::Form_History);
        e.record = entry(QStringLiteral("录音"), "Ctrl+R", &frmMain::Form_Record);
        m_listMenu->addSeparator();
        e.onStation << entry(QStringLiteral("检查电台"), nullptr, &frmMain::lst_Play_Check)
                    << entry(QStringLiteral("在目录中查找"), nullptr, &frmMain::lst_Play_FindInDirectory);
        e.checkAll = entry(QStringLiteral("检查全部电台"), nullptr, &frmMain::lst_Play_CheckAll);
        e.repair = entry(QStringLiteral("修复无法连接的电台"), nullptr, &frmMain::lst_Play_Repair);
        m_listMenu->addSeparator();
        e.undo = entry(QStringLiteral("撤销"), "Ctrl+Z", &frmMain::Form_Undo);
        e.redo = entry(QStringLiteral("重做"), "Ctrl+Y", &frmMain::Form_Redo);
    }
    // A right-click on a row selects it; a key opens the menu on the selected station.
    const QModelIndex at = lst_Play->indexAt(viewportPos);
    if (!fromKeyboard && at.isValid()) lst_Play->Select(at.row() + 1);
    std::optional<stations::ListItem> station = lst_Play->SelectedItem();
    if (!fromKeyboard && !at.isValid()) station.reset();
    QPoint where = viewportPos;
    if (fromKeyboard && station)
        where = lst_Play->visualRect(lst_Play->stationModel().index(station->Index() - 1, 0)).center();
    const ListMenuEntries& e = m_listMenuEntries;
    const int count = lst_Play->ListItems().Count();
    for (QAction* action : e.onStation)
        action->setVisible(station.has_value());
    e.up->setEnabled(station && station->Index() > 1);
    e.down->setEnabled(station && station->Index() < count);
    e.copyAll->setVisible(count > 0);
    e.checkAll->setVisible(count > 0);
    e.record->setText(m_recorder.recording() ? QStringLiteral("停止录音\tCtrl+R")
                                             : QStringLiteral("录音\tCtrl+R"));
    e.repair->setVisible(!lst_Play->stationModel().deadRows().isEmpty());
    const auto undo = m_history.NextUndo(), redo = m_history.NextRedo();
    e.undo->setText(QStringLiteral("撤销") + (undo ? StepName(*undo) : QString()) +
                    QStringLiteral("\tCtrl+Z"));
    e.redo->setText(QStringLiteral("重做") + (redo ? StepName(*redo) : QString()) +
                    QStringLiteral("\tCtrl+Y"));
    e.undo->setEnabled(undo.has_value());
    e.redo->setEnabled(redo.has_value());
    m_listMenu->popup(lst_Play->viewport()->mapToGlobal(where));
}

void frmMain::lst_Play_Rename() {
    const std::optional<stations::ListItem> selected = lst_Play->SelectedItem();
    if (selected) lst_Play->edit(lst_Play->stationModel().index(selected->Index() - 1, 0));
}

void frmMain::lst_Play_AfterLabelEdit(int row, const QString& text) {
    PinFileEntries();
    if (stations::RenameStation(*lst_Play, row, text, &m_history)) ListModified = true;
}

void frmMain::lst_Play_Move(int from, int to) {
    PinFileEntries();
    if (stations::MoveStation(*lst_Play, from, to, &m_history)) ListModified = true;
}

void frmMain::lst_Play_MoveUp() {
    if (const auto selected = lst_Play->SelectedItem())
        lst_Play_Move(selected->Index() - 1, selected->Index() - 2);
}

void frmMain::lst_Play_MoveDown() {
    if (const auto selected = lst_Play->SelectedItem())
        lst_Play_Move(selected->Index() - 1, selected->Index());
}

namespace {

// Puts stations on the clipboard; how many went (those with an address).
int Copy(const std::vector<stations::Station>& stations) {
    QMimeData* data = stations::StationsMimeData(stations);
    if (!data) return 0;
    const int copied = int(std::count_if(stations.begin(), stations.end(),
                                         [](const stations::Station& s) { return !s.address.isEmpty(); }));
    QGuiApplication::clipboard()->setMimeData(data);
    return copied;
}

} // namespace

void frmMain::lst_Play_Copy() {
    const std::optional<stations::ListItem> selected = lst_Play->SelectedItem();
    if (!selected) return;
    StatusLine()(QStringLiteral("已复制%1个电台链接").arg(Copy({{selected->Text(), selected->SubItems(1)}})));
}

void frmMain::lst_Play_CopyAll() {
    StatusLine()(QStringLiteral("已复制%1个电台链接").arg(Copy(lst_Play->stationModel().stations())));
}
