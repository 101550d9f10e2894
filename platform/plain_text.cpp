// platform/: literal text for Qt's rich-text-sniffing widgets.
#include "platform/plain_text.h"

#include <QTextDocument>

namespace platform {

QString PlainToolTip(const QString& text) {
    if (text.isEmpty()) return {};
    // Escaped and marked as rich text, so nothing in it is read as markup.
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap);
}

} // namespace platform
