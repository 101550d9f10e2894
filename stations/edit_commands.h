// stations/: the three commands that edit the station list, as functions over the list control.
// They change the list only, and say whether they did; the file is written by the save alone (list_file.h).
#pragma once

namespace stations {

class ListView;

// 网络URL: asks for "name|address" and appends it. True when an entry was appended; an empty answer
// (Cancel) or a refused one changes nothing.
[[nodiscard]] bool AddStation(ListView& list);
// 删除: removes the selected entry. True when one was; false when none is selected.
[[nodiscard]] bool DeleteSelected(ListView& list);
// 清空列表: always true, also on an empty list: clearing is a change the user asked for.
[[nodiscard]] bool ClearList(ListView& list);

} // namespace stations
