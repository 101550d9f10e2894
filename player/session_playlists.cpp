// player/: the session's playlist fall-over: the engine reads no playlist itself (its reader has no bound),
// so an address it cannot play may be one, read here with a bound on size, entries and depth.
#include "player/session.h"

#include "player/playlist.h"
#include "player/playlist_fetch.h"

#include <QLoggingCategory>

namespace player {

Q_DECLARE_LOGGING_CATEGORY(lcPlayer)

bool Session::readPlaylist(const EndOfFile& end) {
    QString address = m_entryUrls.value(end.entry);
    if (address.isEmpty() && m_address.candidates.size() == 1) address = m_address.candidates.first();
    const QUrl url = address.startsWith(QLatin1Char('/')) ? QUrl::fromLocalFile(address) : QUrl(address);
    if (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https") && !url.isLocalFile())
        return false;
    if (m_playlistsRead.contains(address) || ++m_playlistReads > MaxPlaylistReads) {
        m_lastErrors = {QStringLiteral("playlist loop: playlists naming playlists")};
        return false;
    }
    m_playlistsRead.insert(address);
    m_failureBeforeReading = describeFailure();
    if (!m_fetch) {
        m_fetch = new PlaylistFetch(this);
        connect(m_fetch, &PlaylistFetch::fetched, this, &Session::onPlaylistFetched);
        connect(m_fetch, &PlaylistFetch::failed, this,
                [this](const QString&, PlaylistFetch::Failure failure) {
                    fail(failure == PlaylistFetch::TooLarge ? QStringLiteral("无法播放：列表太长")
                                                            : m_failureBeforeReading);
                });
    }
    qCDebug(lcPlayer) << "reading the playlist" << url;
    m_fetch->start(url);
    return true;
}

void Session::onPlaylistFetched(const QByteArray& body, const QUrl& finalUrl) {
    qCDebug(lcPlayer) << "playlist read" << finalUrl << body.size() << "bytes";
    if (!m_wantPlay) return;
    const ParsedPlaylist playlist = ParsePlaylist(body);
    if (!playlist.recognized) {
        fail(m_failureBeforeReading);
        return;
    }
    const EngineAddress address = ClassifyPlaylistEntries(playlist.entries, finalUrl);
    if (address.candidates.isEmpty()) {
        fail(playlist.entries.isEmpty() ? QStringLiteral("无法播放：列表是空的")
                                        : QStringLiteral("不支持的地址"));
        return;
    }
    m_address = address;
    load(State::Connecting);
}

} // namespace player
