#pragma once
// Probes for long runs of the real panel (the soak): the last actions kept where a
// signal handler or a watchdog thread can print them, a watchdog that aborts a run whose
// action hangs, and a probe of how deeply event pumps nest, read from the call stack.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstring>
#include <dlfcn.h>
#include <execinfo.h>
#include <functional>
#include <thread>
#include <time.h>
#include <unistd.h>

inline qint64 monotonic_ms() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// ---------------------------------------------------------------------------------
// What was done last, kept in fixed buffers so that a signal handler or the watchdog
// thread can print it.

struct History {
    static constexpr int kSlots = 80;
    static constexpr int kLen = 220;
    char text[kSlots][kLen] = {};
    std::atomic<long> next{0};
    char header[200] = {};

    void add(const QByteArray &line) {
        const long n = next.load();
        char *slot = text[n % kSlots];
        const int len = qMin<int>(line.size(), kLen - 2);
        memcpy(slot, line.constData(), size_t(len));
        slot[len] = '\n';
        slot[len + 1] = '\0';
        next.store(n + 1);
    }
    // Async-signal-safe.
    void dump(int fd) const {
        const long n = next.load();
        const long from = n > kSlots ? n - kSlots : 0;
        ssize_t ignored = ::write(fd, header, strlen(header));
        for (long i = from; i < n; ++i) {
            const char *s = text[i % kSlots];
            ignored = ::write(fd, s, strlen(s));
        }
        (void)ignored;
    }
};
// Aborts the run, with the last actions, when one action runs far beyond any bound
// (a hang: a wait that never ends, a message box nobody closes).
class Watchdog {
public:
    // `since`: monotonic ms at which the running action began (0: none runs); `limit_ms`
    // how long one may take.
    Watchdog(const History &history, const std::atomic<qint64> &since,
             const std::atomic<qint64> &limit_ms)
        : history_(history), since_(since), limit_ms_(limit_ms), thread_([this] { run(); }) {}
    ~Watchdog() {
        stop_ = true;
        thread_.join();
    }

private:
    void run() {
        while (!stop_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const qint64 since = since_.load();
            if (since != 0 && monotonic_ms() - since > limit_ms_.load()) {
                static const char msg[] = "\n*** soak: an action hangs; last actions:\n";
                ssize_t ignored = ::write(2, msg, sizeof msg - 1);
                (void)ignored;
                history_.dump(2);
                ::abort();
            }
        }
    }
    const History &history_;
    const std::atomic<qint64> &since_, &limit_ms_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// ---------------------------------------------------------------------------------
// Nesting of event pumps, read from the call stack every millisecond: how many
// Exchange::wait_sec, event-dispatcher passes and local event loops (message boxes)
// are active at once.

class PumpProbe {
public:
    int max_wait = 0;   // Exchange::wait_sec frames
    int max_pump = 0;   // event-dispatcher processEvents frames (any pump: waits, handlers' own)
    int max_loop = 0;   // QEventLoop::exec frames (message boxes, the test's idle loop)
    long max_stack = 0; // bytes of stack in use, measured from the test's own frame
    int max_frames = 0; // frames on the stack
    long samples = 0;
    bool names_found = false;            // the probe recognised wait_sec at least once
    std::function<void(qint64)> on_tick; // called with the ms since the last sample

    void start(const char *stack_base) {
        base_ = stack_base;
        timer_.setInterval(1);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { sample(); });
        clock_.start();
        timer_.start();
    }
    void stop() { timer_.stop(); }

    struct Depth {
        int wait = 0, pump = 0, loop = 0, frames = 0;
    };
    Depth now() {
        void *frames[1024];
        const int n = ::backtrace(frames, 1024);
        Depth d;
        d.frames = n;
        for (int i = 0; i < n; ++i) {
            switch (kind(frames[i])) {
            case 1: ++d.wait; break;
            case 2: ++d.pump; break;
            case 3: ++d.loop; break;
            default: break;
            }
        }
        return d;
    }
    // The symbols of the present stack, for a look at what the probe sees.
    static QStringList stack_names() {
        void *frames[256];
        const int n = ::backtrace(frames, 256);
        QStringList out;
        for (int i = 0; i < n; ++i) {
            Dl_info info{};
            out << ((::dladdr(frames[i], &info) && info.dli_sname)
                        ? QString::fromLatin1(info.dli_sname)
                        : QStringLiteral("?"));
        }
        return out;
    }

private:
    void sample() {
        ++samples;
        const char here = 0;
        max_stack = qMax(max_stack, long(base_ - &here));
        const Depth d = now();
        if (d.wait > 0) names_found = true;
        max_wait = qMax(max_wait, d.wait);
        max_pump = qMax(max_pump, d.pump);
        max_loop = qMax(max_loop, d.loop);
        max_frames = qMax(max_frames, d.frames);
        const qint64 t = clock_.restart();
        if (on_tick) on_tick(t);
    }
    int kind(void *addr) {
        const auto key = quintptr(addr);
        const auto it = kinds_.constFind(key);
        if (it != kinds_.constEnd()) return *it;
        int k = 0;
        Dl_info info{};
        if (::dladdr(addr, &info) && info.dli_sname) {
            const char *s = info.dli_sname;
            if (strcmp(s, "_ZN8Exchange8wait_secEf") == 0)
                k = 1;
            else if (strncmp(s, "_ZN20QEventDispatcherGlib13processEvents", 40) == 0 ||
                     strncmp(s, "_ZN18QEventDispatcherUNIX13processEvents", 40) == 0)
                k = 2;
            else if (strncmp(s, "_ZN10QEventLoop4exec", 20) == 0)
                k = 3;
        }
        kinds_.insert(key, k);
        return k;
    }
    const char *base_ = nullptr;
    QTimer timer_;
    QElapsedTimer clock_;
    QHash<quintptr, int> kinds_;
};
