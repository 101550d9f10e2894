# player/: the engine, the listening session, the component WMP with its strip, and the player commands.
target_sources(corvana_player PRIVATE
  player/player_component.h
  player/media_player.cpp player/media_player.h
  player/session.cpp player/session_deadlines.cpp player/session_playlists.cpp player/session.h
  player/failure_text.cpp player/failure_text.h
  player/retry_policy.h
  player/stream_title.cpp player/stream_title.h
  player/title_history.cpp player/title_history.h
  player/recorder.cpp player/recorder.h
  player/player_commands.cpp player/player_commands.h
)
target_sources(corvana_player PRIVATE
  player/address.cpp player/address.h
  player/mpv_engine.cpp player/mpv_engine.h
  player/strip_icons.cpp player/strip_icons.h
)
target_sources(corvana_player PRIVATE player/libmpv_loader.cpp)
