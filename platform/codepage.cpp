// platform/: the list file's code page, table-driven.
//
// The tables are filled from ICU on first use, so they are code page 936 exactly as ICU ships Windows'
// version of it, cost nothing until a list is read or written, and turn each character into one lookup. A
// per-character ICU call would be many times slower than the whole conversion of a large list.
#include "platform/codepage.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace platform {

namespace {

constexpr const char* kCp936 = "windows-936-2000";
constexpr const char* kGb18030 = "GB18030";

// Bytes 0x80..0xFF that start no character are carried as U+DC80..U+DCFF. Text never holds those on its own
// (they are half a surrogate pair), so the escape cannot be mistaken for a character the user typed.
constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;

// What ICU's code page 936 encoder and Windows write for a character the code page cannot hold.
constexpr char kUnwritable = '?';

// GB18030 numbers its four-byte sequences 81 30 81 30 = 0 onward; 0..39419 are BMP characters, and
// 90 30 81 30 = 189000 onward are U+10000..U+10FFFF in order.
constexpr uint32_t kBmpFourByteCount = 39420;
constexpr uint32_t kSupplementaryStart = 189000;
constexpr uint32_t kSupplementaryCount = 0x100000;

bool IsLead(uchar b) {
    return b >= 0x81 && b <= 0xFE;
}
bool IsTrail(uchar b) {
    return b >= 0x40 && b <= 0xFE && b != 0x7F;
}
bool IsDigit(uchar b) {
    return b >= 0x30 && b <= 0x39;
}
bool IsFourByte(const uchar* p) {
    return IsLead(p[0]) && IsDigit(p[1]) && IsLead(p[2]) && IsDigit(p[3]);
}

uint32_t FourByteNumber(const uchar* p) {
    return ((uint32_t(p[0] - 0x81) * 10 + (p[1] - 0x30)) * 126 + (p[2] - 0x81)) * 10 + (p[3] - 0x30);
}

void PutFourBytes(uint32_t n, char* out) {
    out[3] = char(0x30 + n % 10);
    n /= 10;
    out[2] = char(0x81 + n % 126);
    n /= 126;
    out[1] = char(0x30 + n % 10);
    out[0] = char(0x81 + n / 10);
}

// Decodes `sequences`, laid end to end `width` bytes each, into one BMP character per sequence (0 where a
// sequence is not one on its own). One ICU call does them all; only if that does not come out one unit per
// sequence is each decoded alone.
std::vector<char16_t> DecodeEach(const char* codec, const QByteArray& sequences, int width) {
    const qsizetype count = sequences.size() / width;
    std::vector<char16_t> out(count, 0);
    QStringDecoder all(codec, QStringDecoder::Flag::Stateless);
    if (!all.isValid()) return out;
    const QString text = all(sequences);
    if (!all.hasError() && text.size() == count) {
        for (qsizetype i = 0; i < count; ++i)
            out[i] = text[i].isSurrogate() ? 0 : text[i].unicode();
        return out;
    }
    for (qsizetype i = 0; i < count; ++i) {
        QStringDecoder one(codec, QStringDecoder::Flag::Stateless);
        const QString c = one(QByteArrayView(sequences).sliced(i * width, width));
        if (!one.hasError() && c.size() == 1 && !c[0].isSurrogate()) out[i] = c[0].unicode();
    }
    return out;
}

struct Cp936Tables {
    // By byte, for 0x80..0xFF; 0 where the byte is no character by itself.
    std::array<char16_t, 256> single{};
    // By (lead - 0x81) << 8 | trail; 0 where the pair is no character.
    std::array<char16_t, 126 * 256> pair{};
    // By character from 0x80 on: its one byte (below 0x100) or lead << 8 | trail; 0 where it has none.
    std::array<uint16_t, 0x10000> bytes{};

    Cp936Tables() {
        // Lead bytes never stand alone, so only the two other high bytes can be characters by themselves.
        const QByteArray singles("\x80\xFF", 2);
        const std::vector<char16_t> one = DecodeEach(kCp936, singles, 1);
        for (size_t i = 0; i < one.size(); ++i)
            Add(one[i], uchar(singles[qsizetype(i)]), &single[uchar(singles[qsizetype(i)])]);

        QByteArray pairs;
        pairs.reserve(126 * 190 * 2);
        for (int lead = 0x81; lead <= 0xFE; ++lead)
            for (int trail = 0x40; trail <= 0xFE; ++trail)
                if (IsTrail(uchar(trail))) pairs.append(char(lead)).append(char(trail));
        const std::vector<char16_t> two = DecodeEach(kCp936, pairs, 2);
        for (size_t i = 0; i < two.size(); ++i) {
            const uchar lead = uchar(pairs[qsizetype(2 * i)]);
            const uchar trail = uchar(pairs[qsizetype(2 * i + 1)]);
            Add(two[i], uint16_t(lead << 8 | trail), &pair[size_t(lead - 0x81) << 8 | trail]);
        }
    }

