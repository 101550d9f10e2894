# readers/: pure readers of what the web and the desktop hand the program: playlists, server text, stream heads.
target_sources(corvana_readers PRIVATE
  readers/directory_json.cpp readers/directory_json.h
  readers/markup.cpp readers/markup.h
  readers/playlist.cpp readers/playlist.h
  readers/server_text.cpp readers/server_text.h
  readers/station_links.cpp readers/station_links.h
  readers/stream_head.cpp readers/stream_head.h
)
