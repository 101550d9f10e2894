// stations/: the three commands that edit the station list, as functions over the list control.
// They change the list only, and say whether they did; the file is written by the save alone (list_file.h).
// Given a history, each change they make is a step of it, which Ctrl+Z can take back.
#pragma once

#include "stations/list_view.h"

#include <vector>

namespace stations {
class ListHistory;
}

namespace stations {

// 网络URL: asks for "name|address" and appends it. True when an entry was appended; an empty answer
// (Cancel) or a refused one changes nothing.
[[nodiscard]] bool AddStation(ListView& list, ListHistory* history = nullptr);
// Stations brought in from outside the input box (a drop, a paste), appended one by one as 网络URL appends
// one. An address the list holds already is not appended again; its row is selected instead, so the user sees
// where it is. Otherwise the first appended row is selected.
struct StationsAdded {
    int added = 0;
    int alreadyListed = 0;
};
[[nodiscard]] StationsAdded AddStations(ListView& list, const std::vector<Station>& stations,
                                        ListHistory* history = nullptr, bool pasted = true);
// 删除: removes the selected entry. True when one was; false when none is selected.
[[nodiscard]] bool DeleteSelected(ListView& list, ListHistory* history = nullptr);
// 清空列表: always true, also on an empty list: clearing is a change the user asked for.
[[nodiscard]] bool ClearList(ListView& list, ListHistory* history = nullptr);
// A rename in place: the 0-based row's name becomes typed, cleaned as a name from outside is (no control or
// reordering characters, "|" as "｜", at most 256 characters). True when the name changed; an empty name keeps
// the old one. The address stays as it is.
[[nodiscard]] bool RenameStation(ListView& list, int row, const QString& typed,
                                 ListHistory* history = nullptr);
// Gives each 0-based row its new address (a station found again in the directory), names and places kept, as
// one step. How many changed.
[[nodiscard]] int ReplaceAddresses(ListView& list, const std::vector<std::pair<int, QString>>& addresses,
                                   ListHistory* history = nullptr);
// Moves the 0-based row from to the place to, and selects it there. True when it moved.
[[nodiscard]] bool MoveStation(ListView& list, int from, int to, ListHistory* history = nullptr);

} // namespace stations
