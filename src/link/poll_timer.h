#pragma once
// The serial reception poll. It behaves as a 1 ms timer that is switched on and off
// by the reception and the exchange, but it only wakes while received bytes are
// waiting (or at once when some arrive), so an idle panel costs no processor time.
// Bytes only become visible to the program when the port's read notifier runs,
// which is also when `data_arrived` is called, so no tick that would have found
// something is ever missed.
//
// On a real line a reply trickles in a byte at a time, so a tick hands over what
// is waiting only once the burst is complete: nothing new for BURST_GAP_US, or the
// bound BURST_BOUND_US / BURST_MAX_CHARS reached for a device that never pauses.

#include <QObject>
#include <QTimer>
#include <functional>

// A pause of four character times at 115200 baud (86.8 us each) ends a burst. A UART
// sends a text back to back, so a longer pause means the sender has stopped; four leave
// room for an adapter's or the system's scheduling jitter. Reply plus pause (0.6 + 0.35
// ms, and on a real line the command's own 0.6 ms) stays inside the exchange's first
// 2 ms wait step, so an exchange costs no extra step. A network answer split wider than
// that is held anyway (short_of_answer).
constexpr qint64 BURST_GAP_US = 350;
// Past this since the first byte of a burst, what is waiting is examined anyway.
constexpr qint64 BURST_BOUND_US = 20000;
constexpr qint64 BURST_MAX_CHARS = 64;

// Microseconds still to wait before the bytes waiting may be examined (0: now).
// `first_us`/`last_us`: when the burst's first and latest bytes were seen;
// `short_of_answer`: an awaited answer is longer than what has arrived so far,
// so the burst is held until the bound (a USB adapter may hand a text over in
// two chunks a latency period apart).
qint64 burst_wait_us(qint64 now_us, qint64 first_us, qint64 last_us, qint64 waiting,
                     bool short_of_answer);

class PollTimer : public QObject {
    Q_OBJECT
public:
    // `more_within(us)`: blocks up to `us` microseconds and tells whether new bytes
    // came meanwhile; `short_of_answer(waiting)`: see burst_wait_us. Either may be empty.
    PollTimer(std::function<qint64()> waiting_bytes, QObject *parent,
              std::function<bool(qint64)> more_within = {},
              std::function<bool(qint64)> short_of_answer = {});
    void start();
    void stop();
    bool isActive() const { return enabled_; }
    int interval() const { return 1; }
    // Connected to the port's notice that new bytes were read.
    void data_arrived();

signals:
    void timeout();

private:
    void tick();
    std::function<qint64()> waiting_bytes_;
    std::function<bool(qint64)> more_within_;
    std::function<bool(qint64)> short_of_answer_;
    QTimer timer_;
    bool enabled_ = false;
    qint64 first_us_ = -1; // -1: no burst pending
    qint64 last_us_ = -1;
};
