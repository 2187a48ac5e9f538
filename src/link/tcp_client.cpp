#include "link/tcp_client.h"

#include <QTcpSocket>

// Data read per arrival event; the rest stays queued for the next event, so a
// device that floods is drained in bounded pieces.
static constexpr qint64 READ_CHUNK = 64 * 1024;

TcpClient::TcpClient(QObject *parent) : QObject(parent), sock_(new QTcpSocket(this)) {
    sock_->setReadBufferSize(READ_CHUNK * 4);
    connect(sock_, &QTcpSocket::connected, this, &TcpClient::connected);
    connect(sock_, &QTcpSocket::readyRead, this, &TcpClient::data_arrival);
}

void TcpClient::set_remote(const QString &host, quint16 port) {
    host_ = host;
    port_ = port;
}

bool TcpClient::connect_to_host() {
    if (host_.isEmpty()) return false;
    sock_->abort();
    sock_->connectToHost(host_, port_);
    return true;
}

void TcpClient::close() { sock_->abort(); }

bool TcpClient::is_connected() const { return sock_->state() == QAbstractSocket::ConnectedState; }
bool TcpClient::is_closed() const { return sock_->state() == QAbstractSocket::UnconnectedState; }

void TcpClient::send_text(const QString &text) {
    if (!is_connected()) return;
    sock_->write(text.toLatin1());
    sock_->flush();
}

QString TcpClient::get_data() {
    const QByteArray d = sock_->read(READ_CHUNK);
    if (sock_->bytesAvailable() > 0) {
        // Let the rest arrive as a further event instead of one unbounded read.
        QMetaObject::invokeMethod(this, &TcpClient::data_arrival, Qt::QueuedConnection);
    }
    return QString::fromLatin1(d);
}

qint64 TcpClient::bytes_available() const { return sock_->bytesAvailable(); }

QString TcpClient::error_string() const { return sock_->errorString(); }
