# tray/: the notification-area icon and the window message hook; lists this room's sources only.
target_sources(corvana_core PRIVATE
  tray/tray_icon.cpp tray/tray_icon.h
  tray/window_hook.cpp tray/window_hook.h
)
