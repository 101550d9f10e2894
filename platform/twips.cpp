// platform/: twips to pixels at the screen's logical DPI.
#include "platform/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace platform {

namespace {
double DpiOr96(bool horizontal) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return 96.0;
    const double dpi = horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY();
    return dpi > 0 ? dpi : 96.0;
}
} // namespace

double TwipsPerPixelX() {
    return 1440.0 / DpiOr96(true);
}
double TwipsPerPixelY() {
    return 1440.0 / DpiOr96(false);
}

int TwipsToPixelsX(double twips) {
    return TwipsToPixels(twips, DpiOr96(true));
}
int TwipsToPixelsY(double twips) {
    return TwipsToPixels(twips, DpiOr96(false));
}

// Truncation, as the original layout engine converts: 4215 twips are 281 pixels at 96 DPI, and 7470 are 622
// (not 623) at 120. The margin keeps an exact quotient from falling just short of its whole number.
int TwipsToPixels(double twips, double dpi) {
    return static_cast<int>(std::floor(twips * dpi / 1440.0 + 1e-9));
}

} // namespace platform
