// stations/: the list's history.
#include "stations/list_history.h"

namespace stations {

void ListHistory::Cleared(ListView& list, std::vector<Station>&& rows, const ListView::ViewState& before) {
    Step step;
    step.kind = Step::Clear;
    step.rows = std::move(rows);
    step.before = before;
    step.after = list.CurrentViewState();
    record(std::move(step));
}

void ListHistory::Removed(ListView& list, int row, Station&& station, const ListView::ViewState& before) {
    Step step;
    step.kind = Step::Remove;
    step.first = row;
    step.rows.push_back(std::move(station));
    step.before = before;
    step.after = list.CurrentViewState();
    record(std::move(step));
}

void ListHistory::Appended(ListView& list, int first, int count, const ListView::ViewState& before) {
    if (count <= 0) return;
    Step step;
    step.kind = Step::Append;
    step.first = first;
    step.count = count;
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

bool ListHistory::Undo(ListView& list) {
    if (m_done.empty()) return false;
    Step step = std::move(m_done.back());
    m_done.pop_back();
    m_rowsHeld -= step.rows.size();
    StationModel& model = list.stationModel();
    switch (step.kind) {
    case Step::Clear:
        model.append(std::move(step.rows));
        step.rows = {};
        break;
    case Step::Remove:
        model.insertAt(step.first, std::move(step.rows.front()));
        step.rows = {};
        break;
    case Step::Append:
        step.rows = model.takeRange(step.first, step.count);
        break;
    }
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
    StationModel& model = list.stationModel();
    switch (step.kind) {
    case Step::Clear:
        step.rows = model.takeAll();
        break;
    case Step::Remove:
        step.rows.push_back(model.takeAt(step.first));
        break;
    case Step::Append:
        model.append(std::move(step.rows));
        step.rows = {};
        break;
    }
    m_rowsHeld += step.rows.size();
    list.RestoreViewState(step.after);
    m_done.push_back(std::move(step));
    return true;
}

} // namespace stations
