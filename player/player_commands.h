// player/: the program's player commands, as functions over the player component, the selected station and
// the status line. They know nothing of the component's own state beyond the volume.
#pragma once

#include "player/player_component.h"

#include <QString>
#include <functional>
#include <optional>

namespace player {

// Where a command says what it did: the window's status line.
using StatusLine = std::function<void(const QString&)>;

// The list entry a command acts on.
struct SelectedStation {
    QString name;
    QString address;
};

// The component as the window wants it: compact strip, no context menu; the status line's first words.
void SetUpPlayer(PlayerComponent& player, const StatusLine& status, const QString& greeting);
// A double-click: the entry's address becomes the component's, which starts it.
void PlayStation(PlayerComponent& player, const std::optional<SelectedStation>& selected,
                 const StatusLine& status);
// 播放: plays the address the component holds, naming the selected entry.
void Play(PlayerComponent& player, const std::optional<SelectedStation>& selected, const StatusLine& status);
// 停止
void Stop(PlayerComponent& player, const StatusLine& status);
// 增大声音 / 减小声音: a step of 5; a sum outside 32 bits fails before anything is put.
void VolumeUp(PlayerComponent& player);
void VolumeDown(PlayerComponent& player);
// 静音: the mark as it was decides; returns the mark as it must be once the component took the new state.
bool ToggleMute(PlayerComponent& player, bool marked);

} // namespace player
