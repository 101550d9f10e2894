// player/: the strip's button glyphs (play, stop, volume, muted), drawn in code; used only by the strip.
#pragma once

#include <QIcon>

namespace player {

enum class StripGlyph { Play, Stop, Volume, Muted };

// Drawn at whatever size and pixel ratio the button asks for, in the palette's button-text colour. Drawing
// them spares the first window an icon-theme lookup, which costs more than the rest of the strip together,
// and keeps the strip the same on every desktop.
QIcon StripIcon(StripGlyph glyph);

} // namespace player
