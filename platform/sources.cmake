# platform/: what the program runs for the platform's services.
target_sources(corvana_platform PRIVATE
  platform/clipboard_handover.cpp platform/clipboard_handover.h
  platform/codepage.cpp platform/codepage.h
  platform/dialogs.cpp platform/dialogs.h
  platform/error.cpp platform/error.h
  platform/filesystem.cpp platform/filesystem.h
  platform/launch.cpp platform/launch.h
  platform/local_file.cpp platform/local_file.h
  platform/plain_text.cpp platform/plain_text.h
  platform/termination_signals.cpp platform/termination_signals.h
  platform/twips.cpp platform/twips.h
  platform/window_state.cpp platform/window_state.h
)
