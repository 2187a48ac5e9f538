// Collecting replies from either link, cutting them out and dispatching them.

#include <QCoreApplication>

#include "link/connection.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"
#include "protocol/command.h"
#include "protocol/exchange.h"
#include "protocol/poll_timer.h"

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
    rx_buffer_.truncate(6);
    last_reply_ = rx_buffer_;
    reply_ok_ = true;
    if (busy_) return true;
    if (!dispatch_reply(rx_buffer_, tcp) && !rx_buffer_.startsWith(QLatin1String("ERR")))
        reply_ok_ = false;
    return false;
}

void Exchange::tim_rx_Timer() {
    if (link_.MSComm1->in_buffer_count() == 0) return;
    tim_rx_->stop();
    QCoreApplication::processEvents();
    serial_received(link_.MSComm1->read_all());
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

    if (rx_count_ <= 6) {
        tim_rx_->start();
        QCoreApplication::processEvents();
        return;
    }

    if (link_.net_query_step() && rx_count_ == 16) {
        log_entry(rx_buffer_);
        link_.set_net_query_step(3);
        busy_ = false;
        tim_rx_->start();
        QCoreApplication::processEvents();
        return;
    }

    if (accept_collected(false)) return; // send_cmd dispatches and re-enables the poll

    rx_count_ = 0;
    rx_buffer_.clear();
    busy_ = false;
    tim_rx_->start();
    QCoreApplication::processEvents();
}

void Exchange::wsk_client_DataArrival() { tcp_received(link_.wsk_client->get_data()); }

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
