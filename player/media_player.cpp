// player/: the media player component WMP, its "Mini" strip and its engine; touches only its own widgets.
#include "player/media_player.h"

#include "platform/error.h"
#include "platform/twips.h"
#include "player/playlist.h"
#include "player/playlist_fetch.h"
#include "player/strip_icons.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLoggingCategory>
#include <QMenu>
#include <QPainter>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <mpv/client.h>

namespace player {

// What the component saw and decided, for a bug report: QT_LOGGING_RULES="corvana.player.debug=true".
Q_LOGGING_CATEGORY(lcPlayer, "corvana.player", QtWarningMsg)

// One line of the strip: text cut to the width with an ellipsis, never selectable (a selectable label would
// take Ctrl+C from the window's menu).
class StateLabel : public QWidget {
public:
    explicit StateLabel(QWidget* parent) : QWidget(parent) {
        setFocusPolicy(Qt::NoFocus);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    void setText(const QString& text, const QColor& color = {}) {
        if (text == m_text && color == m_color) return;
        m_text = text;
        m_color = color;
        setToolTip(text);
        update();
    }
    QString text() const { return m_text; }
    QSize sizeHint() const override { return {100, fontMetrics().height() + 1}; }
    QSize minimumSizeHint() const override { return {10, fontMetrics().height() + 1}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(m_color.isValid() ? m_color : palette().color(QPalette::WindowText));
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(m_text, Qt::ElideRight, width()));
    }

private:
    QString m_text;
    QColor m_color;
};

namespace {

// Waits between reconnects: quick for a blip, then no more often than every 15 s while the server stays away.
constexpr int RetryDelaysMs[] = {1000, 2000, 4000, 8000, 15000};
// A stream that played this long before it dropped starts its reconnects from the shortest wait again.
constexpr qint64 StablePlayMs = 30000;
// FFmpeg reopening a stream this often, this fast, is a server that accepts and hangs up: not a blip.
constexpr int ReconnectLoopCount = 5;
constexpr qint64 ReconnectLoopWindowMs = 10000;

bool IsMode(const QString& mode, const char* name) {
    return mode.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

QByteArray Tag(const QMap<QByteArray, QByteArray>& tags, const char* name) {
    for (auto it = tags.begin(); it != tags.end(); ++it)
        if (it.key().compare(name, Qt::CaseInsensitive) == 0) return it.value();
    return {};
}

QToolButton* StripButton(QWidget* parent, StripGlyph glyph, const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setIcon(StripIcon(glyph));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize({14, 14});
    button->setFixedSize(22, 20);
    return button;
}

} // namespace

MediaPlayer::MediaPlayer(QWidget* parent) : MediaPlayer(EngineOptions{}, parent) {}

MediaPlayer::MediaPlayer(const EngineOptions& engineOptions, QWidget* parent)
    : QWidget(parent), m_engineOptions(engineOptions) {
    setFocusPolicy(Qt::NoFocus);
    m_clock.start();
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &MediaPlayer::retryNow);
    buildStrip();
    updateLayoutForMode();
    refreshStrip();
}

MediaPlayer::~MediaPlayer() {
    // The engine goes first: none of its signals may reach a half-destroyed strip.
    m_engine.reset();
}

// the strip

void MediaPlayer::buildStrip() {
    setAutoFillBackground(true);
    // The desktop's own face, small enough for two lines in the strip's 45 pixels. Chinese text comes from
    // the face the desktop falls back to, the one the menu bar already loaded: naming a CJK face here would
    // open another before the window can show.
    QFont stripFont = font();
    stripFont.setPointSizeF(9);
    setFont(stripFont);
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(4, 2, 4, 1);
    rows->setSpacing(0);

    m_stateLabel = new StateLabel(this);
    m_stateLabel->setObjectName(QStringLiteral("state"));
    rows->addWidget(m_stateLabel);
    m_titleLabel = new StateLabel(this);
    m_titleLabel->setObjectName(QStringLiteral("title"));
    rows->addWidget(m_titleLabel);

    auto* controls = new QHBoxLayout;
    controls->setSpacing(1);
    m_playButton = StripButton(this, StripGlyph::Play, QStringLiteral("播放"));
    m_playButton->setObjectName(QStringLiteral("play"));
    m_stopButton = StripButton(this, StripGlyph::Stop, QStringLiteral("停止"));
    m_stopButton->setObjectName(QStringLiteral("stop"));
    m_muteButton = StripButton(this, StripGlyph::Volume, QStringLiteral("静音"));
    m_muteButton->setObjectName(QStringLiteral("mute"));
    m_muteButton->setCheckable(true);
    m_volumeSlider = new QSlider(Qt::Horizontal, this);
    m_volumeSlider->setObjectName(QStringLiteral("volume"));
    m_volumeSlider->setRange(0, 100);
    m_volumeSlider->setPageStep(5);
    m_volumeSlider->setValue(m_settings.volume);
    m_volumeSlider->setFocusPolicy(Qt::NoFocus);
    m_volumeSlider->setToolTip(QStringLiteral("音量"));
    controls->addWidget(m_playButton);
    controls->addWidget(m_stopButton);
    controls->addWidget(m_muteButton);
    controls->addSpacing(4);
    controls->addWidget(m_volumeSlider, 1);
    rows->addLayout(controls);

    connect(m_playButton, &QToolButton::clicked, this, [this] { fromStrip([this] { controls_play(); }); });
    connect(m_stopButton, &QToolButton::clicked, this, [this] { fromStrip([this] { controls_stop(); }); });
    connect(m_muteButton, &QToolButton::clicked, this,
            [this] { fromStrip([this] { put_settings_mute(!m_settings.mute); }); });
    connect(m_volumeSlider, &QSlider::valueChanged, this,
            [this](int value) { fromStrip([this, value] { put_settings_volume(value); }); });
}

void MediaPlayer::fromStrip(const std::function<void()>& request) {
    try {
        request();
    } catch (const platform::RuntimeError& e) {
        fail(e.message());
    }
}

void MediaPlayer::updateLayoutForMode() {
    const QString& mode = m_settings.uiMode;
    // "none" and "invisible" show nothing of the component; "mini" the strip; anything else the full panel.
    const bool nothing = IsMode(mode, "none") || IsMode(mode, "invisible");
    const bool mini = IsMode(mode, "mini");
    for (QWidget* w : {static_cast<QWidget*>(m_stateLabel), static_cast<QWidget*>(m_playButton),
                       static_cast<QWidget*>(m_stopButton), static_cast<QWidget*>(m_muteButton),
                       static_cast<QWidget*>(m_volumeSlider)})
        w->setVisible(!nothing);
    m_titleLabel->setVisible(!nothing && !mini);
    // At once, not at the next event: a window that sizes itself after the switch must see the new minimum.
    layout()->activate();
    updateGeometry();
}

QSize MediaPlayer::sizeHint() const {
    // The strip a window lays out for the control: 4215 x 675 twips (281 x 45 px at 96 DPI); the full panel
    // gives the title a line of its own.
    const bool mini = IsMode(m_settings.uiMode, "mini");
    return {platform::TwipsToPixelsX(4215), platform::TwipsToPixelsY(mini ? 675 : 1035)};
}

void MediaPlayer::refreshStrip() {
    const QColor errorColor(0xb0, 0x00, 0x00);
    m_stateLabel->setText(stateText(), m_state == State::Error ? errorColor : QColor());
    m_titleLabel->setText(m_title.isEmpty() ? m_stationName : m_title);
    m_stopButton->setEnabled(isActive());
    {
        const QSignalBlocker block(m_volumeSlider);
        m_volumeSlider->setValue(m_settings.volume);
    }
    m_muteButton->setChecked(m_settings.mute);
    if (m_settings.mute != m_mutedIconShown) {
        m_muteButton->setIcon(StripIcon(m_settings.mute ? StripGlyph::Muted : StripGlyph::Volume));
        m_mutedIconShown = m_settings.mute;
    }
}

QString MediaPlayer::stateText() const {
    switch (m_state) {
    case State::Idle:
        return QStringLiteral("就绪");
    case State::Connecting:
        return QStringLiteral("正在连接");
    case State::Buffering:
        return QStringLiteral("正在缓冲 %1%").arg(m_bufferPercent);
    case State::Playing: {
        const QString shown = m_title.isEmpty() ? m_stationName : m_title;
        return shown.isEmpty() ? QStringLiteral("正在播放") : QStringLiteral("正在播放：") + shown;
    }
    case State::Reconnecting:
        return QStringLiteral("重新连接");
    case State::Stopped:
        return QStringLiteral("已停止");
    case State::Error:
        return m_errorText;
    }
    return {};
}

void MediaPlayer::setState(State state) {
    const bool changed = state != m_state;
    if (changed) qCDebug(lcPlayer) << "state" << state << stateText();
    m_state = state;
    refreshStrip();
    if (changed) emit stateChanged(state);
}

void MediaPlayer::fail(const QString& text) {
    m_wantPlay = false;
    m_retryTimer.stop();
    m_errorText = text;
    if (m_state == State::Error) refreshStrip(); // a different error: same state, new words
    setState(State::Error);
}

void MediaPlayer::contextMenuEvent(QContextMenuEvent* event) {
    // Off: right-click does nothing at all, also not in the window behind.
    event->accept();
    if (!m_settings.enableContextMenu) return;
    if (m_menu) m_menu->close();
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* play =
        menu->addAction(QStringLiteral("播放"), this, [this] { fromStrip([this] { controls_play(); }); });
    play->setEnabled(!m_settings.URL.trimmed().isEmpty());
    QAction* stop =
        menu->addAction(QStringLiteral("停止"), this, [this] { fromStrip([this] { controls_stop(); }); });
    stop->setEnabled(isActive());
    menu->addSeparator();
    QAction* mute = menu->addAction(QStringLiteral("静音"), this,
                                    [this] { fromStrip([this] { put_settings_mute(!m_settings.mute); }); });
    mute->setCheckable(true);
    mute->setChecked(m_settings.mute);
    m_menu = menu;
    menu->popup(event->globalPos());
}

void MediaPlayer::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    // libmpv takes a moment to start: do it once the strip is on screen, not on the way to the first window.
    if (!m_engine && !m_engineScheduled) {
        m_engineScheduled = true;
        QTimer::singleShot(0, this, [this] { fromStrip([this] { startEngine(); }); });
    }
}

