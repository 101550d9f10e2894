// readers/: server text: which of the encodings stations use a name or a title is in.
#include "readers/server_text.h"

#include <QStringDecoder>

namespace readers {

namespace {

bool IsLead(uchar b) {
    return b >= 0x81 && b <= 0xFE;
}
bool IsDigit(uchar b) {
    return b >= '0' && b <= '9';
}
bool IsAsciiLetter(uchar b) {
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

// Whether bytes that are not UTF-8 are Chinese. Every high byte must start a GB18030 sequence, and the
// sequences must look like Chinese more often than like Latin text: the 3,755 characters of GB2312 level 1
// (B0A1..D7F9) make up nearly all of what Chinese stations write, and a four-byte sequence (a byte, a digit,
// a byte, a digit) is GB18030's own; in ISO 8859-1 or Windows-1252, a high byte is nearly always a letter
// that an ASCII letter follows ("Rádio" is E1 64 to GB18030), and two high bytes in a row, as level 1 needs,
// are rare. Traditional characters outside level 1 (廣, 電) count for neither side, so a name holding any common
// character still reads as Chinese.
bool ReadsAsChinese(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype chinese = 0, latin = 0;
    for (qsizetype i = 0; i < n;) {
        const uchar b = p[i];
        if (b < 0x80) {
            ++i;
            continue;
        }
        if (!IsLead(b) || i + 1 == n) return false;
        const uchar t = p[i + 1];
        if (IsDigit(t)) {
            if (i + 3 >= n || !IsLead(p[i + 2]) || !IsDigit(p[i + 3])) return false;
            ++chinese;
            i += 4;
            continue;
        }
        if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
        const uint pair = uint(b) << 8 | t;
        if (pair >= 0xB0A1 && pair <= 0xD7F9 && t >= 0xA1) ++chinese;
        // A letter of ISO 8859-1 (C0..FF but for × and ÷) followed by an ASCII letter.
        if (b >= 0xC0 && b != 0xD7 && b != 0xF7 && IsAsciiLetter(t)) ++latin;
        i += 2;
    }
    return chinese > latin;
}

// Windows-1252 for 0x80..0x9F; the five bytes it leaves undefined keep their ISO 8859-1 meaning, so that no
// byte becomes U+FFFD.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString FromWindows1252(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (const char c : bytes) {
        const uchar b = uchar(c);
        *out++ = b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char16_t(b);
    }
    return text;
}

} // namespace

QString DecodeServerText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8(bytes);
    if (!utf8.hasError()) return text;
    if (ReadsAsChinese(bytes)) {
        QStringDecoder gb18030("GB18030", QStringConverter::Flag::Stateless);
        if (gb18030.isValid()) {
            const QString chinese = gb18030(bytes);
            if (!gb18030.hasError()) return chinese;
        }
    }
    return FromWindows1252(bytes);
}

} // namespace readers
