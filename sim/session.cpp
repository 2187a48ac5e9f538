#include "session.h"

#include "links.h"
#include "traffic_log.h"

#include <algorithm>

namespace veldra {

Session::Session(Link *link, bool split, QObject *parent, const LinePace &pace)
    : QObject(parent), m_link(link), m_split(split) {
    if (pace.baud > 0) m_pacer = new WirePacer(link, pace, this);
    m_clock.start();
    m_pumpTimer.setSingleShot(true);
    m_pumpTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pumpTimer, &QTimer::timeout, this, &Session::pump);
    m_idleTimer.setSingleShot(true);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] {
        send({QByteArray("EXT000\r"), QByteArray("EXT000"), 0, 0});
    });
    connect(link, &Link::received, this, &Session::onReceived);
    connect(link, &Link::closed, this, [this] {
        m_closing = true;
        m_pumpTimer.stop();
        m_idleTimer.stop();
        m_queue.clear();
        emit finished(this);
    });
}

Session::~Session() {
    // The link may outlive us by a moment (it is a child); it must not call back.
    if (m_link) disconnect(m_link, nullptr, this, nullptr);
}

void Session::setIdleLimit(int ms) {
    m_idleTimer.setInterval(ms);
    m_idleTimer.start();
}

void Session::onReceived(const QByteArray &bytes) {
    // A device that is rebooting or saying goodbye takes no more commands.
    logTraffic(m_link->name(), "<", bytes);
    if (m_closing) return;
    for (const QByteArray &line : m_framer.feed(bytes)) {
        if (m_idleTimer.interval() > 0 && m_idleTimer.isActive()) m_idleTimer.start();
        emit lineReceived(this, line);
        if (m_closing) return;
    }
}

void Session::send(const Outgoing &out) {
    if (m_closing) return;
    Entry e;
    e.out = out;
    // Never before anything queued earlier: delays keep the order.
    e.due = std::max(m_clock.elapsed() + std::max(0, out.delayMs), m_lastDue);
    m_lastDue = e.due;
    if (out.closeAfterMs >= 0) {
        // The device is going away: nothing after this is sent.
        m_closing = true;
        m_idleTimer.stop();
    }
    m_queue.push_back(e);
    if (m_queue.size() == 1) pump();
}

void Session::pump() {
    if (!m_link) {
        m_queue.clear();
        return;
    }
    while (!m_queue.empty()) {
        Entry &e = m_queue.front();
        const qint64 now = m_clock.elapsed();
        if (e.due > now) {
            m_pumpTimer.start(int(e.due - now));
            return;
        }
        const QByteArray &bytes = e.out.bytes;
        const int left = int(bytes.size()) - e.pos;
        const int chunk = m_split ? qMin(1, left) : left;
        if (e.pos + chunk >= bytes.size() && !bytes.isEmpty()) {
            // Recorded before the last byte leaves, so whoever has seen the
            // whole reply on the link finds it in the replies file too.
            emit sent(this, e.out.logText);
        }
        if (chunk > 0) {
            const QByteArray piece = bytes.mid(e.pos, chunk);
            transmit(piece);
            e.pos += chunk;
        }
        if (e.pos < bytes.size()) {
            e.due = now + 1;
            m_pumpTimer.start(1);
            return;
        }
        const int closeAfter = e.out.closeAfterMs;
        m_queue.pop_front();
        if (closeAfter >= 0) {
            m_queue.clear();
            scheduleClose(closeAfter);
            return;
        }
    }
}

void Session::scheduleClose(int ms) {
    QTimer::singleShot(ms, this, [this] {
        if (m_pacer)
            m_pacer->closeLink();
        else if (m_link)
            m_link->closeLink();
    });
}

void Session::transmit(const QByteArray &bytes) {
    // Logged as it leaves: a paced text goes out piece by piece later.
    if (m_pacer) {
        m_pacer->write(bytes);
    } else {
        logTraffic(m_link->name(), ">", bytes);
        m_link->write(bytes);
    }
}

} // namespace veldra
