// Output at the pace of a real serial line, optionally behind a USB adapter.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <utility>

namespace veldra {

class Link;

struct LinePace {
    int baud = 0;         // 0: no pacing, bytes leave as soon as they are written
    int usbLatencyMs = 0; // 0: bytes are handed over as they cross the wire
};

// Each byte leaves 10/baud s after the one before it (8N1), on a schedule kept
// against the monotonic clock, so a late wake-up never delays the bytes after it.
// With a USB latency the bytes that have crossed the wire are handed over together
// every period, the way a USB serial adapter's latency timer does; a text may then
// straddle two chunks.
class WirePacer : public QObject {
public:
    WirePacer(Link *link, const LinePace &pace, QObject *parent);

    void write(const QByteArray &bytes);
    // Ends the link once everything queued has been handed over.
    void closeLink();

    // Monotonic time in nanoseconds.
    static qint64 nowNs();

private:
    void deliver();

    QPointer<Link> m_link;
    qint64 m_byteNs;
    qint64 m_periodNs;
    qint64 m_lineFree = 0;
    std::deque<std::pair<qint64, char>> m_queue; // (time the byte is through, byte)
    QTimer m_timer;
    bool m_closePending = false;
};

} // namespace veldra