// the members the program uses

void MediaPlayer::put_URL(const QString& url) {
    m_settings.URL = url;
    if (url.trimmed().isEmpty() || !m_settings.autoStart) {
        if (isActive()) stopPlaying(State::Stopped);
        return;
    }
    play();
}

void MediaPlayer::controls_play() {
    if (m_settings.URL.trimmed().isEmpty()) return;
    if (isActive()) {
        // Already on its way or playing; waiting to reconnect, the user's request is to try now.
        if (m_state == State::Reconnecting && m_retryTimer.isActive()) retryNow();
        return;
    }
    play();
}

void MediaPlayer::controls_stop() {
    if (!isActive()) return;
    stopPlaying(State::Stopped);
}

void MediaPlayer::put_settings_volume(qint32 volume) {
    m_settings.volume = qBound(0, volume, 100);
    if (m_engine) m_engine->setVolume(m_settings.volume);
    refreshStrip();
}

void MediaPlayer::put_settings_mute(bool mute) {
    m_settings.mute = mute;
    if (m_engine) m_engine->setMute(mute);
    refreshStrip();
}

void MediaPlayer::put_uiMode(const QString& mode) {
    m_settings.uiMode = mode;
    updateLayoutForMode();
}

void MediaPlayer::startEngine() {
    if (m_engine) return;
    m_engineScheduled = true;
    m_engine = std::make_unique<MpvEngine>(m_engineOptions, m_settings.volume, m_settings.mute);
    MpvEngine* e = m_engine.get();
    connect(e, &MpvEngine::loadReplied, this, &MediaPlayer::onLoadReplied);
    connect(e, &MpvEngine::startFile, this, &MediaPlayer::onStartFile);
    connect(e, &MpvEngine::fileLoaded, this, &MediaPlayer::onFileLoaded);
    connect(e, &MpvEngine::playbackRestart, this, &MediaPlayer::onPlaybackRestart);
    connect(e, &MpvEngine::endFile, this, &MediaPlayer::onEndFile);
    connect(e, &MpvEngine::pausedForCacheChanged, this, &MediaPlayer::onPausedForCache);
    connect(e, &MpvEngine::bufferingChanged, this, &MediaPlayer::onBuffering);
    connect(e, &MpvEngine::seekableChanged, this, [this](bool seekable) { m_seekable = seekable; });
    connect(e, &MpvEngine::metadataChanged, this, &MediaPlayer::onMetadata);
    connect(e, &MpvEngine::mediaTitleChanged, this, &MediaPlayer::onMediaTitle);
    connect(e, &MpvEngine::logMessage, this, &MediaPlayer::onLogMessage);
    connect(e, &MpvEngine::volumeChanged, this, [this](double volume) { m_engineVolume = volume; });
    connect(e, &MpvEngine::muteChanged, this, [this](bool mute) { m_engineMute = mute; });
}

