// Collecting replies from either link, cutting them out and dispatching them.

#include <QCoreApplication>

#include "link/connection.h"
#include "link/device_link.h"
#include "protocol/command.h"
#include "protocol/exchange.h"

bool Exchange::dispatch_reply(const QString &text, bool include_ext) {
    const std::optional<Reply> reply = parse_reply(text);
    if (!reply || (reply->mnemonic == Mnemonic::EXT && !include_ext)) return false;
    const Handler &handler = table_[static_cast<int>(reply->mnemonic)];
    if (!handler) return false;
    ++dispatch_count_;
    last_dispatch_ = mnemonic_text(reply->mnemonic);
    handler(*reply);
    return true;
}

// Shared by both receivers once 7 or more characters are collected: log, test the
// digits, and either leave the reply to a waiting send_cmd or dispatch it here.
// Returns true when the reply was left to send_cmd.
bool Exchange::accept_collected(bool tcp) {
    log_entry(rx_buffer_);
    if (!reply_digits_ok(rx_buffer_)) {
        reply_ok_ = false;
        return false;
    }
    if (busy_ && take_announcement(tcp)) return true;
    // A client that follows the device takes every whole reply of a piece (two front-panel
    // changes can come together); the panel's rule keeps the first only.
    QString rest;
    if (apply_announcements_ && !busy_) {
        const int end = rx_buffer_.indexOf(QLatin1Char('\r'));
        if (end >= 0) rest = rx_buffer_.mid(end + 1);
    }
    rx_buffer_.truncate(6);
    last_reply_ = rx_buffer_;
    reply_ok_ = true;
    if (busy_) return true;
    if (!dispatch_reply(rx_buffer_, ext_ends_link(tcp)) &&
        !rx_buffer_.startsWith(QLatin1String("ERR")))
        reply_ok_ = false;
    if (rest.size() >= REPLY_MIN_CHARS && link_.selected_link_up()) {
        rx_buffer_ = rest;
        rx_count_ = static_cast<int>(rest.size());
        return accept_collected(tcp);
    }
    return false;
}

// A reply of another kind while a client that applies announcements waits: applied,
// and the wait goes on with whatever came after it. False when it is the exchange's.
bool Exchange::take_announcement(bool tcp) {
    if (!apply_announcements_ || awaited_.isEmpty()) return false;
    const QString letters = rx_buffer_.left(3);
    if (letters == awaited_.left(3) || letters == QLatin1String("ERR")) return false;
    const int end = rx_buffer_.indexOf(QLatin1Char('\r'));
    const QString rest = end < 0 ? QString() : rx_buffer_.mid(end + 1);
    announced_ = rx_buffer_.left(6);
    announcing_ = true;
    dispatch_reply(rx_buffer_.left(6), ext_ends_link(tcp));
    announcing_ = false;
    rx_buffer_ = rest;
    rx_count_ = static_cast<int>(rest.size());
    reply_ok_ = false;
    if (rx_count_ >= REPLY_MIN_CHARS) {
        if (accept_collected(tcp)) return true;
        rx_count_ = 0;
        rx_buffer_.clear();
    }
    if (!tcp) reception_on();
    return true;
}

void Exchange::serial_received(const QByteArray &bytes) {
    if (!bytes.isEmpty()) heard();
    for (char b : bytes) {
        ++rx_count_;
        rx_buffer_.append(QChar::fromLatin1(b));
        // Only the first characters of a collection are ever used, so a device that
        // floods never grows the buffer (or a log entry) past this.
        if (rx_buffer_.size() >= RX_KEEP) break;
    }

    expect_network_answer();
    if (rx_count_ <= 6) {
        reception_on();
        QCoreApplication::processEvents();
        return;
    }

    if (link_.net_query_step() && rx_count_ == 16) {
        log_entry(rx_buffer_);
        link_.set_net_query_step(3);
        link_.selected().expect_chars(0);
        busy_ = false;
        reception_on();
        QCoreApplication::processEvents();
        return;
    }

    if (accept_collected(false)) return; // send_cmd dispatches and re-enables the poll

    rx_count_ = 0;
    rx_buffer_.clear();
    busy_ = false;
    reception_on();
    QCoreApplication::processEvents();
}

void Exchange::tcp_received(const QString &data) {
    if (!data.isEmpty()) heard();
    rx_count_ = static_cast<int>(qMin<qint64>(qint64(rx_count_) + data.size(), 30000));
    if (rx_buffer_.size() < RX_KEEP) rx_buffer_.append(data.left(RX_KEEP - rx_buffer_.size()));
    if (rx_count_ < 7) return;
    if (accept_collected(true)) return;
    rx_count_ = 0;
    rx_buffer_.clear();
    busy_ = false;
}
