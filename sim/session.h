// One connected link: cuts its input into lines and sends its output in
// order, each piece at its due time (replies may be delayed, never reordered).
#pragma once

#include "line_framer.h"
#include "wire_pacer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>

namespace veldra {

class Link;

struct Outgoing {
    QByteArray bytes;   // may be empty: a dropped reply that still closes
    QByteArray logText; // what the replies file records
    int delayMs = 0;
    int closeAfterMs = -1; // >= 0: end the link this long after the bytes left
};

class Session : public QObject {
    Q_OBJECT
public:
    Session(Link *link, bool split, QObject *parent, const LinePace &pace = {});
    ~Session() override;

    Link *link() const { return m_link; }
    void send(const Outgoing &out);

    // TCP only: after `ms` without a command, send EXT000 and close.
    void setIdleLimit(int ms);

signals:
    void lineReceived(veldra::Session *session, const QByteArray &line);
    void sent(veldra::Session *session, const QByteArray &logText);
    void finished(veldra::Session *session);

private:
    struct Entry {
        Outgoing out;
        qint64 due = 0;
        int pos = 0;
    };
    void onReceived(const QByteArray &bytes);
    void pump();
    void scheduleClose(int ms);
    void transmit(const QByteArray &bytes);

    QPointer<Link> m_link;
    bool m_split;
    bool m_closing = false;
    LineFramer m_framer;
    std::deque<Entry> m_queue;
    qint64 m_lastDue = 0;
    QElapsedTimer m_clock;
    QTimer m_pumpTimer;
    QTimer m_idleTimer;
    WirePacer *m_pacer = nullptr;
};

} // namespace veldra
