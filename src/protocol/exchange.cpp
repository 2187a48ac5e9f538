// Sending commands, waiting for replies, the timed wait and the command log.

#include "protocol/exchange.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "link/connection.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"
#include "protocol/command.h"
#include "protocol/poll_timer.h"

qint64 clock_ms() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

Exchange::Exchange(Connection &link, ExchangeHost &host, QObject *parent)
    : QObject(parent), link_(link), host_(host),
      tim_rx_(
          new PollTimer([this] { return link_.MSComm1->in_buffer_count(); }, this,
                        [this](qint64 usec) { return link_.MSComm1->more_within(usec); },
                        // A network answer is awaited: its 16 characters may come in two chunks.
                        [this](qint64 waiting) {
                            const std::optional<int> step = link_.net_query_step();
                            return step && *step <= 2 && rx_count_ + waiting < 16;
                        })) {
    tim_rx_->setObjectName(QStringLiteral("tim_rx"));
    connect(link_.MSComm1, &SerialPort::data_arrived, tim_rx_, &PollTimer::data_arrived);
    connect(tim_rx_, &PollTimer::timeout, this, &Exchange::tim_rx_Timer);
    connect(link_.wsk_client, &TcpClient::data_arrival, this, &Exchange::wsk_client_DataArrival);
    // A device server's banner goes to the log as received text; it is never a reply.
    connect(link_.wsk_client, &TcpClient::greeting, this,
            [this](const QString &text) { log_entry(text.simplified()); });
}

Exchange::~Exchange() = default;

void Exchange::set_handler(Mnemonic mnemonic, Handler handler) {
    table_[static_cast<int>(mnemonic)] = std::move(handler);
}

void Exchange::reset_reception() {
    busy_ = false;
    rx_count_ = 0;
    rx_buffer_.clear();
    reply_ok_ = false;
}

void Exchange::reset_start_state() {
    busy_ = reply_ok_ = false;
    rx_count_ = 0;
    rx_buffer_.clear();
    log_count_ = 0;
    waiting_ = false;
    silent_count_ = 0;
    silent_told_ = false;
}

void Exchange::clear_log() {
    host_.clear_log();
    log_count_ = 0;
}

void Exchange::log_entry(const QString &text) {
    if (log_count_ > 30) clear_log();
    host_.append_log(text + QLatin1Char(' '));
    ++log_count_;
}

void Exchange::wait_sec(float seconds) {
    waiting_ = true;
    const qint64 start = clock_ms();
    // Wakes the event wait at the deadline, so the loop sleeps instead of spinning.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        const qint64 now = clock_ms();
        const float elapsed = static_cast<float>(static_cast<double>(now - start) / 1000.0);
        if (elapsed > seconds || stopping_) break;
        // The first whole millisecond at which the strict comparison can hold.
        const qint64 due = static_cast<qint64>(static_cast<double>(seconds) * 1000.0) + 1;
        const qint64 remaining = qMax<qint64>(0, due - (now - start));
        wake.start(static_cast<int>(qMin<qint64>(remaining, 60000)));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    waiting_ = false;
}

bool Exchange::link_ready() const { return link_.selected_link_up(); }

// Refuses a send on a link that is down; true when the link may be used.
bool Exchange::link_up(const QString &cmd) {
    if (!link_.selected_link_up() && link_.reconnecting()) {
        // The loss was told once; the link comes back by itself.
        log_entry(QStringLiteral("[reconnecting: %1 not sent]").arg(cmd));
        return false;
    }
    if (link_.selected_link_up()) return true;
    host_.show_message(link_.selected().down_message(), ExchangeHost::Icon::Critical);
    return false;
}

void Exchange::send_cmd(const QString &cmd) {
    reply_ok_ = false;
    if (stopping_ || !link_up(cmd)) return;
    if (busy_) return;

    log_entry(cmd);
    rx_count_ = 0;
    rx_buffer_.clear();
    reply_ok_ = false;
    busy_ = true;
    const unsigned heard_before = heard_count_;

    link_.selected().write_command(cmd);
    int limit = link_.selected().reply_steps(cmd);
    if (link_.selected().ends_link(cmd)) {
        wait_sec(1.0f);
        if (!stopping_) host_.device_rebooting();
        limit = 0;
    }

    for (int i = 0; i <= limit && !reply_ok_; ++i) wait_sec(0.001f);
    finish_exchange(cmd);
    // A link lost meanwhile says so itself; a device that sent anything is alive; a
    // stopped exchange waited for nothing.
    if (!reply_ok_ && !stopping_ && heard_count_ == heard_before && link_.selected_link_up())
        note_no_reply(cmd);
}

void Exchange::note_no_reply(const QString &cmd) {
    log_entry(QStringLiteral("[no reply to %1]").arg(cmd));
    if (++silent_count_ < SILENT_LIMIT || silent_told_) return;
    silent_told_ = true;
    host_.device_not_answering();
}

void Exchange::heard() {
    ++heard_count_;
    silent_count_ = 0;
    silent_told_ = false;
}

void Exchange::finish_exchange(const QString &cmd) {
    reply_ok_ = true;
    last_reply_ = rx_buffer_;
    const QString mnemonic = rx_buffer_.left(3);
    if (mnemonic == QLatin1String("ERR")) {
        // answered: the device refused the command
    } else if (mnemonic != cmd.left(3)) {
        reply_ok_ = false;
    } else {
        dispatch_reply(rx_buffer_);
    }

    rx_count_ = 0;
    rx_buffer_.clear();
    busy_ = false;
    if (link_.selected().polled()) {
        tim_rx_->start();
        QCoreApplication::processEvents();
    }
}

void Exchange::send_cmd_nowait(const QString &cmd) {
    if (stopping_ || !link_up(cmd)) return;
    if (busy_) return;
    busy_ = true;
    rx_count_ = 0;
    rx_buffer_.clear();
    link_.selected().write_command(cmd);
    if (link_.selected().polled()) tim_rx_->start();
    QCoreApplication::processEvents();
    busy_ = false;
    // A click run by the event pass above may have collected a reply that a receiver
    // left for a waiting send_cmd (it saw `busy`); no send_cmd is left to take it.
    if (rx_count_ >= REPLY_MIN_CHARS && rx_buffer_.size() == 6 && reply_digits_ok(rx_buffer_)) {
        dispatch_reply(rx_buffer_, link_.selected().carries_ext());
        rx_count_ = 0;
        rx_buffer_.clear();
    }
    if (link_.selected().polled() && !tim_rx_->isActive()) tim_rx_->start();
}
