// bench/list_io: what the list's history costs in memory: a list of 100,000 stations loaded, cleared, then taken
// back and made again ten times. The rows move between the list and the history, never copied: the peak stays
// within the resident size after the load plus one list's size. Run by hand (offscreen):
// QT_QPA_PLATFORM=offscreen build/bench/list_io/list_history_memory [STATIONS]
#include "stations/edit_commands.h"
#include "stations/list_file.h"
#include "stations/list_history.h"
#include "stations/list_view.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {

qint64 StatusKiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Sets the peak back to what is in use now (Linux 4.0 and later).
bool ResetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    return refs.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && refs.write("5", 1) == 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const int stations = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("CvLst.lst"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return 1;
        for (int i = 0; i < stations; ++i)
            file.write(QStringLiteral("电台%1号|mms://live.example.com/radio%1\r\n").arg(i).toUtf8());
    }
    stations::ListView list;
    stations::SetUpColumns(list);
    list.resize(300, 400);
    list.show();
    app.processEvents();
    const qint64 before = StatusKiB("VmRSS:");
    stations::LoadList(list, path);
    app.processEvents();
    const qint64 afterLoad = StatusKiB("VmRSS:");
    const bool peakReset = ResetPeak();
    stations::ListHistory history;
    if (!stations::ClearList(list, &history)) return 1;
    app.processEvents();
    for (int i = 0; i < 10; ++i) {
        history.Undo(list);
        app.processEvents();
        history.Redo(list);
        app.processEvents();
    }
    history.Undo(list);
    app.processEvents();
    const qint64 peak = StatusKiB(peakReset ? "VmHWM:" : "VmRSS:");
    const qint64 listSize = afterLoad - before;
    std::printf("stations %d, rows back after the last undo: %d\n", stations, list.ListItems().Count());
    std::printf("RSS before the load %lld KiB, after it %lld KiB (one list: %lld KiB)\n", before, afterLoad,
                listSize);
    std::printf("peak over clear + 10 x (undo, redo) + undo: %lld KiB%s; bound (after load + one list) %lld "
                "KiB: %s\n",
                peak, peakReset ? "" : " (no peak reset: last RSS)", afterLoad + listSize,
                peak <= afterLoad + listSize ? "within" : "OVER");
    return peak <= afterLoad + listSize ? 0 : 2;
}
