// platform/: the list file's code page against ICU's own converters, and the byte-for-byte round trip.
#include "platform/codepage.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>
#include <numeric>
#include <optional>

namespace {

constexpr const char* kCp936 = "windows-936-2000";
constexpr const char* kGb18030 = "GB18030";
constexpr quint32 kSeed = 936;

std::optional<QString> IcuDecode(const char* codec, QByteArrayView bytes) {
    QStringDecoder d(codec, QStringDecoder::Flag::Stateless);
    const QString text = d(bytes);
    return d.hasError() ? std::nullopt : std::optional(text);
}

std::optional<QByteArray> IcuEncode(const char* codec, QStringView text) {
    QStringEncoder e(codec, QStringEncoder::Flag::Stateless);
    const QByteArray bytes = e(text);
    return e.hasError() ? std::nullopt : std::optional(bytes);
}

// Code page 936's own bytes for `text`, if it holds it both ways (not through a best fit).
std::optional<QByteArray> Cp936Spelling(QStringView text) {
    const auto bytes = IcuEncode(kCp936, text);
    return bytes && IcuDecode(kCp936, *bytes) == text ? bytes : std::nullopt;
}

QString Units(std::initializer_list<char16_t> units) {
    return QStringView(units.begin(), units.size()).toString();
}
QString Escape(uchar byte) {
    return QChar(char16_t(0xDC00 + byte));
}

} // namespace

