// platform/: twips (1/1440 inch), the unit of the window's layout, and pixels at the screen's logical DPI.
#pragma once

#include <QtGlobal>

namespace platform {

// Twips a pixel at the primary screen's logical DPI: 15 at 96 DPI. 15 without a screen.
double TwipsPerPixelX();
double TwipsPerPixelY();

int TwipsToPixelsX(double twips);
int TwipsToPixelsY(double twips);

} // namespace platform
