// desktop/: the MPRIS 2.2 object /org/mpris/MediaPlayer2: its two interfaces (the adaptors below), its bus
// name, and PropertiesChanged for what update() changed.
#include "desktop/mpris.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QMetaObject>
#include <algorithm>
#include <cmath>

namespace desktop {

const QString MprisService::BusName = QStringLiteral("org.mpris.MediaPlayer2.corvana");
const QString MprisService::ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");

// player/address.cpp decides what plays; tests/desktop holds the two lists against each other.
const QStringList MprisService::UriSchemes = {
    QStringLiteral("http"),  QStringLiteral("https"), QStringLiteral("mms"),   QStringLiteral("mmsh"),
    QStringLiteral("mmst"),  QStringLiteral("rtsp"),  QStringLiteral("rtsps"), QStringLiteral("rtmp"),
    QStringLiteral("rtmps"), QStringLiteral("rtmpt"), QStringLiteral("file"),
};

// What radio stations send, and the playlists that point at them (the player reads .pls, .m3u and .asx).
const QStringList MprisService::MimeTypes = {
    QStringLiteral("audio/mpeg"),         QStringLiteral("audio/aac"),
    QStringLiteral("audio/aacp"),         QStringLiteral("audio/ogg"),
    QStringLiteral("audio/x-vorbis+ogg"), QStringLiteral("audio/opus"),
    QStringLiteral("audio/flac"),         QStringLiteral("audio/x-ms-wma"),
    QStringLiteral("audio/x-wav"),        QStringLiteral("video/x-ms-asf"),
    QStringLiteral("audio/x-ms-asx"),     QStringLiteral("audio/x-mpegurl"),
    QStringLiteral("audio/mpegurl"),      QStringLiteral("application/vnd.apple.mpegurl"),
    QStringLiteral("audio/x-scpls"),
};

namespace {
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
// Paths under /org/mpris are reserved for the interface's own names.
const QString kTrackPrefix = QStringLiteral("/example/ostrel/Corvana/station/");

// The bus daemon answers at once: the event loop never waits on it for more than a second.
constexpr int kBusTimeoutMs = 1000;
enum RequestNameReply : uint { PrimaryOwner = 1, InQueue = 2 };
constexpr uint kDoNotQueue = 4;

QDBusMessage BusDaemonCall(const QString& method, const QString& name) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                          QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), method)
           << name;
}

uint RequestName(QDBusConnection& bus, const QString& name, uint flags) {
    const QDBusMessage reply =
        bus.call(BusDaemonCall(QStringLiteral("RequestName"), name) << flags, QDBus::Block, kBusTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0).toUInt() : 0;
}

// Without waiting for the answer: the bus lets the name go whether anyone listens or not.
void ReleaseName(QDBusConnection& bus, const QString& name) {
    bus.send(BusDaemonCall(QStringLiteral("ReleaseName"), name));
}
} // namespace

// org.mpris.MediaPlayer2: who the player is and what the desktop may ask of its window.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(QString Identity READ identity CONSTANT)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry CONSTANT)
    Q_PROPERTY(bool CanRaise READ yes CONSTANT)
    Q_PROPERTY(bool CanQuit READ yes CONSTANT)
    Q_PROPERTY(bool HasTrackList READ no CONSTANT)
    Q_PROPERTY(QStringList SupportedUriSchemes READ uriSchemes CONSTANT)
    Q_PROPERTY(QStringList SupportedMimeTypes READ mimeTypes CONSTANT)
public:
    explicit MprisRootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_service(service) {}

    QString identity() const { return QStringLiteral("Corvana"); }
    QString desktopEntry() const { return QStringLiteral("example.ostrel.Corvana"); }
    bool yes() const { return true; }
    bool no() const { return false; }
    QStringList uriSchemes() const { return MprisService::UriSchemes; }
    QStringList mimeTypes() const { return MprisService::MimeTypes; }

public slots:
    void Raise() {
        m_service->Post([s = m_service] { emit s->raiseRequested(); });
    }
    void Quit() {
        m_service->Post([s = m_service] { emit s->quitRequested(); });
    }

