// player/: the session's patience. A request has a deadline to sound, shared among the addresses it may try,
// so that a stalled first address leaves time for its fall-back; a stream that played and then starves is a
// drop, reconnected like one, even while its server keeps the connection open.
#include "player/session.h"

#include <QLoggingCategory>

namespace player {

Q_DECLARE_LOGGING_CATEGORY(lcPlayer)

void Session::startSlice() {
    const int following = int(m_entries.size()) - 1 + m_awaitingReplies;
    const qint64 left = SoundDeadlineMs - m_loadClock.elapsed();
    const qint64 share = following > 0 ? left / (following + 1) : left;
    m_deadline.start(int(qMax<qint64>(share, MinSliceMs)));
    qCDebug(lcPlayer) << "entry" << m_currentEntry << "has" << m_deadline.interval() << "ms;" << following
                      << "after it";
}

void Session::onDeadline() {
    qCDebug(lcPlayer) << "no sound in time; listening" << m_wantPlay << "state" << m_state;
    if (!m_wantPlay || m_state == State::Playing) return;
    // Another entry waits behind this one: it gets its turn while the request's time lasts. The engine ends
    // this one at once, whatever the network is doing, and opens the next.
    if (m_currentEntry >= 0 && m_entries.size() > 1 && m_loadClock.elapsed() < SoundDeadlineMs) {
        m_skippedEntry = m_currentEntry;
        m_deadline.start(MinSliceMs); // until the next entry starts and takes its own share
        m_engine->next();
        return;
    }
    giveUp(TimedOut());
}

void Session::onStall() {
    qCDebug(lcPlayer) << "no data for" << StallMs << "ms after sound; entry" << m_currentEntry;
    if (!m_wantPlay || !m_pausedForCache || m_currentEntry < 0) return;
    abortCurrent(QStringLiteral("stalled: no data from the server"));
}

void Session::giveUp(const QString& why) {
    m_deadline.stop();
    m_stall.stop();
    m_abortReason = why;
    // Whatever of the load is left goes: its ends are no longer waited for.
    m_entries.clear();
    m_currentEntry = -1;
    m_awaitingReplies = 0;
    m_lastEnd = EndOfFile{EndOfFile::Error, EngineError::LoadingFailed};
    m_lastErrors = {why};
    cancelPlaylistRead();
    m_engine->stop();
    // Late answers about this load belong to an earlier one from now on.
    ++m_loadTag;
    queueDecision();
}

} // namespace player
