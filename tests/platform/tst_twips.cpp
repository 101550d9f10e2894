// tests/platform: twips to pixels. At 96 DPI every length of the window's layout is a whole number of pixels,
// so only another DPI shows whether the conversion truncates; the screen-reading form is also run on an
// offscreen screen of 120 DPI (see CMakeLists.txt).
#include "platform/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <tuple>

class TstTwips : public QObject {
    Q_OBJECT

private slots:
    void atDpi_data() {
        QTest::addColumn<double>("twips");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<int>("pixels");
        // The window's lengths: client area, strip, link label, list, status line.
        const struct {
            double twips;
            int at96, at120, at144;
        } layout[] = {{4215, 281, 351, 421}, {7470, 498, 622, 747}, {675, 45, 56, 67},
                      {1035, 69, 86, 103},   {375, 25, 31, 37},     {6015, 401, 501, 601},
                      {4095, 273, 341, 409}, {7200, 480, 600, 720}, {120, 8, 10, 12}};
        for (const auto& l : layout) {
            QTest::addRow("%g at 96", l.twips) << l.twips << 96.0 << l.at96;
            QTest::addRow("%g at 120", l.twips) << l.twips << 120.0 << l.at120;
            QTest::addRow("%g at 144", l.twips) << l.twips << 144.0 << l.at144;
        }
        // Just short of a whole pixel stays below it; an exact pixel is not lost to the division.
        QTest::newRow("14 at 96") << 14.0 << 96.0 << 0;
        QTest::newRow("29 at 96") << 29.0 << 96.0 << 1;
        QTest::newRow("1079 at 120") << 1079.0 << 120.0 << 89;
        QTest::newRow("1080 at 120") << 1080.0 << 120.0 << 90;
        QTest::newRow("0") << 0.0 << 120.0 << 0;
        QTest::newRow("odd DPI, exact") << 1440.0 << 109.0 << 109;
        QTest::newRow("odd DPI") << 4215.0 << 109.0 << 319; // 319.06
    }
    void atDpi() {
        QFETCH(double, twips);
        QFETCH(double, dpi);
        QFETCH(int, pixels);
        QCOMPARE(platform::TwipsToPixels(twips, dpi), pixels);
    }

    // The screen's own DPI: 96 on the plain offscreen screen, 120 on the configured one.
    void atTheScreensDpi() {
        const QScreen* screen = QGuiApplication::primaryScreen();
        QVERIFY(screen);
        const double dpi = screen->logicalDotsPerInchX();
        const double expected = qEnvironmentVariableIntValue("CORVANA_EXPECT_DPI");
        if (expected > 0) QCOMPARE(dpi, expected); // the configured screen really is there
        for (const auto& [at, perPixel, x4215, y7470] :
             {std::tuple{96.0, 15.0, 281, 498}, std::tuple{120.0, 12.0, 351, 622}}) {
            if (dpi != at) continue;
            QCOMPARE(platform::TwipsPerPixelX(), perPixel);
            QCOMPARE(platform::TwipsToPixelsX(4215), x4215);
            QCOMPARE(platform::TwipsToPixelsY(7470), y7470);
            return;
        }
        QSKIP(qPrintable(QStringLiteral("a screen of %1 DPI has no expected figures here").arg(dpi)));
    }
};

QTEST_MAIN(TstTwips)
#include "tst_twips.moc"
