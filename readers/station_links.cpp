// readers/: stations as people find them (links in any text, a playlist's text, a playlist file), read into
// stations with no network and no files.
#include "readers/station_links.h"

#include "readers/playlist.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>
#include <QStringView>

#include <algorithm>

namespace readers {
namespace {

// The schemes of the stations a list holds, as the text of a link shows them.
constexpr QLatin1String LinkSchemes[] = {
    QLatin1String("http"), QLatin1String("https"), QLatin1String("mms"),  QLatin1String("mmsh"),
    QLatin1String("mmst"), QLatin1String("rtsp"),  QLatin1String("rtmp"),
};

bool IsLinkScheme(QStringView scheme) {
    for (QLatin1String known : LinkSchemes)
        if (scheme.compare(known, Qt::CaseInsensitive) == 0) return true;
    return false;
}

bool IsWebScheme(QStringView scheme) {
    return scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) == 0 ||
           scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

// A playlist's entry may also name what the engine plays beyond the schemes people write in links.
bool IsNetworkScheme(QStringView scheme) {
    return IsLinkScheme(scheme) || scheme.compare(QLatin1String("rtsps"), Qt::CaseInsensitive) == 0 ||
           scheme.compare(QLatin1String("rtmps"), Qt::CaseInsensitive) == 0 ||
           scheme.compare(QLatin1String("rtmpt"), Qt::CaseInsensitive) == 0;
}

// An address on the web whose name says it is a playlist, for StationFinder to read.
bool IsPlaylistAddress(const QUrl& url) {
    if (!IsWebScheme(url.scheme())) return false;
    const QString path = url.path();
    for (const char* end : {".pls", ".m3u", ".m3u8", ".asx", ".xspf"})
        if (path.endsWith(QLatin1String(end), Qt::CaseInsensitive)) return true;
    return false;
}

// A line break would split the list file's "name|address" line; no address holds another control character.
bool HasControlCharacters(QStringView text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return true;
    return false;
}

// UTF-8 bytes of text, counted only as far as limit.
bool Utf8LongerThan(QStringView text, qsizetype limit) {
    if (text.size() > limit) return true;
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size() && bytes <= limit; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < 0x80)
            bytes += 1;
        else if (c < 0x800)
            bytes += 2;
        else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            bytes += 4;
            ++i;
        } else
            bytes += 3;
    }
    return bytes > limit;
}

FoundStation Found(const QString& name, const QString& address, bool playlist, const QString& linkName = {}) {
    FoundStation station;
    station.name = name;
    station.address = WithoutDirectionMarks(address);
    station.playlist = playlist;
    station.linkName = linkName;
    return station;
}

// Stations in the order found, each address once; the first MaxFoundStations kept, the rest counted.
class Collector {
public:
    void add(FoundStation station) {
        const qsizetype colon = station.address.indexOf(QLatin1String("://"));
        // The same address with its scheme in capitals is the same station.
        const QString key =
            colon < 0 ? station.address : station.address.left(colon).toLower() + station.address.mid(colon);
        if (m_seen.contains(key)) return;
        m_seen.insert(key);
        if (m_found.stations.size() < MaxFoundStations)
            m_found.stations.append(std::move(station));
        else
            ++m_found.leftOut;
    }
    void leftOut(qsizetype more) { m_found.leftOut += more; }

    FoundStations result() {
        if (m_found.stations.isEmpty()) m_found.refusal = FoundStations::Refusal::Nothing;
        return std::move(m_found);
    }

private:
    QSet<QString> m_seen;
    FoundStations m_found;
};

FoundStations Refused(FoundStations::Refusal refusal) {
    FoundStations found;
    found.refusal = refusal;
    return found;
}

// Punctuation of the sentence around a link rather than of the link, when it ends the link.
bool IsTrailingPunctuation(QChar c) {
    return QStringView(u".,;:!?)]}").contains(c);
}

// What ends a link in running text: white space, the quotes and brackets of markup and of code. Chinese text
// puts no space between a link and the sentence it ends, and no address holds full-width punctuation, so that
// ends a link wherever it stands.
bool EndsLink(QChar c) {
    return c.isSpace() || c.unicode() < 0x20 || c.unicode() == 0x7f ||
           QStringView(u"<>\"'`。，；：！？）」』").contains(c);
}

bool IsAsciiSchemeCharacter(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'+' ||
           u == u'-' || u == u'.';
}

