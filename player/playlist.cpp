// player/: ASX playlists the engine cannot read, and server text decoding; no network here (PlaylistFetch).
#include "player/playlist.h"

#include <QRegularExpression>
#include <QStringDecoder>

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

QString DecodeXmlEntities(QString text) {
    static const QRegularExpression entity(QStringLiteral("&(#x[0-9a-fA-F]+|#[0-9]+|amp|lt|gt|quot|apos);"));
    QString out;
    qsizetype last = 0;
    for (auto it = entity.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        const QString name = m.captured(1);
        if (name.startsWith(QLatin1String("#x")))
            out += QChar::fromUcs4(name.mid(2).toUInt(nullptr, 16));
        else if (name.startsWith(QLatin1Char('#')))
            out += QChar::fromUcs4(name.mid(1).toUInt());
        else if (name == QLatin1String("amp"))
            out += QLatin1Char('&');
        else if (name == QLatin1String("lt"))
            out += QLatin1Char('<');
        else if (name == QLatin1String("gt"))
            out += QLatin1Char('>');
        else if (name == QLatin1String("quot"))
            out += QLatin1Char('"');
        else
            out += QLatin1Char('\'');
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    return out;
}

} // namespace

ParsedPlaylist ParsePlaylist(const QByteArray& body) {
    QString text = DecodeServerText(body);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    ParsedPlaylist result;

    if (text.trimmed().startsWith(QLatin1String("[Reference]"), Qt::CaseInsensitive)) {
        result.recognized = true;
        static const QRegularExpression ref(QStringLiteral("^\\s*Ref\\d*\\s*=\\s*(\\S.*?)\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::MultilineOption);
        for (auto it = ref.globalMatch(text); it.hasNext();)
            result.entries << it.next().captured(1);
        return result;
    }

    static const QRegularExpression asx(QStringLiteral("<\\s*asx\\b"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (!asx.match(text).hasMatch()) return result;
    result.recognized = true;
    // Comments may hold entries someone switched off.
    static const QRegularExpression comment(QStringLiteral("<!--.*?-->"),
                                            QRegularExpression::DotMatchesEverythingOption);
    text.remove(comment);
    static const QRegularExpression ref(
        QStringLiteral("<\\s*(?:ref|entryref)\\b[^>]*?\\bhref\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s>]+))"),
        QRegularExpression::CaseInsensitiveOption);
    for (auto it = ref.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QString href = m.captured(1);
        if (href.isEmpty()) href = m.captured(2);
        if (href.isEmpty()) href = m.captured(3);
        href = DecodeXmlEntities(href).trimmed();
        if (!href.isEmpty()) result.entries << href;
    }
    return result;
}

} // namespace player
