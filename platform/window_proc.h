// platform/: window and icon handles, window messages and the replaceable window procedure; touches no room.
//
// The program's tray code is written against 32-bit window handles, icon handles and window procedures. Here
// each is a number from a small table: a window gets its handle the first time anyone asks for it, and from
// that moment it has a window procedure of its own (DefWindowProcA), which SetWindowLongA can replace. Only
// the messages the program itself posts or sends travel this way (the tray icon's callback); Qt's own events
// keep going through Qt: nothing of theirs is squeezed into 32-bit parameters.
#pragma once

#include <QIcon>
#include <QtGlobal>

class QWidget;

namespace platform {

// A window procedure: (hWnd, uMsg, wParam, lParam) -> result.
using WndProc = qint32 (*)(quint32 hWnd, quint32 uMsg, quint32 wParam, qint32 lParam);

constexpr qint32 GWL_WNDPROC = -4;

// The window's handle; the same number for as long as the window lives, never reused after it is gone.
quint32 WindowHandle(QWidget* window);
// The window a handle names, or nullptr once it is gone (or for a number that never named one).
QWidget* WindowFromHandle(quint32 hWnd);

// The icon's handle: equal icons (same cache key) share one; the null icon has one too.
quint32 IconHandle(const QIcon& icon);
// The icon a handle names; a null icon for a number that never named one.
QIcon IconFromHandle(quint32 hIcon);

// The 32-bit number that stands for a procedure ("its address"); the same procedure always gets the same one.
qint32 ProcAddress(WndProc proc);

// Every window's own procedure: the window does its real work through Qt, so it consumes nothing and answers
// 0.
qint32 DefWindowProcA(quint32 hWnd, quint32 uMsg, quint32 wParam, qint32 lParam);

// GWL_WNDPROC: puts the procedure numbered newLong in place and returns the number of the one it replaced.
// Returns 0 and changes nothing for another index, an unknown window or a number that names no procedure.
qint32 SetWindowLongA(quint32 hWnd, qint32 index, qint32 newLong);
inline qint32 SetWindowLongA(quint32 hWnd, qint32 index, WndProc proc) {
    return SetWindowLongA(hWnd, index, ProcAddress(proc));
}
// The window's current procedure's number; 0 for an unknown window or another index.
qint32 GetWindowLongA(quint32 hWnd, qint32 index);

// Calls the procedure numbered prevWndFunc with the message, unchanged, and returns its result (0 for a
// number that names no procedure).
qint32 CallWindowProcA(qint32 prevWndFunc, quint32 hWnd, quint32 uMsg, quint32 wParam, qint32 lParam);

// Delivers the message to the window's current procedure now and returns its result; 0 for an unknown window.
qint32 SendMessageA(quint32 hWnd, quint32 uMsg, quint32 wParam, qint32 lParam);
// Queues the message for the window's current procedure, which sees it from the event loop (whichever
// procedure is current then). False for an unknown window. A window that is destroyed first never sees it.
bool PostMessageA(quint32 hWnd, quint32 uMsg, quint32 wParam, qint32 lParam);

} // namespace platform