class TstCodepage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(QStringDecoder(kCp936).isValid() && QStringDecoder(kGb18030).isValid()); }

    void knownSequences_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("euro") << QByteArray("\x80") << u"€"_qs;
        QTest::newRow("FF alone") << QByteArray("\xFF") << Units({0xF8F5});
        QTest::newRow("A2 E3 private use") << QByteArray("\xA2\xE3") << Units({0xE76C});
        QTest::newRow("7C as a trail byte") << QByteArray("\x83\x7C") << u"億"_qs;
        QTest::newRow("list lines") << QByteArray("A|u1\r\n\xB5\xE7\xCC\xA8|u2\r\n")
                                    << u"A|u1\r\n电台|u2\r\n"_qs;
        QTest::newRow("NUL bytes") << QByteArray("\0A\0", 3) << Units({0, 'A', 0});
        QTest::newRow("emoji") << QByteArray("\x94\x39\xFC\x36") << u"😀"_qs;
        QTest::newRow("pair whose low half looks like an escape")
            << QByteArray("\x94\x39\xD6\x32") << u"💀"_qs;
        QTest::newRow("U+0080") << QByteArray("\x81\x30\x81\x30") << Units({0x80});
        QTest::newRow("no-break space, A umlaut")
            << QByteArray("\x81\x30\x84\x32\x81\x30\x87\x32") << u"\u00A0Ä"_qs;
        QTest::newRow("lone lead byte at the end") << QByteArray("A\x81") << "A" + Escape(0x81);
        QTest::newRow("lead before 7F") << QByteArray("\x81\x7F") << Escape(0x81) + "\x7F";
        QTest::newRow("lead before a digit") << QByteArray("\x81\x30\x41") << Escape(0x81) + "0A";
        QTest::newRow("lead before FF") << QByteArray("\xFE\xFF") << Escape(0xFE) + QChar(0xF8F5);
        QTest::newRow("four bytes past the BMP")
            << QByteArray("\x84\x31\xA5\x30") << Escape(0x84) + "1" + Escape(0xA5) + "0";
        QTest::newRow("four-byte spelling of a code page 936 character")
            << QByteArray("\x83\x36\xC7\x39") << Escape(0x83) + "6" + Escape(0xC7) + "9";
    }
    void knownSequences() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(platform::FromAnsi(bytes), text);
        QCOMPARE(platform::ToAnsi(text), bytes);
    }

    // Text that reads back as something else: escapes of bytes that are characters, and what no bytes hold.
    void oneWayText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("escapes of 80 and FF") << Units({0xDC80, 0xDCFF}) << QByteArray("\x80\xFF");
        QTest::newRow("lone high surrogate") << Units({0xD83D, 'A'}) << QByteArray("?A");
        QTest::newRow("high surrogate at the end") << Units({'A', 0xD83D}) << QByteArray("A?");
        QTest::newRow("low surrogate below the escapes") << Units({0xDC41}) << QByteArray("?");
        QTest::newRow("reversed pair") << Units({0xDE00, 0xD83D}) << QByteArray("??");
        // GB18030 spells it A8 BC, which code page 936 reads as U+E7C7.
        QTest::newRow("U+1E3F") << Units({0x1E3F}) << QByteArray("?");
    }
    void oneWayText() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(platform::ToAnsi(text), bytes);
    }

    void everyOneAndTwoByteSequence() {
        // Values below 0x100 are the single bytes, the rest every pair from 00 00 to FF FF.
        for (int value = 0; value < 0x100 + 0x10000; ++value) {
            const QByteArray bytes = value < 0x100 ? QByteArray(1, char(value))
                                                   : QByteArray(1, char((value - 0x100) >> 8)) + char(value);
            const QString text = platform::FromAnsi(bytes);
            const auto icu = IcuDecode(kCp936, bytes);
            if (icu && text != *icu) QFAIL(qPrintable("read differently from ICU: " + bytes.toHex(' ')));
            if (platform::ToAnsi(text) != bytes) QFAIL(qPrintable("not written back: " + bytes.toHex(' ')));
        }
    }

    // Code page 936's own bytes where it has them, else GB18030's four bytes, else '?'.
    void everyBmpCharacter() {
        for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
            if (QChar::isSurrogate(c)) continue;
            const QString text = QChar(char16_t(c));
            const QByteArray bytes = platform::ToAnsi(text);
            const auto gb = IcuEncode(kGb18030, text);
            const QByteArray expected = Cp936Spelling(text).value_or(gb && gb->size() == 4 ? *gb : "?");
            if (bytes != expected)
                QFAIL(qPrintable(QString::number(c, 16) + " written as " + bytes.toHex(' ')));
            if (bytes != "?" && platform::FromAnsi(bytes) != text)
                QFAIL(qPrintable(QString::number(c, 16) + " not read back"));
        }
    }

    // Every four-byte shape in the BMP range and around the ends of the two ranges GB18030 uses.
    void fourByteSequences() {
        for (const uchar first : {0x81, 0x82, 0x83, 0x84, 0x8F, 0x90, 0xE3, 0xE4, 0xFE}) {
            for (int rest = 0; rest < 10 * 126 * 10; ++rest) {
                const QByteArray bytes = QByteArray(1, char(first)) + char(0x30 + rest / 1260) +
                                         char(0x81 + rest / 10 % 126) + char(0x30 + rest % 10);
                const QString text = platform::FromAnsi(bytes);
                const auto icu = IcuDecode(kGb18030, bytes);
                const bool ownSpelling = icu && !Cp936Spelling(*icu);
                if (ownSpelling ? text != *icu : !text.startsWith(Escape(first)))
                    QFAIL(qPrintable("read wrongly: " + bytes.toHex(' ')));
                if (platform::ToAnsi(text) != bytes)
                    QFAIL(qPrintable("not written back: " + bytes.toHex(' ')));
            }
        }
        QList<char32_t> all(0x110000 - 0x10000);
        std::iota(all.begin(), all.end(), U'\U00010000');
        const QString text = QString::fromUcs4(all.constData(), all.size());
        const QByteArray bytes = IcuEncode(kGb18030, text).value();
        QCOMPARE(platform::ToAnsi(text), bytes);
        QCOMPARE(platform::FromAnsi(bytes), text);
    }

    // Bytes drawn mostly from the ranges where lead, trail and four-byte sequences meet.
    void randomBytesSurviveLoadAndSave() {
        QRandomGenerator rng(kSeed);
        const QByteArray pool("\x00\x30\x39\x40\x7C\x7E\x7F\x80\x81\x82\xA0\xA1\xE3\xFE\xFF", 15);
        for (int i = 0; i < 20000; ++i) {
            QByteArray bytes(rng.bounded(24), Qt::Uninitialized);
            for (char& b : bytes)
                b = rng.bounded(2) ? pool[rng.bounded(pool.size())] : char(rng.bounded(256));
            if (platform::ToAnsi(platform::FromAnsi(bytes)) != bytes)
                QFAIL(qPrintable("not written back: " + bytes.toHex(' ')));
        }
    }

    // Whole texts of code page 936 characters, so that sequences are split where ICU splits them.
    void randomCp936TextReadsAsIcuDoes() {
        QRandomGenerator rng(kSeed);
        int compared = 0;
        for (int i = 0; i < 2000; ++i) {
            QByteArray bytes;
            while (bytes.size() < 64)
                bytes += rng.bounded(3) == 0
                             ? QByteArray(1, char(rng.bounded(0x80)))
                             : QByteArray(1, char(0x81 + rng.bounded(126))) + char(0x40 + rng.bounded(0xBF));
            const auto icu = IcuDecode(kCp936, bytes);
            if (!icu) continue;
            if (platform::FromAnsi(bytes) != *icu || platform::ToAnsi(*icu) != bytes)
                QFAIL(qPrintable("differs from ICU: " + bytes.toHex(' ')));
            ++compared;
        }
        QVERIFY(compared > 0);
    }
};

QTEST_GUILESS_MAIN(TstCodepage)
#include "tst_codepage.moc"
