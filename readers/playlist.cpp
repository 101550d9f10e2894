// readers/: playlists of every format and text from servers, read from bytes alone: no network, no files.
#include "readers/playlist.h"

#include "readers/server_text.h"

#include <QStringDecoder>
#include <QStringView>

namespace readers {

namespace {

// Characters that end a line or separate words, shown as one space.
bool IsBreak(char32_t c) {
    return c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r' || c == 0x85 || c == 0x2028 ||
           c == 0x2029;
}

// Characters a title never shows: controls, the marks and overrides that reorder text (a server could make
// "evil.exe" read as "exe.live"), and invisible characters with no place in a title.
bool IsDropped(char32_t c) {
    if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) return true;
    if (c >= 0x202a && c <= 0x202e) return true;                // embeddings and overrides
    if (c >= 0x2066 && c <= 0x2069) return true;                // isolates
    if (c == 0x200e || c == 0x200f || c == 0x061c) return true; // directional marks
    if (c == 0x200b || c == 0xfeff || c == 0x2060)
        return true;                             // zero-width space, byte order mark, word joiner
    if (c >= 0xfff9 && c <= 0xfffb) return true; // interlinear annotations
    if (c >= 0xd800 && c <= 0xdfff) return true; // a surrogate without its pair
    return (c & 0xfffe) == 0xfffe;               // non-characters
}

// Where the terminal escape sequence that starts at text[i] (an ESC) ends: a CSI (ESC "[", parameters, one final
// byte) or an OSC (ESC "]" up to BEL or ESC and a backslash, else the end). Only the ESC itself when it starts neither:
// "[31m" must not be left behind to read as part of a title.
qsizetype EscapeSequenceEnd(QStringView text, qsizetype i) {
    if (i + 1 >= text.size()) return i + 1;
    const char16_t kind = text.at(i + 1).unicode();
    qsizetype at = i + 2;
    if (kind == u'[') {
        while (at < text.size() && text.at(at).unicode() >= 0x20 && text.at(at).unicode() <= 0x3f)
            ++at;
        return at < text.size() && text.at(at).unicode() >= 0x40 && text.at(at).unicode() <= 0x7e ? at + 1
                                                                                                  : at;
    }
    if (kind == u']') {
        for (; at < text.size(); ++at) {
            if (text.at(at) == u'\a') return at + 1;
            if (text.at(at) == u'\x1b' && at + 1 < text.size() && text.at(at + 1) == u'\\') return at + 2;
        }
        return at;
    }
    return i + 1;
}

} // namespace

QString CleanTitle(const QString& text) {
    QString out;
    out.reserve(qMin(text.size(), MaxTitleLength + 1));
    bool space = false;
    for (qsizetype i = 0; i < text.size() && out.size() <= MaxTitleLength;) {
        char32_t c = text.at(i).unicode();
        if (c == 0x1b) {
            i = EscapeSequenceEnd(text, i);
            continue;
        }
        qsizetype width = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            width = 2;
        }
        i += width;
        if (IsBreak(c) || (c < 0x10000 && QChar(char16_t(c)).isSpace())) {
            space = !out.isEmpty();
            continue;
        }
        if (IsDropped(c)) continue;
        if (space) out += QLatin1Char(' ');
        space = false;
        out += QStringView(text).mid(i - width, width);
    }
    if (out.size() <= MaxTitleLength) return out;
    // Room for the ellipsis, and never half a surrogate pair.
    qsizetype keep = MaxTitleLength - 1;
    if (out.at(keep - 1).isHighSurrogate()) --keep;
    out.truncate(keep);
    while (out.endsWith(QLatin1Char(' ')))
        out.chop(1);
    return out + QChar(0x2026);
}

namespace {

// The lines of a text file, each without its line end and trimmed.
QList<QStringView> Lines(QStringView text) {
    QList<QStringView> lines;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = text.indexOf(u'\n', start);
        if (end < 0) end = text.size();
        lines.append(text.mid(start, end - start).trimmed());
        start = end + 1;
    }
    return lines;
}

QStringView FirstNonEmpty(const QList<QStringView>& lines) {
    for (QStringView line : lines)
        if (!line.isEmpty()) return line;
    return {};
}

