# tray/: the notification-area icon and what its clicks do.
target_sources(corvana_tray PRIVATE
  tray/tray_icon.cpp tray/tray_icon.h
  tray/window_hook.cpp tray/window_hook.h
)
