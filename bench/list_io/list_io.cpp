// bench/list_io: load and save of a large station list beside the floor of decoding and splitting the same
// bytes. Run by hand: build/bench/list_io/list_io [STATIONS] [RUNS]
#include "platform/filesystem.h"
#include "stations/list_file.h"
#include "stations/list_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
double MedianMs(int runs, const std::function<void()>& body) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        body();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}
} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const int runs = argc > 2 ? QByteArray(argv[2]).toInt() : 7;

    std::vector<stations::Station> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({QStringLiteral("电台%1号 中国之声").arg(i),
                           QStringLiteral("mms://live.example.com/radio%1").arg(i)});
    const QByteArray bytes = stations::ListFileBytes(entries);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("CvLst.lst"));
    {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }

    // The floor: read the bytes, decode them in one call, split lines and fields.
    qsizetype floorFields = 0;
    const double floorLoad = MedianMs(runs, [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QString text = QStringDecoder("GB18030")(f.readAll());
        floorFields = 0;
        for (QStringView line : QStringView(text).split(u"\r\n"))
            floorFields += line.split(u'|').size();
    });
    const double floorSave = MedianMs(runs, [&] {
        QString text;
        for (const auto& s : entries)
            text += s.name + QLatin1Char('|') + s.address + QLatin1String("\r\n");
        QFile f(path + QStringLiteral(".floor"));
        f.open(QIODevice::WriteOnly);
        f.write(QStringEncoder("GB18030")(text));
    });

    int loaded = 0;
    const double load = MedianMs(runs, [&] {
        stations::ListView list;
        stations::LoadList(list, path);
        loaded = list.ListItems().Count();
    });
    stations::ListView list;
    stations::LoadList(list, path);
    const double save = MedianMs(runs, [&] { stations::SaveList(list, path); });

    std::printf("list_io: %d stations, %.1f MB, median of %d runs (floor fields %lld, loaded %d)\n", count,
                bytes.size() / 1e6, runs, static_cast<long long>(floorFields), loaded);
    std::printf("%-34s %10s %10s %8s\n", "", "ours ms", "floor ms", "ratio");
    std::printf("%-34s %10.1f %10.1f %8.2f\n", "load (read, decode, split, list)", load, floorLoad,
                load / floorLoad);
    std::printf("%-34s %10.1f %10.1f %8.2f\n", "save (encode, write, fsync, rename)", save, floorSave,
                save / floorSave);
    return 0;
}
