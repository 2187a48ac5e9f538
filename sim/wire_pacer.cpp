#include "wire_pacer.h"

#include "links.h"
#include "traffic_log.h"

#include <algorithm>
#include <cerrno>
#include <sys/prctl.h>
#include <time.h>

namespace veldra {

namespace {
// A gap longer than this between bytes is left to the event loop; shorter ones
// (the bytes of one text) are slept through, since a timer cannot time 87 µs.
constexpr qint64 kSleepLimitNs = 2'000'000;

void sleepUntil(qint64 ns) {
    timespec ts{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}
} // namespace

qint64 WirePacer::nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

WirePacer::WirePacer(Link *link, const LinePace &pace, QObject *parent)
    : QObject(parent), m_link(link), m_byteNs(10'000'000'000LL / std::max(1, pace.baud)),
      m_periodNs(qint64(pace.usbLatencyMs) * 1'000'000) {
    // The default 50 µs timer slack is more than half a character time.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WirePacer::deliver);
}

void WirePacer::write(const QByteArray &bytes) {
    const qint64 now = nowNs();
    for (char b : bytes) {
        m_lineFree = std::max(now, m_lineFree) + m_byteNs;
        m_queue.emplace_back(m_lineFree, b);
    }
    if (m_periodNs > 0) {
        if (!m_timer.isActive()) deliver();
    } else {
        deliver();
    }
}

void WirePacer::closeLink() {
    m_closePending = true;
    if (m_queue.empty() && m_link) m_link->closeLink();
}

void WirePacer::deliver() {
    for (;;) {
        const qint64 now = nowNs();
        QByteArray chunk;
        while (!m_queue.empty() && m_queue.front().first <= now) {
            chunk += m_queue.front().second;
            m_queue.pop_front();
        }
        if (!chunk.isEmpty() && m_link) {
            logTraffic(m_link->name(), ">", chunk);
            m_link->write(chunk);
        }
        if (m_queue.empty()) {
            if (m_closePending && m_link) m_link->closeLink();
            return;
        }
        if (m_periodNs > 0) {
            // The adapter's timer runs freely; its next expiry hands over what is through.
            const qint64 next = (now / m_periodNs + 1) * m_periodNs;
            m_timer.start(int((next - now + 999'999) / 1'000'000));
            return;
        }
        const qint64 due = m_queue.front().first;
        if (due - now > kSleepLimitNs) {
            m_timer.start(int((due - now) / 1'000'000));
            return;
        }
        sleepUntil(due);
    }
}

} // namespace veldra