// the listening session

void MediaPlayer::play() {
    m_retryTimer.stop();
    if (m_fetch) m_fetch->cancel();
    m_address = ClassifyAddress(m_settings.URL);
    if (m_address.kind == EngineAddress::Refused) {
        if (m_engine && isActive()) m_engine->stop();
        fail(QStringLiteral("不支持的地址"));
        return;
    }
    m_wantPlay = false;
    startEngine();

    m_playlistUrl = m_address.kind == EngineAddress::Local ? QUrl::fromLocalFile(m_address.candidates.first())
                                                           : QUrl(m_address.candidates.first());
    if (m_playlistUrl.scheme() != QLatin1String("http") && m_playlistUrl.scheme() != QLatin1String("https") &&
        !m_playlistUrl.isLocalFile())
        m_playlistUrl.clear();
    m_playlistRead = false;
    m_everPlayed = false;
    m_retryCount = 0;
    m_playingSince.invalidate();
    m_wantPlay = true;
    load(State::Connecting);
}

void MediaPlayer::load(State shownWhileLoading) {
    ++m_loadTag;
    m_awaitingReplies = int(m_address.candidates.size());
    m_entries.clear();
    m_currentEntry = -1;
    m_lastEnd.reset();
    m_lastErrors.clear();
    m_abortReason.clear();
    m_ffmpegReconnects.clear();
    m_playlistRedirected = false;
    m_fileLoaded = m_restarted = m_pausedForCache = false;
    m_engine->load(m_address.candidates, m_loadTag);
    setState(shownWhileLoading);
}

