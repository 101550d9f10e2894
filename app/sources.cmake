# app/: the main window, its handlers, start-up and shutdown.
target_sources(corvana_app PRIVATE
  app/frmMain.cpp app/frmMain.h
  app/handlers.cpp
  app/desktop_controls.cpp
  app/station_import.cpp
  app/list_menu.cpp
  app/list_check.cpp
  app/repair_window.cpp app/repair_window.h
  app/search_window.cpp app/search_window.h
  app/history_window.cpp app/history_window.h
  app/corvana.qrc
)
