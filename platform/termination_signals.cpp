// platform/: the termination signals through a self-pipe: the handler only writes the signal's number into a
// pipe (all a signal handler may safely do); a socket notifier reads it on the event loop.
#include "platform/termination_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace platform {

namespace {
int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
bool g_handled[3] = {};
struct sigaction g_before[3];

extern "C" void OnSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    (void)!::write(g_pipe[1], &byte, 1); // a full pipe already holds a request to end
    errno = saved;
}
} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (g_pipe[0] >= 0 || ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::Drain);
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        struct sigaction old {};
        if (::sigaction(kSignals[i], nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        g_before[i] = old;
        g_handled[i] = ::sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

TerminationSignals::~TerminationSignals() {
    if (!m_notifier) return;
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        if (g_handled[i]) ::sigaction(kSignals[i], &g_before[i], nullptr);
        g_handled[i] = false;
    }
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void IgnoreBrokenPipes() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

void TerminationSignals::Drain() {
    // The pipe is emptied first: a receiver may run an event loop of its own (the save question) before it
    // returns, and the notifier must not keep firing for bytes already taken.
    QByteArray numbers;
    char bytes[64];
    for (;;) {
        const ssize_t got = ::read(g_pipe[0], bytes, sizeof bytes);
        if (got > 0)
            numbers.append(bytes, got);
        else if (!(got < 0 && errno == EINTR))
            break;
    }
    for (const char number : numbers)
        emit received(static_cast<unsigned char>(number));
}

} // namespace platform
