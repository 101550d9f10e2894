// bench/web: an LD_PRELOAD shim standing for a resolver that hangs: getaddrinfo() for a name ending in ".example"
// sleeps STALL_SECONDS (60) and then finds nothing, without asking anyone, so that nothing leaves the machine;
// every other name goes to the C library as usual. Built by bench/web/run.sh:
//   cc -shared -fPIC -O2 -o getaddrinfo_stall.so getaddrinfo_stall.c -ldl
#define _GNU_SOURCE
#include <dlfcn.h>
#include <netdb.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int (*getaddrinfo_fn)(const char*, const char*, const struct addrinfo*, struct addrinfo**);

static int stalled(const char* node) {
    static const char suffix[] = ".example";
    const size_t n = node ? strlen(node) : 0, s = sizeof suffix - 1;
    return n > s && strcmp(node + n - s, suffix) == 0;
}

int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints, struct addrinfo** res) {
    if (stalled(node)) {
        const char* env = getenv("STALL_SECONDS");
        unsigned left = env ? (unsigned)strtoul(env, NULL, 10) : 60;
        while (left) left = sleep(left); // a signal cuts a sleep short; the resolver it stands for would not return
        return EAI_NONAME;
    }
    static getaddrinfo_fn real;
    if (!real) real = (getaddrinfo_fn)dlsym(RTLD_NEXT, "getaddrinfo");
    return real(node, service, hints, res);
}