// The link in a word, from its scheme ("URL:http://..." and "(http://...)" too) to the word's end, without
// the punctuation after it; empty when there is none. Each "://" is looked at once and a scheme is never
// longer than five letters, so a word costs its length.
QStringView LinkIn(QStringView word) {
    for (qsizetype at = word.indexOf(QLatin1String("://")); at >= 0;
         at = word.indexOf(QLatin1String("://"), at + 3)) {
        for (QLatin1String scheme : LinkSchemes) {
            const qsizetype start = at - scheme.size();
            if (start < 0 || word.mid(start, scheme.size()).compare(scheme, Qt::CaseInsensitive) != 0)
                continue;
            if (start > 0 && IsAsciiSchemeCharacter(word.at(start - 1))) continue;
            QStringView link = word.mid(start);
            while (!link.isEmpty() && IsTrailingPunctuation(link.back()))
                link.chop(1);
            return link;
        }
    }
    return {};
}

void AddLinksOfLine(QStringView line, Collector& found) {
    qsizetype at = 0;
    while (at < line.size()) {
        while (at < line.size() && EndsLink(line.at(at)))
            ++at;
        const qsizetype start = at;
        while (at < line.size() && !EndsLink(line.at(at)))
            ++at;
        const QStringView link = LinkIn(line.mid(start, at - start));
        if (link.isEmpty()) continue;
        const QUrl url(link.toString(), QUrl::TolerantMode);
        if (!url.isValid() || url.host().isEmpty()) continue;
        found.add(Found({}, link.toString(), IsPlaylistAddress(url)));
    }
}

// Every link of text, line by line; lines that start with "#" are comments, as in text/uri-list.
FoundStations LinksIn(QStringView text) {
    Collector found;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text.at(end) != u'\n' && text.at(end) != u'\r')
            ++end;
        const QStringView line = text.mid(start, end - start).trimmed();
        if (!line.startsWith(u'#')) AddLinksOfLine(line, found);
        start = end + 1;
    }
    return found.result();
}

// An address as the list keeps it: readable, but with its spaces encoded, as the list file trims a name's and
// an address's ends.
QString Written(const QUrl& url) {
    return url.toString(QUrl::EncodeSpaces);
}

// An entry as the station's address: resolved against a remote origin and then only a network address; as
// written when the playlist is local, where a file or a path may be one too. Empty when it is no station.
QString EntryAddress(const QString& entry, const QUrl& origin, bool remote) {
    if (HasControlCharacters(entry)) return {};
    const QUrl written(entry, QUrl::TolerantMode);
    if (!remote) {
        const QString scheme = written.scheme();
        if (scheme.compare(QLatin1String("file"), Qt::CaseInsensitive) == 0) return entry;
        if (!scheme.isEmpty())
            return IsNetworkScheme(scheme) && !written.host().isEmpty() ? entry : QString();
        // A path relative to a playlist file is relative to its folder; text pasted has no folder to go by.
        if (!origin.isLocalFile() || QDir::isAbsolutePath(entry)) return entry;
        // The list file trims an address's ends: a path cleaned down to a space at its end is no station.
        const QString path = QDir::cleanPath(QFileInfo(origin.toLocalFile()).dir().filePath(entry));
        return path == path.trimmed() ? path : QString();
    }
    const QUrl url = written.isRelative() ? origin.resolved(written) : written;
    if (!url.isValid() || url.host().isEmpty() || !IsNetworkScheme(url.scheme())) return {};
    return written.isRelative() ? Written(url) : entry;
}

// A title as it names a station: cleaned, and without the "(#1 - 123/1000) " that directory servers put before
// each mirror's title (its place in the list, and its listeners of its slots).
QString TitleName(const QString& raw) {
    QString name = StationName(raw);
    if (!name.startsWith(QLatin1String("(#"))) return name;
    // "(#" digits " - " digits "/" digits ")" and spaces.
    qsizetype at = 2;
    const auto digits = [&] {
        const qsizetype start = at;
        while (at < name.size() && name.at(at).isDigit())
            ++at;
        return at > start;
    };
    if (!digits() || !QStringView(name).mid(at).startsWith(QLatin1String(" - "))) return name;
    at += 3;
    if (!digits() || at >= name.size() || name.at(at) != u'/') return name;
    ++at;
    if (!digits() || at >= name.size() || name.at(at) != u')') return name;
    const QString rest = name.mid(at + 1).trimmed();
    return rest.isEmpty() ? name : rest;
}

