// tests/stations: a program that saves the station list over and over, switching between two lists, until it
// is killed. The kill test uses it to stop a save at random moments; with "once" it saves the first list one
// time and ends, for a test that watches or stops that one save from outside.
// Usage: save_victim LIST_FILE STATIONS [once]
#include "stations/list_file.h"
#include "stations/list_view.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 3 && !(argc == 4 && QByteArray(argv[3]) == "once")) return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int count = QByteArray(argv[2]).toInt();
    stations::ListView lists[2];
    for (int which = 0; which < 2; ++which) {
        std::vector<stations::Station> entries;
        for (int i = 0; i < count; ++i)
            entries.push_back({QStringLiteral("电台%1-%2").arg(which).arg(i),
                               QStringLiteral("http://127.0.0.1:8000/%1/%2").arg(which).arg(i)});
        lists[which].ListItems().AddMany(std::move(entries));
    }
    if (argc == 4) {
        stations::SaveList(lists[0], path);
        return 0;
    }
    std::puts("ready");
    std::fflush(stdout);
    for (unsigned n = 0;; ++n)
        stations::SaveList(lists[n % 2], path);
}