// Counts every entry; keeps the first MaxPlaylistEntries. True when entry was kept.
bool Add(ParsedPlaylist& playlist, QStringView entry, QStringView title = {}) {
    entry = entry.trimmed();
    if (entry.isEmpty()) return false;
    ++playlist.total;
    if (playlist.entries.size() >= MaxPlaylistEntries) return false;
    playlist.entries.append(entry.toString());
    playlist.titles.append(title.trimmed().toString());
    return true;
}

// The key and value of a "key=value" line, the value without the quotes Windows tools put around it.
bool KeyValue(QStringView line, QStringView& key, QStringView& value) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq <= 0) return false;
    key = line.left(eq).trimmed();
    value = line.mid(eq + 1).trimmed();
    if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
        value = value.mid(1, value.size() - 2);
    return true;
}

// "key=value" lines of an INI-like playlist whose key starts with prefix: "File" in PLS, "Ref" in
// [Reference]. With titlePrefix, the entry keyed "File3" takes the value keyed "Title3" as its title,
// wherever that line stands.
void KeyedEntries(const QList<QStringView>& lines, QLatin1String prefix, ParsedPlaylist& playlist,
                  QLatin1String titlePrefix = {}) {
    QList<QStringView> numbers; // of the entries kept
    QStringView key, value;
    for (QStringView line : lines) {
        if (!KeyValue(line, key, value) || !key.startsWith(prefix, Qt::CaseInsensitive)) continue;
        if (Add(playlist, value)) numbers.append(key.mid(prefix.size()));
    }
    if (titlePrefix.isEmpty() || numbers.isEmpty()) return;
    // A second pass, as titles may come before their files; at most MaxPlaylistEntries numbers to look at.
    for (QStringView line : lines) {
        if (!KeyValue(line, key, value) || !key.startsWith(titlePrefix, Qt::CaseInsensitive)) continue;
        const QStringView number = key.mid(titlePrefix.size());
        for (qsizetype i = 0; i < numbers.size(); ++i)
            if (playlist.titles[i].isEmpty() && numbers[i].compare(number, Qt::CaseInsensitive) == 0)
                playlist.titles[i] = value.toString();
    }
}

bool HasControlCharacters(QStringView text) {
    for (QChar c : text)
        if (c.unicode() < 0x20 && c != u'\n' && c != u'\r' && c != u'\t') return true;
    return false;
}

