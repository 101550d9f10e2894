// platform/: what the program copied outlives it. On X11 a copy lives in the program that made it; a desktop's
// clipboard manager keeps it after the program ends, when the program asks it to (SAVE_TARGETS) before it goes.
// Qt asks only while the application object is destroyed, after it has waited for every name look-up still
// running in its pool: one the network never answers would hold a closed program for minutes. The program asks
// itself, once its window is gone, and then ends without that wait.
#pragma once

namespace platform {

// Asks the clipboard manager to take what the program owns on the clipboard, and waits for it to have done so,
// serving its questions from the event loop, at most timeoutMs. Nothing where the program owns nothing, where no
// manager runs, or off X11. True when the manager took it.
bool HandClipboardToManager(int timeoutMs = 5000);

} // namespace platform
