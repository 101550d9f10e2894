// player/: what the program asks of its media player component, named after the component's members
// (URL, controls.play, controls.stop, settings.volume, settings.mute, uiMode, enableContextMenu).
//
// The real component is MediaPlayer (media_player.h, on libmpv); the command tests put a recording one in its
// place. A member that fails throws platform::RuntimeError.
#pragma once

#include <QString>
#include <QtGlobal>

namespace player {

class PlayerComponent {
public:
    virtual ~PlayerComponent() = default;

    // The address to open; with autoStart on, putting it starts playing. Empty stops without an error.
    virtual void put_URL(const QString& url) = 0;
    virtual QString get_URL() const = 0;
    // Plays the address already held; nothing when none is held.
    virtual void controls_play() = 0;
    // Stops; nothing when nothing plays.
    virtual void controls_stop() = 0;
    // 0 to 100; a value outside is clamped by the component.
    virtual qint32 get_settings_volume() const = 0;
    virtual void put_settings_volume(qint32 volume) = 0;
    virtual bool get_settings_mute() const = 0;
    virtual void put_settings_mute(bool mute) = 0;
    // "full" or "Mini", compared without regard to case and kept as put.
    virtual QString get_uiMode() const = 0;
    virtual void put_uiMode(const QString& mode) = 0;
    virtual bool get_enableContextMenu() const = 0;
    virtual void put_enableContextMenu(bool enable) = 0;
};

} // namespace player
