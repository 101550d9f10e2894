// tray/: TrayWindowProc and putting it in and out of the main window's message stream; touches no other room.
#include "tray/window_hook.h"

#include "app/frmMain.h"
#include "platform/error.h"
#include "platform/notify_icon.h"
#include "platform/window_proc.h"
#include "tray/tray_icon.h"

#include <QCursor>
#include <QMenu>

namespace mod_Function {

qint32 PrevWndProc = 0;

namespace {

// The runtime's "object variable not set": the hook runs only after InstallTrayIcon, so this means a bug.
constexpr int errObjectNotSet = 91;

template <typename T> T& Required(const QPointer<T>& object, const char* name) {
    if (!object)
        throw platform::RuntimeError(errObjectNotSet,
                                     QStringLiteral("对象变量未设置: %1").arg(QLatin1String(name)));
    return *object;
}

// A hidden or disabled window cannot take the focus: it is left alone rather than failing the click. While
// one of the program's dialogs is open, Qt passes the activation on to the dialog.
void GiveFocus(QWidget& window) {
    if (!window.isVisible() || !window.isEnabled()) return;
    window.activateWindow();
}

} // namespace

void HookTrayWindow(QWidget& form) {
    const quint32 hWnd = platform::WindowHandle(&form);
    // Hooking twice would make the procedure its own predecessor, and the first message would call it
    // forever.
    if (platform::GetWindowLongA(hWnd, platform::GWL_WNDPROC) == platform::ProcAddress(&TrayWindowProc))
        return;
    PrevWndProc = platform::SetWindowLongA(hWnd, platform::GWL_WNDPROC, &TrayWindowProc);
}

void UnhookTrayWindow() {
    const quint32 hWnd = platform::WindowHandle(TrayForm.data());
    platform::SetWindowLongA(hWnd, platform::GWL_WNDPROC, PrevWndProc);
}

qint32 TrayWindowProc(quint32 hWnd, quint32 uMsg, quint32 wParam, qint32 lParam) {
    qint32 result = 0;
    platform::Guarded([&] {
        if (uMsg == TRAY_CALLBACK_MESSAGE) {
            if (lParam == platform::WM_LBUTTONUP) {
                GiveFocus(*frmMain::Instance());
                frmMain& form = Required(TrayForm, "TrayForm");
                if (form.WindowState() == 1) {
                    form.SetWindowState(RestoreWindowState);
                    GiveFocus(form);
                    return;
                }
            }
            if (lParam == platform::WM_RBUTTONUP) {
                Required(TrayMenu, "TrayMenu").exec(QCursor::pos());
                return;
            }
        }
        result = platform::CallWindowProcA(PrevWndProc, hWnd, uMsg, wParam, lParam);
    });
    return result;
}

} // namespace mod_Function
