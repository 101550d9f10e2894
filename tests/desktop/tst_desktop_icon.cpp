// desktop/: the icon as the program carries it (resource, main window) and as it is installed (one PNG a
// hicolor size).
#include "app/frmMain.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QTest>

namespace {
// A tile icon must leave its corners see-through and fill its middle, or panels show a square block or a
// hole.
void VerifyTileAlpha(const QImage& image) {
    const int last = image.width() - 1;
    for (const QPoint corner : {QPoint(0, 0), QPoint(last, 0), QPoint(0, last), QPoint(last, last)})
        QCOMPARE(qAlpha(image.pixel(corner)), 0);
    QCOMPARE(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
}
} // namespace

class TstDesktopIcon : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // The resources sit in the static core library, whose unreferenced objects the linker would drop.
        Q_INIT_RESOURCE(corvana);
    }

    void windowIconResource() {
        QImageReader reader(QStringLiteral(":/corvana/corvana-32.png"));
        QCOMPARE(reader.format(), QByteArray("png"));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), QSize(32, 32));
        QVERIFY(image.hasAlphaChannel());
        VerifyTileAlpha(image.convertToFormat(QImage::Format_ARGB32));
        QVERIFY(!QIcon(QStringLiteral(":/corvana/corvana-32.png")).pixmap(32, 32).isNull());
    }

    void scalableResource() {
        QVERIFY(QFile::exists(QStringLiteral(":/corvana/corvana.svg")));
        QImageReader reader(QStringLiteral(":/corvana/corvana.svg"));
        reader.setScaledSize(QSize(48, 48));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        VerifyTileAlpha(image.convertToFormat(QImage::Format_ARGB32));
    }

    // The main window names the icon by its resource path; a slip there leaves the title bar and task bar
    // blank.
    void mainWindowShowsIt() {
        frmMain window;
        const QIcon icon = window.windowIcon();
        // Both sides go through QPixmap so that they share its premultiplied format.
        const QImage shown = icon.pixmap(32, 32).toImage();
        const QImage resource = QPixmap(QStringLiteral(":/corvana/corvana-32.png")).toImage();
        // A QIcon made from a path that leads nowhere is not null; only its pixmap shows the miss.
        QCOMPARE(shown.size(), QSize(32, 32));
        QCOMPARE(shown, resource);
    }

    void installedSizes_data() {
        QTest::addColumn<int>("size");
        for (const int size : {16, 24, 32, 48, 64, 128, 256})
            QTest::addRow("%dx%d", size, size) << size;
    }

    // Each PNG goes to hicolor/<size>x<size>; one of the wrong size is scaled by the shell and comes out
    // blurred.
    void installedSizes() {
        QFETCH(int, size);
        const QString path = QStringLiteral(CORVANA_ICON_DIR "/corvana-%1.png").arg(size);
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY(image.hasAlphaChannel());
        VerifyTileAlpha(image.convertToFormat(QImage::Format_ARGB32));
    }
};

QTEST_MAIN(TstDesktopIcon)
#include "tst_desktop_icon.moc"
