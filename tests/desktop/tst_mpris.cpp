// tests/desktop: the MPRIS service as a client on a private session bus sees it: its interfaces, its
// properties, PropertiesChanged, the requests each method makes, the bus names of a second instance, and a
// program without a bus.
#include "desktop/mpris.h"
#include "player/address.h"
#include "support/private_bus.h"

#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <memory>

using desktop::MprisService;
using desktop::MprisState;
Q_DECLARE_METATYPE(desktop::MprisState)

namespace {

const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

// a{sv} inside a variant arrives undecoded.
QVariantMap AsMap(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value.toMap();
}

MprisState Listening() {
    return {.playing = true,
            .title = QStringLiteral("Tone 440"),
            .station = QStringLiteral("中国之声"),
            .url = QStringLiteral("http://127.0.0.1:8000/mp3"),
            .volume = 35,
            .canGoNext = true,
            .canPlay = true};
}

} // namespace

class TstMpris : public QObject {
    Q_OBJECT

private:
    support::PrivateBus m_bus;
    QString m_address;
    std::unique_ptr<MprisService> m_service;
    std::optional<QDBusConnection> m_client;
    QStringList m_requests; // the service's requests, in the order they were emitted
    QList<QVariantMap> m_changes;

    QDBusMessage Call(const QString& interface, const QString& method, const QVariantList& args = {},
                      const QString& service = MprisService::BusName) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(service, MprisService::ObjectPath, interface, method);
        call.setArguments(args);
        // The service answers on this thread, so the caller has to keep the event loop running.
        return m_client->call(call, QDBus::BlockWithGui, 5000);
    }
    QVariant Get(const QString& interface, const QString& name) {
        const QDBusMessage reply = Call(kProperties, QStringLiteral("Get"), {interface, name});
        if (reply.type() != QDBusMessage::ReplyMessage) return {};
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }
    QVariantMap GetAll(const QString& interface) {
        const QDBusMessage reply = Call(kProperties, QStringLiteral("GetAll"), {interface});
        return reply.type() == QDBusMessage::ReplyMessage ? AsMap(reply.arguments().value(0)) : QVariantMap();
    }
    // Runs the event loop until the service's queue is drained: a request queued behind a Raise is emitted
    // before it, so once the Raise has arrived nothing else is still on its way.
    QStringList RequestsUpToRaise() {
        Call(kRoot, QStringLiteral("Raise"));
        if (!QTest::qWaitFor([&] { return m_requests.contains(QStringLiteral("raise")); }, 5000)) return {};
        QStringList got = m_requests;
        got.removeLast();
        m_requests.clear();
        return got;
    }
    QVariantMap NextChange() {
        if (!QTest::qWaitFor([&] { return !m_changes.isEmpty(); }, 5000)) return {};
        return m_changes.takeFirst();
    }

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated) {
        QVERIFY(interface == kPlayer);
        QVERIFY(invalidated.isEmpty());
        m_changes.append(changed);
    }

    void initTestCase() {
        m_address = m_bus.start();
        QVERIFY(!m_address.isEmpty());

        m_service = std::make_unique<MprisService>();
        using Request = void (MprisService::*)();
        for (const auto& [request, name] :
             {std::pair<Request, const char*>{&MprisService::raiseRequested, "raise"},
              {&MprisService::quitRequested, "quit"},
              {&MprisService::playRequested, "play"},
              {&MprisService::stopRequested, "stop"},
              {&MprisService::nextRequested, "next"},
              {&MprisService::previousRequested, "previous"}})
            connect(m_service.get(), request, this, [this, name] { m_requests << QLatin1String(name); });
        connect(m_service.get(), &MprisService::volumeRequested, this,
                [this](int volume) { m_requests << QStringLiteral("volume %1").arg(volume); });
        connect(m_service.get(), &MprisService::openUriRequested, this,
                [this](const QString& uri) { m_requests << QStringLiteral("open %1").arg(uri); });
        QVERIFY(m_service->registerOnSessionBus());
        QCOMPARE(m_service->serviceName(), MprisService::BusName);

        m_client = QDBusConnection::connectToBus(m_address, QStringLiteral("tst_mpris_client"));
        QVERIFY(m_client->isConnected());
        QVERIFY(m_client->connect(MprisService::BusName, MprisService::ObjectPath, kProperties,
                                  QStringLiteral("PropertiesChanged"), this,
                                  SLOT(onPropertiesChanged(QString, QVariantMap, QStringList))));
    }

    void cleanupTestCase() {
        m_service.reset();
        if (m_client) QDBusConnection::disconnectFromBus(QStringLiteral("tst_mpris_client"));
        m_bus.stop();
    }

    void init() {
        m_service->update(MprisState{});
        // The reply comes after the signal the update sent, and a short wait lets its slot run.
        Get(kPlayer, QStringLiteral("PlaybackStatus"));
        QTest::qWait(20);
        m_changes.clear();
        m_requests.clear();
    }

    // What a desktop shell sees first: the object with both interfaces, as a separate client reads it.
    void introspection() {
        QProcess gdbus;
        gdbus.start(QStringLiteral("gdbus"),
                    {QStringLiteral("introspect"), QStringLiteral("--session"), QStringLiteral("--dest"),
                     MprisService::BusName, QStringLiteral("--object-path"), MprisService::ObjectPath});
        QVERIFY2(gdbus.waitForStarted(5000), "gdbus did not start");
        QTRY_VERIFY_WITH_TIMEOUT(gdbus.state() == QProcess::NotRunning, 10000);
        QCOMPARE(gdbus.exitCode(), 0);
        const QString xml = QString::fromUtf8(gdbus.readAllStandardOutput());
        QVERIFY2(xml.contains(QStringLiteral("interface org.mpris.MediaPlayer2 {")), qPrintable(xml));
        QVERIFY(xml.contains(QStringLiteral("interface org.mpris.MediaPlayer2.Player {")));
        for (const char* member :
             {"Raise();", "Quit();", "PlayPause();", "Seek(in  x Offset);", "SetPosition(in  o TrackId,",
              "OpenUri(in  s Uri);", "Seeked(x Position);", "readonly a{sv} Metadata", "readwrite d Volume",
              "readonly x Position", "readonly as SupportedUriSchemes"})
            QVERIFY2(xml.contains(QLatin1String(member)), member);
    }

    void rootProperties() {
        const QVariantMap root = GetAll(kRoot);
        QCOMPARE(root.value(QStringLiteral("Identity")).toString(), QStringLiteral("Corvana"));
        QCOMPARE(root.value(QStringLiteral("DesktopEntry")).toString(),
                 QStringLiteral("example.ostrel.Corvana"));
        QCOMPARE(root.value(QStringLiteral("CanRaise")), QVariant(true));
        QCOMPARE(root.value(QStringLiteral("CanQuit")), QVariant(true));
        QCOMPARE(root.value(QStringLiteral("HasTrackList")), QVariant(false));
        QVERIFY(root.value(QStringLiteral("SupportedMimeTypes"))
                    .toStringList()
                    .contains(QStringLiteral("audio/mpeg")));
        QCOMPARE(root.value(QStringLiteral("SupportedUriSchemes")).toStringList(), MprisService::UriSchemes);
    }

    // The schemes offered are exactly those the player's address check lets through.
    void uriSchemesAreThePlayers() {
        const QStringList candidates = {
            "http", "https", "mms",  "mmsh", "mmst",   "rtsp",   "rtsps", "rtmp", "rtmps", "rtmpt", "rtmpe",
            "file", "ftp",   "sftp", "smb",  "udp",    "tcp",    "rtp",   "srt",  "hls",   "av",    "lavf",
            "edl",  "fd",    "null", "data", "memory", "ffmpeg", "dvd",   "cdda", "tls",   "icy",   "gopher"};
        for (const QString& scheme : candidates) {
            const QString address = scheme == QLatin1String("file")
                                        ? QStringLiteral("file:///tmp/tone.mp3")
                                        : scheme + QStringLiteral("://127.0.0.1:9/x");
            const bool plays = player::ClassifyAddress(address).kind != player::EngineAddress::Refused;
            QVERIFY2(plays == MprisService::UriSchemes.contains(scheme), qPrintable(address));
        }
        for (const QString& scheme : MprisService::UriSchemes)
            QVERIFY2(candidates.contains(scheme), qPrintable(scheme));
    }

    void playerProperties_data() {
        QTest::addColumn<MprisState>("state");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QVariantMap>("metadata"); // without mpris:trackid
        QTest::addColumn<bool>("canPause");

        QTest::newRow("nothing held") << MprisState{} << "Stopped" << QVariantMap{} << false;
        const QVariantMap station = {{"xesam:title", "中国之声"},
                                     {"xesam:album", "中国之声"},
                                     {"xesam:url", "http://127.0.0.1:8000/mp3"}};
        QVariantMap titled = station;
        titled.insert({{"xesam:title", "Tone 440"}, {"xesam:artist", QStringList{"中国之声"}}});
        MprisState state = Listening();
        QTest::newRow("title over station") << state << "Playing" << titled << true;
        state.title.clear();
        QTest::newRow("station alone") << state << "Playing" << station << true;
        state.playing = false;
        QTest::newRow("stopped") << state << "Stopped" << station << false;
    }

    void playerProperties() {
        QFETCH(MprisState, state);
        QFETCH(QString, status);
        QFETCH(QVariantMap, metadata);
        QFETCH(bool, canPause);
        m_service->update(state);
        const QVariantMap player = GetAll(kPlayer);
        QCOMPARE(player.value(QStringLiteral("PlaybackStatus")).toString(), status);
        QVariantMap shown = AsMap(player.value(QStringLiteral("Metadata")));
        if (!metadata.isEmpty()) {
            const QVariant track = shown.take(QStringLiteral("mpris:trackid"));
            QCOMPARE(track.metaType(), QMetaType::fromType<QDBusObjectPath>());
            QVERIFY(
                track.value<QDBusObjectPath>().path().startsWith(QStringLiteral("/example/ostrel/Corvana/")));
        }
        QCOMPARE(shown, metadata);
        QCOMPARE(player.value(QStringLiteral("CanPause")).toBool(), canPause);
        QCOMPARE(player.value(QStringLiteral("CanPlay")).toBool(), state.canPlay);
        QCOMPARE(player.value(QStringLiteral("CanGoNext")).toBool(), state.canGoNext);
        QCOMPARE(player.value(QStringLiteral("CanGoPrevious")).toBool(), state.canGoPrevious);
        QCOMPARE(player.value(QStringLiteral("Volume")), QVariant(state.volume / 100.0));
        QCOMPARE(player.value(QStringLiteral("Position")), QVariant(qlonglong(0)));
        QCOMPARE(player.value(QStringLiteral("Rate")), QVariant(1.0));
        QCOMPARE(player.value(QStringLiteral("MinimumRate")), QVariant(1.0));
        QCOMPARE(player.value(QStringLiteral("MaximumRate")), QVariant(1.0));
        QCOMPARE(player.value(QStringLiteral("CanSeek")), QVariant(false));
        QCOMPARE(player.value(QStringLiteral("CanControl")), QVariant(true));
        QVERIFY(!player.contains(QStringLiteral("LoopStatus")));
    }

    // Each update sends exactly what changed, and nothing when nothing did.
    void propertiesChanged() {
        MprisState state = Listening();
        m_service->update(state);
        QVariantMap first = NextChange();
        QCOMPARE(first.keys(),
                 (QStringList{"CanGoNext", "CanPause", "CanPlay", "Metadata", "PlaybackStatus", "Volume"}));
        const QVariant firstTrack = AsMap(first.value("Metadata")).value("mpris:trackid");

        m_service->update(state); // the same again: nothing to send
        state.volume = 80;
        m_service->update(state);
        QCOMPARE(NextChange(), (QVariantMap{{"Volume", 0.8}}));

        state.title = QStringLiteral("Tone 880");
        m_service->update(state);
        QVariantMap retitled = NextChange();
        QCOMPARE(retitled.keys(), QStringList{"Metadata"});
        const QVariantMap metadata = AsMap(retitled.value("Metadata"));
        QCOMPARE(metadata.value("xesam:title").toString(), QStringLiteral("Tone 880"));
        QCOMPARE(metadata.value("mpris:trackid"), firstTrack); // a new song on the same station

        state.playing = false;
        state.title.clear();
        m_service->update(state);
        QVariantMap stopped = NextChange();
        QCOMPARE(stopped.keys(), (QStringList{"CanPause", "Metadata", "PlaybackStatus"}));
        QCOMPARE(stopped.value("PlaybackStatus").toString(), QStringLiteral("Stopped"));

        state.station = QStringLiteral("Ogg tone");
        state.url = QStringLiteral("http://127.0.0.1:8000/ogg");
        state.canGoNext = false;
        state.canGoPrevious = true;
        m_service->update(state);
        QVariantMap moved = NextChange();
        QCOMPARE(moved.keys(), (QStringList{"CanGoNext", "CanGoPrevious", "Metadata"}));
        QVERIFY(AsMap(moved.value("Metadata")).value("mpris:trackid") != firstTrack);
        QTest::qWait(100);
        QVERIFY(m_changes.isEmpty());
    }

    void commands_data() {
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("method");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<bool>("canMove"); // canPlay, canGoNext and canGoPrevious
        QTest::addColumn<QStringList>("requests");

        const QString root = kRoot, player = kPlayer;
        const QStringList play{"play"}, stop{"stop"}, none;
        QTest::newRow("Quit") << root << "Quit" << true << true << QStringList{"quit"};
        QTest::newRow("Play") << player << "Play" << false << true << play;
        QTest::newRow("Play with nothing to play") << player << "Play" << false << false << none;
        QTest::newRow("PlayPause while stopped") << player << "PlayPause" << false << true << play;
        QTest::newRow("PlayPause while playing") << player << "PlayPause" << true << true << stop;
        QTest::newRow("PlayPause, nothing to play") << player << "PlayPause" << false << false << none;
        QTest::newRow("Pause while playing") << player << "Pause" << true << true << stop;
        QTest::newRow("Pause while stopped") << player << "Pause" << false << true << none;
        QTest::newRow("Stop") << player << "Stop" << true << true << stop;
        QTest::newRow("Next") << player << "Next" << true << true << QStringList{"next"};
        QTest::newRow("Next at the end") << player << "Next" << true << false << none;
        QTest::newRow("Previous") << player << "Previous" << true << true << QStringList{"previous"};
        QTest::newRow("Previous at the start") << player << "Previous" << true << false << none;
    }

    void commands() {
        QFETCH(QString, interface);
        QFETCH(QString, method);
        QFETCH(bool, playing);
        QFETCH(bool, canMove);
        QFETCH(QStringList, requests);
        MprisState state = Listening();
        state.playing = playing;
        state.canPlay = state.canGoNext = state.canGoPrevious = canMove;
        m_service->update(state);
        QCOMPARE(Call(interface, method).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(RequestsUpToRaise(), requests);
    }

    // The request leaves the D-Bus handler before anything acts on it: the handler may open a dialog.
    void requestsComeFromTheEventLoop() {
        m_service->update(Listening());
        QDBusAbstractAdaptor* player = nullptr;
        for (QDBusAbstractAdaptor* adaptor : m_service->findChildren<QDBusAbstractAdaptor*>())
            if (adaptor->metaObject()->indexOfSlot("Stop()") >= 0) player = adaptor;
        QVERIFY(player);
        QSignalSpy stop(m_service.get(), &MprisService::stopRequested);
        QVERIFY(QMetaObject::invokeMethod(player, "Stop", Qt::DirectConnection));
        QCOMPARE(stop.count(), 0);
        QTRY_COMPARE(stop.count(), 1);
    }

    // Seeking a live station does nothing, without an error.
    void seekDoesNothing() {
        m_service->update(Listening());
        QCOMPARE(Call(kPlayer, QStringLiteral("Seek"), {qlonglong(5'000'000)}).type(),
                 QDBusMessage::ReplyMessage);
        QCOMPARE(
            Call(kPlayer, QStringLiteral("SetPosition"),
                 {QVariant::fromValue(QDBusObjectPath("/example/ostrel/Corvana/station/1")), qlonglong(0)})
                .type(),
            QDBusMessage::ReplyMessage);
        QCOMPARE(RequestsUpToRaise(), QStringList{});
        QCOMPARE(Get(kPlayer, QStringLiteral("Position")), QVariant(qlonglong(0)));
    }

    void volume_data() {
        QTest::addColumn<double>("set");
        QTest::addColumn<QString>("request");
        QTest::newRow("0.2") << 0.2 << "volume 20";
        QTest::newRow("rounded") << 0.555 << "volume 56";
        QTest::newRow("full") << 1.0 << "volume 100";
        QTest::newRow("above full") << 1.7 << "volume 100";
        QTest::newRow("below zero") << -0.3 << "volume 0";
    }

    void volume() {
        QFETCH(double, set);
        QFETCH(QString, request);
        const QVariantList args = {kPlayer, QStringLiteral("Volume"), QVariant::fromValue(QDBusVariant(set))};
        QCOMPARE(Call(kProperties, QStringLiteral("Set"), args).type(), QDBusMessage::ReplyMessage);
        QCOMPARE(RequestsUpToRaise(), QStringList{request});
    }

    void openUri_data() {
        QTest::addColumn<bool>("acceptor");
        QTest::addColumn<QString>("uri");
        QTest::addColumn<bool>("plays");
        QTest::newRow("a stream") << true << "http://127.0.0.1:8000/mp3" << true;
        QTest::newRow("mms") << true << "mms://127.0.0.1:8000/radio1" << true;
        QTest::newRow("an engine scheme") << true << "av://lavfi:sine" << false;
        QTest::newRow("unknown") << true << "gopher://127.0.0.1/x" << false;
        QTest::newRow("too long") << true << "http://a/" + QString(player::MaxAddressLength, u'a') << false;
        QTest::newRow("nobody asked") << false << "http://127.0.0.1:8000/mp3" << false;
    }

    // A refused address is an error to the caller, and nothing is asked of the player.
    void openUri() {
        QFETCH(bool, acceptor);
        QFETCH(QString, uri);
        QFETCH(bool, plays);
        auto restore = qScopeGuard([this] { m_service->setUriAcceptor(nullptr); });
        if (acceptor)
            m_service->setUriAcceptor([](const QString& u) {
                return player::ClassifyAddress(u).kind != player::EngineAddress::Refused;
            });
        const QDBusMessage reply = Call(kPlayer, QStringLiteral("OpenUri"), {uri});
        QCOMPARE(reply.type(), plays ? QDBusMessage::ReplyMessage : QDBusMessage::ErrorMessage);
        if (!plays) QCOMPARE(reply.errorName(), QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));
        QCOMPARE(RequestsUpToRaise(), plays ? QStringList{"open " + uri} : QStringList{});
    }

    // A second copy of the program finds the name taken and takes its own; it gives it back when it ends.
    void secondInstance() {
        const QString name = QStringLiteral("tst_mpris_second");
        auto disconnect = qScopeGuard([&] { QDBusConnection::disconnectFromBus(name); });
        const QDBusConnection second = QDBusConnection::connectToBus(m_address, name);
        const QString expected =
            MprisService::BusName + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        {
            MprisService other;
            QVERIFY(other.registerOn(second));
            QCOMPARE(other.serviceName(), expected);
            QVERIFY(m_client->interface()->isServiceRegistered(expected));
            const QDBusMessage identity = Call(kProperties, "Get", {kRoot, "Identity"}, expected);
            QCOMPARE(identity.arguments().value(0).value<QDBusVariant>().variant().toString(),
                     QStringLiteral("Corvana"));
        }
        QTRY_VERIFY(!m_client->interface()->isServiceRegistered(expected));
        QVERIFY(m_client->interface()->isServiceRegistered(MprisService::BusName));
    }

    // Without a session bus the program goes on as before and writes nothing to its terminal; with one, the
    // same probe registers (so the quiet cases are not a probe that never tries). Without the variable even a
    // bus at the place libdbus would fall back to stays unused: only the variable says the session has one.
    void withoutBus_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("no variable") << QString() << 2;
        QTest::newRow("nobody listening") << "unix:path=/nonexistent/corvana-bus" << 2;
        QTest::newRow("not an address") << "nonsense" << 2;
        QTest::newRow("the test's bus") << m_address << 0;
    }

    void withoutBus() {
        QFETCH(QString, address);
        QFETCH(int, exitCode);
        QProcess probe;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        // The X11 fallback libdbus would use to find (or start) a bus.
        env.remove(QStringLiteral("DISPLAY"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_bus.folder());
        if (!address.isEmpty()) env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        probe.setProcessEnvironment(env);
        probe.start(QStringLiteral(CORVANA_MPRIS_FAKE_APP),
                    {QStringLiteral("--probe"), QStringLiteral("A|http://a/")});
        QVERIFY(probe.waitForFinished(20000));
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(QString::fromUtf8(probe.readAllStandardError()), QString());
        QCOMPARE(QString::fromUtf8(probe.readAllStandardOutput()), QString());
        QCOMPARE(probe.exitCode(), exitCode);
    }
};

QTEST_GUILESS_MAIN(TstMpris)
#include "tst_mpris.moc"
