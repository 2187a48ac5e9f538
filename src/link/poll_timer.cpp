#include "link/poll_timer.h"

#include <chrono>

static qint64 now_us() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

qint64 burst_wait_us(qint64 now_us, qint64 first_us, qint64 last_us, qint64 waiting,
                     bool short_of_answer) {
    if (waiting >= BURST_MAX_CHARS) return 0;
    const qint64 to_bound = first_us + BURST_BOUND_US - now_us;
    if (to_bound <= 0) return 0;
    if (short_of_answer) return to_bound;
    return qBound<qint64>(0, last_us + BURST_GAP_US - now_us, to_bound);
}

PollTimer::PollTimer(std::function<qint64()> waiting_bytes, QObject *parent,
                     std::function<bool(qint64)> more_within,
                     std::function<bool(qint64)> short_of_answer)
    : QObject(parent), waiting_bytes_(std::move(waiting_bytes)),
      more_within_(std::move(more_within)), short_of_answer_(std::move(short_of_answer)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PollTimer::tick);
}

void PollTimer::start() {
    enabled_ = true;
    if (!timer_.isActive() && waiting_bytes_() > 0) timer_.start(1);
}

void PollTimer::stop() {
    enabled_ = false;
    timer_.stop();
}

void PollTimer::data_arrived() {
    last_us_ = now_us();
    if (first_us_ < 0) first_us_ = last_us_;
    if (enabled_) timer_.start(0);
}

void PollTimer::tick() {
    if (!enabled_) return;
    const qint64 waiting = waiting_bytes_();
    if (waiting > 0) {
        if (first_us_ < 0) first_us_ = last_us_ = now_us();
        for (;;) {
            const bool short_now = short_of_answer_ && short_of_answer_(waiting);
            const qint64 wait = burst_wait_us(now_us(), first_us_, last_us_, waiting, short_now);
            if (wait <= 0 || !more_within_) break;
            if (wait >= 1000) {
                // Held for the rest of an answer: new bytes (data_arrived) or the bound wake us.
                timer_.start(static_cast<int>((wait + 999) / 1000));
                return;
            }
            // Too short for a timer: sleep on the port itself, woken by the next byte.
            if (more_within_(wait)) {
                last_us_ = now_us();
                timer_.start(1); // the read notifier's data_arrived comes first
                return;
            }
        }
    }
    // Bytes that come while the tick is handled start the next burst.
    first_us_ = -1;
    emit timeout();
    if (waiting_bytes_() == 0) first_us_ = -1;
    // Bytes still waiting are polled again a millisecond later, as by a 1 ms timer.
    if (enabled_ && !timer_.isActive() && waiting_bytes_() > 0) timer_.start(1);
}
