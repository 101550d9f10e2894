// player/: the media player component WMP (placeholder until the libmpv engine lands: keeps the settings only).
#pragma once

#include "player/player_component.h"

#include <QWidget>

namespace player {

class MediaPlayer : public QWidget, public PlayerComponent {
    Q_OBJECT
public:
    explicit MediaPlayer(QWidget* parent = nullptr);

    void put_URL(const QString& url) override { m_url = url; }
    QString get_URL() const override { return m_url; }
    void controls_play() override {}
    void controls_stop() override {}
    qint32 get_settings_volume() const override { return m_volume; }
    void put_settings_volume(qint32 volume) override { m_volume = qBound(0, volume, 100); }
    bool get_settings_mute() const override { return m_mute; }
    void put_settings_mute(bool mute) override { m_mute = mute; }
    QString get_uiMode() const override { return m_uiMode; }
    void put_uiMode(const QString& mode) override { m_uiMode = mode; }
    bool get_enableContextMenu() const override { return m_contextMenu; }
    void put_enableContextMenu(bool enable) override { m_contextMenu = enable; }

private:
    QString m_url;
    qint32 m_volume = 50;
    bool m_mute = false;
    QString m_uiMode = QStringLiteral("full");
    bool m_contextMenu = true;
};

} // namespace player
