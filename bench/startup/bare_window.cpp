// bench/startup: the floor: a bare Qt Widgets window with a menu bar, the least a Qt program shows.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.menuBar()->addMenu(QStringLiteral("File"));
    window.resize(281, 498);
    window.show();
    return app.exec();
}