void MediaPlayer::stopPlaying(State after) {
    m_wantPlay = false;
    m_retryTimer.stop();
    if (m_fetch) m_fetch->cancel();
    if (m_engine) m_engine->stop();
    m_entries.clear();
    m_currentEntry = -1;
    setState(after);
}

void MediaPlayer::scheduleRetry() {
    if (m_playingSince.isValid() && m_playingSince.elapsed() >= StablePlayMs) m_retryCount = 0;
    m_playingSince.invalidate();
    const int last = int(std::size(RetryDelaysMs)) - 1;
    m_retryTimer.start(RetryDelaysMs[qMin(m_retryCount, last)]);
    ++m_retryCount;
    setState(State::Reconnecting);
}

void MediaPlayer::retryNow() {
    m_retryTimer.stop();
    if (!m_wantPlay || !m_engine) return;
    load(State::Reconnecting);
}

void MediaPlayer::abortCurrent(const QString& why) {
    if (m_currentEntry < 0 || !m_abortReason.isEmpty()) return;
    m_abortReason = why;
    m_engine->stop();
}

void MediaPlayer::onLoadReplied(quint64 tag, qint64 entry, int error) {
    qCDebug(lcPlayer) << "load" << tag << "entry" << entry << "error" << error << "(current load" << m_loadTag
                      << ")";
    if (tag != m_loadTag || !m_wantPlay) return;
    --m_awaitingReplies;
    if (error < 0)
        m_lastEnd = EndOfFile{EndOfFile::Error, error};
    else
        m_entries.insert(entry);
    if (m_awaitingReplies == 0 && m_entries.isEmpty()) queueDecision();
}

