// platform/: literal text for Qt's rich-text-sniffing widgets.
#include "platform/plain_text.h"

#include <QTextDocument>

namespace platform {

QString ShownText(const QString& text) {
    if (text.size() <= MaxShownLength) return text;
    qsizetype keep = MaxShownLength - 1; // room for the ellipsis
    if (text.at(keep - 1).isHighSurrogate()) --keep;
    return text.first(keep) + QChar(0x2026);
}

QString PlainToolTip(const QString& text) {
    return PlainToolTip(QStringList{text});
}

QString PlainToolTip(const QStringList& lines) {
    QStringList shown;
    for (const QString& line : lines)
        if (!line.isEmpty()) shown << ShownText(line);
    if (shown.isEmpty()) return {};
    // Escaped and marked as rich text, so nothing in it is read as markup.
    return Qt::convertFromPlainText(shown.join(u'\n'), Qt::WhiteSpaceNoWrap);
}

} // namespace platform
