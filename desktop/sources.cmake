# desktop/: what the Linux desktop expects of a player (MPRIS on the session bus); uses only platform/ and Qt.
target_sources(corvana_desktop PRIVATE
  desktop/mpris.cpp desktop/mpris.h
)
