// platform/: the clipboard's hand-over to the desktop's clipboard manager, through an X connection of its own:
// the manager asks the program for each form it offers, and Qt's own connection answers from the event loop while
// this one waits for the manager's word.
#include "platform/clipboard_handover.h"

#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace platform {

namespace {

xcb_atom_t Atom(xcb_connection_t* x, const char* name) {
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

bool HandClipboardToManager(int timeoutMs) {
    if (QGuiApplication::platformName() != QLatin1String("xcb") ||
        !QGuiApplication::clipboard()->ownsClipboard())
        return false;
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> x(xcb_connect(nullptr, nullptr),
                                                                         &xcb_disconnect);
    if (xcb_connection_has_error(x.get())) return false;
    const xcb_atom_t manager = Atom(x.get(), "CLIPBOARD_MANAGER"), save = Atom(x.get(), "SAVE_TARGETS"),
                     into = Atom(x.get(), "_CORVANA_SAVED");
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(x.get(), xcb_get_selection_owner(x.get(), manager), nullptr),
        &std::free);
    if (!owner || owner->owner == XCB_WINDOW_NONE) return false;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x.get())).data;
    const xcb_window_t window = xcb_generate_id(x.get());
    xcb_create_window(x.get(), XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_convert_selection(x.get(), window, manager, save, into, XCB_CURRENT_TIME);
    xcb_flush(x.get());

    bool saved = false;
    QEventLoop loop;
    QSocketNotifier readable(xcb_get_file_descriptor(x.get()), QSocketNotifier::Read);
    QObject::connect(&readable, &QSocketNotifier::activated, &loop, [&] {
        while (xcb_generic_event_t* event = xcb_poll_for_event(x.get())) {
            if ((event->response_type & 0x7f) == XCB_SELECTION_NOTIFY) {
                saved = reinterpret_cast<xcb_selection_notify_event_t*>(event)->property != XCB_ATOM_NONE;
                loop.quit();
            }
            std::free(event);
        }
        if (xcb_connection_has_error(x.get())) loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return saved;
}

} // namespace platform
