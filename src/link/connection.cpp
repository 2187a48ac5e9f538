#include "link/connection.h"

#include "link/reconnect.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"

Connection::Connection(const QString &program_folder, QObject *parent)
    : QObject(parent), MSComm1(new SerialPort(program_folder, this)),
      wsk_client(new TcpClient(this)), reconnect(new Reconnect(*this, this)) {}

Connection::~Connection() = default;

DeviceLink &Connection::selected() const {
    if (other_link_) return *other_link_;
    if (link_type_ == LinkType::Rs232) return *MSComm1;
    return *wsk_client;
}

bool Connection::selected_link_up() const {
    return link_type_ == LinkType::Rs232 ? serial_open_ : eth_connected_;
}

bool Connection::reconnecting() const { return reconnect->retrying(); }
