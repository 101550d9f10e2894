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
        if (arg == QLatin1String("--probe"))
            probe = true;
        else if (arg == QLatin1String("--title") && !args.isEmpty())
            title = args.takeFirst();
        else if (const qsizetype bar = arg.indexOf(u'|'); bar > 0)
            stations.push_back({arg.first(bar), arg.sliced(bar + 1)});
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
    // Each request is printed before it is acted on, so the log keeps the order the requests came in.
    const auto on = [&](auto request, const char* name, auto act) {
        QObject::connect(&service, request, [=](auto... value) {
            Say((QStringList{QLatin1String(name)} << ... << QStringLiteral("%1").arg(value)).join(u' '));
            act(value...);
        });
    };
    on(&desktop::MprisService::raiseRequested, "raise", [] {});
    on(&desktop::MprisService::quitRequested, "quit", [] { QCoreApplication::quit(); });
    on(&desktop::MprisService::playRequested, "play", [&] { playAt(current < 0 ? 0 : current); });
    on(&desktop::MprisService::stopRequested, "stop", [&] {
        playing = false;
        show();
    });
    on(&desktop::MprisService::nextRequested, "next", [&] { playAt(current + 1); });
    on(&desktop::MprisService::previousRequested, "previous", [&] { playAt(current - 1); });
    on(&desktop::MprisService::volumeRequested, "volume", [&](int value) {
        volume = value;
        show();
    });
    on(&desktop::MprisService::openUriRequested, "open", [&](const QString& uri) {
        stations.push_back({uri, uri});
        playAt(int(stations.size()) - 1);
    });

    show();
    if (!service.registerOnSessionBus()) return 2;
    if (probe) return 0;
    Say(QStringLiteral("registered %1").arg(service.serviceName()));
    return app.exec();
}
