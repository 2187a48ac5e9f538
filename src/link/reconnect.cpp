#include "link/reconnect.h"

#include <QFileInfo>
#include <QTimer>

#include "link/connection.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"

Reconnect::Reconnect(Connection &link, QObject *parent)
    : QObject(parent), link_(link), timer_(new QTimer(this)) {
    clock_.start();
    connect(timer_, &QTimer::timeout, this, &Reconnect::attempt);
    connect(link_.wsk_client(), &TcpClient::connected, this, &Reconnect::tcp_connected);
}

Reconnect::Loss Reconnect::lost() {
    stop();
    const bool tcp = link_.link_type() == LinkType::Ethernet;
    Loss loss = Loss::Retrying;
    if (tcp) {
        // Only a connection the device had answered on can have been taken by another
        // client; a server that closes before that has no device behind it (yet).
        const bool answered = link_.wsk_client()->device_heard();
        if (!answered) {
            loss = Loss::NoDevice;
        } else {
            const qint64 now = clock_.elapsed();
            tcp_losses_.append(now);
            while (!tcp_losses_.isEmpty() && now - tcp_losses_.first() > TAKEN_WINDOW_MS)
                tcp_losses_.removeFirst();
            if (tcp_losses_.size() >= TAKEN_LOSSES) loss = Loss::Taken;
        }
    }
    link_.drop_selected();
    if (loss == Loss::Taken) {
        tcp_losses_.clear();
        return loss;
    }
    retrying_ = true;
    timer_->start(tcp ? TCP_RETRY_MS : SERIAL_POLL_MS);
    return loss;
}

void Reconnect::stop() {
    retrying_ = false;
    timer_->stop();
}

void Reconnect::attempt() {
    if (!retrying_) return;
    if (link_.link_type() == LinkType::Ethernet) {
        // A pending attempt that got nowhere in 2 s is started afresh.
        link_.wsk_client()->connect_to_host();
        return;
    }
    const QString device = link_.MSComm1()->opened_device();
    // A re-plugged adapter's node (or a restarted simulator's link) appears first; only
    // then is an open worth trying, and it may still fail while its permissions are set.
    if (device.isEmpty() || !QFileInfo::exists(device)) return;
    if (!link_.MSComm1()->open_device(device, nullptr)) return;
    link_.MSComm1()->discard_input();
    link_.MSComm1()->discard_output();
    link_.set_serial_open(true);
    stop();
    emit restored();
}

void Reconnect::tcp_connected() {
    if (!retrying_ || link_.link_type() != LinkType::Ethernet) return;
    link_.set_eth_connected(true);
    stop();
    emit restored();
}
