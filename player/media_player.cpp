// player/: the media player component (placeholder).
#include "player/media_player.h"

namespace player {
MediaPlayer::MediaPlayer(QWidget* parent) : QWidget(parent) {}
} // namespace player
