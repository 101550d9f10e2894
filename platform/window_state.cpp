// platform/: reading and setting a window's state in the program's numbers.
#include "platform/window_state.h"

#include "platform/error.h"

#include <QWidget>

namespace platform {

qint16 WindowState(const QWidget& window) {
    if (window.isMinimized()) return 1;
    if (window.isMaximized()) return 2;
    return 0;
}

void SetWindowState(QWidget& window, qint16 state) {
    const Qt::WindowStates now = window.windowState();
    switch (state) {
    case 0:
        window.setWindowState(now & ~(Qt::WindowMinimized | Qt::WindowMaximized));
        break;
    case 1:
        window.setWindowState((now & ~Qt::WindowMaximized) | Qt::WindowMinimized);
        break;
    case 2:
        window.setWindowState((now & ~Qt::WindowMinimized) | Qt::WindowMaximized);
        break;
    default:
        throw RuntimeError(errInvalidCall, QStringLiteral("无效的窗口状态: %1").arg(state));
    }
}

} // namespace platform