FoundStations FromPlaylist(const ParsedPlaylist& playlist, const QUrl& origin) {
    const bool remote = IsWebScheme(origin.scheme()) && !origin.host().isEmpty();
    // An HLS playlist lists the pieces of one stream, which the engine plays from the playlist's address.
    if (playlist.format == ParsedPlaylist::Format::Hls && remote) {
        Collector found;
        found.add(Found({}, Written(origin), false));
        return found.result();
    }
    if (!playlist.recognized) return Refused(FoundStations::Refusal::Nothing);

    // The entries that can be stations, each with its title as a name and, in XSPF, its track.
    struct Entry {
        QString address, name;
        int track;
    };
    QList<Entry> entries;
    QSet<QString> titles;
    bool allPlaylists = true;
    for (qsizetype i = 0; i < playlist.entries.size(); ++i) {
        const QString address = EntryAddress(playlist.entries[i], origin, remote);
        if (address.isEmpty()) continue;
        const QString name = TitleName(playlist.titles.value(i));
        if (!name.isEmpty()) titles.insert(name);
        allPlaylists = allPlaylists && IsPlaylistAddress(QUrl(address));
        entries.append({address, name, playlist.tracks.isEmpty() ? int(i) : playlist.tracks.at(i)});
    }
    Collector found;
    if (entries.isEmpty()) return found.result();
    const bool xspf = playlist.format == ParsedPlaylist::Format::Xspf;
    // Entries beyond the ones the reader kept.
    const qsizetype unread = playlist.total - playlist.entries.size();

    // Untitled playlists naming playlists (a directory's list of its mirrors' playlists): each is read as if
    // it had been pasted on its own, and what they give is merged by name.
    if (titles.isEmpty() && allPlaylists && !xspf) {
        for (const Entry& entry : std::as_const(entries))
            found.add(Found({}, entry.address, true));
        found.leftOut(unread);
        FoundStations result = found.result();
        result.mirrorsByName = true;
        return result;
    }
    // One station: every entry has the one title or none (mirrors of one stream), or an XSPF's one track.
    const bool oneTrack = xspf && std::all_of(entries.begin(), entries.end(), [&](const Entry& e) {
                              return e.track == entries.first().track;
                          });
    if ((!xspf && titles.size() <= 1) || oneTrack) {
        const QString name = titles.isEmpty() ? TitleName(playlist.title) : *titles.begin();
        // The playlist's own address keeps the station when it has one on the web; an untitled one is named by
        // what its first entry's stream calls itself.
        FoundStation station =
            remote ? Found(name, Written(origin), false)
                   : Found(name, entries.first().address, IsPlaylistAddress(QUrl(entries.first().address)));
        if (remote && name.isEmpty()) station.nameFrom = entries.first().address;
        found.add(std::move(station));
        return found.result();
    }
    // Several stations: entries of one title are mirrors of one, and so are the locations of one track; an
    // untitled entry is a station of its own.
    QSet<QString> named;
    QSet<int> tracks;
    for (const Entry& entry : std::as_const(entries)) {
        if (!entry.name.isEmpty() && named.contains(entry.name)) continue;
        if (xspf && tracks.contains(entry.track)) continue;
        if (!entry.name.isEmpty()) named.insert(entry.name);
        tracks.insert(entry.track);
        found.add(Found(entry.name, entry.address, IsPlaylistAddress(QUrl(entry.address))));
    }
    found.leftOut(unread);
    return found.result();
}

bool HasHeader(ParsedPlaylist::Format format) {
    switch (format) {
    case ParsedPlaylist::Format::Pls:
    case ParsedPlaylist::Format::Reference:
    case ParsedPlaylist::Format::M3u:
    case ParsedPlaylist::Format::Asx:
    case ParsedPlaylist::Format::Xspf:
    case ParsedPlaylist::Format::Hls:
        return true;
    case ParsedPlaylist::Format::None:
    case ParsedPlaylist::Format::AddressLines:
        return false;
    }
    return false;
}

// The link text of an <a> as the name of its station: without markup, references read, cleaned; empty when it is
// only an address.
QString LinkName(QStringView text) {
    const QString name = StationName(DecodeMarkupReferences(text));
    return name.contains(QLatin1String("://")) ? QString() : name;
}

// The text of markup, its tags left out (each a space) and its references read.
QString MarkupText(QStringView html) {
    QString text;
    text.reserve(html.size());
    bool inTag = false;
    for (const QChar c : html) {
        if (c == u'<') inTag = true;
        if (!inTag) text += c;
        if (c == u'>') {
            inTag = false;
            text += u' ';
        }
    }
    return DecodeMarkupReferences(text);
}

} // namespace

FoundStations ReadFoundMozUrl(const QByteArray& utf16) {
    if (utf16.size() > 2 * MaxFoundTextBytes) return Refused(FoundStations::Refusal::TooLarge);
    QStringDecoder decode(utf16.startsWith("\xfe\xff") ? QStringConverter::Utf16BE
                                                       : QStringConverter::Utf16LE,
                          QStringConverter::Flag::Stateless);
    QString text = decode(utf16);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    return ReadFoundLinkPairs(text);
}

