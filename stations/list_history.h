// stations/: the list's history in this run, so that Ctrl+Z takes back what a key took (Ctrl+C clears the whole
// list, at once and unasked) and Ctrl+Y makes it again. Each change the user made to the rows is one step: a
// clear, a delete, an add, a batch of stations brought in, a rename, a move. A step holds the rows it took, moved
// out of the list rather than copied, and the view as it was before and after; the history holds at most MaxRows
// rows over all its steps, the oldest steps going first. Nothing of it is written anywhere.
#pragma once

#include "stations/list_view.h"

#include <deque>
#include <optional>
#include <vector>

namespace stations {

class ListHistory {
public:
    static constexpr size_t MaxSteps = 1000;
    static constexpr size_t MaxRows = 1'000'000;

    // What a step did, as the user asked for it.
    enum class Kind { Clear, Delete, Add, Paste, Rename, Move, Replace };

    // The steps, recorded by the edit commands once they changed the list; before is the view before the change.
    void Cleared(ListView& list, std::vector<Station>&& rows, const ListView::ViewState& before);
    void Removed(ListView& list, int row, Station&& station, const ListView::ViewState& before);
    void Appended(ListView& list, int first, int count, const ListView::ViewState& before,
                  Kind kind = Kind::Add);
    void Renamed(ListView& list, int row, QString&& oldName, const ListView::ViewState& before);
    void Moved(ListView& list, int from, int to, const ListView::ViewState& before);
    // Addresses given to rows, each with the address it had.
    void Replaced(ListView& list, std::vector<std::pair<int, QString>>&& oldAddresses,
                  const ListView::ViewState& before);

    // Takes back the last step, or makes the last step taken back again; false when there is none.
    bool Undo(ListView& list);
    bool Redo(ListView& list);
    // What Undo or Redo would take back or make again; nothing when there is none.
    std::optional<Kind> NextUndo() const;
    std::optional<Kind> NextRedo() const;

    size_t UndoSteps() const { return m_done.size(); }
    size_t RedoSteps() const { return m_undone.size(); }
    size_t RowsHeld() const { return m_rowsHeld; }

private:
    struct Step {
        Kind kind = Kind::Clear;
        int first = 0;             // the row removed, renamed or moved, or the first row appended
        int count = 0;             // rows appended; the row moved to
        std::vector<Station> rows; // the rows out of the list while the step stands (a clear, a delete) or
                                   // while it is taken back (an add); a rename's other name; the other
                                   // addresses of a replacement
        std::vector<int> at;       // the rows whose addresses were replaced
        ListView::ViewState before, after;
    };
    void record(Step&& step);
    void trim();
    // Makes step, or takes it back (forward false), on list.
    static void apply(ListView& list, Step& step, bool forward);

    std::deque<Step> m_done;    // oldest first
    std::vector<Step> m_undone; // the last taken back at the end
    size_t m_rowsHeld = 0;
};

} // namespace stations