void MediaPlayer::onStartFile(qint64 entry) {
    qCDebug(lcPlayer) << "start" << entry << "of" << m_entries;
    if (!m_wantPlay || !m_entries.contains(entry)) {
        m_currentEntry = -1;
        return;
    }
    m_currentEntry = entry;
    m_fileLoaded = m_restarted = m_pausedForCache = m_seekable = false;
    m_lastErrors.clear();
    m_ffmpegReconnects.clear();
    m_tags.clear();
    m_mediaTitle.clear();
    m_filename.clear();
    updateTitle();
    // A reconnect keeps saying so until the stream plays again.
    if (m_state != State::Reconnecting) setState(State::Connecting);
}

void MediaPlayer::onFileLoaded() {
    if (m_currentEntry >= 0) m_fileLoaded = true;
}

void MediaPlayer::onPlaybackRestart() {
    qCDebug(lcPlayer) << "audio running" << m_currentEntry << m_fileLoaded;
    if (m_currentEntry < 0 || !m_fileLoaded) return;
    m_restarted = true;
    if (!m_everPlayed || !m_playingSince.isValid()) m_playingSince.start();
    m_everPlayed = true;
    updatePlayingState();
}

void MediaPlayer::onPausedForCache(bool paused) {
    m_pausedForCache = paused;
    updatePlayingState();
}

void MediaPlayer::onBuffering(int percent) {
    m_bufferPercent = qBound(0, percent, 100);
    if (m_state == State::Buffering) refreshStrip();
}

void MediaPlayer::updatePlayingState() {
    if (!m_wantPlay || m_currentEntry < 0 || !m_restarted) return;
    if (!m_pausedForCache) {
        setState(State::Playing);
        return;
    }
    // The cache ran dry: right after FFmpeg reopened the stream that is a reconnect, otherwise a slow
    // network.
    const bool reconnecting = !m_ffmpegReconnects.isEmpty() &&
                              m_clock.elapsed() - m_ffmpegReconnects.last() < ReconnectLoopWindowMs;
    setState(reconnecting ? State::Reconnecting : State::Buffering);
}

void MediaPlayer::onEndFile(EndOfFile end) {
    qCDebug(lcPlayer) << "end" << end.entry << "reason" << end.reason << "error" << end.error << "inserted"
                      << end.insertedCount << "of" << m_entries;
    if (end.reason == EndOfFile::Redirect) {
        // A playlist the engine read: its entries take its place in the session.
        if (m_entries.remove(end.entry))
            for (int i = 0; i < end.insertedCount; ++i)
                m_entries.insert(end.insertedFirst + i);
        m_playlistRedirected = true;
        if (m_entries.isEmpty() && m_awaitingReplies == 0 && m_wantPlay) {
            m_lastEnd = end;
            m_lastEnd->reason = EndOfFile::Error;
            m_lastEnd->error = MPV_ERROR_NOTHING_TO_PLAY;
            queueDecision();
        }
        return;
    }
    if (!m_entries.remove(end.entry)) return; // an entry of an earlier load
    if (end.entry == m_currentEntry) m_currentEntry = -1;
    m_lastEndSeekable = m_seekable;
    m_fileLoaded = m_restarted = m_pausedForCache = false;
    if (end.reason == EndOfFile::Stop || end.reason == EndOfFile::Quit) {
        if (m_abortReason.isEmpty()) return; // the user's stop or a new address: decided when asked
        // Stopped by the component itself: what is left of the load goes with it.
        m_entries.clear();
        m_lastEnd = EndOfFile{EndOfFile::Error, MPV_ERROR_LOADING_FAILED, end.entry};
        m_lastErrors = {m_abortReason};
    } else {
        m_lastEnd = end;
    }
    if (m_wantPlay && m_entries.isEmpty() && m_awaitingReplies == 0) queueDecision();
}

