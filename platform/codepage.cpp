// platform/: code page conversion (first cut: GB18030 through Qt; replaced by the exact table-based converter).
#include "platform/codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

QString FromAnsi(QByteArrayView bytes) {
    QStringDecoder d("GB18030");
    return d(bytes);
}

QByteArray ToAnsi(QStringView text) {
    QStringEncoder e("GB18030");
    return e(text);
}

} // namespace platform
