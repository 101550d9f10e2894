// player/: how long the session waits before each reconnect of a stream that dropped.
//
// Quick for a blip, then no more often than every 15 s while the server stays away; a stream that played a
// while before it dropped starts from the shortest wait again.
#pragma once

#include <QtGlobal>
#include <iterator>

namespace player {

class RetryPolicy {
public:
    static constexpr int DelaysMs[] = {1000, 2000, 4000, 8000, 15000};
    static constexpr qint64 StablePlayMs = 30000;

    // A new play request: the next wait is the shortest.
    void reset() { m_count = 0; }
    // The wait before the next reconnect; playedMs is how long the stream played before this drop (-1 when it
    // did not play since the last reconnect).
    int nextDelayMs(qint64 playedMs) {
        if (playedMs >= StablePlayMs) m_count = 0;
        const int last = int(std::size(DelaysMs)) - 1;
        return DelaysMs[qMin(m_count++, last)];
    }

private:
    int m_count = 0;
};

} // namespace player
