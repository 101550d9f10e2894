// tests/desktop: a stand-in for app/ around the MPRIS service, so that real clients (playerctl) and a second
// process can be pointed at it. It keeps a list of stations and a pretend player, answers every request as
// the program's commands would, shows the result through update(), and prints each request it handled, one
// line each, on standard output.
//
// Usage: mpris_fake_app [--probe] [--title TEXT] NAME|ADDRESS...
//   --probe  registers and ends at once, printing nothing: exit 0 when registered, 2 when there was no bus.
//   --title  the now-playing title the pretend stream sends while it plays.
#include "desktop/mpris.h"
#include "player/address.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <vector>

namespace {

struct Station {
    QString name;
    QString address;
};

void Say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    bool probe = false;
    QString title;
    std::vector<Station> stations;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == QLatin1String("--probe")) {
            probe = true;
        } else if (arg == QLatin1String("--title") && !args.isEmpty()) {
            title = args.takeFirst();
        } else {
            const qsizetype bar = arg.indexOf(u'|');
            if (bar > 0) stations.push_back({arg.first(bar), arg.sliced(bar + 1)});
        }
    }

    desktop::MprisService service;
    int current = -1;
    bool playing = false;
    int volume = 50;
    auto show = [&] {
        desktop::MprisState state;
        state.playing = playing;
        if (current >= 0) {
            state.station = stations[current].name;
            state.url = stations[current].address;
        }
        state.title = playing ? title : QString();
        state.volume = volume;
        state.canPlay = !stations.empty();
        state.canGoNext = current + 1 < int(stations.size());
        state.canGoPrevious = current > 0;
        service.update(state);
    };
    auto playAt = [&](int index) {
        current = index;
        playing = true;
        show();
    };

    service.setUriAcceptor([](const QString& uri) {
        return player::ClassifyAddress(uri).kind != player::EngineAddress::Refused;
    });
    QObject::connect(&service, &desktop::MprisService::raiseRequested, [] { Say(QStringLiteral("raise")); });
    QObject::connect(&service, &desktop::MprisService::quitRequested, [] {
        Say(QStringLiteral("quit"));
        QCoreApplication::quit();
    });
    QObject::connect(&service, &desktop::MprisService::playRequested, [&] {
        Say(QStringLiteral("play"));
        playAt(current < 0 ? 0 : current);
    });
    QObject::connect(&service, &desktop::MprisService::stopRequested, [&] {
        Say(QStringLiteral("stop"));
        playing = false;
        show();
    });
    QObject::connect(&service, &desktop::MprisService::nextRequested, [&] {
        Say(QStringLiteral("next"));
        playAt(current + 1);
    });
    QObject::connect(&service, &desktop::MprisService::previousRequested, [&] {
        Say(QStringLiteral("previous"));
        playAt(current - 1);
    });
    QObject::connect(&service, &desktop::MprisService::volumeRequested, [&](int value) {
        Say(QStringLiteral("volume %1").arg(value));
        volume = value;
        show();
    });
    QObject::connect(&service, &desktop::MprisService::openUriRequested, [&](const QString& uri) {
        Say(QStringLiteral("open %1").arg(uri));
        stations.push_back({uri, uri});
        playAt(int(stations.size()) - 1);
    });

    show();
    if (!service.registerOnSessionBus()) return 2;
    if (probe) return 0;
    Say(QStringLiteral("registered %1").arg(service.serviceName()));
    return app.exec();
}
