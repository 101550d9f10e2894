// player/: which addresses the player component hands to its engine, and in what form (no engine; local
// addresses are looked up in the file system, nothing is read).
#include "player/address.h"

#include <QFileInfo>

namespace player {
namespace {

// Schemes of streaming servers, passed on as they are. mms is not among them: FFmpeg has no protocol of that
// name.
bool IsStreamScheme(const QString& scheme) {
    static const QStringList schemes = {
        QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mmsh"),
        QStringLiteral("mmst"), QStringLiteral("rtsp"),  QStringLiteral("rtsps"),
        QStringLiteral("rtmp"), QStringLiteral("rtmps"), QStringLiteral("rtmpt"),
    };
    return schemes.contains(scheme);
}

QString WithScheme(QUrl url, const QString& scheme) {
    url.setScheme(scheme);
    return url.toString(QUrl::FullyEncoded);
}

// A file on this machine plays when it is a file: a directory would have the engine walk the tree below it
// (for minutes at /usr/share), and a device or a pipe (/dev/zero, /dev/stdin) never ends. A file that is not
// there yet goes to the engine, which then says it cannot find it. No file name holds a NUL, and the engine
// would read the path only up to it.
EngineAddress LocalFile(const QString& path) {
    if (path.contains(QChar(0))) return {};
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return {};
    return {EngineAddress::Local, {path}};
}

EngineAddress Network(QStringList candidates) {
    return {EngineAddress::Network, std::move(candidates)};
}

EngineAddress ClassifyUrl(QUrl url) {
    if (!url.isValid()) return {};
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("file")) {
        // file://server/share would make the engine reach for a network share the user never named.
        if (!url.host().isEmpty() && url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
            return {};
        url.setHost(QString()); // "localhost" would otherwise come back as a UNC path
        const QString path = url.toLocalFile();
        if (!path.startsWith(QLatin1Char('/'))) return {};
        return LocalFile(path);
    }
    if (url.host().isEmpty()) return {};
    // Old Windows Media stations: today's servers speak MMS over HTTP; the oldest only MMS over TCP.
    if (scheme == QLatin1String("mms"))
        return Network({WithScheme(url, QStringLiteral("mmsh")), WithScheme(url, QStringLiteral("mmst"))});
    if (IsStreamScheme(scheme)) return Network({WithScheme(url, scheme)});
    return {};
}

} // namespace

EngineAddress ClassifyAddress(const QString& typed) {
    // Measured before anything copies it.
    const QStringView trimmed = QStringView(typed).trimmed();
    if (trimmed.isEmpty() || trimmed.size() > MaxAddressLength) return {};
    const QString text = trimmed.toString();
    // A path as typed; the engine gets it as a path, so nothing in it can read as one of the engine's
    // schemes.
    if (text.startsWith(QLatin1Char('/'))) return LocalFile(text);
    return ClassifyUrl(QUrl(text, QUrl::TolerantMode));
}

EngineAddress ClassifyPlaylistEntry(const QString& entry, const QUrl& playlistAddress) {
    const QString text = entry.trimmed();
    if (text.isEmpty() || text.size() > MaxAddressLength) return {};
    const bool remotePlaylist = !playlistAddress.isLocalFile();
    QUrl url(text, QUrl::TolerantMode);
    if (url.isRelative()) url = playlistAddress.resolved(url);
    EngineAddress address = ClassifyUrl(url);
    if (remotePlaylist && address.kind == EngineAddress::Local) return {};
    // The bound holds for what the engine gets: a relative entry grows by the playlist's address.
    for (const QString& candidate : std::as_const(address.candidates))
        if (candidate.size() > MaxAddressLength) return {};
    // Windows Media Services wrote its MMS-over-HTTP entries as http:// addresses tagged with MSWMExt; a
    // plain HTTP request to such a server gets a redirection file instead of the stream, so ask for MMS over
    // HTTP first.
    if (address.kind == EngineAddress::Network &&
        url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0 &&
        url.query().contains(QLatin1String("MSWMExt="), Qt::CaseInsensitive))
        address.candidates.prepend(WithScheme(url, QStringLiteral("mmsh")));
    return address;
}

EngineAddress ClassifyPlaylistEntries(const QStringList& entries, const QUrl& playlistAddress) {
    EngineAddress address;
    for (const QString& entry : entries) {
        const EngineAddress e = ClassifyPlaylistEntry(entry, playlistAddress);
        if (e.kind == EngineAddress::Refused) continue;
        if (address.kind != EngineAddress::Network) address.kind = e.kind;
        address.candidates += e.candidates;
    }
    return address;
}

} // namespace player
