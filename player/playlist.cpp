// player/: playlists the component reads itself, and text from servers; no network here (PlaylistFetch).
#include "player/playlist.h"

#include <QStringDecoder>
#include <QStringView>

namespace player {

QString DecodeServerText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError()) return text;
    QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
    if (gb18030.isValid()) {
        text = gb18030(bytes);
        if (!gb18030.hasError()) return text;
    }
    // Neither: show what can be shown rather than nothing.
    return QString::fromUtf8(bytes);
}

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

} // namespace

QString CleanTitle(const QString& text) {
    QString out;
    out.reserve(qMin(text.size(), MaxTitleLength + 1));
    bool space = false;
    for (qsizetype i = 0; i < text.size() && out.size() <= MaxTitleLength;) {
        char32_t c = text.at(i).unicode();
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

void Add(ParsedPlaylist& playlist, QStringView entry) {
    entry = entry.trimmed();
    if (!entry.isEmpty() && playlist.entries.size() < MaxPlaylistEntries)
        playlist.entries.append(entry.toString());
}

// "key=value" lines of an INI-like playlist whose key starts with prefix: "File" in PLS, "Ref" in
// [Reference].
void KeyedEntries(const QList<QStringView>& lines, QLatin1String prefix, ParsedPlaylist& playlist) {
    for (QStringView line : lines) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0 || !line.left(eq).trimmed().startsWith(prefix, Qt::CaseInsensitive)) continue;
        QStringView value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        Add(playlist, value);
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

void M3uEntries(const QList<QStringView>& lines, ParsedPlaylist& playlist) {
    for (QStringView line : lines)
        if (!line.isEmpty() && !line.startsWith(u'#')) Add(playlist, line);
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
            const QStringView name = word();
            if (name.compare(QLatin1String("asx"), Qt::CaseInsensitive) == 0) m_asx = true;
            const bool ref = name.compare(QLatin1String("ref"), Qt::CaseInsensitive) == 0 ||
                             name.compare(QLatin1String("entryref"), Qt::CaseInsensitive) == 0;
            attributes(ref ? &playlist : nullptr);
        }
        playlist.recognized = m_asx;
        if (!m_asx) playlist.entries.clear();
    }

private:
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
                Add(*playlist, DecodeXmlReferences(value));
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

    // XML's character and entity references; anything else, including a bare "&" as Windows tools wrote it,
    // stays as written.
    static QString DecodeXmlReferences(QStringView text) {
        QString out;
        out.reserve(text.size());
        for (qsizetype i = 0; i < text.size(); ++i) {
            // The longest reference is "&#x10FFFF;"; looking no further keeps this linear.
            const qsizetype found = text.at(i) == u'&' ? text.mid(i + 1, 10).indexOf(u';') : -1;
            const qsizetype semicolon = found < 0 ? -1 : i + 1 + found;
            if (semicolon < 0) {
                out += text.at(i);
                continue;
            }
            const QStringView name = text.mid(i + 1, semicolon - i - 1);
            QString replacement;
            if (name.startsWith(u'#')) {
                const bool hex = name.size() > 1 && (name.at(1) == u'x' || name.at(1) == u'X');
                const QStringView digits = name.mid(hex ? 2 : 1);
                bool ok = !digits.isEmpty();
                for (QChar d : digits) {
                    const char16_t c = d.unicode();
                    ok = ok && ((c >= u'0' && c <= u'9') ||
                                (hex && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'))));
                }
                const uint code = ok ? digits.toUInt(&ok, hex ? 16 : 10) : 0;
                // Only characters: not NUL, not half a surrogate pair, nothing beyond Unicode.
                if (ok && code != 0 && code <= 0x10ffff && !(code >= 0xd800 && code <= 0xdfff))
                    replacement = QString::fromUcs4(reinterpret_cast<const char32_t*>(&code), 1);
            } else if (name == QLatin1String("amp")) {
                replacement = QStringLiteral("&");
            } else if (name == QLatin1String("lt")) {
                replacement = QStringLiteral("<");
            } else if (name == QLatin1String("gt")) {
                replacement = QStringLiteral(">");
            } else if (name == QLatin1String("quot")) {
                replacement = QStringLiteral("\"");
            } else if (name == QLatin1String("apos")) {
                replacement = QStringLiteral("'");
            }
            if (replacement.isEmpty()) {
                out += text.at(i);
                continue;
            }
            out += replacement;
            i = semicolon;
        }
        return out;
    }

    QStringView m_text;
    qsizetype m_at = 0;
    bool m_asx = false;
};

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
        KeyedEntries(lines, QLatin1String("Ref"), result);
        return result;
    }
    if (first.compare(QLatin1String("[playlist]"), Qt::CaseInsensitive) == 0) {
        result.recognized = true;
        KeyedEntries(lines, QLatin1String("File"), result);
        return result;
    }
    if (first.startsWith(QLatin1String("#EXTM3U"), Qt::CaseInsensitive)) {
        // HLS is a stream, which the engine plays itself; its entries are pieces of it, not stations.
        for (QStringView line : lines)
            if (line.startsWith(QLatin1String("#EXT-X-"), Qt::CaseInsensitive)) return result;
        result.recognized = true;
        M3uEntries(lines, result);
        return result;
    }
    if (text.contains(u'<')) {
        AsxReader(text).read(result);
        if (result.recognized) return result;
    }
    // An M3U without its header: text, and nothing in it but addresses and comments.
    if (first.isEmpty() || HasControlCharacters(text)) return result;
    for (QStringView line : lines)
        if (!line.isEmpty() && !line.startsWith(u'#') && !LooksLikeAddress(line)) return result;
    result.recognized = true;
    M3uEntries(lines, result);
    return result;
}

} // namespace player
