# player/: the media player component and the player commands.
target_sources(corvana_core PRIVATE
  player/player_component.h
  player/media_player.cpp player/media_player.h
  player/player_commands.cpp
)
target_sources(corvana_core PRIVATE
  player/address.cpp player/address.h
  player/mpv_engine.cpp player/mpv_engine.h
  player/playlist.cpp player/playlist.h
  player/playlist_fetch.cpp player/playlist_fetch.h
  player/strip_icons.cpp player/strip_icons.h
)
target_sources(corvana_core PRIVATE player/libmpv_loader.cpp player/engine_library.h)
