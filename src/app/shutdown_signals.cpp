#include "app/shutdown_signals.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

// The pipe the handler writes to: a handler can reach nothing but a plain variable.
static int signal_pipe[2] = {-1, -1};

static void on_signal(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a close request: losing this byte loses nothing.
    [[maybe_unused]] const ssize_t n = ::write(signal_pipe[1], &byte, 1);
    errno = saved;
}

static constexpr int HANDLED[] = {SIGTERM, SIGINT, SIGHUP};

ShutdownSignals::ShutdownSignals(QWidget *window, std::function<void()> commit)
    : QObject(window), window_(window) {
    if (signal_pipe[0] < 0 && ::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        signal_pipe[0] = signal_pipe[1] = -1;
    } else {
        notifier_ = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &ShutdownSignals::signal_arrived);
        struct sigaction sa = {};
        sa.sa_handler = on_signal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (int sig : HANDLED) ::sigaction(sig, &sa, nullptr);
    }
    // A logout may still be cancelled: save, but keep the window.
    if (commit)
        connect(
            qApp, &QGuiApplication::commitDataRequest, this,
            [commit](QSessionManager &) { commit(); }, Qt::DirectConnection);
    // Whatever ends the event loop (the session's end among others) closes the window first.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &ShutdownSignals::close_window);
}

ShutdownSignals::~ShutdownSignals() {
    if (!notifier_) return;
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    for (int sig : HANDLED) ::sigaction(sig, &sa, nullptr);
}

void ShutdownSignals::signal_arrived() {
    char bytes[16];
    while (::read(signal_pipe[0], bytes, sizeof bytes) > 0) {
    }
    // A message waiting for its OK would hold the close back.
    if (QWidget *modal = QApplication::activeModalWidget()) modal->close();
    close_window();
}

void ShutdownSignals::close_window() {
    if (window_) window_->close();
}
