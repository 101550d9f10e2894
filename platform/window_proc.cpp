// platform/: the handle tables and the message delivery behind window_proc.h; touches no room.
#include "platform/window_proc.h"

#include "platform/error.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHash>
#include <QWidget>
#include <map>
#include <vector>

namespace platform {

namespace {

// Numbers that look like what they stand for, and never 0, which means "none" to every caller.
constexpr quint32 kFirstHandle = 0x00010004;
constexpr quint32 kHandleStep = 4;
constexpr qint32 kFirstProc = 0x00401000;
constexpr qint32 kProcStep = 0x10;

class MessageEvent : public QEvent {
public:
    MessageEvent(quint32 msg, quint32 wParam, qint32 lParam)
        : QEvent(Type()), msg(msg), wParam(wParam), lParam(lParam) {}
    static QEvent::Type Type() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    const quint32 msg;
    const quint32 wParam;
    const qint32 lParam;
};

// Lives as a child of its window, so that it, its table entry and any message still queued for it go when the
// window goes.
class Mailbox : public QObject {
public:
    Mailbox(QWidget* window, quint32 hWnd) : QObject(window), m_hWnd(hWnd) {}
    ~Mailbox() override;

protected:
    bool event(QEvent* e) override;

private:
    quint32 m_hWnd;
};

struct WindowEntry {
    QWidget* window = nullptr;
    Mailbox* mailbox = nullptr;
    qint32 proc = 0;
};

struct Tables {
    quint32 next = kFirstHandle;
    std::map<quint32, WindowEntry> windows;
    QHash<const QWidget*, quint32> handleOf;
    std::map<quint32, QIcon> icons;
    QHash<qint64, quint32> iconHandleOf;
    std::vector<WndProc> procs;

    quint32 NewHandle() {
        const quint32 h = next;
        next += kHandleStep;
        return h;
    }
};

Tables& T() {
    static Tables tables;
    return tables;
}

WindowEntry* FindWindow(quint32 hWnd) {
    auto it = T().windows.find(hWnd);
    return it == T().windows.end() ? nullptr : &it->second;
}

WndProc FindProc(qint32 number) {
    const qint64 offset = qint64(number) - kFirstProc;
    if (offset < 0 || offset % kProcStep != 0) return nullptr;
    const auto index = static_cast<std::size_t>(offset / kProcStep);
    return index < T().procs.size() ? T().procs[index] : nullptr;
}

Mailbox::~Mailbox() {
    if (auto it = T().windows.find(m_hWnd); it != T().windows.end()) {
        T().handleOf.remove(it->second.window);
        T().windows.erase(it);
    }
}

bool Mailbox::event(QEvent* e) {
    if (e->type() != MessageEvent::Type()) return QObject::event(e);
    const auto* m = static_cast<const MessageEvent*>(e);
    // A procedure's failure is reported here: nothing may leave an event handler.
    Guarded([&] { SendMessageA(m_hWnd, m->msg, m->wParam, m->lParam); });
    return true;
}

} // namespace

quint32 WindowHandle(QWidget* window) {
    if (!window) return 0;
    if (const quint32 h = T().handleOf.value(window)) return h;
    const quint32 h = T().NewHandle();
    T().windows[h] = WindowEntry{window, new Mailbox(window, h), ProcAddress(&DefWindowProcA)};
    T().handleOf.insert(window, h);
    return h;
}

QWidget* WindowFromHandle(quint32 hWnd) {
    const WindowEntry* entry = FindWindow(hWnd);
    return entry ? entry->window : nullptr;
}

quint32 IconHandle(const QIcon& icon) {
    if (const quint32 h = T().iconHandleOf.value(icon.cacheKey())) return h;
    const quint32 h = T().NewHandle();
    T().icons[h] = icon;
    T().iconHandleOf.insert(icon.cacheKey(), h);
    return h;
}

QIcon IconFromHandle(quint32 hIcon) {
    auto it = T().icons.find(hIcon);
    return it == T().icons.end() ? QIcon() : it->second;
}

qint32 ProcAddress(WndProc proc) {
    if (!proc) return 0;
    auto& procs = T().procs;
    std::size_t index = 0;
    while (index < procs.size() && procs[index] != proc)
        ++index;
    if (index == procs.size()) procs.push_back(proc);
    return kFirstProc + static_cast<qint32>(index) * kProcStep;
}

qint32 DefWindowProcA(quint32, quint32, quint32, qint32) {
    return 0;
}

qint32 SetWindowLongA(quint32 hWnd, qint32 index, qint32 newLong) {
    WindowEntry* entry = FindWindow(hWnd);
    if (index != GWL_WNDPROC || !entry || !FindProc(newLong)) return 0;
    const qint32 previous = entry->proc;
    entry->proc = newLong;
    return previous;
}

qint32 GetWindowLongA(quint32 hWnd, qint32 index) {
    const WindowEntry* entry = FindWindow(hWnd);
    return index == GWL_WNDPROC && entry ? entry->proc : 0;
}

qint32 CallWindowProcA(qint32 prevWndFunc, quint32 hWnd, quint32 uMsg, quint32 wParam, qint32 lParam) {
    const WndProc proc = FindProc(prevWndFunc);
    return proc ? proc(hWnd, uMsg, wParam, lParam) : 0;
}

qint32 SendMessageA(quint32 hWnd, quint32 uMsg, quint32 wParam, qint32 lParam) {
    const WindowEntry* entry = FindWindow(hWnd);
    if (!entry) return 0;
    return CallWindowProcA(entry->proc, hWnd, uMsg, wParam, lParam);
}

bool PostMessageA(quint32 hWnd, quint32 uMsg, quint32 wParam, qint32 lParam) {
    const WindowEntry* entry = FindWindow(hWnd);
    if (!entry) return false;
    QCoreApplication::postEvent(entry->mailbox, new MessageEvent(uMsg, wParam, lParam));
    return true;
}

} // namespace platform
