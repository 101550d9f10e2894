// player/: the player commands: what each puts to the component and writes to the status line.
#include "player/player_commands.h"

#include "platform/error.h"

namespace player {

namespace {
// The volume step in 32 bits; a sum outside that range fails the command before anything is put.
qint32 Step(qint32 volume, qint32 step) {
    qint32 sum = 0;
    if (__builtin_add_overflow(volume, step, &sum))
        throw platform::RuntimeError(platform::errOverflow, QStringLiteral("溢出"));
    return sum;
}
} // namespace

void SetUpPlayer(PlayerComponent& player, const StatusLine& status, const QString& greeting) {
    player.put_uiMode(QStringLiteral("Mini"));
    player.put_enableContextMenu(false);
    status(greeting);
}

void PlayStation(PlayerComponent& player, const std::optional<SelectedStation>& selected,
                 const StatusLine& status) {
    if (!selected) return; // nothing selected: nothing to play, nothing changes
    player.put_URL(selected->address);
    status(QStringLiteral("正在收听:") + selected->name);
}

void Play(PlayerComponent& player, const std::optional<SelectedStation>& selected, const StatusLine& status) {
    if (!selected) return;
    status(QStringLiteral("正在收听:") + selected->name);
    player.controls_play();
}

void Stop(PlayerComponent& player, const StatusLine& status) {
    player.controls_stop();
    status(QStringLiteral("已停止播放"));
}

void VolumeUp(PlayerComponent& player) {
    player.put_settings_volume(Step(player.get_settings_volume(), 5));
}

void VolumeDown(PlayerComponent& player) {
    player.put_settings_volume(Step(player.get_settings_volume(), -5));
}

bool ToggleMute(PlayerComponent& player, bool marked) {
    // The mark alone decides; the component's own mute state is never read.
    player.put_settings_mute(!marked);
    return !marked;
}

} // namespace player
