// player/: completes what a drop or a paste found (station_links.h) with what only the web can tell, off the
// UI thread: reads the playlists among the addresses through the bounded playlist fetch (size, entries, depth,
// 15 s), and names a station nothing named by its stream's own name (icy-name, one request of at most 5 s) or
// else by its host. One batch at a time; a batch given while one is read waits for it, in order.
#pragma once

#include "player/station_links.h"

#include <QList>
#include <QObject>

namespace player {

class StationFinder : public QObject {
    Q_OBJECT
public:
    explicit StationFinder(QObject* parent = nullptr);
    ~StationFinder() override;

    // Queues found; its answer comes as finished, on the UI thread, after the answers of batches given before.
    // A batch that needs no web is answered from the event loop too, never within this call.
    void find(const FoundStations& found);
    bool busy() const;

signals:
    // The batch's stations, all named, in order, at most MaxFoundStations (more is TooMany, as from the
    // readers); a playlist that could not be read is left out, and failures says how many were.
    void finished(const player::FoundStations& stations, int failures);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace player
