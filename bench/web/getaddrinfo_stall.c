// bench/web: an LD_PRELOAD shim standing for a resolver that hangs: getaddrinfo() for a name ending in ".example"
// sleeps STALL_SECONDS (60) and then finds nothing, without asking anyone, so that nothing leaves the machine;
// every other name goes to the C library as usual. With STALL_LOG set, each call is noted in that file as it
// begins ("<seconds since the epoch> stalled|passed <name>"), so that a bench sees when each name was asked.
// Built by bench/web/run.sh and bench/directory/stalled_paste.sh:
//   cc -shared -fPIC -O2 -o getaddrinfo_stall.so getaddrinfo_stall.c -ldl
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <unistd.h>

typedef int (*getaddrinfo_fn)(const char*, const char*, const struct addrinfo*, struct addrinfo**);

static int stalled(const char* node) {
    static const char suffix[] = ".example";
    const size_t n = node ? strlen(node) : 0, s = sizeof suffix - 1;
    return n > s && strcmp(node + n - s, suffix) == 0;
}

static void note(const char* node, int stall) {
    const char* path = getenv("STALL_LOG");
    if (!path || !*path) return;
    struct timeval now;
    gettimeofday(&now, NULL);
    char line[512];
    const int n = snprintf(line, sizeof line, "%ld.%06ld %s %s\n", (long)now.tv_sec, (long)now.tv_usec,
                           stall ? "stalled" : "passed", node ? node : "(none)");
    // One write to a file opened for appending: the lines of calls in several threads never interleave.
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (n > 0) (void)!write(fd, line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
    close(fd);
}

int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints, struct addrinfo** res) {
    const int stall = stalled(node);
    note(node, stall);
    if (stall) {
        const char* env = getenv("STALL_SECONDS");
        unsigned left = env ? (unsigned)strtoul(env, NULL, 10) : 60;
        while (left) left = sleep(left); // a signal cuts a sleep short; the resolver it stands for would not return
        return EAI_NONAME;
    }
    static getaddrinfo_fn real;
    if (!real) real = (getaddrinfo_fn)dlsym(RTLD_NEXT, "getaddrinfo");
    return real(node, service, hints, res);
}
