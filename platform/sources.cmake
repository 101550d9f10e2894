# platform/: the small layers that stand in for the platform's services.
target_sources(corvana_core PRIVATE
  platform/codepage.cpp platform/codepage.h
  platform/dialogs.cpp platform/dialogs.h
  platform/error.cpp platform/error.h
  platform/filesystem.cpp platform/filesystem.h
  platform/launch.cpp platform/launch.h
  platform/twips.cpp platform/twips.h
)
# The notification-area service and the replaceable window procedure the tray room drives.
target_sources(corvana_core PRIVATE
  platform/notify_icon.cpp platform/notify_icon.h
  platform/window_proc.cpp platform/window_proc.h
)
