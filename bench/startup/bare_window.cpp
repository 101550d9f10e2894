// bench/startup: the floor: a bare Qt Widgets window with a menu bar, the least a Qt program shows.
// Usage: bare_window [MENU_CAPTION] ("File" by default; a Chinese caption makes it load a CJK font, as Corvana must).
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.menuBar()->addMenu(argc > 1 ? QString::fromUtf8(argv[1]) : QStringLiteral("File"));
    window.resize(281, 498);
    window.show();
    return app.exec();
}
