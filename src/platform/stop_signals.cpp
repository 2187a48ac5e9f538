#include "platform/stop_signals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

// The pipe the handler writes to: a handler can reach nothing but a plain variable.
static int signal_pipe[2] = {-1, -1};
// A stop was asked for: from then on the process is on its way out.
static volatile sig_atomic_t stop_requested = 0;

static void on_signal(int) {
    const int saved = errno;
    stop_requested = 1;
    const char byte = 1;
    // A full pipe already holds a stop request: losing this byte loses nothing.
    [[maybe_unused]] const ssize_t n = ::write(signal_pipe[1], &byte, 1);
    errno = saved;
}

static void drain_pipe() {
    char bytes[16];
    while (::read(signal_pipe[0], bytes, sizeof bytes) > 0) {
    }
}

static constexpr int HANDLED[] = {SIGTERM, SIGINT, SIGHUP};

static void set_handlers(void (*handler)(int)) {
    struct sigaction sa = {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : HANDLED) ::sigaction(sig, &sa, nullptr);
}

StopSignals::StopSignals(QObject *parent) : QObject(parent) {
    if (signal_pipe[0] < 0 && ::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        signal_pipe[0] = signal_pipe[1] = -1;
        return;
    }
    // Whatever an earlier instance left unread is not a request to this one.
    drain_pipe();
    stop_requested = 0;
    notifier_ = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::drain);
    set_handlers(on_signal);
}

StopSignals::~StopSignals() {
    // After a stop request the program is ending: a further signal must not cut its
    // save short or turn its exit status into a kill.
    if (notifier_) set_handlers(stop_requested ? SIG_IGN : SIG_DFL);
}

void StopSignals::drain() {
    drain_pipe();
    emit arrived();
}
