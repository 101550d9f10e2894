// tests/app: the real window on a real X display with a Chinese list and the control menu open. Keeps the
// screenshot as an artifact and fails when the grab is blank or Chinese text would show as missing-glyph
// boxes.
#include "app/frmMain.h"
#include "stations/list_view.h"
#include "support/window_fixture.h"

#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QRawFont>
#include <QScreen>
#include <QTest>
#include <optional>

namespace {
// The text drawn alone in the label's font, as an image.
QImage Render(const QString& text, const QFont& font) {
    QImage image(200, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(image.rect(), Qt::AlignLeft | Qt::AlignVCenter, text);
    return image;
}

int DistinctColours(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            colours.insert(image.pixel(x, y));
    return colours.size();
}
} // namespace

class TstScreenshot : public QObject {
    Q_OBJECT

    std::optional<WindowFixture> m_fx;

private slots:
    void initTestCase() {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            QSKIP("needs a real X display (scripts/test starts Xvfb)");
        m_fx.emplace();
        // 中国之声, 音乐之声, 经济之声 in code page 936.
        QVERIFY(m_fx->writeList("\xD6\xD0\xB9\xFA\xD6\xAE\xC9\xF9|mms://live.example.com/radio1\r\n"
                                "\xD2\xF4\xC0\xD6\xD6\xAE\xC9\xF9|http://127.0.0.1:8000/music\r\n"
                                "\xBE\xAD\xBC\xC3\xD6\xAE\xC9\xF9|http://127.0.0.1:8000/economy\r\n"));
    }
    void cleanupTestCase() { m_fx.reset(); }

    void chineseRendersAsGlyphs() {
        frmMain& form = *m_fx->create();
        const QFont font = form.Label1->font();
        const QString chinese = QStringLiteral("电台名称让你的心情放个假");
        // The face actually used must hold every character...
        const QRawFont raw = QRawFont::fromFont(font);
        QVERIFY2(raw.isValid(), "no font resolved for the labels");
        for (QChar c : chinese)
            QVERIFY2(raw.supportsCharacter(c),
                     qPrintable(QStringLiteral("%1 lacks %2").arg(raw.familyName(), c)));
        // ...and draw them as different shapes, not as one repeated box.
        const QImage a = Render(QStringLiteral("电"), font);
        const QImage b = Render(QStringLiteral("台"), font);
        const QImage box = Render(QString(QChar(0xE000)), font); // a private-use character no face draws
        QVERIFY(a != b);
        QVERIFY(a != box && b != box);
    }

    void screenshotWithMenuOpen() {
        m_fx->create();
        frmMain& form = *m_fx->load();
        form.move(20, 20);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.lst_Play->ListItems().Count(), 3);
        form.lst_Play->Select(1);

        // Open the control menu from the menu bar, as a user's click would.
        const QList<QAction*> tops = form.menuBar()->actions();
        form.menuBar()->setActiveAction(tops[2]);
        QTRY_VERIFY_WITH_TIMEOUT(form.menu_Control->isVisible(), 5000);
        QTest::qWait(300);

        const QPixmap shot = form.screen()->grabWindow(0, 0, 0, 600, 620);
        const QString artifacts = QDir(QStringLiteral(CORVANA_ARTIFACTS)).absolutePath();
        QDir().mkpath(artifacts);
        const QString path = artifacts + QStringLiteral("/main-window.png");
        QVERIFY(shot.save(path));
        qInfo("screenshot: %s", qPrintable(path));

        // Not blank: the window, its list and its menu give many colours.
        const QImage image = shot.toImage();
        QVERIFY2(DistinctColours(image) > 20, "the screen grab is blank");
        // The grabbed list shows what the widget itself draws.
        const QImage list = form.lst_Play->grab().toImage();
        QVERIFY(DistinctColours(list) > 5);
        form.menu_Control->hide();
    }
};

QTEST_MAIN(TstScreenshot)
#include "tst_screenshot.moc"