private:
    MprisService* m_service;
};

// org.mpris.MediaPlayer2.Player: the player commands and what the player is doing. A live station has no
// pause and no position: Pause stops it, and seeking does nothing.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ rate CONSTANT)
    Q_PROPERTY(double MaximumRate READ rate CONSTANT)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canPlay)
    Q_PROPERTY(bool CanPause READ canPause)
    Q_PROPERTY(bool CanSeek READ canSeek CONSTANT)
    Q_PROPERTY(bool CanControl READ canControl CONSTANT)
public:
    explicit MprisPlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), m_service(service) {}

    QString playbackStatus() const { return value("PlaybackStatus").toString(); }
    double rate() const { return 1.0; }
    void setRate(double) {} // only 1.0 is offered
    QVariantMap metadata() const { return value("Metadata").toMap(); }
    double volume() const { return value("Volume").toDouble(); }
    void setVolume(double volume) {
        if (std::isnan(volume)) return;
        const int percent = qRound(std::clamp(volume, 0.0, 1.0) * 100);
        m_service->Post([s = m_service, percent] { emit s->volumeRequested(percent); });
    }
    qlonglong position() const { return 0; }
    bool canGoNext() const { return value("CanGoNext").toBool(); }
    bool canGoPrevious() const { return value("CanGoPrevious").toBool(); }
    bool canPlay() const { return value("CanPlay").toBool(); }
    bool canPause() const { return value("CanPause").toBool(); }
    bool canSeek() const { return false; }
    bool canControl() const { return true; }

public slots:
    void Play() {
        if (m_service->m_state.canPlay) m_service->Post([s = m_service] { emit s->playRequested(); });
    }
    void Pause() {
        if (m_service->m_state.playing) m_service->Post([s = m_service] { emit s->stopRequested(); });
    }
    void PlayPause() {
        if (m_service->m_state.playing)
            m_service->Post([s = m_service] { emit s->stopRequested(); });
        else
            Play();
    }
    // Whatever the state, as the menu's 停止 does.
    void Stop() {
        m_service->Post([s = m_service] { emit s->stopRequested(); });
    }
    void Next() {
        if (m_service->m_state.canGoNext) m_service->Post([s = m_service] { emit s->nextRequested(); });
    }
    void Previous() {
        if (m_service->m_state.canGoPrevious)
            m_service->Post([s = m_service] { emit s->previousRequested(); });
    }
    void Seek(qlonglong Offset) { Q_UNUSED(Offset); }
    void SetPosition(const QDBusObjectPath& TrackId, qlonglong Position) {
        Q_UNUSED(TrackId);
        Q_UNUSED(Position);
    }
    void OpenUri(const QString& Uri) {
        if (!m_service->Accepts(Uri)) {
            m_service->sendErrorReply(QDBusError::InvalidArgs,
                                      QStringLiteral("Corvana does not play this address"));
            return;
        }
        m_service->Post([s = m_service, Uri] { emit s->openUriRequested(Uri); });
    }

signals:
    void Seeked(qlonglong Position);

private:
    QVariant value(const char* name) const {
        return m_service->playerProperties().value(QLatin1String(name));
    }

    MprisService* m_service;
};

MprisService::MprisService(QObject* parent) : QObject(parent) {
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
}

MprisService::~MprisService() {
    if (m_bus && !m_serviceName.isEmpty()) {
        m_bus->unregisterObject(ObjectPath);
        ReleaseName(*m_bus, m_serviceName);
        // Out of the queue too: the bus would otherwise hand BusName to a connection without the player.
        if (m_waitingForBusName) ReleaseName(*m_bus, BusName);
    }
}

bool MprisService::registerOnSessionBus() {
    // Without the variable libdbus would go looking for a bus, and may start one through X11 autolaunch.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return false;
    return registerOn(QDBusConnection::sessionBus());
}

