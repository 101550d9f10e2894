// player/: the component WMP: its settings and the strip that shows its listening session.
#include "player/media_player.h"

#include "platform/error.h"
#include "platform/plain_text.h"
#include "platform/twips.h"
#include "player/recorder.h"
#include "player/strip_icons.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QSignalBlocker>
#include <QSlider>
#include <QTextDocument>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace player {

// One line of the strip: text cut to the width with an ellipsis, never selectable (a selectable label would
// take Ctrl+C from the window's menu). It keeps only what it can show: eliding measures the whole text at
// every paint.
class StateLabel : public QWidget {
public:
    explicit StateLabel(QWidget* parent) : QWidget(parent) {
        setFocusPolicy(Qt::NoFocus);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    void setText(const QString& whole, const QColor& color = {}) {
        const QString text = platform::ShownText(whole);
        if (text == m_text && color == m_color) return;
        m_text = text;
        m_color = color;
        setToolTip(platform::PlainToolTip(text));
        // What a screen reader says of it: the strip shows text it does not otherwise reach.
        setAccessibleName(text);
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

bool IsMode(const QString& mode, const char* name) {
    return mode.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
}

QToolButton* StripButton(QWidget* parent, StripGlyph glyph, const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setIcon(StripIcon(glyph));
    button->setToolTip(tip);
    button->setAccessibleName(tip); // it shows only a glyph: a screen reader says the tip
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize({14, 14});
    button->setFixedSize(22, 20);
    return button;
}

// What the title's tooltip tells of the stream playing, one item a line: the server's name and genre, the
// audio as decoded, then the titles of this run with the time each began. Empty when nothing is known.
QString StreamTip(const Session& session) {
    const Session::StreamDetails details = session.streamDetails();
    QStringList lines;
    if (!details.name.isEmpty()) lines << QStringLiteral("电台：") + details.name;
    if (!details.genre.isEmpty()) lines << QStringLiteral("类型：") + details.genre;
    QStringList audio;
    if (!details.format.codec.isEmpty()) audio << details.format.codec.toUpper();
    if (details.bitrate > 0) audio << QStringLiteral("%1 kbit/s").arg(qRound(details.bitrate / 1000.0));
    if (details.format.sampleRate > 0)
        audio << QString::number(details.format.sampleRate / 1000.0) + QStringLiteral(" kHz");
    if (!audio.isEmpty()) lines << QStringLiteral("音频：") + audio.join(QStringLiteral(" · "));
    for (const Session::TitleSeen& seen : session.recentTitles())
        lines << seen.began.toString(QStringLiteral("HH:mm ")) + seen.title;
    for (QString& line : lines)
        line = platform::ShownText(line);
    return lines.join(QLatin1Char('\n'));
}

} // namespace

MediaPlayer::MediaPlayer(Session& session, QWidget* parent) : QWidget(parent), m_session(session) {
    setFocusPolicy(Qt::NoFocus);
    buildStrip();
    updateLayoutForMode();
    refreshStrip();
    connect(&m_session, &Session::changed, this, &MediaPlayer::refreshStrip);
    connect(&m_session, &Session::bitrateMeasured, this, &MediaPlayer::refreshTitleTip);
}

MediaPlayer::~MediaPlayer() {
    // The session outlives the strip: it must not call into a strip that is going.
    disconnect(&m_session, nullptr, this, nullptr);
    if (m_recorder) disconnect(m_recorder, nullptr, this, nullptr);
}

void MediaPlayer::showRecorder(Recorder& recorder) {
    m_recorder = &recorder;
    connect(m_recorder, &Recorder::changed, this, &MediaPlayer::refreshStrip);
    refreshStrip();
}

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
    // The title shows in the state label of the "mini" strip and on a line of its own in the full panel.
    m_stateLabel->installEventFilter(this);
    m_titleLabel->installEventFilter(this);

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
    m_volumeSlider->setValue(m_session.volume());
    m_volumeSlider->setFocusPolicy(Qt::NoFocus);
    m_volumeSlider->setToolTip(QStringLiteral("音量"));
    controls->addWidget(m_playButton);
    controls->addWidget(m_stopButton);
    controls->addWidget(m_muteButton);
    controls->addSpacing(4);
    controls->addWidget(m_volumeSlider, 1);
    // What the recorder does, beside the slider, which gives it room while there is something to say.
    m_recordLabel = new StateLabel(this);
    m_recordLabel->setObjectName(QStringLiteral("recording"));
    m_recordLabel->hide();
    controls->addWidget(m_recordLabel, 3);
    rows->addLayout(controls);

    connect(m_playButton, &QToolButton::clicked, this, [this] { fromStrip([this] { controls_play(); }); });
    connect(m_stopButton, &QToolButton::clicked, this, [this] { fromStrip([this] { controls_stop(); }); });
    connect(m_muteButton, &QToolButton::clicked, this,
            [this] { fromStrip([this] { m_session.setMuted(!m_session.muted()); }); });
    connect(m_volumeSlider, &QSlider::valueChanged, this,
            [this](int value) { fromStrip([this, value] { m_session.setVolume(value); }); });
}

void MediaPlayer::fromStrip(const std::function<void()>& request) {
    try {
        request();
    } catch (const platform::RuntimeError& e) {
        m_session.fail(e.message());
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
    const bool failed = m_session.state() == Session::State::Error;
    m_stateLabel->setText(m_session.stateText(), failed ? errorColor : QColor());
    m_titleLabel->setText(m_session.title().isEmpty() ? m_session.stationName() : m_session.title());
    m_stopButton->setEnabled(m_session.listening());
    const QString recording = m_recorder ? m_recorder->text() : QString();
    m_recordLabel->setText(recording, m_recorder && m_recorder->alert() ? errorColor : QColor());
    m_recordLabel->setVisible(!recording.isEmpty() && !m_volumeSlider->isHidden());
    {
        const QSignalBlocker block(m_volumeSlider);
        m_volumeSlider->setValue(m_session.volume());
    }
    const bool muted = m_session.muted();
    m_muteButton->setChecked(muted);
    if (muted != m_mutedIconShown) {
        m_muteButton->setIcon(StripIcon(muted ? StripGlyph::Muted : StripGlyph::Volume));
        m_mutedIconShown = muted;
    }
    refreshTitleTip();
}

bool MediaPlayer::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == m_titleLabel || watched == m_stateLabel) && event->type() == QEvent::ToolTip &&
        m_session.listening()) {
        m_titleTipAt = static_cast<QHelpEvent*>(event)->globalPos();
        m_titleTipOver = static_cast<QWidget*>(watched);
        // Asked for only now, as the tip opens; it shows again with the figure when the engine answers.
        m_session.measureBitrate();
        if (showTitleTip()) return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool MediaPlayer::showTitleTip() {
    const QString text = m_session.listening() ? StreamTip(m_session) : QString();
    if (text.isEmpty()) return false;
    // Names and titles are the server's: escaped, so that none of them is read as markup.
    m_titleTip = Qt::convertFromPlainText(text, Qt::WhiteSpaceNoWrap);
    QWidget* over = m_titleTipOver ? m_titleTipOver : m_titleLabel;
    QToolTip::showText(m_titleTipAt, m_titleTip, over, over->rect());
    return true;
}

void MediaPlayer::refreshTitleTip() {
    if (!QToolTip::isVisible() || QToolTip::text() != m_titleTip) return;
    if (!showTitleTip()) QToolTip::hideText();
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
    play->setEnabled(!m_session.address().trimmed().isEmpty());
    QAction* stop =
        menu->addAction(QStringLiteral("停止"), this, [this] { fromStrip([this] { controls_stop(); }); });
    stop->setEnabled(m_session.listening());
    menu->addSeparator();
    QAction* mute = menu->addAction(QStringLiteral("静音"), this, [this] {
        fromStrip([this] { m_session.setMuted(!m_session.muted()); });
    });
    mute->setCheckable(true);
    mute->setChecked(m_session.muted());
    m_menu = menu;
    menu->popup(event->globalPos());
}

void MediaPlayer::put_URL(const QString& url) {
    m_session.setAddress(url);
    if (url.trimmed().isEmpty() || !m_settings.autoStart) {
        m_session.stop();
        return;
    }
    m_session.play(url);
}

void MediaPlayer::controls_play() {
    const QString url = m_session.address();
    if (url.trimmed().isEmpty()) return;
    m_session.resume(url);
}

void MediaPlayer::controls_stop() {
    m_session.stop();
}

void MediaPlayer::put_uiMode(const QString& mode) {
    m_settings.uiMode = mode;
    updateLayoutForMode();
}

} // namespace player
