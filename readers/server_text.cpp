// readers/: server text.
#include "readers/server_text.h"

#include <QStringDecoder>

namespace readers {

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

} // namespace readers
