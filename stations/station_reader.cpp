// stations/: the drop and paste reader.
#include "stations/station_reader.h"

#include "platform/local_file.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMimeData>
#include <QSet>
#include <QStringDecoder>
#include <QUrl>

namespace stations {

using readers::FoundStations;

namespace {

// A question to another program that took this long went unanswered: Qt gives up at 5 s, and asking again would
// wait as long again.
constexpr qint64 NoAnswerMs = 4000;

bool IsPlaylistFile(const QString& name) {
    for (const char* suffix : {".pls", ".m3u", ".m3u8", ".asx", ".xspf"})
        if (name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive)) return true;
    return false;
}

// Adds more to what a drop gathered so far: each address once, the first MaxFoundStations kept, the rest
// counted as left out.
void Gather(FoundStations& into, const FoundStations& more, QSet<QString>& seen) {
    for (const readers::FoundStation& station : more.stations) {
        if (seen.contains(station.address)) continue;
        seen.insert(station.address);
        if (into.stations.size() < readers::MaxFoundStations)
            into.stations.append(station);
        else if (into.leftOut != FoundStations::SomeLeftOut)
            ++into.leftOut;
    }
    if (more.leftOut == FoundStations::SomeLeftOut)
        into.leftOut = FoundStations::SomeLeftOut;
    else if (into.leftOut != FoundStations::SomeLeftOut)
        into.leftOut += more.leftOut;
}

// The links of a text/uri-list: local playlist files read here, within what is left of the batch's bytes,
// other addresses as text.
Dropped ReadUriList(const QByteArray& bytes) {
    Dropped dropped;
    QSet<QString> seen, files;
    QStringList links;
    qsizetype budget = readers::MaxFoundTextBytes;
    bool stopped = false; // a bound was passed: what follows is not read
    for (const QByteArray& line : bytes.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith('#')) continue;
        const QUrl url = QUrl::fromEncoded(trimmed);
        if (!url.isLocalFile()) {
            links << QString::fromUtf8(trimmed);
            continue;
        }
        const QString path = url.toLocalFile();
        if (files.contains(path)) continue; // named twice: read once
        files.insert(path);
        if (stopped) continue;
        if (dropped.found.stations.size() >= readers::MaxFoundStations) {
            stopped = true;
            dropped.found.leftOut = FoundStations::SomeLeftOut;
            continue;
        }
        // A folder's address may end in "/", which leaves QFileInfo no name to give.
        const QString name = QFileInfo(QDir::cleanPath(path)).fileName();
        platform::LocalFile file = platform::ReadLocalFile(path, budget);
        switch (file.outcome) {
        case platform::LocalFile::Read:
            break;
        case platform::LocalFile::Missing:
            return {{}, QStringLiteral("找不到文件:%1").arg(name)};
        case platform::LocalFile::Folder:
            return {{}, QStringLiteral("不能添加文件夹:%1").arg(name)};
        case platform::LocalFile::NotRegular:
            // A device or a pipe could be read without end, or block the window on its first byte.
            return {{}, QStringLiteral("不是普通文件:%1").arg(name)};
        case platform::LocalFile::Unreadable:
            return {{}, QStringLiteral("无法读取%1:%2").arg(name, file.error)};
        case platform::LocalFile::TooLarge:
            // Over what is left of the batch's bytes: the files before it stand.
            stopped = true;
            dropped.found.leftOut = FoundStations::SomeLeftOut;
            continue;
        }
        if (!IsPlaylistFile(name)) return {{}, QStringLiteral("不是播放列表:%1").arg(name)};
        budget -= file.bytes.size();
        Gather(dropped.found, readers::ReadFoundPlaylist(file.bytes, url), seen);
    }
    if (!links.isEmpty()) {
        const FoundStations text = readers::ReadFoundText(links.join(u'\n'));
        if (text.refusal == FoundStations::Refusal::TooLarge) {
            stopped = true;
            dropped.found.leftOut = FoundStations::SomeLeftOut;
        }
        Gather(dropped.found, text, seen);
    }
    if (dropped.found.stations.isEmpty()) {
        // Nothing but what was too large to read.
        dropped.found.refusal = stopped ? FoundStations::Refusal::TooLarge : FoundStations::Refusal::Nothing;
        dropped.found.leftOut = 0;
    }
    return dropped;
}

} // namespace

QString ChosenFormat(const QStringList& formats) {
    for (const char* named : {"audio/x-mpegurl", "text/x-moz-url", "_NETSCAPE_URL"})
        if (formats.contains(QLatin1String(named))) return QString::fromLatin1(named);
    const QLatin1String uriList("text/uri-list"), html("text/html");
    if (formats.contains(uriList) && formats.contains(html)) return html;
    for (const char* wanted : {"text/uri-list", "text/html", "text/plain;charset=utf-8"})
        if (formats.contains(QLatin1String(wanted))) return QString::fromLatin1(wanted);
    for (const QString& format : formats)
        if (format.startsWith(QLatin1String("text/plain")) || format == QLatin1String("audio/x-mpegurl"))
            return format;
    return {};
}

Dropped ReadDroppedFormat(const QString& format, const QByteArray& bytes) {
    if (format == QLatin1String("text/uri-list")) return ReadUriList(bytes);
    if (format == QLatin1String("text/x-moz-url")) return {readers::ReadFoundMozUrl(bytes), {}};
    if (format == QLatin1String("_NETSCAPE_URL"))
        return {readers::ReadFoundLinkPairs(QString::fromUtf8(bytes)), {}};
    if (format == QLatin1String("text/html")) {
        // Browsers on this desktop write markup as UTF-8, some as UTF-16 with its mark.
        const bool utf16 = bytes.startsWith("\xff\xfe") || bytes.startsWith("\xfe\xff");
        QStringDecoder decode(utf16 ? QStringConverter::Utf16 : QStringConverter::Utf8);
        return {readers::ReadFoundHtml(decode(bytes)), {}};
    }
    if (format.startsWith(QLatin1String("text/plain")) || format == QLatin1String("audio/x-mpegurl"))
        return {readers::ReadFoundText(QString::fromUtf8(bytes)), {}};
    Dropped nothing;
    nothing.found.refusal = FoundStations::Refusal::Nothing;
    return nothing;
}

Dropped ReadDropped(const QMimeData& data) {
    // Each question to a clipboard or a drag from another program may wait for it (Qt's X11 clipboard: 5 s): one
    // for its formats, one for the chosen format's bytes, and one more only when a page's markup offered beside
    // links named none of them and its owner answered.
    const QStringList formats = data.formats();
    const QString format = ChosenFormat(formats);
    if (format.isEmpty()) return ReadDroppedFormat(format, {});
    QElapsedTimer asked;
    asked.start();
    const Dropped dropped = ReadDroppedFormat(format, data.data(format));
    const QLatin1String uriList("text/uri-list");
    if (dropped.found.refusal != FoundStations::Refusal::Nothing || !formats.contains(uriList) ||
        format == uriList || asked.elapsed() >= NoAnswerMs)
        return dropped;
    return ReadDroppedFormat(uriList, data.data(uriList));
}

} // namespace stations
