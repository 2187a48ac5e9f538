#include "link/tcp_client.h"

#include <QRegularExpression>
#include <QTcpSocket>

// Data read per arrival event; the rest stays queued for the next event, so a
// device that floods is drained in bounded pieces.
static constexpr qint64 READ_CHUNK = 64 * 1024;
// A peer that keeps talking does not hold the first command back for longer than this.
static constexpr qint64 GREETING_LIMIT_MS = 500;
// The start of a greeting is enough for the log.
static constexpr qint64 GREETING_KEEP = 256;

// The device's text starts with three capitals and a digit; a banner is words.
static bool reply_shaped(const QByteArray &text) {
    static const QRegularExpression shape(QStringLiteral("\\A[A-Z]{3}[0-9]"));
    return shape.match(QString::fromLatin1(text)).hasMatch();
}

TcpClient::TcpClient(QObject *parent) : DeviceLink(parent), sock_(new QTcpSocket(this)) {
    sock_->setReadBufferSize(READ_CHUNK * 4);
    greeting_quiet_.setSingleShot(true);
    greeting_quiet_.setTimerType(Qt::PreciseTimer);
    connect(&greeting_quiet_, &QTimer::timeout, this, &TcpClient::end_greeting);
    connect(sock_, &QTcpSocket::connected, this, &TcpClient::on_connected);
    connect(sock_, &QTcpSocket::readyRead, this, &TcpClient::on_ready_read);
    connect(sock_, &QTcpSocket::disconnected, this, &TcpClient::on_disconnected);
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
    up_ = false; // asked for: no loss to tell
    sock_->abort();
    telnet_.reset();
    greeting_quiet_.stop();
    greeting_ = false;
    greeting_text_.clear();
    held_.clear();
}

bool TcpClient::is_connected() const { return sock_->state() == QAbstractSocket::ConnectedState; }
bool TcpClient::is_closed() const { return sock_->state() == QAbstractSocket::UnconnectedState; }

void TcpClient::on_connected() {
    greeting_ = true;
    wire_seen_ = false;
    delivered_ = false;
    words_.clear();
    up_ = true;
    // A banner is sent once the server has our last handshake packet: about one round
    // trip after connecting, which the attempt itself took.
    quiet_ms_ = GREETING_QUIET_MS + int(qMin<qint64>(attempt_age_.elapsed(), GREETING_LIMIT_MS));
    greeting_age_.start();
    greeting_quiet_.start(quiet_ms_);
    emit connected();
    emit up();
}

void TcpClient::on_disconnected() {
    if (!up_) return;
    // The server's last words (a refusal sent just before closing) are read first.
    while (sock_->bytesAvailable() > 0) on_ready_read();
    up_ = false;
    if (greeting_ && !greeting_text_.isEmpty()) {
        words_ += greeting_text_;
        emit greeting(QString::fromLatin1(greeting_text_));
    }
    greeting_quiet_.stop();
    greeting_ = false;
    greeting_text_.clear();
    held_.clear();
    const QString said = peer_words();
    QString why;
    if (!said.isEmpty())
        why = QStringLiteral("the server said \"%1\" and closed the connection").arg(said);
    else if (sock_->error() == QAbstractSocket::RemoteHostClosedError ||
             sock_->errorString().isEmpty())
        why = QStringLiteral("the server closed the connection");
    else
        why = sock_->errorString();
    emit lost(why);
}

QString TcpClient::peer_words() const {
    QString said;
    for (char c : words_)
        said += (uchar(c) >= 32 && uchar(c) < 127) ? QChar::fromLatin1(c) : QLatin1Char(' ');
    return said.simplified();
}

void TcpClient::end_greeting() {
    if (!greeting_) return;
    greeting_ = false;
    greeting_quiet_.stop();
    if (!greeting_text_.isEmpty()) {
        words_ += greeting_text_;
        emit greeting(QString::fromLatin1(greeting_text_));
    }
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
    // Nothing has come since connecting: there is no banner to wait for.
    if (greeting_ && !wire_seen_) end_greeting();
    if (greeting_) {
        held_ += text.toLatin1();
        return;
    }
    write_wire(telnet_.to_peer(text.toLatin1()));
}

void TcpClient::deliver(const QByteArray &data) {
    QByteArray rest = data;
    if (!delivered_) {
        // A banner that came late: the device never sends a line feed, so before its
        // first reply, text up to the last one is still the server's. A server's words
        // are short: past GREETING_KEEP of them, whatever comes is the device's.
        const auto room = [this] { return qMax<qint64>(0, GREETING_KEEP - words_.size()); };
        const int lf = rest.lastIndexOf('\n');
        if (lf >= 0 && room() > 0) {
            const QByteArray banner = rest.left(qMin<qint64>(lf + 1, room()));
            words_ += banner;
            emit greeting(QString::fromLatin1(banner));
            rest.remove(0, lf + 1);
        }
        // Words (a refusal such as "Port's device already in use" without a line
        // feed): the device's text has no space.
        if (rest.contains(' ') && room() > 0) {
            const QByteArray said = rest.left(room());
            words_ += said;
            emit greeting(QString::fromLatin1(said));
            return;
        }
        if (rest.isEmpty()) return;
        delivered_ = true;
    }
    emit received(rest);
}

void TcpClient::on_ready_read() {
    const QByteArray wire = sock_->read(READ_CHUNK);
    if (!wire.isEmpty()) wire_seen_ = true;
    QByteArray answer;
    const QByteArray data = telnet_.from_peer(wire, &answer);
    write_wire(answer);
    if (sock_->bytesAvailable() > 0 && sock_->state() == QAbstractSocket::ConnectedState) {
        // Let the rest arrive as a further event instead of one unbounded read.
        QMetaObject::invokeMethod(this, &TcpClient::on_ready_read, Qt::QueuedConnection);
    }
    if (data.isEmpty()) return;
    if (greeting_) {
        greeting_text_ += data;
        // The device's text after the banner (or instead of one) ends the greeting at
        // once: reply-shaped text is never taken for a banner.
        const int lf = greeting_text_.lastIndexOf('\n');
        const QByteArray tail = greeting_text_.mid(lf + 1);
        if (reply_shaped(tail)) {
            const QByteArray banner = greeting_text_.left(lf + 1);
            greeting_text_ = banner.left(GREETING_KEEP);
            end_greeting();
            delivered_ = true;
            emit received(tail);
            return;
        }
        greeting_text_.truncate(GREETING_KEEP);
        if (greeting_age_.elapsed() < GREETING_LIMIT_MS) greeting_quiet_.start(quiet_ms_);
        return;
    }
    deliver(data);
}

QString TcpClient::error_string() const { return sock_->errorString(); }
