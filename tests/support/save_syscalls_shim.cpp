// tests/support: an LD_PRELOAD library that watches a save at the system-call level. It appends one line per
// fsync/fdatasync ("fsync PATH") and per rename ("rename FROM TO") to the file named by CORVANA_SHIM_LOG,
// and, when CORVANA_SHIM_KILL_AT_RENAME is set, kills its own process right before a rename over a file of
// that name: a save stopped at a chosen moment, not a random one.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

template <typename F> F Next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

void Log(const std::string& line) {
    const char* path = std::getenv("CORVANA_SHIM_LOG");
    if (!path) return;
    const int saved = errno;
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const std::string text = line + "\n";
        (void)!::write(fd, text.data(), text.size());
        ::close(fd);
    }
    errno = saved;
}

std::string PathOf(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    return n < 0 ? std::string("?") : std::string(target, size_t(n));
}

void BeforeRename(const char* from, const char* to) {
    Log(std::string("rename ") + from + " " + to);
    const char* victim = std::getenv("CORVANA_SHIM_KILL_AT_RENAME");
    if (!victim || !*victim) return;
    const char* slash = std::strrchr(to, '/');
    if (std::strcmp(slash ? slash + 1 : to, victim) == 0) ::raise(SIGKILL);
}

} // namespace

extern "C" {

int fsync(int fd) {
    static const auto next = Next<int (*)(int)>("fsync");
    Log("fsync " + PathOf(fd));
    return next(fd);
}

int fdatasync(int fd) {
    static const auto next = Next<int (*)(int)>("fdatasync");
    Log("fsync " + PathOf(fd));
    return next(fd);
}

int rename(const char* from, const char* to) {
    static const auto next = Next<int (*)(const char*, const char*)>("rename");
    BeforeRename(from, to);
    return next(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    static const auto next = Next<int (*)(int, const char*, int, const char*)>("renameat");
    BeforeRename(from, to);
    return next(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    static const auto next = Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    BeforeRename(from, to);
    return next(fromDir, from, toDir, to, flags);
}

} // extern "C"
