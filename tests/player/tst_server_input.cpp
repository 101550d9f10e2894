// tests/player/: the titles a server may hand the player, read without a network: cleaned and bounded.
#include "player/playlist.h"

#include <QTest>

using player::CleanTitle;
using player::MaxTitleLength;

class TstServerInput : public QObject {
    Q_OBJECT
private slots:
    void titles_data();
    void titles();
    void longTitlesAreCutWhole();
};

void TstServerInput::titles_data() {
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QStringLiteral("Morning Show") << QStringLiteral("Morning Show");
    QTest::newRow("Chinese") << QStringLiteral("中国之声 晨曲") << QStringLiteral("中国之声 晨曲");
    QTest::newRow("right-to-left override")
        << QStringLiteral("evil\u202Eexe.live\u202C song") << QStringLiteral("evilexe.live song");
    QTest::newRow("embeddings and isolates")
        << QStringLiteral("\u202Aa\u202Bb\u202Dc\u2066d\u2067e\u2068f\u2069") << QStringLiteral("abcdef");
    QTest::newRow("directional marks") << QStringLiteral("a\u200Eb\u200Fc\u061Cd") << QStringLiteral("abcd");
    QTest::newRow("CR LF") << QStringLiteral("first\r\nsecond") << QStringLiteral("first second");
    QTest::newRow("tab, vertical tab, form feed")
        << QStringLiteral("a\tb\vc\fd") << QStringLiteral("a b c d");
    QTest::newRow("line and paragraph separators, NEL")
        << QStringLiteral("a\u2028b\u2029c\u0085d") << QStringLiteral("a b c d");
    QTest::newRow("control characters")
        << QStringLiteral("a\x01\x07\x1b\x7f\u0080\u009fb") << QStringLiteral("ab");
    QTest::newRow("runs of white space, ends trimmed")
        << QStringLiteral(" \r\n  a \u00A0\u3000 b\t\t ") << QStringLiteral("a b");
    QTest::newRow("only what is dropped") << QStringLiteral("\u202E\r\n\x01") << QString();
    QTest::newRow("invisible characters")
        << QStringLiteral("\uFEFFa\u200Bb\u2060c\uFFF9d\uFFFB") << QStringLiteral("abcd");
    QTest::newRow("a surrogate without its pair")
        << QString(QChar(0xD83D)) + QStringLiteral("a") + QString(QChar(0xDE00)) << QStringLiteral("a");
    QTest::newRow("non-characters") << QStringLiteral("a\uFFFEb\uFFFF") << QStringLiteral("ab");
    // Joiners build emoji and some scripts' letters: they stay.
    QTest::newRow("emoji with joiners")
        << QString::fromUcs4(U"\U0001F469\u200D\U0001F467 \u0915\u094D\u200D\u0937")
        << QString::fromUcs4(U"\U0001F469\u200D\U0001F467 \u0915\u094D\u200D\u0937");
    QTest::newRow("exactly the longest") << QString(MaxTitleLength, u'x') << QString(MaxTitleLength, u'x');
    QTest::newRow("one longer") << QString(MaxTitleLength + 1, u'x')
                                << QString(MaxTitleLength - 1, u'x') + QChar(0x2026);
    QTest::newRow("70 kB") << QString(70000, u'y') << QString(MaxTitleLength - 1, u'y') + QChar(0x2026);
    QTest::newRow("long only after cleaning")
        << QString(MaxTitleLength, u'z') + QStringLiteral("\u202E\u202E\u202E")
        << QString(MaxTitleLength, u'z');
    QTest::newRow("cut before a space") << QString(MaxTitleLength - 2, u'a') + QStringLiteral(" bcd")
                                        << QString(MaxTitleLength - 2, u'a') + QChar(0x2026);
}

void TstServerInput::titles() {
    QFETCH(QString, sent);
    QFETCH(QString, shown);
    QCOMPARE(CleanTitle(sent), shown);
}

void TstServerInput::longTitlesAreCutWhole() {
    // Characters outside the BMP at every offset around the cut: never half of one.
    const QString emoji = QString::fromUcs4(U"\U0001F3B5");
    for (int lead = 0; lead < 4; ++lead) {
        QString title = QString(lead, u'a');
        while (title.size() < 3 * MaxTitleLength)
            title += emoji;
        const QString shown = CleanTitle(title);
        QVERIFY(shown.size() <= MaxTitleLength);
        QVERIFY(shown.endsWith(QChar(0x2026)));
        const QString kept = shown.chopped(1);
        QVERIFY2(!kept.back().isHighSurrogate(), qPrintable(QString::number(lead)));
        QVERIFY(title.startsWith(kept));
        QVERIFY(kept.size() >= MaxTitleLength - 2);
    }
}

QTEST_GUILESS_MAIN(TstServerInput)
#include "tst_server_input.moc"