void MediaPlayer::queueDecision() {
    // libmpv hands out its log after its events: the reasons for this end are still to come in the same
    // drain.
    QMetaObject::invokeMethod(
        this,
        [this, tag = m_loadTag] {
            if (tag == m_loadTag) decideAfterEnd();
        },
        Qt::QueuedConnection);
}

void MediaPlayer::decideAfterEnd() {
    qCDebug(lcPlayer) << "decide: listening" << m_wantPlay << "played" << m_everPlayed << "retry pending"
                      << m_retryTimer.isActive() << "reading playlist" << (m_fetch && m_fetch->busy());
    if (!m_wantPlay || m_retryTimer.isActive() || (m_fetch && m_fetch->busy())) return;
    const EndOfFile end = m_lastEnd.value_or(EndOfFile{EndOfFile::Error, MPV_ERROR_LOADING_FAILED});
    if (end.error == MPV_ERROR_AO_INIT_FAILED) {
        fail(QStringLiteral("音频设备不可用"));
        return;
    }
    // A file that ends has been played to its end; a live stream that ends has dropped.
    if (end.reason == EndOfFile::Eof && (m_lastEndSeekable || m_address.kind == EngineAddress::Local)) {
        m_wantPlay = false;
        setState(State::Stopped);
        return;
    }
    if (m_everPlayed && m_address.kind == EngineAddress::Network) {
        scheduleRetry();
        return;
    }
    // Perhaps a Windows Media playlist the engine cannot read: ASX, or a "[Reference]" file that a web server
    // labels as Windows Media, which the engine takes for the stream itself. Read it here, once.
    if ((end.error == MPV_ERROR_UNKNOWN_FORMAT || m_playlistRedirected) && !m_playlistRead &&
        m_playlistUrl.isValid()) {
        m_playlistRead = true;
        m_failureBeforeReading = describeFailure();
        if (!m_fetch) {
            m_fetch = new PlaylistFetch(this);
            connect(m_fetch, &PlaylistFetch::fetched, this, &MediaPlayer::onPlaylistFetched);
            connect(m_fetch, &PlaylistFetch::failed, this, [this] { fail(m_failureBeforeReading); });
        }
        qCDebug(lcPlayer) << "reading the playlist" << m_playlistUrl;
        m_fetch->start(m_playlistUrl);
        return;
    }
    fail(describeFailure());
}

void MediaPlayer::onPlaylistFetched(const QByteArray& body, const QUrl& finalUrl) {
    qCDebug(lcPlayer) << "playlist read" << finalUrl << body.size() << "bytes";
    if (!m_wantPlay) return;
    const ParsedPlaylist playlist = ParsePlaylist(body);
    if (!playlist.recognized) {
        fail(m_failureBeforeReading);
        return;
    }
    EngineAddress address;
    for (const QString& entry : playlist.entries) {
        const EngineAddress e = ClassifyPlaylistEntry(entry, finalUrl);
        if (e.kind == EngineAddress::Refused) continue;
        // Entries of a local playlist may be local files; a list of streams still reconnects.
        if (address.kind != EngineAddress::Network) address.kind = e.kind;
        address.candidates += e.candidates;
    }
    if (address.candidates.isEmpty()) {
        fail(playlist.entries.isEmpty() ? QStringLiteral("无法播放：列表是空的")
                                        : QStringLiteral("不支持的地址"));
        return;
    }
    m_address = address;
    load(State::Connecting);
}

