// Sending commands, waiting for replies, the timed wait and the command log.

#include "protocol/exchange.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "link/connection.h"
#include "link/device_link.h"
#include "protocol/command.h"

qint64 clock_ms() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

bool reboots_device(const QString &cmd) {
    return cmd == QLatin1String("RST001") || cmd == QLatin1String("PWR001");
}

Exchange::Exchange(Connection &link, ExchangeHost &host, QObject *parent)
    : QObject(parent), link_(link), host_(host) {
    connect(&link_, &Connection::received, this, &Exchange::on_received);
    // A wait for a reply ends with the link; what the reply had become by then is no reply.
    connect(&link_, &Connection::lost, this, [this](const QString &why) {
        lost_ = true;
        lost_reason_ = why;
    });
    // A device server's banner goes to the log as received text; it is never a reply.
    connect(&link_, &Connection::greeting, this,
            [this](const QString &text) { log_entry(text.simplified()); });
}

void Exchange::on_received(const QByteArray &bytes) {
    if (link_.selected().network())
        tcp_received(QString::fromLatin1(bytes));
    else
        serial_received(bytes);
}

void Exchange::reception_on() { link_.selected().set_reception(true); }

// A network answer's 16 characters may come in two chunks.
void Exchange::expect_network_answer() {
    const std::optional<int> step = link_.net_query_step();
    link_.selected().expect_chars(step && *step <= 2 ? qMax(0, 16 - rx_count_) : 0);
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

Outcome Exchange::send_cmd(const QString &cmd) {
    reply_ok_ = false;
    if (stopping_ || !link_up(cmd)) return Outcome::LinkDown;
    if (busy_) return Outcome::Busy;

    log_entry(cmd);
    rx_count_ = 0;
    rx_buffer_.clear();
    reply_ok_ = false;
    busy_ = true;
    lost_ = false;
    lost_reason_.clear();
    announced_.clear();
    awaited_ = cmd;
    const unsigned heard_before = heard_count_;

    link_.selected().write_command(cmd);
    int limit = link_.selected().reply_steps(cmd);
    if (link_.selected().network() && reboots_device(cmd)) {
        wait_sec(1.0f);
        if (!stopping_) host_.device_rebooting();
        limit = 0;
    }

    for (int i = 0; i <= limit && !reply_ok_ && !lost_; ++i) wait_sec(0.001f);
    awaited_.clear();
    if (lost_ && !reply_ok_) {
        // Text cut off by the loss is no reply, whatever it began with.
        log_entry(QStringLiteral("[link lost: %1]").arg(lost_reason_));
        last_reply_ = rx_buffer_;
        reset_reception();
        reception_on();
        return Outcome::LinkDown;
    }
    finish_exchange(cmd);
    // A link lost meanwhile says so itself; a device that sent anything is alive; a
    // stopped exchange waited for nothing.
    if (!reply_ok_ && !stopping_ && heard_count_ == heard_before && link_.selected_link_up())
        note_no_reply(cmd);
    // Only another kind came (applied as an announcement): a wrong reply, named.
    if (last_reply_.isEmpty() && !announced_.isEmpty()) last_reply_ = announced_;
    const QString &r = last_reply_;
    const bool whole = r.size() == 6 && reply_digits_ok(r);
    if (r.startsWith(QLatin1String("ERR"))) return whole ? Outcome::Refused : Outcome::NoReply;
    if (r.left(3) == cmd.left(3)) return reply_ok_ && whole ? Outcome::Answered : Outcome::NoReply;
    return r.isEmpty() ? Outcome::NoReply : Outcome::Wrong;
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
    if (!link_.selected().network()) {
        reception_on();
        QCoreApplication::processEvents();
    }
}

void Exchange::send_cmd_nowait(const QString &cmd) {
    if (stopping_ || !link_up(cmd)) return;
    if (busy_) return;
    busy_ = true;
    rx_count_ = 0;
    rx_buffer_.clear();
    expect_network_answer();
    link_.selected().write_command(cmd);
    reception_on();
    QCoreApplication::processEvents();
    busy_ = false;
    // A click run by the event pass above may have collected a reply that a receiver
    // left for a waiting send_cmd (it saw `busy`); no send_cmd is left to take it.
    if (rx_count_ >= REPLY_MIN_CHARS && rx_buffer_.size() == 6 && reply_digits_ok(rx_buffer_)) {
        dispatch_reply(rx_buffer_, ext_ends_link(link_.selected().network()));
        rx_count_ = 0;
        rx_buffer_.clear();
    }
    reception_on();
}
