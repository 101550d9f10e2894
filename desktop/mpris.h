// desktop/: Corvana on the session bus as an MPRIS 2.2 media player, so that media keys, the panel's media
// widget and playerctl see and drive it.
//
// The service knows nothing of the player or the window. app/ tells it what to show (update) and answers its
// requests (the *Requested signals). A request is emitted from the event loop after the D-Bus call has
// returned, never inside the call: the caller does not wait on a handler, and a handler that opens a dialog
// does not block the bus. The queued emission also reaches handlers while a modal dialog's nested loop runs,
// so the receiver decides whether to act then.
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <optional>

namespace desktop {

// What the desktop is shown of the listening session.
struct MprisState {
    bool playing = false; // the user listens: also while connecting, buffering or reconnecting
    QString title;        // the stream's now-playing title; empty while the stream sends none
    QString station;      // the name of the station the player holds; empty when it holds none
    QString url;          // that station's address
    int volume = 0;       // the component's volume, 0 to 100
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false; // Play would play something: the player holds a station, or the list has one

    bool operator==(const MprisState&) const = default;
};

// The adaptors' calls run with the service as their context (Qt sets it on the adaptors' parent): that is
// how OpenUri answers with an error.
class MprisService : public QObject, protected QDBusContext {
    Q_OBJECT
public:
    static const QString BusName;    // org.mpris.MediaPlayer2.corvana
    static const QString ObjectPath; // /org/mpris/MediaPlayer2

    // The address schemes and media types the player plays; they are what the desktop offers to OpenUri.
    static const QStringList UriSchemes;
    static const QStringList MimeTypes;

    explicit MprisService(QObject* parent = nullptr);
    ~MprisService() override;

    // Puts the service on the session bus named by DBUS_SESSION_BUS_ADDRESS. Without one, or when the bus
    // cannot be reached, it does nothing, says nothing and returns false: the program runs as before.
    bool registerOnSessionBus();
    // The same on a given connection. The bus name is BusName, or BusName.instance<pid> while another
    // process holds BusName: then the bus hands BusName over when that process lets it go, and the instance
    // name is given up, so that clients addressing BusName find a player again and none is listed twice.
    bool registerOn(const QDBusConnection& bus);
    // The bus name taken; empty while not registered.
    QString serviceName() const { return m_serviceName; }

    // Decides, while an OpenUri call waits, whether the player would accept an address. Without one every
    // address is refused: an address nobody checked never plays.
    void setUriAcceptor(std::function<bool(const QString&)> acceptor) { m_acceptor = std::move(acceptor); }

    // Shows a new state: sends PropertiesChanged with exactly the properties whose values changed.
    void update(const MprisState& state);
    const MprisState& state() const { return m_state; }

    // The org.mpris.MediaPlayer2.Player properties that follow the state, as the bus shows them.
    QVariantMap playerProperties() const { return PlayerProperties(m_state, m_track); }

signals:
    void raiseRequested();
    void quitRequested();
    void playRequested();
    void stopRequested();
    void nextRequested();
    void previousRequested();
    // 0 to 100, already clamped.
    void volumeRequested(int volume);
    // Only addresses the acceptor took.
    void openUriRequested(const QString& uri);

private:
    friend class MprisRootAdaptor;
    friend class MprisPlayerAdaptor;

    static QVariantMap PlayerProperties(const MprisState& state, quint64 track);
    // Emits a request from the event loop, after the D-Bus call that asked for it has returned.
    void Post(std::function<void()> emitRequest);
    bool Accepts(const QString& uri) const { return m_acceptor && m_acceptor(uri); }

    MprisState m_state;
    quint64 m_track = 0; // counts the stations shown; names mpris:trackid
    std::function<bool(const QString&)> m_acceptor;
    std::optional<QDBusConnection> m_bus;
    QString m_serviceName;
    bool m_waitingForBusName = false; // in the bus's queue for BusName, under the instance name meanwhile
};

} // namespace desktop
