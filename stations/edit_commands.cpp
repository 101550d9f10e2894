// stations/: the save command and the three commands that edit the station list (handlers of frmMain).
// They change the list and ListModified only; the file is written by the save command alone.
#include "app/frmMain.h"
#include "platform/dialogs.h"
#include "stations/list_file.h"
#include "stations/list_view.h"

using mod_Function::ListModified;

void frmMain::menu_SaveList_Click() {
    stations::SaveList(*lst_Play, mod_Function::ListFilePath);
}

void frmMain::menu_NetUrl_Click() {
    const QString entry = platform::InputBox(
        QStringLiteral("请输入一个网络电台地址，例如:\r\n中国之声|mms://live.example.com/radio1"),
        QStringLiteral("添加电台地址"));
    if (entry.contains(u'|')) {
        // The same split the list file's loader makes of a line; a third piece is dropped.
        const stations::Station station = stations::SplitEntry(entry);
        lst_Play->ListItems().Add(station.name).SetSubItems(1, station.address);
        ListModified = mod_Function::True;
    } else if (!entry.isEmpty()) {
        platform::MsgBox(QStringLiteral("格式有误！"), 16, QStringLiteral("错误"));
    }
    // An empty entry (Cancel, or OK on an empty field) changes nothing and says nothing.
}

void frmMain::menu_Del_Click() {
    const std::optional<stations::ListItem> selected = lst_Play->SelectedItem();
    // Nothing selected, nothing to delete: the list and ListModified stay as they are.
    if (!selected) return;
    lst_Play->ListItems().Remove(selected->Index());
    ListModified = mod_Function::True;
}

void frmMain::menu_CleanList_Click() {
    lst_Play->ListItems().Clear();
    ListModified = mod_Function::True;
}
