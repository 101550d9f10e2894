// player/: the session's playlist fall-over: the engine reads no playlist itself (its reader has no bound),
// so an address it cannot play may be one, read through the fetcher with a bound on size, entries and depth.
#include "player/session.h"

#include "readers/playlist.h"
#include "web/fetcher.h"

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
    qCDebug(lcPlayer) << "reading the playlist" << url;
    cancelPlaylistRead();
    m_playlistRead = m_fetcher.body(web::Request::StationPlaylist(url), this, [this](const web::Body& body) {
        m_playlistRead = 0;
        if (body.failure == web::Failure::None)
            onPlaylistFetched(body.bytes, body.finalUrl);
        else
            fail(body.failure == web::Failure::TooLarge ? QStringLiteral("无法播放：列表太长")
                                                        : m_failureBeforeReading);
    });
    return true;
}

void Session::cancelPlaylistRead() {
    if (m_playlistRead) m_fetcher.cancel(m_playlistRead);
    m_playlistRead = 0;
}

void Session::onPlaylistFetched(const QByteArray& body, const QUrl& finalUrl) {
    qCDebug(lcPlayer) << "playlist read" << finalUrl << body.size() << "bytes";
    if (!m_wantPlay) return;
    const readers::ParsedPlaylist playlist = readers::ParsePlaylist(body);
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
