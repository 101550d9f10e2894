// stations/: the three commands that edit the station list, as functions over the list control.
// They change the list and ListModified only; the file is written by the save alone (list_file.h).
#pragma once

namespace stations {

class ListView;

// 网络URL: asks for "name|address" and appends it.
void AddStation(ListView& list);
// 删除: removes the selected entry; nothing when none is selected.
void DeleteSelected(ListView& list);
// 清空列表
void ClearList(ListView& list);

} // namespace stations