bool MprisService::registerOn(const QDBusConnection& bus) {
    if (!m_serviceName.isEmpty()) return true;
    if (!bus.isConnected()) return false;
    QDBusConnection connection = bus;
    // The object first, so that a client woken by the name's appearance finds it.
    if (!connection.registerObject(ObjectPath, this, QDBusConnection::ExportAdaptors)) return false;
    // Queued for BusName: when the instance holding it ends, the bus hands it to the next in line at once,
    // with no race between waiting instances.
    const uint wellKnown = RequestName(connection, BusName, 0);
    if (wellKnown == PrimaryOwner) {
        m_bus = connection;
        m_serviceName = BusName;
        return true;
    }
    if (wellKnown == InQueue) {
        const QString instance =
            BusName + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
        if (RequestName(connection, instance, kDoNotQueue) == PrimaryOwner) {
            m_bus = connection;
            m_serviceName = instance;
            m_waitingForBusName = true;
            // NameAcquired: the bus's word, from the event loop, that BusName is this connection's now.
            connect(connection.interface(), &QDBusConnectionInterface::serviceRegistered, this,
                    [this](const QString& name) {
                        if (name != BusName || !m_waitingForBusName || !m_bus) return;
                        m_waitingForBusName = false;
                        ReleaseName(*m_bus, std::exchange(m_serviceName, BusName));
                    });
            return true;
        }
        ReleaseName(connection, BusName);
    }
    connection.unregisterObject(ObjectPath);
    return false;
}

QVariantMap MprisService::PlayerProperties(const MprisState& state, quint64 track) {
    QVariantMap metadata;
    if (!state.station.isEmpty() || !state.url.isEmpty()) {
        metadata.insert(QStringLiteral("mpris:trackid"),
                        QVariant::fromValue(QDBusObjectPath(kTrackPrefix + QString::number(track))));
        // Widgets show the title large and the artist under it: the song over the station while the stream
        // names one, the station once (not twice) while it does not.
        QString title = state.title.isEmpty() ? state.station : state.title;
        if (title.isEmpty()) title = state.url;
        metadata.insert(QStringLiteral("xesam:title"), title);
        if (!state.title.isEmpty() && !state.station.isEmpty())
            metadata.insert(QStringLiteral("xesam:artist"), QStringList{state.station});
        if (!state.station.isEmpty()) metadata.insert(QStringLiteral("xesam:album"), state.station);
        if (!state.url.isEmpty()) metadata.insert(QStringLiteral("xesam:url"), state.url);
    }
    return {
        {QStringLiteral("PlaybackStatus"),
         state.playing ? QStringLiteral("Playing") : QStringLiteral("Stopped")},
        {QStringLiteral("Metadata"), metadata},
        {QStringLiteral("Volume"), std::clamp(state.volume, 0, 100) / 100.0},
        {QStringLiteral("CanGoNext"), state.canGoNext},
        {QStringLiteral("CanGoPrevious"), state.canGoPrevious},
        {QStringLiteral("CanPlay"), state.canPlay},
        // Pause stops a playing station, so it can act exactly while one plays; a widget greys out its
        // pause button when this is false, leaving no way to stop from the panel.
        {QStringLiteral("CanPause"), state.playing},
    };
}

void MprisService::update(const MprisState& state) {
    const QVariantMap before = playerProperties();
    if ((state.station != m_state.station || state.url != m_state.url) &&
        (!state.station.isEmpty() || !state.url.isEmpty()))
        ++m_track;
    m_state = state;
    if (m_serviceName.isEmpty()) return;

    const QVariantMap after = playerProperties();
    QVariantMap changed;
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        if (before.value(it.key()) != it.value()) changed.insert(it.key(), it.value());
    if (changed.isEmpty()) return;
    QDBusMessage signal = QDBusMessage::createSignal(
        ObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    m_bus->send(signal);
}

void MprisService::Post(std::function<void()> emitRequest) {
    QMetaObject::invokeMethod(this, std::move(emitRequest), Qt::QueuedConnection);
}

} // namespace desktop

#include "mpris.moc"
