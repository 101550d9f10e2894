// stations/: the add, delete and clear commands.
#include "stations/edit_commands.h"

#include "platform/dialogs.h"
#include "readers/station_links.h"
#include "stations/list_file.h"
#include "stations/list_history.h"
#include "stations/list_view.h"

#include <QHash>

namespace stations {

bool AddStation(ListView& list, ListHistory* history) {
    const QString entry = platform::InputBox(
        QStringLiteral("请输入一个网络电台地址，例如:\r\n中国之声|mms://live.example.com/radio1"),
        QStringLiteral("添加电台地址"));
    if (entry.contains(u'|')) {
        // The same split the list file's loader makes of a line; a third piece is dropped.
        const Station station = SplitEntry(entry);
        const ListView::ViewState before = list.CurrentViewState();
        list.ListItems().Add(station.name).SetSubItems(1, station.address);
        if (history) history->Appended(list, list.ListItems().Count() - 1, 1, before);
        return true;
    }
    if (!entry.isEmpty())
        platform::MsgBox(QStringLiteral("格式有误！"), platform::vbCritical, QStringLiteral("错误"));
    // An empty entry (Cancel, or OK on an empty field) changes nothing and says nothing.
    return false;
}

StationsAdded AddStations(ListView& list, const std::vector<Station>& stations, ListHistory* history,
                          bool pasted) {
    StationsAdded result;
    const ListView::ViewState before = list.CurrentViewState();
    QHash<QString, int> rows; // address to its 1-based position; the first of equal ones
    auto items = list.ListItems();
    for (int i = items.Count(); i >= 1; --i)
        rows.insert(items.Item(i).SubItems(1), i);
    int firstAdded = 0, firstListed = 0;
    for (const Station& station : stations) {
        if (const auto found = rows.constFind(station.address); found != rows.cend()) {
            if (!firstListed) firstListed = *found;
            ++result.alreadyListed;
            continue;
        }
        items.Add(station.name).SetSubItems(1, station.address);
        rows.insert(station.address, items.Count());
        if (!firstAdded) firstAdded = items.Count();
        ++result.added;
    }
    if (firstListed || firstAdded) list.Select(firstListed ? firstListed : firstAdded);
    // A station that was listed already and only selected is no change.
    if (history && result.added)
        history->Appended(list, firstAdded - 1, result.added, before,
                          pasted ? ListHistory::Kind::Paste : ListHistory::Kind::Add);
    return result;
}

bool DeleteSelected(ListView& list, ListHistory* history) {
    const std::optional<ListItem> selected = list.SelectedItem();
    // Nothing selected, nothing to delete.
    if (!selected) return false;
    const ListView::ViewState before = list.CurrentViewState();
    const int row = selected->Index() - 1;
    Station removed = list.stationModel().takeAt(row);
    if (history) history->Removed(list, row, std::move(removed), before);
    return true;
}

bool ClearList(ListView& list, ListHistory* history) {
    const ListView::ViewState before = list.CurrentViewState();
    std::vector<Station> rows = list.stationModel().takeAll();
    if (history) history->Cleared(list, std::move(rows), before);
    return true;
}

bool RenameStation(ListView& list, int row, const QString& typed, ListHistory* history) {
    if (row < 0 || row >= list.ListItems().Count()) return false;
    QString name = readers::StationName(typed);
    if (name.isEmpty() || name == list.stationModel().at(row).name) return false;
    const ListView::ViewState before = list.CurrentViewState();
    QString old = list.stationModel().at(row).name;
    list.stationModel().setName(row, std::move(name));
    if (history) history->Renamed(list, row, std::move(old), before);
    return true;
}

int ReplaceAddresses(ListView& list, const std::vector<std::pair<int, QString>>& addresses,
                     ListHistory* history) {
    const ListView::ViewState before = list.CurrentViewState();
    std::vector<std::pair<int, QString>> old;
    for (const auto& [row, address] : addresses) {
        if (row < 0 || row >= list.ListItems().Count() || address.isEmpty()) continue;
        const QString was = list.stationModel().at(row).address;
        if (was == address) continue;
        list.stationModel().setAddress(row, address);
        old.emplace_back(row, was);
    }
    const int changed = int(old.size());
    if (history && changed) history->Replaced(list, std::move(old), before);
    return changed;
}

bool MoveStation(ListView& list, int from, int to, ListHistory* history) {
    const int count = list.ListItems().Count();
    if (from < 0 || from >= count || to < 0 || to >= count || from == to) return false;
    const ListView::ViewState before = list.CurrentViewState();
    list.stationModel().moveRow(from, to);
    // The selection follows the row, so that the same key moves it on.
    list.Select(to + 1);
    if (history) history->Moved(list, from, to, before);
    return true;
}

} // namespace stations
