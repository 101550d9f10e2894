// app/: the icon as the program carries it (resource, main window) and as it is installed (one PNG a hicolor
// size).
#include "app/frmMain.h"
#include "player/session.h"
#include "web/network_fetcher.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QTest>

namespace {
// A tile of `size` pixels with an alpha channel: a PNG of exactly that size (one of the wrong size is scaled by
// the shell and comes out blurred), or an SVG drawn at it. Its corners must be see-through and its middle filled,
// or panels show a square block or a hole.
void VerifyTile(const QString& path, int size, const QByteArray& format = "png") {
    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    if (format == "svg") reader.setScaledSize(QSize(size, size));
    const QImage read = reader.read();
    QVERIFY2(!read.isNull(), qPrintable(path + ": " + reader.errorString()));
    QCOMPARE(read.size(), QSize(size, size));
    QVERIFY(read.hasAlphaChannel());
    const QImage image = read.convertToFormat(QImage::Format_ARGB32);
    const int last = image.width() - 1;
    for (const QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
        QCOMPARE(qAlpha(image.pixel(corner)), 0);
    QCOMPARE(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
}
} // namespace

class TstDesktopIcon : public QObject {
    Q_OBJECT

private slots:
    // The resources sit in the static app library, whose unreferenced objects the linker would drop.
    void initTestCase() { Q_INIT_RESOURCE(corvana); }

    void windowIconResource() {
        VerifyTile(QStringLiteral(":/corvana/corvana-32.png"), 32);
        QVERIFY(!QIcon(QStringLiteral(":/corvana/corvana-32.png")).pixmap(32, 32).isNull());
    }

    void scalableResource() {
        QVERIFY(QFile::exists(QStringLiteral(":/corvana/corvana.svg")));
        VerifyTile(QStringLiteral(":/corvana/corvana.svg"), 48, "svg");
    }

    // The main window names the icon by its resource path; a slip there leaves the title bar and task bar
    // blank. A QIcon made from a path that leads nowhere is not null; only its pixmap shows the miss.
    void mainWindowShowsIt() {
        web::NetworkFetcher fetcher("Corvana/test");
        player::Session session(fetcher);
        frmMain window(fetcher, session);
        // Both sides go through QPixmap so that they share its premultiplied format.
        const QImage shown = window.windowIcon().pixmap(32, 32).toImage();
        QCOMPARE(shown.size(), QSize(32, 32));
        QCOMPARE(shown, QPixmap(QStringLiteral(":/corvana/corvana-32.png")).toImage());
    }

    // Each PNG goes to hicolor/<size>x<size>.
    void installedSizes_data() {
        QTest::addColumn<int>("size");
        for (const int size : {16, 24, 32, 48, 64, 128, 256})
            QTest::addRow("%dx%d", size, size) << size;
    }
    void installedSizes() {
        QFETCH(int, size);
        VerifyTile(QStringLiteral(CORVANA_ICON_DIR "/corvana-%1.png").arg(size), size);
    }
};

QTEST_MAIN(TstDesktopIcon)
#include "tst_desktop_icon.moc"
