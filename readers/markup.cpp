// readers/: markup references read, linear in the text whatever it holds.
#include "readers/markup.h"

namespace readers {

QString DecodeMarkupReferences(QStringView text) {
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
        } else if (name == QLatin1String("nbsp")) {
            replacement = QStringLiteral(" ");
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

} // namespace readers
