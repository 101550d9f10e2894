// platform/: twips (1/1440 inch), the unit of the window's layout, and pixels at the screen's logical DPI.
#pragma once

#include <QtGlobal>

namespace platform {

// Twips a pixel at the primary screen's logical DPI: 15 at 96 DPI. 15 without a screen.
double TwipsPerPixelX();
double TwipsPerPixelY();

// Pixels at the primary screen's logical DPI.
int TwipsToPixelsX(double twips);
int TwipsToPixelsY(double twips);

// Pixels at dpi dots an inch, truncated: what the two above compute for the screen.
int TwipsToPixels(double twips, double dpi);

} // namespace platform
