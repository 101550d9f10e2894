// stations/: whether the stations of a list still answer, without playing them and without holding the window:
// a stream's head as a player asks for it (a playlist read first when the address or the server says it is one,
// and its first entries asked), MMS over HTTP before a connection to MMS's own port as the engine tries them, a
// connection for the other protocols. At most MaxAtOnce stations at once and TimeoutMs each, every request through
// the fetcher it is handed and in the background, behind what the user waits for. Nothing plays, nothing is kept.
#pragma once

#include "stations/list_view.h"
#include "web/fetcher.h"

#include <QObject>

#include <memory>
#include <vector>

namespace stations {

class StationChecker : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxAtOnce = 4;
    static constexpr int TimeoutMs = 10000;
    // Of a playlist, the entries asked before it counts as dead.
    static constexpr int EntriesAsked = 3;

    explicit StationChecker(web::Fetcher& fetcher, QObject* parent = nullptr);
    ~StationChecker() override;

    // Checks stations, after those given before; each is answered by checked, from the event loop.
    void check(const std::vector<Station>& stations);
    // Drops every check, those under way too: nothing more is answered. How many were not answered yet.
    int cancel();
    bool busy() const;

signals:
    // why is None for a station that answers.
    void checked(const stations::Station& station, web::Failure why);
    // Every station given since the checker was last idle has been answered.
    void finished(int checked, int dead);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace stations
