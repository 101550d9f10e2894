# app/: the main window, start-up and shutdown.
target_sources(corvana_core PRIVATE
  app/frmMain.cpp app/frmMain.h
  app/corvana.qrc
)
