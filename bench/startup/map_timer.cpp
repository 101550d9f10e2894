// bench/startup: runs a command and prints the seconds from exec to the moment X maps its window with the
// given title (the window is shown), then ends the command. Needs an X display without a window manager
// (Xvfb). Usage: map_timer TITLE COMMAND [ARGS...]
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {
std::string WindowName(xcb_connection_t* c, xcb_window_t w) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
    std::string name;
    if (reply) {
        name.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                    static_cast<size_t>(xcb_get_property_value_length(reply)));
        std::free(reply);
    }
    return name;
}
} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: map_timer TITLE COMMAND [ARGS...]\n");
        return 2;
    }
    const std::string title = argv[1];
    // An Xvfb started without -noreset refuses connections while it resets after its last client left: try
    // again, briefly.
    xcb_connection_t* c = nullptr;
    for (int attempt = 0; attempt < 50; ++attempt) {
        c = xcb_connect(nullptr, nullptr);
        if (!xcb_connection_has_error(c)) break;
        xcb_disconnect(c);
        c = nullptr;
        usleep(100000);
    }
    if (!c) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    double seconds = -1;
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            if (WindowName(c, map->window) == title) {
                seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                std::free(event);
                break;
            }
        }
        std::free(event);
    }
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    xcb_disconnect(c);
    if (seconds < 0) return 1;
    std::printf("%.4f\n", seconds);
    return 0;
}
