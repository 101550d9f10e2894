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

// Truncation, as the original layout engine converts: 4215 twips are 281 pixels at 96 DPI.
int TwipsToPixelsX(double twips) {
    return static_cast<int>(std::floor(twips / TwipsPerPixelX() + 1e-9));
}
int TwipsToPixelsY(double twips) {
    return static_cast<int>(std::floor(twips / TwipsPerPixelY() + 1e-9));
}

} // namespace platform