    // A character gets one spelling only: a second sequence for an ASCII character or one already spelt would
    // be written back as the first, so it is left out and read as escaped bytes instead.
    void Add(char16_t c, uint16_t spelling, char16_t* decoded) {
        if (c < 0x80 || bytes[c] != 0) return;
        bytes[c] = spelling;
        *decoded = c;
    }
};

const Cp936Tables& Cp936() {
    static const Cp936Tables tables;
    return tables;
}

// The BMP part of GB18030's four-byte sequences; built only once a list holds one of them or a character code
// page 936 lacks.
struct FourByteTables {
    // By sequence number; 0 where the sequence is not read as a character.
    std::array<char16_t, kBmpFourByteCount> chars{};
    // By character: its sequence number + 1; 0 where it has none.
    std::array<uint16_t, 0x10000> number{};

    FourByteTables() {
        QByteArray sequences(qsizetype(kBmpFourByteCount) * 4, Qt::Uninitialized);
        for (uint32_t n = 0; n < kBmpFourByteCount; ++n)
            PutFourBytes(n, sequences.data() + n * 4);
        const std::vector<char16_t> decoded = DecodeEach(kGb18030, sequences, 4);
        const Cp936Tables& cp936 = Cp936();
        for (uint32_t n = 0; n < kBmpFourByteCount; ++n) {
            const char16_t c = decoded[n];
            // GB18030 has four-byte spellings of a few characters that code page 936 writes in one or two
            // bytes (U+E76C, U+F8F5...). Read as such, they would be saved in the short form: keep their
            // bytes instead.
            if (c < 0x80 || cp936.bytes[c] != 0 || number[c] != 0) continue;
            chars[n] = c;
            number[c] = uint16_t(n + 1);
        }
    }
};

const FourByteTables& FourByte() {
    static const FourByteTables tables;
    return tables;
}

} // namespace

QString FromAnsi(QByteArrayView bytes) {
    const Cp936Tables& cp936 = Cp936();
    // No sequence gives more UTF-16 units than it has bytes.
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const uchar* p = reinterpret_cast<const uchar*>(bytes.data());
    const uchar* const end = p + bytes.size();
    while (p != end) {
        const uchar b = *p;
        if (b < 0x80) {
            *out++ = b;
            ++p;
            continue;
        }
        if (const char16_t c = cp936.single[b]) {
            *out++ = c;
            ++p;
            continue;
        }
        if (IsLead(b) && end - p >= 2) {
            if (const char16_t c = cp936.pair[size_t(b - 0x81) << 8 | p[1]]) {
                *out++ = c;
                p += 2;
                continue;
            }
            if (end - p >= 4 && IsFourByte(p)) {
                const uint32_t n = FourByteNumber(p);
                if (n < kBmpFourByteCount) {
                    if (const char16_t c = FourByte().chars[n]) {
                        *out++ = c;
                        p += 4;
                        continue;
                    }
                } else if (n - kSupplementaryStart < kSupplementaryCount) {
                    const char32_t c = 0x10000 + (n - kSupplementaryStart);
                    *out++ = QChar::highSurrogate(c);
                    *out++ = QChar::lowSurrogate(c);
                    p += 4;
                    continue;
                }
            }
        }
        // Not the start of any character: keep the byte. Whatever follows is read afresh, so a stray lead
        // byte costs only itself, not the ASCII byte after it.
        *out++ = kEscapeBase + b;
        ++p;
    }
    text.truncate(out - reinterpret_cast<const char16_t*>(text.constData()));
    return text;
}

// A character neither code page 936 nor GB18030's four-byte sequences can hold becomes '?', as on Windows: an
// unpaired surrogate other than an escape, and the few characters whose GB18030 spelling is a two-byte
// sequence that code page 936 reads as a private-use character instead (U+1E3F, U+01F9, some CJK radicals).
QByteArray ToAnsi(QStringView text) {
    const Cp936Tables& cp936 = Cp936();
    // Two bytes a unit hold all but BMP characters written in four bytes; room is made for those as met.
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    char* out = bytes.data();
    char* limit = out + bytes.size();
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    while (p != end) {
        const char16_t c = *p++;
        if (c < 0x80) {
            *out++ = char(c);
            continue;
        }
        if (const uint16_t spelling = cp936.bytes[c]) {
            if (spelling > 0xFF) *out++ = char(spelling >> 8);
            *out++ = char(spelling);
            continue;
        }
        if (QChar::isHighSurrogate(c) && p != end && QChar::isLowSurrogate(*p)) {
            PutFourBytes(kSupplementaryStart + (QChar::surrogateToUcs4(c, *p++) - 0x10000), out);
            out += 4;
            continue;
        }
        if (c >= kFirstEscape && c <= kLastEscape) {
            *out++ = char(c - kEscapeBase);
            continue;
        }
        const uint16_t number = QChar::isSurrogate(c) ? 0 : FourByte().number[c];
        if (number == 0) {
            *out++ = kUnwritable;
            continue;
        }
        const qsizetype needed = 4 + 2 * (end - p);
        if (limit - out < needed) {
            const qsizetype at = out - bytes.data();
            bytes.resize(std::max(at + needed, bytes.size() + bytes.size() / 2));
            out = bytes.data() + at;
            limit = bytes.data() + bytes.size();
        }
        PutFourBytes(uint32_t(number - 1), out);
        out += 4;
    }
    bytes.truncate(out - bytes.constData());
    return bytes;
}

} // namespace platform
