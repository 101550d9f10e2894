// platform/: a window's state as the program counts it: 0 normal, 1 minimized, 2 maximized.
#pragma once

#include <QtGlobal>

class QWidget;

namespace platform {

qint16 WindowState(const QWidget& window);
// Any other number fails with errInvalidCall.
void SetWindowState(QWidget& window, qint16 state);

} // namespace platform
