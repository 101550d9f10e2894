// player/: libmpv, loaded when the player first needs it instead of when the program starts.
//
// libmpv pulls in some 200 shared libraries (FFmpeg, codecs, GPU drivers) whose loading and static
// constructors cost more than everything else the program does before its window shows. So the program does
// not link it: these definitions of the libmpv functions the component uses look the library up with dlopen()
// on first call. The engine is created after the window is up, so the user never waits for this. Only this
// file knows the library's name.
#include <mpv/client.h>

#include <cstdio>
#include <dlfcn.h>

namespace {

void* Library() {
    static void* handle = [] {
        void* h = dlopen(CORVANA_LIBMPV_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!h) std::fprintf(stderr, "Corvana: cannot load %s: %s\n", CORVANA_LIBMPV_SONAME, dlerror());
        return h;
    }();
    return handle;
}

// The function named name in libmpv, or nullptr when the library (or the function) is missing.
template <typename F> F Lookup(const char* name) {
    void* lib = Library();
    return reinterpret_cast<F>(lib ? dlsym(lib, name) : nullptr);
}

#define CORVANA_MPV_FUNCTION(name) static const auto fn = Lookup<decltype(&::name)>(#name)

} // namespace

extern "C" {

// Without the library, creating a handle fails (the component reports that); nothing else can then be
// reached.
mpv_handle* mpv_create(void) {
    CORVANA_MPV_FUNCTION(mpv_create);
    return fn ? fn() : nullptr;
}

int mpv_initialize(mpv_handle* ctx) {
    CORVANA_MPV_FUNCTION(mpv_initialize);
    return fn(ctx);
}

void mpv_terminate_destroy(mpv_handle* ctx) {
    CORVANA_MPV_FUNCTION(mpv_terminate_destroy);
    fn(ctx);
}

int mpv_set_option_string(mpv_handle* ctx, const char* name, const char* data) {
    CORVANA_MPV_FUNCTION(mpv_set_option_string);
    return fn(ctx, name, data);
}

int mpv_command_async(mpv_handle* ctx, uint64_t reply_userdata, const char** args) {
    CORVANA_MPV_FUNCTION(mpv_command_async);
    return fn(ctx, reply_userdata, args);
}

int mpv_set_property_async(mpv_handle* ctx, uint64_t reply_userdata, const char* name, mpv_format format,
                           void* data) {
    CORVANA_MPV_FUNCTION(mpv_set_property_async);
    return fn(ctx, reply_userdata, name, format, data);
}

int mpv_get_property_async(mpv_handle* ctx, uint64_t reply_userdata, const char* name, mpv_format format) {
    CORVANA_MPV_FUNCTION(mpv_get_property_async);
    return fn(ctx, reply_userdata, name, format);
}

int mpv_get_property(mpv_handle* ctx, const char* name, mpv_format format, void* data) {
    CORVANA_MPV_FUNCTION(mpv_get_property);
    return fn(ctx, name, format, data);
}

void mpv_free(void* data) {
    CORVANA_MPV_FUNCTION(mpv_free);
    fn(data);
}

void mpv_free_node_contents(mpv_node* node) {
    CORVANA_MPV_FUNCTION(mpv_free_node_contents);
    fn(node);
}

int mpv_observe_property(mpv_handle* mpv, uint64_t reply_userdata, const char* name, mpv_format format) {
    CORVANA_MPV_FUNCTION(mpv_observe_property);
    return fn(mpv, reply_userdata, name, format);
}

int mpv_request_log_messages(mpv_handle* ctx, const char* min_level) {
    CORVANA_MPV_FUNCTION(mpv_request_log_messages);
    return fn(ctx, min_level);
}

mpv_event* mpv_wait_event(mpv_handle* ctx, double timeout) {
    CORVANA_MPV_FUNCTION(mpv_wait_event);
    return fn(ctx, timeout);
}

void mpv_set_wakeup_callback(mpv_handle* ctx, void (*cb)(void* d), void* d) {
    CORVANA_MPV_FUNCTION(mpv_set_wakeup_callback);
    fn(ctx, cb, d);
}

const char* mpv_error_string(int error) {
    CORVANA_MPV_FUNCTION(mpv_error_string);
    return fn ? fn(error) : "libmpv is not available";
}

} // extern "C"
