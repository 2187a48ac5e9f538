#include "link/tcp_client.h"

#include <QTcpSocket>

// Data read per arrival event; the rest stays queued for the next event, so a
// device that floods is drained in bounded pieces.
static constexpr qint64 READ_CHUNK = 64 * 1024;
// A peer that keeps talking does not hold the first command back for longer than this.
static constexpr qint64 GREETING_LIMIT_MS = 500;
// The start of a greeting is enough for the log.
static constexpr qint64 GREETING_KEEP = 256;

TcpClient::TcpClient(QObject *parent) : QObject(parent), sock_(new QTcpSocket(this)) {
    sock_->setReadBufferSize(READ_CHUNK * 4);
    greeting_quiet_.setSingleShot(true);
    greeting_quiet_.setTimerType(Qt::PreciseTimer);
    connect(&greeting_quiet_, &QTimer::timeout, this, &TcpClient::end_greeting);
    connect(sock_, &QTcpSocket::connected, this, &TcpClient::on_connected);
    connect(sock_, &QTcpSocket::readyRead, this, &TcpClient::on_ready_read);
}

void TcpClient::set_remote(const QString &host, quint16 port) {
    host_ = host;
    port_ = port;
}

bool TcpClient::connect_to_host() {
    if (host_.isEmpty()) return false;
    close();
    attempt_age_.start();
    sock_->connectToHost(host_, port_);
    return true;
}

void TcpClient::close() {
    sock_->abort();
    telnet_.reset();
    greeting_quiet_.stop();
    greeting_ = false;
    greeting_text_.clear();
    held_.clear();
    pending_.clear();
}

bool TcpClient::is_connected() const { return sock_->state() == QAbstractSocket::ConnectedState; }
bool TcpClient::is_closed() const { return sock_->state() == QAbstractSocket::UnconnectedState; }

void TcpClient::on_connected() {
    greeting_ = true;
    delivered_ = false;
    // A banner is sent once the server has our last handshake packet: about one round
    // trip after connecting, which the attempt itself took.
    quiet_ms_ = GREETING_QUIET_MS + int(qMin<qint64>(attempt_age_.elapsed(), GREETING_LIMIT_MS));
    greeting_age_.start();
    greeting_quiet_.start(quiet_ms_);
    emit connected();
}

void TcpClient::end_greeting() {
    if (!greeting_) return;
    greeting_ = false;
    greeting_quiet_.stop();
    if (!greeting_text_.isEmpty()) emit greeting(QString::fromLatin1(greeting_text_));
    greeting_text_.clear();
    const QByteArray held = std::exchange(held_, QByteArray());
    if (!held.isEmpty()) write_wire(telnet_.to_peer(held));
}

void TcpClient::write_wire(const QByteArray &bytes) {
    if (bytes.isEmpty() || !is_connected()) return;
    sock_->write(bytes);
    sock_->flush();
}

void TcpClient::send_text(const QString &text) {
    if (!is_connected()) return;
    if (greeting_) {
        held_ += text.toLatin1();
        return;
    }
    write_wire(telnet_.to_peer(text.toLatin1()));
}

void TcpClient::on_ready_read() {
    QByteArray answer;
    const QByteArray data = telnet_.from_peer(sock_->read(READ_CHUNK), &answer);
    write_wire(answer);
    if (sock_->bytesAvailable() > 0) {
        // Let the rest arrive as a further event instead of one unbounded read.
        QMetaObject::invokeMethod(this, &TcpClient::on_ready_read, Qt::QueuedConnection);
    }
    if (data.isEmpty()) return;
    if (greeting_) {
        greeting_text_ += data.left(qMax<qint64>(0, GREETING_KEEP - greeting_text_.size()));
        if (greeting_age_.elapsed() < GREETING_LIMIT_MS) greeting_quiet_.start(quiet_ms_);
        return;
    }
    QByteArray rest = data;
    if (!delivered_) {
        // A banner that came after the quiet time: the device never sends a line feed,
        // so before its first reply, text up to the last one is still greeting.
        const int lf = rest.lastIndexOf('\n');
        if (lf >= 0) {
            emit greeting(QString::fromLatin1(rest.left(qMin<qint64>(lf + 1, GREETING_KEEP))));
            rest.remove(0, lf + 1);
        }
        if (rest.isEmpty()) return;
        delivered_ = true;
    }
    pending_ += rest;
    emit data_arrival();
}

QString TcpClient::get_data() { return QString::fromLatin1(std::exchange(pending_, QByteArray())); }

QString TcpClient::error_string() const { return sock_->errorString(); }
