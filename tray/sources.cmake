# tray/: the notification-area icon and the window message hook.
