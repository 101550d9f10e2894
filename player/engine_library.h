// player/: the engine's shared libraries (libmpv and the FFmpeg libraries it brings), loaded at first use.
#pragma once

namespace player {

// The function or object named name in libmpv or in one of the libraries it loaded (FFmpeg's libavformat,
// libavutil...); nullptr when libmpv cannot be loaded or has no such name. Loads libmpv on first call.
void* EngineSymbol(const char* name);

} // namespace player
