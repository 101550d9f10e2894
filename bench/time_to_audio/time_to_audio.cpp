// bench/time_to_audio/: play request to sound, for the component and peers; its own PulseAudio and icecast2.
//
// Run by hand; touches nothing outside its temporary folder.
//
// Sound is measured where a user hears it: at the sound server. parec records the null sink's monitor and the
// first chunk above -40 dBFS ends a run. The floor is what no player can beat: the first byte of audio from
// the server on a raw socket. Peers are timed from their launch; the component from its play request, with
// its engine already running (the program starts it once its window is painted) and, as "corvana (cold)",
// with a new one.
#include "player/media_player.h"
#include "web/network_fetcher.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

QTextStream out(stdout);

constexpr double AudibleRms = 0.01; // -40 dBFS
constexpr int RunTimeoutMs = 20000;

struct Stream {
    QString name;
    QString url;       // for the component, mpv and cvlc
    QString ffmpegUrl; // FFmpeg knows no mms://; its name for MMS over HTTP is mmsh://
    QByteArray mount;  // for the raw socket
    quint16 port = 0;
    bool gstreamer = true;
};

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

double Median(std::vector<double> v) {
    if (v.empty()) return std::nan("");
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The monitor of the null sink, read continuously; remembers when the last loud chunk arrived.
class Monitor : public QObject {
public:
    Monitor(const QProcessEnvironment& env, const QString& source) {
        m_parec.setProcessEnvironment(env);
        connect(&m_parec, &QProcess::readyReadStandardOutput, this, [this] { read(); });
        m_parec.start(QStringLiteral("parec"), {"-d", source, "--raw", "--format=s16le", "--rate=44100",
                                                "--channels=2", "--latency-msec=5"});
        m_clock.start();
    }
    ~Monitor() override {
        m_parec.kill();
        m_parec.waitForFinished(2000);
    }
    bool started() { return m_parec.waitForStarted(5000); }
    const QElapsedTimer& clock() const { return m_clock; }
    std::optional<qint64> lastLoud() const { return m_lastLoud; }
    std::optional<qint64> firstLoudSince(qint64 t0) const {
        for (qint64 t : m_loud)
            if (t >= t0) return t;
        return std::nullopt;
    }
    void forget() { m_loud.clear(); }

private:
    void read() {
        m_pending += m_parec.readAllStandardOutput();
        const qint64 now = m_clock.elapsed();
        const qsizetype samples = m_pending.size() / 2;
        if (samples == 0) return;
        const auto* s = reinterpret_cast<const qint16*>(m_pending.constData());
        double sum = 0;
        for (qsizetype i = 0; i < samples; ++i)
            sum += double(s[i]) * s[i];
        m_pending.remove(0, samples * 2);
        if (std::sqrt(sum / double(samples)) / 32768.0 > AudibleRms) {
            m_lastLoud = now;
            if (m_loud.size() < 4) m_loud.push_back(now);
        }
    }

    QProcess m_parec;
    QElapsedTimer m_clock;
    QByteArray m_pending;
    std::optional<qint64> m_lastLoud;
    std::vector<qint64> m_loud;
};

// Waits until the sink has been quiet for a while, so that one run's tail is not the next one's start.
bool WaitQuiet(const Monitor& monitor) {
    return WaitFor(
        [&] {
            const auto last = monitor.lastLoud();
            return !last || monitor.clock().elapsed() - *last > 400;
        },
        10000);
}

// First byte of audio from the server on a raw socket: connect, request, headers, then the first byte after
// them.
std::optional<double> Floor(const Stream& stream) {
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), stream.port);
    if (!socket.waitForConnected(5000)) return std::nullopt;
    socket.write("GET " + stream.mount + " HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: NSPlayer/7.0\r\n\r\n");
    QByteArray got;
    while (socket.waitForReadyRead(RunTimeoutMs)) {
        got += socket.readAll();
        const qsizetype end = got.indexOf("\r\n\r\n");
        if (end >= 0 && got.size() > end + 4) return double(clock.nsecsElapsed()) / 1e6;
    }
    return std::nullopt;
}

