// stations/: the add, delete and clear commands.
#include "stations/edit_commands.h"

#include "platform/dialogs.h"
#include "stations/list_file.h"
#include "stations/list_view.h"

namespace stations {

bool AddStation(ListView& list) {
    const QString entry = platform::InputBox(
        QStringLiteral("请输入一个网络电台地址，例如:\r\n中国之声|mms://live.example.com/radio1"),
        QStringLiteral("添加电台地址"));
    if (entry.contains(u'|')) {
        // The same split the list file's loader makes of a line; a third piece is dropped.
        const Station station = SplitEntry(entry);
        list.ListItems().Add(station.name).SetSubItems(1, station.address);
        return true;
    }
    if (!entry.isEmpty())
        platform::MsgBox(QStringLiteral("格式有误！"), platform::vbCritical, QStringLiteral("错误"));
    // An empty entry (Cancel, or OK on an empty field) changes nothing and says nothing.
    return false;
}

bool DeleteSelected(ListView& list) {
    const std::optional<ListItem> selected = list.SelectedItem();
    // Nothing selected, nothing to delete.
    if (!selected) return false;
    list.ListItems().Remove(selected->Index());
    return true;
}

bool ClearList(ListView& list) {
    list.ListItems().Clear();
    return true;
}

} // namespace stations