QString MediaPlayer::describeFailure() const {
    const EndOfFile end = m_lastEnd.value_or(EndOfFile{EndOfFile::Error, MPV_ERROR_LOADING_FAILED});
    const QString log = m_lastErrors.join(QLatin1Char('\n'));
    auto said = [&log](const char* text) { return log.contains(QLatin1String(text), Qt::CaseInsensitive); };
    // A playlist from a server naming this machine's files: refused by the engine (or by FFmpeg inside HLS).
    if (said("unsafe URL from a playlist") || said("not on whitelist")) return QStringLiteral("不支持的地址");
    switch (end.error) {
    case MPV_ERROR_UNKNOWN_FORMAT:
        return QStringLiteral("无法播放：格式不支持");
    case MPV_ERROR_NOTHING_TO_PLAY:
        return QStringLiteral("无法播放：没有声音");
    case 0:
        if (end.reason == EndOfFile::Eof) return QStringLiteral("无法连接：连接中断");
        break;
    default:
        break;
    }
    if (m_address.kind == EngineAddress::Local) {
        if (said("No such file")) return QStringLiteral("无法播放：找不到文件");
        if (said("Permission denied")) return QStringLiteral("无法播放：没有权限");
        return QStringLiteral("无法播放");
    }
    if (said("Connection refused")) return QStringLiteral("无法连接：服务器拒绝连接");
    if (said("timed out") || said("timeout")) return QStringLiteral("无法连接：连接超时");
    if (said("resolve") || said("Name or service not known") || said("name resolution"))
        return QStringLiteral("无法连接：找不到服务器");
    static const QRegularExpression http(QStringLiteral("HTTP error (\\d{3})"));
    if (const QRegularExpressionMatch m = http.match(log); m.hasMatch())
        return m.captured(1) == QLatin1String("404")
                   ? QStringLiteral("无法连接：找不到电台（404）")
                   : QStringLiteral("无法连接：服务器错误 %1").arg(m.captured(1));
    if (!m_abortReason.isEmpty() || said("hung up")) return QStringLiteral("无法连接：服务器反复断开");
    return QStringLiteral("无法连接");
}

void MediaPlayer::onLogMessage(const QByteArray& level, const QByteArray& prefix, const QByteArray& text) {
    qCDebug(lcPlayer) << "engine" << level << prefix << text;
    if (!m_wantPlay) return;
    if (prefix.startsWith("ffmpeg") && text.contains("Will reconnect at")) {
        const qint64 now = m_clock.elapsed();
        m_ffmpegReconnects.append(now);
        while (!m_ffmpegReconnects.isEmpty() && now - m_ffmpegReconnects.first() > ReconnectLoopWindowMs)
            m_ffmpegReconnects.removeFirst();
        if (m_ffmpegReconnects.size() >= ReconnectLoopCount)
            abortCurrent(QStringLiteral("server hung up again and again"));
        return;
    }
    if (m_lastErrors.size() >= 16) m_lastErrors.removeFirst();
    m_lastErrors.append(QString::fromUtf8(prefix + ": " + text));
}

// titles

void MediaPlayer::onMetadata(const QMap<QByteArray, QByteArray>& tags) {
    if (m_currentEntry < 0) return;
    m_tags = tags;
    updateTitle();
}

void MediaPlayer::onMediaTitle(const QByteArray& title, const QByteArray& filename) {
    if (m_currentEntry < 0) return;
    m_mediaTitle = title;
    m_filename = filename;
    updateTitle();
}

void MediaPlayer::updateTitle() {
    // ICY titles arrive as the server sent them: UTF-8 or, from Chinese stations, GB18030.
    QByteArray raw = Tag(m_tags, "icy-title");
    if (raw.trimmed().isEmpty()) raw = Tag(m_tags, "title");
    const QString title = DecodeServerText(raw.trimmed());
    // The station's own name: what the server calls it, or the title its playlist entry gave it. Without one
    // the engine's media title is only the address's last part, which says nothing.
    QByteArray name = Tag(m_tags, "icy-name");
    if (name.trimmed().isEmpty() && m_mediaTitle != m_filename) name = m_mediaTitle;
    m_stationName = DecodeServerText(name.trimmed());
    const bool changed = title != m_title;
    m_title = title;
    refreshStrip();
    if (changed) emit titleChanged(title);
}

} // namespace player