// Extra engine options for trying settings out: CORVANA_BENCH_ENGINE="name=value name=value".
player::EngineOptions ExtraEngineOptions() {
    player::EngineOptions options;
    for (const QByteArray& pair : qgetenv("CORVANA_BENCH_ENGINE").split(' '))
        if (const qsizetype eq = pair.indexOf('='); eq > 0) options.append({pair.left(eq), pair.mid(eq + 1)});
    return options;
}

// The component with the session it shows, held as the window holds them: the session first, and last to go.
struct Component {
    explicit Component(const player::EngineOptions& options) : session(fetcher, options), wmp(session) {}
    web::NetworkFetcher fetcher{"Corvana/bench"};
    player::Session session;
    player::MediaPlayer wmp;
};

struct Bench {
    QProcessEnvironment env;
    std::unique_ptr<Monitor> monitor;
    std::unique_ptr<Component> warm;
    bool asNobody = false;

    // One run of an external player from its launch: milliseconds to sound, or nothing on a timeout.
    std::optional<double> external(const QString& program, QStringList args, bool needsNonRoot) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        QString launch = program;
        if (needsNonRoot && asNobody) {
            args.prepend(program);
            args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + args;
            launch = QStringLiteral("setpriv");
        }
        monitor->forget();
        const qint64 t0 = monitor->clock().elapsed();
        process.start(launch, args);
        std::optional<qint64> t1;
        WaitFor(
            [&] {
                return (t1 = monitor->firstLoudSince(t0)).has_value() ||
                       process.state() == QProcess::NotRunning;
            },
            RunTimeoutMs);
        process.terminate();
        if (!process.waitForFinished(2000)) {
            process.kill();
            process.waitForFinished(2000);
        }
        if (!t1) return std::nullopt;
        return double(*t1 - t0);
    }

    std::optional<double> component(const Stream& stream, bool cold) {
        std::unique_ptr<Component> fresh;
        monitor->forget();
        const qint64 t0 = monitor->clock().elapsed();
        Component* component = warm.get();
        if (cold) {
            fresh = std::make_unique<Component>(ExtraEngineOptions());
            fresh->wmp.put_settings_volume(100);
            component = fresh.get();
        }
        component->wmp.put_URL(stream.url);
        std::optional<qint64> t1;
        WaitFor(
            [&] {
                return (t1 = monitor->firstLoudSince(t0)).has_value() ||
                       component->session.state() == player::Session::State::Error;
            },
            RunTimeoutMs);
        component->wmp.controls_stop();
        if (!t1) return std::nullopt;
        return double(*t1 - t0);
    }
};

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    int runs = 7;
    QString stateFile;
    QStringList only;
    QStringList onlyStreams;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = qMax(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--servers") && i + 1 < args.size())
            stateFile = args[++i];
        else if (args[i] == QLatin1String("--only") && i + 1 < args.size())
            only = args[++i].split(QLatin1Char(','));
        else if (args[i] == QLatin1String("--streams") && i + 1 < args.size())
            onlyStreams = args[++i].split(QLatin1Char(','));
        else {
            out << "usage: corvana_time_to_audio [--runs N] [--servers STATE_FILE] [--only name,name...]\n"
                   "                             [--streams word,word...]\n"
                   "  names: floor corvana corvana-cold mpv ffplay gst-play cvlc\n"
                   "  streams: those whose name contains one of the words (MP3, burst, AAC, Ogg, MMS ...)\n";
            return 2;
        }
    }
    for (const char* tool : {"pulseaudio", "parec"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            out << tool << " is not installed\n";
            return 1;
        }

    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                          QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                          QFile::ExeGroup);
    const bool root = QString::fromLocal8Bit(qgetenv("USER")) == QLatin1String("root") || ::geteuid() == 0;

    // A sound server of our own: a null sink whose monitor we record, a socket anyone (VLC runs as nobody)
    // may use.
    const QString pulseDir = dir.filePath(QStringLiteral("pulse"));
    QDir().mkpath(pulseDir + QStringLiteral("/home"));
    QDir().mkpath(pulseDir + QStringLiteral("/run"));
    const QString socket = pulseDir + QStringLiteral("/run/native");
    QProcessEnvironment pulseEnv = QProcessEnvironment::systemEnvironment();
    pulseEnv.insert(QStringLiteral("HOME"), pulseDir + QStringLiteral("/home"));
    pulseEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), pulseDir + QStringLiteral("/run"));
    QProcess pulse;
    pulse.setProcessEnvironment(pulseEnv);
    pulse.setStandardOutputFile(dir.filePath(QStringLiteral("pulseaudio.log")));
    pulse.setStandardErrorFile(dir.filePath(QStringLiteral("pulseaudio.log")));
    pulse.start(QStringLiteral("pulseaudio"),
                {"-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                 "--load=module-null-sink sink_name=corvana_bench",
                 "--load=module-native-protocol-unix socket=" + socket + " auth-anonymous=1"});
    if (!WaitFor([&] { return QFile::exists(socket); }, 10000)) {
        out << "pulseaudio did not start (see " << dir.filePath(QStringLiteral("pulseaudio.log")) << ")\n";
        return 1;
    }
    const QString server = QStringLiteral("unix:") + socket;
    qputenv("PULSE_SERVER", server.toUtf8());
    Bench bench;
    bench.asNobody = root;
    bench.env = QProcessEnvironment::systemEnvironment();
    bench.env.insert(QStringLiteral("PULSE_SERVER"), server);
    bench.env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("pulseaudio"));
    bench.env.insert(QStringLiteral("HOME"), pulseDir + QStringLiteral("/home"));
    bench.monitor = std::make_unique<Monitor>(bench.env, QStringLiteral("corvana_bench.monitor"));
    if (!bench.monitor->started()) {
        out << "parec did not start\n";
        return 1;
    }

    // The stream servers: the tests' fixture script, into our own folder unless we were given a running one.
    const QString fixtures = QStringLiteral(CORVANA_SOURCE_DIR "/tests/fixtures");
    const QString serversDir = dir.filePath(QStringLiteral("servers"));
    bool ownServers = false;
    if (stateFile.isEmpty()) {
        QProcess start;
        start.start(fixtures + QStringLiteral("/icecast-start"), {serversDir});
        start.waitForFinished(60000);
        stateFile = serversDir + QStringLiteral("/state");
        ownServers = true;
    }
    std::map<QString, QString> state;
    {
        QFile file(stateFile);
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& line : file.readAll().split('\n'))
                if (const qsizetype eq = line.indexOf('='); eq > 0)
                    state[QString::fromUtf8(line.left(eq))] = QString::fromUtf8(line.mid(eq + 1));
    }
    auto stopServers = qScopeGuard([&] {
        if (ownServers) QProcess::execute(fixtures + QStringLiteral("/icecast-stop"), {serversDir});
    });
    if (state["STATUS"] != QLatin1String("ready")) {
        out << "stream servers not ready: " << state["STATUS"] << "\n";
        return 1;
    }
    const quint16 port = quint16(state["PORT"].toUInt());
    auto http = [&](const char* mount) {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(mount);
    };
    std::vector<Stream> streams = {
        {"MP3 128k, burst", http("/mp3"), http("/mp3"), "/mp3", port},
        {"MP3 128k, no burst", http("/mp3-noburst"), http("/mp3-noburst"), "/mp3-noburst", port},
        {"AAC 96k (ADTS)", http("/aac"), http("/aac"), "/aac", port},
        {"Ogg Vorbis 96k", http("/ogg"), http("/ogg"), "/ogg", port},
    };
    if (const quint16 mms = quint16(state["MMS_PORT"].toUInt()); mms != 0)
        streams.push_back({"MMS/HTTP (WMA 64k)", QStringLiteral("mms://127.0.0.1:%1/").arg(mms),
                           QStringLiteral("mmsh://127.0.0.1:%1/").arg(mms), "/", mms, false});
    else
        out << "no MMS source (cvlc missing): MMS is not measured\n";
    if (!onlyStreams.isEmpty())
        std::erase_if(streams, [&](const Stream& s) {
            return std::none_of(onlyStreams.begin(), onlyStreams.end(),
                                [&](const QString& w) { return s.name.contains(w, Qt::CaseInsensitive); });
        });

    // The component as the program has it: engine started, full volume like the peers.
    bench.warm = std::make_unique<Component>(ExtraEngineOptions());
    bench.warm->wmp.put_settings_volume(100);
    bench.warm->session.startEngine();

    using Contender = std::pair<QString, std::function<std::optional<double>(const Stream&)>>;
    std::vector<Contender> contenders = {
        {"floor", [](const Stream& s) { return Floor(s); }},
        {"corvana", [&](const Stream& s) { return bench.component(s, false); }},
        {"corvana-cold", [&](const Stream& s) { return bench.component(s, true); }},
    };
    auto have = [](const char* program) {
        return !QStandardPaths::findExecutable(QLatin1String(program)).isEmpty();
    };
    if (have("mpv"))
        contenders.push_back(
            {"mpv", [&](const Stream& s) {
                 return bench.external("mpv", {"--no-config", "--no-video", "--ao=pulse", s.url}, false);
             }});
    if (have("ffplay"))
        contenders.push_back(
            {"ffplay", [&](const Stream& s) {
                 return bench.external("ffplay", {"-nodisp", "-loglevel", "quiet", s.ffmpegUrl}, false);
             }});
    if (have("gst-play-1.0"))
        contenders.push_back(
            {"gst-play", [&](const Stream& s) -> std::optional<double> {
                 if (!s.gstreamer) return std::nullopt; // no MMS element in Debian's base plugins
                 return bench.external("gst-play-1.0", {"--no-interactive", "-q", s.url}, false);
             }});
    if (have("cvlc"))
        contenders.push_back(
            {"cvlc", [&](const Stream& s) {
                 return bench.external("cvlc", {"-I", "dummy", "--no-video", "-A", "pulse", s.url}, true);
             }});
    if (!only.isEmpty())
        std::erase_if(contenders, [&](const Contender& c) { return !only.contains(c.first); });

    // Alternating: each round runs every contender once per stream, starting one further along each time, so
    // that drifts in the machine's load spread over all of them.
    std::map<std::pair<QString, QString>, std::vector<double>> results;
    std::map<std::pair<QString, QString>, int> failures;
    for (int run = 0; run < runs; ++run) {
        for (const Stream& stream : streams) {
            for (size_t k = 0; k < contenders.size(); ++k) {
                const Contender& c = contenders[(k + size_t(run)) % contenders.size()];
                if (c.first != QLatin1String("floor")) WaitQuiet(*bench.monitor);
                const std::optional<double> ms = c.second(stream);
                if (ms)
                    results[{stream.name, c.first}].push_back(*ms);
                else
                    ++failures[{stream.name, c.first}];
            }
        }
        out << "round " << run + 1 << "/" << runs << " done\n";
        out.flush();
    }

    // The table: medians in milliseconds; then each player against the component, and the component against
    // the floor.
    out << "\nmedian time to audio, ms (" << runs
        << " runs each; peers from launch, corvana from its play request)\n";
    out << QStringLiteral("%1").arg(QStringLiteral("stream"), -22);
    for (const Contender& c : contenders)
        out << QStringLiteral("%1").arg(c.first, 16);
    out << QStringLiteral("%1").arg(QStringLiteral("corvana-floor"), 15) << "\n";
    for (const Stream& stream : streams) {
        out << QStringLiteral("%1").arg(stream.name, -22);
        const double ours = Median(results[{stream.name, QStringLiteral("corvana")}]);
        const double floor = Median(results[{stream.name, QStringLiteral("floor")}]);
        for (const Contender& c : contenders) {
            const auto& v = results[{stream.name, c.first}];
            const double m = Median(v);
            QString cell = std::isnan(m) ? QStringLiteral("n/a") : QString::number(m, 'f', 0);
            if (!std::isnan(m) && !std::isnan(ours) && c.first != QLatin1String("corvana") && ours > 0)
                cell += QStringLiteral(" (%1x)").arg(m / ours, 0, 'f', 2);
            if (const int f = failures[{stream.name, c.first}]; f > 0) cell += QStringLiteral(" !%1").arg(f);
            out << QStringLiteral("%1").arg(cell, 16);
        }
        out << QStringLiteral("%1").arg(std::isnan(ours) || std::isnan(floor)
                                            ? QStringLiteral("n/a")
                                            : QString::number(ours - floor, 'f', 0),
                                        15)
            << "\n";
    }
    out << "(Nx) = that contender's median / corvana's; !N = runs without sound within "
        << RunTimeoutMs / 1000 << " s\n";
    bench.warm.reset();
    pulse.terminate();
    pulse.waitForFinished(3000);
    return 0;
}
