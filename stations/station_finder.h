// stations/: completes what a drop or a paste found (readers/station_links.h) with what only the web can tell,
// through the fetcher it is handed: reads the playlists among the addresses (size, entries, depth, reads in a
// batch, each bounded by the fetcher's request), and names a station nothing named by its stream's own name
// (icy-name, one head request) or else by its host.
//
// One batch is read at a time and a few wait behind it; a batch holding the same addresses as one already
// read or waiting is that batch. Everything runs on the event loop: no thread, no wait.
#pragma once

#include "readers/station_links.h"

#include <QList>
#include <QObject>

#include <memory>

namespace web {
class Fetcher;
}

namespace stations {

class StationFinder : public QObject {
    Q_OBJECT
public:
    // Batches that may wait behind the one being read.
    static constexpr int MaxWaiting = 4;
    // Playlists listing playlists, read to this depth; deeper is a maze, not a station.
    static constexpr int MaxDepth = 8;
    // Playlists read in one batch: each may list up to MaxFoundStations playlists of its own, and a server making
    // them up as it goes would otherwise be read without end.
    static constexpr int MaxReads = 2 * int(readers::MaxFoundStations);

    explicit StationFinder(web::Fetcher& fetcher, QObject* parent = nullptr);
    ~StationFinder() override;

    enum class Taken {
        Reading, // read now, or after the batches before it
        Merged,  // the same addresses as a batch being read or waiting: that batch's answer is this one's
        Busy,    // MaxWaiting batches wait already: not taken
    };
    // Queues found; its answer comes as finished, from the event loop, after the answers of batches given
    // before, never within this call.
    Taken find(const readers::FoundStations& found);
    // Drops every batch, the one being read too: no answer comes for any. How many there were.
    int cancelAll();
    bool busy() const;

signals:
    // The batch's stations, all named, in order, at most MaxFoundStations (the first ones; leftOut says how
    // many more, or SomeLeftOut); a playlist that was tried and could not be read is left out, and failures says
    // how many were.
    void finished(const readers::FoundStations& stations, int failures);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace stations