// An absolute address: a scheme ("http", "mms" ...) followed by "://".
bool LooksLikeAddress(QStringView line) {
    const qsizetype colon = line.indexOf(QLatin1String("://"));
    if (colon <= 0 || colon > 16) return false;
    for (qsizetype i = 0; i < colon; ++i) {
        const char16_t c = line.at(i).unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        if (!letter && (i == 0 || !((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.')))
            return false;
    }
    return true;
}

// The title of "#EXTINF:<duration> <attributes>,<title>": what follows the first comma that is not inside
// an attribute's quotes (IPTV lists write tvg-name="a,b").
QStringView ExtinfTitle(QStringView line) {
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line.at(i) == u'"')
            quoted = !quoted;
        else if (line.at(i) == u',' && !quoted)
            return line.mid(i + 1).trimmed();
    }
    return {};
}

// Entries, each with the title of the #EXTINF just before it.
void M3uEntries(const QList<QStringView>& lines, ParsedPlaylist& playlist) {
    QStringView title;
    for (QStringView line : lines) {
        if (line.isEmpty()) continue;
        if (line.startsWith(u'#')) {
            if (line.startsWith(QLatin1String("#EXTINF:"), Qt::CaseInsensitive)) title = ExtinfTitle(line);
            continue;
        }
        Add(playlist, line, title);
        title = {};
    }
}

// ASX, read in one pass by a small scanner: tags, attributes and comments, each character looked at a
// bounded number of times, whatever a server's body holds.
class AsxReader {
public:
    explicit AsxReader(QStringView text) : m_text(text) {}

    void read(ParsedPlaylist& playlist) {
        while (m_at < m_text.size()) {
            const qsizetype open = m_text.indexOf(u'<', m_at);
            if (open < 0) break;
            m_at = open + 1;
            // Comments may hold entries someone switched off.
            if (m_text.mid(m_at).startsWith(QLatin1String("!--"))) {
                const qsizetype close = m_text.indexOf(QLatin1String("-->"), m_at + 3);
                m_at = close < 0 ? m_text.size() : close + 3;
                continue;
            }
            skipSpace();
            const bool closing = m_at < m_text.size() && m_text.at(m_at) == u'/';
            if (closing) ++m_at;
            const QStringView name = word();
            if (closing) {
                if (Is(name, "entry")) m_inEntry = false;
                attributes(nullptr);
                continue;
            }
            if (Is(name, "asx")) m_asx = true;
            if (Is(name, "entry")) {
                // Windows tools left entries unclosed: a new one ends the last.
                m_inEntry = true;
                m_entryStart = playlist.entries.size();
                m_entryTitle = {};
            }
            const bool ref = Is(name, "ref") || Is(name, "entryref");
            attributes(ref ? &playlist : nullptr);
            if (Is(name, "title")) title(playlist);
        }
        playlist.recognized = m_asx;
        if (!m_asx) playlist = {};
    }

private:
    static bool Is(QStringView name, const char* tag) {
        return name.compare(QLatin1String(tag), Qt::CaseInsensitive) == 0;
    }

    // The text after a <title> tag: the title of the entry it is in (the first one there, also for the
    // references before it), else the playlist's own (the first one outside entries).
    void title(ParsedPlaylist& playlist) {
        const bool empty = m_at >= 2 && m_text.at(m_at - 1) == u'>' && m_text.at(m_at - 2) == u'/';
        qsizetype end = m_text.indexOf(u'<', m_at);
        if (end < 0) end = m_text.size();
        const QString text =
            empty ? QString() : DecodeMarkupReferences(m_text.mid(m_at, end - m_at).trimmed());
        m_at = end;
        if (!m_inEntry) {
            if (playlist.title.isEmpty()) playlist.title = text;
            return;
        }
        if (!m_entryTitle.isEmpty()) return;
        m_entryTitle = text;
        for (qsizetype i = m_entryStart; i < playlist.titles.size(); ++i)
            playlist.titles[i] = text;
    }

    void skipSpace() {
        while (m_at < m_text.size() && m_text.at(m_at).isSpace())
            ++m_at;
    }

    // A tag or attribute name.
    QStringView word() {
        const qsizetype start = m_at;
        while (m_at < m_text.size()) {
            const QChar c = m_text.at(m_at);
            if (c.isSpace() || c == u'>' || c == u'=' || c == u'/' || c == u'<') break;
            ++m_at;
        }
        return m_text.mid(start, m_at - start);
    }

    // The attributes up to the tag's end; the href of a reference is an entry of playlist.
    void attributes(ParsedPlaylist* playlist) {
        while (m_at < m_text.size()) {
            skipSpace();
            if (m_at >= m_text.size()) return;
            const QChar c = m_text.at(m_at);
            if (c == u'>') {
                ++m_at;
                return;
            }
            if (c == u'<') return; // an unclosed tag: the next one starts here
            if (c == u'/' || c == u'=') {
                ++m_at;
                continue;
            }
            const QStringView name = word();
            skipSpace();
            if (m_at >= m_text.size() || m_text.at(m_at) != u'=') continue;
            ++m_at;
            skipSpace();
            const QStringView value = attributeValue();
            if (playlist && name.compare(QLatin1String("href"), Qt::CaseInsensitive) == 0)
                Add(*playlist, DecodeMarkupReferences(value),
                    m_inEntry ? QStringView(m_entryTitle) : QStringView());
        }
    }

    QStringView attributeValue() {
        if (m_at >= m_text.size()) return {};
        const QChar quote = m_text.at(m_at);
        if (quote == u'"' || quote == u'\'') {
            const qsizetype close = m_text.indexOf(quote, m_at + 1);
            const qsizetype end = close < 0 ? m_text.size() : close;
            const QStringView value = m_text.mid(m_at + 1, end - m_at - 1);
            m_at = close < 0 ? end : end + 1;
            return value;
        }
        const qsizetype start = m_at;
        while (m_at < m_text.size() && !m_text.at(m_at).isSpace() && m_text.at(m_at) != u'>')
            ++m_at;
        return m_text.mid(start, m_at - start);
    }

    QStringView m_text;
    qsizetype m_at = 0;
    bool m_asx = false;
    bool m_inEntry = false;
    qsizetype m_entryStart = 0; // the first of the entry's references among the entries kept
    QString m_entryTitle;
};

// The text of the first <name> element in markup, references read; empty when there is none.
QString ElementText(QStringView markup, QLatin1String name) {
    const QString open = QLatin1Char('<') + name;
    for (qsizetype at = markup.indexOf(open, 0, Qt::CaseInsensitive); at >= 0;
         at = markup.indexOf(open, at + 1, Qt::CaseInsensitive)) {
        const qsizetype after = at + open.size();
        if (after < markup.size() && markup.at(after) != u'>' && !markup.at(after).isSpace()) continue;
        const qsizetype start = markup.indexOf(u'>', after);
        if (start < 0 || markup.at(start - 1) == u'/') return {};
        qsizetype end = markup.indexOf(u'<', start + 1);
        if (end < 0) end = markup.size();
        return DecodeMarkupReferences(markup.mid(start + 1, end - start - 1)).trimmed();
    }
    return {};
}

// XSPF: the playlist's title before its <trackList>, then each <track>'s <location>s under its <title>.
void XspfEntries(QStringView text, ParsedPlaylist& playlist) {
    const qsizetype list = text.indexOf(QLatin1String("<trackList"), 0, Qt::CaseInsensitive);
    playlist.title = ElementText(text.left(list), QLatin1String("title"));
    int track = 0;
    for (qsizetype at = text.indexOf(QLatin1String("<track"), list + 1, Qt::CaseInsensitive); at >= 0;) {
        const qsizetype after = at + 6;
        qsizetype end = text.indexOf(QLatin1String("<track"), after, Qt::CaseInsensitive);
        // "<trackList" is not a track; a track ends where the next begins.
        if (after < text.size() && text.at(after) != u'>' && !text.at(after).isSpace()) {
            at = end;
            continue;
        }
        const QStringView body = text.mid(at, (end < 0 ? text.size() : end) - at);
        const QString title = ElementText(body, QLatin1String("title"));
        for (qsizetype loc = body.indexOf(QLatin1String("<location"), 0, Qt::CaseInsensitive); loc >= 0;
             loc = body.indexOf(QLatin1String("<location"), loc + 9, Qt::CaseInsensitive)) {
            if (Add(playlist, ElementText(body.mid(loc), QLatin1String("location")), title))
                playlist.tracks.append(track);
        }
        ++track;
        at = end;
    }
}

} // namespace

ParsedPlaylist ParsePlaylist(const QByteArray& body) {
    const QString decoded = DecodeServerText(body);
    QStringView text(decoded);
    if (text.startsWith(QChar(0xFEFF))) text = text.mid(1);
    ParsedPlaylist result;
    const QList<QStringView> lines = Lines(text);
    const QStringView first = FirstNonEmpty(lines);

    if (first.compare(QLatin1String("[Reference]"), Qt::CaseInsensitive) == 0) {
        result.recognized = true;
        result.format = ParsedPlaylist::Format::Reference;
        KeyedEntries(lines, QLatin1String("Ref"), result);
        return result;
    }
    if (first.compare(QLatin1String("[playlist]"), Qt::CaseInsensitive) == 0) {
        result.recognized = true;
        result.format = ParsedPlaylist::Format::Pls;
        KeyedEntries(lines, QLatin1String("File"), result, QLatin1String("Title"));
        return result;
    }
    if (first.startsWith(QLatin1String("#EXTM3U"), Qt::CaseInsensitive)) {
        // HLS is a stream, which the engine plays itself; its entries are pieces of it, not stations.
        for (QStringView line : lines)
            if (line.startsWith(QLatin1String("#EXT-X-"), Qt::CaseInsensitive)) {
                result.format = ParsedPlaylist::Format::Hls;
                return result;
            }
        result.recognized = true;
        result.format = ParsedPlaylist::Format::M3u;
        M3uEntries(lines, result);
        return result;
    }
    if (text.contains(QLatin1String("<trackList"), Qt::CaseInsensitive)) {
        XspfEntries(text, result);
        result.recognized = true;
        result.format = ParsedPlaylist::Format::Xspf;
        return result;
    }
    if (text.contains(u'<')) {
        AsxReader(text).read(result);
        if (result.recognized) {
            result.format = ParsedPlaylist::Format::Asx;
            return result;
        }
    }
    // An M3U without its header: text, and nothing in it but addresses and comments.
    if (first.isEmpty() || HasControlCharacters(text)) return result;
    for (QStringView line : lines)
        if (!line.isEmpty() && !line.startsWith(u'#') && !LooksLikeAddress(line)) return result;
    result.recognized = true;
    result.format = ParsedPlaylist::Format::AddressLines;
    M3uEntries(lines, result);
    return result;
}

} // namespace readers
