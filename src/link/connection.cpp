#include "link/connection.h"

#include "link/reconnect.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"

Connection::Connection(const QString &program_folder, QObject *parent)
    : QObject(parent), MSComm1_(new SerialPort(program_folder, this)),
      wsk_client_(new TcpClient(this)), reconnect_(new Reconnect(*this, this)) {
    follow(MSComm1_);
    follow(wsk_client_);
}

Connection::~Connection() = default;

void Connection::follow(DeviceLink *link) {
    connect(link, &DeviceLink::received, this, [this, link](const QByteArray &bytes) {
        if (&selected() == link) emit received(bytes);
    });
    connect(link, &DeviceLink::lost, this, [this, link](const QString &why) {
        if (&selected() == link) emit lost(why);
    });
    connect(link, &DeviceLink::greeting, this, [this, link](const QString &text) {
        if (&selected() == link) emit greeting(text);
    });
}

void Connection::use_link(DeviceLink *link) {
    if (other_link_) disconnect(other_link_, nullptr, this, nullptr);
    other_link_ = link;
    if (link) follow(link);
}

DeviceLink &Connection::selected() const {
    if (other_link_) return *other_link_;
    if (link_type_ == LinkType::Rs232) return *MSComm1_;
    return *wsk_client_;
}

bool Connection::selected_link_up() const {
    return link_type_ == LinkType::Rs232 ? serial_open_ : eth_connected_;
}

bool Connection::reconnecting() const { return reconnect_->retrying(); }

void Connection::drop_selected() {
    if (link_type_ == LinkType::Ethernet) {
        wsk_client_->close();
        eth_connected_ = false;
    } else {
        MSComm1_->close();
        serial_open_ = false;
    }
}
