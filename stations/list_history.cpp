// stations/: the list's history.
#include "stations/list_history.h"

namespace stations {

void ListHistory::Cleared(ListView& list, std::vector<Station>&& rows, const ListView::ViewState& before) {
    Step step;
    step.kind = Kind::Clear;
    step.rows = std::move(rows);
    step.before = before;
    step.after = list.CurrentViewState();
    record(std::move(step));
}

void ListHistory::Removed(ListView& list, int row, Station&& station, const ListView::ViewState& before) {
    Step step;
    step.kind = Kind::Delete;
    step.first = row;
    step.rows.push_back(std::move(station));
    step.before = before;
    step.after = list.CurrentViewState();
    record(std::move(step));
}

void ListHistory::Appended(ListView& list, int first, int count, const ListView::ViewState& before,
                           Kind kind) {
    if (count <= 0) return;
    Step step;
    step.kind = kind;
    step.first = first;
    step.count = count;
    step.before = before;
    step.after = list.CurrentViewState();
    record(std::move(step));
}

void ListHistory::Renamed(ListView& list, int row, QString&& oldName, const ListView::ViewState& before) {
    Step step;
    step.kind = Kind::Rename;
    step.first = row;
    step.rows.push_back({std::move(oldName), {}});
    step.before = before;
    step.after = list.CurrentViewState();
    record(std::move(step));
}

void ListHistory::Moved(ListView& list, int from, int to, const ListView::ViewState& before) {
    Step step;
    step.kind = Kind::Move;
    step.first = from;
    step.count = to;
    step.before = before;
    step.after = list.CurrentViewState();
    record(std::move(step));
}

void ListHistory::Replaced(ListView& list, std::vector<std::pair<int, QString>>&& oldAddresses,
                           const ListView::ViewState& before) {
    Step step;
    step.kind = Kind::Replace;
    for (auto& [row, address] : oldAddresses) {
        step.at.push_back(row);
        step.rows.push_back({{}, std::move(address)});
    }
    step.before = before;
    step.after = list.CurrentViewState();
    record(std::move(step));
}

void ListHistory::record(Step&& step) {
    // A new change ends what was taken back: it can no longer be made again.
    for (const Step& undone : m_undone)
        m_rowsHeld -= undone.rows.size();
    m_undone.clear();
    m_rowsHeld += step.rows.size();
    m_done.push_back(std::move(step));
    trim();
}

void ListHistory::trim() {
    while (!m_done.empty() && (m_done.size() > MaxSteps || m_rowsHeld > MaxRows)) {
        m_rowsHeld -= m_done.front().rows.size();
        m_done.pop_front();
    }
}

void ListHistory::apply(ListView& list, Step& step, bool forward) {
    StationModel& model = list.stationModel();
    switch (step.kind) {
    case Kind::Clear:
        if (forward) {
            step.rows = model.takeAll();
        } else {
            model.append(std::move(step.rows));
            step.rows = {};
        }
        break;
    case Kind::Delete:
        if (forward) {
            step.rows.push_back(model.takeAt(step.first));
        } else {
            model.insertAt(step.first, std::move(step.rows.front()));
            step.rows = {};
        }
        break;
    case Kind::Add:
    case Kind::Paste:
        if (forward) {
            model.append(std::move(step.rows));
            step.rows = {};
        } else {
            step.rows = model.takeRange(step.first, step.count);
        }
        break;
    case Kind::Rename: {
        // The name shown and the name held trade places, either way.
        QString other = model.at(step.first).name;
        model.setName(step.first, std::move(step.rows.front().name));
        step.rows.front().name = std::move(other);
        break;
    }
    case Kind::Move:
        model.moveRow(forward ? step.first : step.count, forward ? step.count : step.first);
        break;
    case Kind::Replace:
        // As a rename: the address shown and the address held trade places.
        for (size_t i = 0; i < step.at.size(); ++i) {
            QString other = model.at(step.at[i]).address;
            model.setAddress(step.at[i], step.rows[i].address);
            step.rows[i].address = std::move(other);
        }
        break;
    }
}

bool ListHistory::Undo(ListView& list) {
    if (m_done.empty()) return false;
    Step step = std::move(m_done.back());
    m_done.pop_back();
    m_rowsHeld -= step.rows.size();
    apply(list, step, false);
    m_rowsHeld += step.rows.size();
    list.RestoreViewState(step.before);
    m_undone.push_back(std::move(step));
    return true;
}

bool ListHistory::Redo(ListView& list) {
    if (m_undone.empty()) return false;
    Step step = std::move(m_undone.back());
    m_undone.pop_back();
    m_rowsHeld -= step.rows.size();
    apply(list, step, true);
    m_rowsHeld += step.rows.size();
    list.RestoreViewState(step.after);
    m_done.push_back(std::move(step));
    return true;
}

std::optional<ListHistory::Kind> ListHistory::NextUndo() const {
    if (m_done.empty()) return std::nullopt;
    return m_done.back().kind;
}

std::optional<ListHistory::Kind> ListHistory::NextRedo() const {
    if (m_undone.empty()) return std::nullopt;
    return m_undone.back().kind;
}

} // namespace stations