FoundStations ReadFoundLinkPairs(const QString& text) {
    if (Utf8LongerThan(text, MaxFoundTextBytes)) return Refused(FoundStations::Refusal::TooLarge);
    const QList<QStringView> lines = QStringView(text).split(u'\n');
    Collector found;
    for (qsizetype i = 0; i < lines.size(); i += 2) {
        const QString address = lines[i].trimmed().toString();
        if (!IsStationLink(address)) continue;
        const QString name = i + 1 < lines.size() ? LinkName(lines[i + 1]) : QString();
        found.add(Found({}, address, IsPlaylistAddress(QUrl(address)), name));
    }
    return found.result();
}

FoundStations ReadFoundHtml(const QString& html) {
    if (Utf8LongerThan(html, MaxFoundTextBytes)) return Refused(FoundStations::Refusal::TooLarge);
    Collector found;
    const QStringView text(html);
    qsizetype at = 0;
    while ((at = text.indexOf(QLatin1String("<a"), at, Qt::CaseInsensitive)) >= 0) {
        at += 2;
        if (at >= text.size() || !(text.at(at).isSpace() || text.at(at) == u'>')) continue;
        const qsizetype tagEnd = text.indexOf(u'>', at);
        if (tagEnd < 0) break;
        const QStringView tag = text.mid(at, tagEnd - at);
        // href="...", href='...' or href=...; the first one counts.
        QString href;
        const qsizetype name = tag.indexOf(QLatin1String("href"), 0, Qt::CaseInsensitive);
        if (name >= 0) {
            qsizetype v = name + 4;
            while (v < tag.size() && tag.at(v).isSpace())
                ++v;
            if (v < tag.size() && tag.at(v) == u'=') {
                ++v;
                while (v < tag.size() && tag.at(v).isSpace())
                    ++v;
                const QChar quote = v < tag.size() ? tag.at(v) : QChar();
                qsizetype end = v;
                if (quote == u'"' || quote == u'\'') {
                    end = tag.indexOf(quote, v + 1);
                    if (end < 0) end = tag.size();
                    href = DecodeMarkupReferences(tag.mid(v + 1, end - v - 1)).trimmed();
                } else {
                    while (end < tag.size() && !tag.at(end).isSpace())
                        ++end;
                    href = DecodeMarkupReferences(tag.mid(v, end - v)).trimmed();
                }
            }
        }
        qsizetype close = text.indexOf(QLatin1String("</a"), tagEnd + 1, Qt::CaseInsensitive);
        if (close < 0) close = text.size();
        at = close;
        if (!IsStationLink(href)) continue;
        found.add(Found({}, href, IsPlaylistAddress(QUrl(href)),
                        LinkName(MarkupText(text.mid(tagEnd + 1, close - tagEnd - 1)))));
    }
    FoundStations result = found.result();
    // A page's text that names addresses without linking them.
    if (result.stations.isEmpty()) return LinksIn(MarkupText(text));
    return result;
}

FoundStations ReadFoundText(const QString& text) {
    if (Utf8LongerThan(text, MaxFoundTextBytes)) return Refused(FoundStations::Refusal::TooLarge);
    const ParsedPlaylist playlist = ParsePlaylist(text.toUtf8());
    if (HasHeader(playlist.format)) return FromPlaylist(playlist, QUrl());
    return LinksIn(text);
}

FoundStations ReadFoundPlaylist(const QByteArray& body, const QUrl& origin) {
    if (body.size() > MaxFoundTextBytes) return Refused(FoundStations::Refusal::TooLarge);
    return FromPlaylist(ParsePlaylist(body), origin);
}

QString StationName(const QString& raw) {
    return CleanTitle(raw).replace(QLatin1Char('|'), QChar(0xFF5C));
}

bool IsStationLink(const QString& address) {
    const QUrl url(address, QUrl::TolerantMode);
    return url.isValid() && !url.host().isEmpty() && IsLinkScheme(url.scheme()) &&
           !HasControlCharacters(address);
}

QString WithoutDirectionMarks(QString address) {
    address.removeIf([](QChar c) {
        return (c.unicode() >= 0x202a && c.unicode() <= 0x202e) ||
               (c.unicode() >= 0x2066 && c.unicode() <= 0x2069);
    });
    return address;
}

QString HostName(const QString& address) {
    return QUrl(address, QUrl::TolerantMode).host();
}

} // namespace readers
