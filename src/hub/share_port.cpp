#include "hub/share_port.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace {
// The device caps a line at 64 bytes; so does the port that stands in for it.
constexpr int LINE_CAP = 64;
} // namespace

SharePort::SharePort(QObject *parent) : QObject(parent) {
    connect(&server_, &QTcpServer::newConnection, this, &SharePort::accept);
}

bool SharePort::listen(const QString &address, quint16 port, QString *error) {
    address_ = address;
    port_ = port;
    if (server_.listen(QHostAddress(address), port)) {
        // Not before the device is there (set_open).
        server_.close();
        return true;
    }
    *error = QStringLiteral("cannot listen on %1:%2 (%3)")
                 .arg(address)
                 .arg(port)
                 .arg(server_.errorString());
    return false;
}

void SharePort::set_open(bool open) {
    open_ = open;
    if (address_.isEmpty()) return;
    if (open) {
        if (!server_.isListening() && !server_.listen(QHostAddress(address_), port_))
            qWarning("veldra-mqtt: cannot listen on %s:%u again (%s)", qPrintable(address_),
                     unsigned(port_), qPrintable(server_.errorString()));
        return;
    }
    // A client trying meanwhile is refused, as by a device that is off, rather than
    // accepted and dropped (which a panel would take for another program taking it).
    server_.close();
    const QList<QTcpSocket *> all = clients_.keys();
    for (QTcpSocket *c : all) c->abort();
}

void SharePort::accept() {
    while (QTcpSocket *c = server_.nextPendingConnection()) {
        if (!open_) {
            c->abort();
            c->deleteLater();
            continue;
        }
        clients_.insert(c, QByteArray());
        connect(c, &QTcpSocket::readyRead, this, [this, c] { read(c); });
        connect(c, &QTcpSocket::disconnected, this, [this, c] {
            clients_.remove(c);
            emit client_gone(c);
            c->deleteLater();
        });
    }
}

void SharePort::read(QTcpSocket *c) {
    auto it = clients_.find(c);
    if (it == clients_.end()) return;
    for (char b : c->readAll()) {
        if (b == '\n') continue; // as the device: LF is ignored, CR ends a line
        if (b != '\r') {
            if (it->size() < LINE_CAP) it->append(b);
            continue;
        }
        const QString text = QString::fromLatin1(*it);
        it->clear();
        if (!text.isEmpty()) emit line(c, text);
        // A handler may have closed the client.
        it = clients_.find(c);
        if (it == clients_.end()) return;
    }
}

void SharePort::send(QTcpSocket *client, const QByteArray &text) {
    if (!clients_.contains(client)) return;
    client->write(text);
    client->flush();
}

void SharePort::broadcast(const QByteArray &text, QTcpSocket *except) {
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
        if (it.key() == except) continue;
        it.key()->write(text);
        it.key()->flush();
    }
}
