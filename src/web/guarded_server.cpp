#include "web/guarded_server.h"

#include <QRegularExpression>
#include <QTcpSocket>

namespace {
constexpr qint64 HEADER_LIMIT = 16 * 1024;

void refuse(QTcpSocket *s, int status, const char *reason, const char *message) {
    s->setProperty("refused", true);
    s->readAll();
    const QByteArray body = QByteArray("{\"error\":\"") + message + "\"}";
    s->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reason +
             "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
             QByteArray::number(body.size()) + "\r\n\r\n" + body);
    s->disconnectFromHost();
}
} // namespace

GuardedServer::GuardedServer(qint64 body_limit, QObject *parent)
    : QTcpServer(parent), body_limit_(body_limit) {}

void GuardedServer::incomingConnection(qintptr descriptor) {
    auto *s = new QTcpSocket(this);
    if (!s->setSocketDescriptor(descriptor)) {
        delete s;
        return;
    }
    // Connected before the HTTP server's own handler, so it runs first.
    connect(s, &QTcpSocket::readyRead, this, [this, s] { check(s); });
    addPendingConnection(s);
}

void GuardedServer::check(QTcpSocket *s) {
    if (s->property("refused").toBool()) {
        s->readAll();
        return;
    }
    if (s->property("upgraded").toBool()) return;
    if (s->isTransactionStarted()) {
        // The server has read the start of this request and waits for the rest; what is
        // here now is new. Counted, so a request whose headers came in pieces is bounded
        // too.
        const qint64 seen = s->property("seen").toLongLong() + s->bytesAvailable();
        s->setProperty("seen", seen);
        if (seen > HEADER_LIMIT + body_limit_)
            refuse(s, 413, "Payload Too Large", "the request is larger than 64 KiB");
        return;
    }
    s->setProperty("seen", s->bytesAvailable());
    // The request at the head of what is buffered (the server takes one at a time).
    const QByteArray head = s->peek(HEADER_LIMIT + 4);
    const int end = head.indexOf("\r\n\r\n");
    if (end < 0) {
        if (head.size() > HEADER_LIMIT)
            refuse(s, 431, "Request Header Fields Too Large", "the request's headers are too long");
        return;
    }
    const QByteArray headers = head.left(end);
    static const QRegularExpression length(QStringLiteral("\r\ncontent-length:[ \t]*([0-9]+)"),
                                           QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression chunked(QStringLiteral("\r\ntransfer-encoding:[^\r]*chunked"),
                                            QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression upgrade(QStringLiteral("\r\nupgrade:[ \t]*websocket"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QString h = QString::fromLatin1(headers);
    if (chunked.match(h).hasMatch()) {
        // No length to check beforehand; browsers and scripts send one.
        refuse(s, 411, "Length Required", "a request body needs a Content-Length");
        return;
    }
    const QRegularExpressionMatch m = length.match(h);
    if (m.hasMatch() && (m.captured(1).size() > 12 || m.captured(1).toLongLong() > body_limit_)) {
        refuse(s, 413, "Payload Too Large", "the request body is larger than 64 KiB");
        return;
    }
    // From here on the bytes are WebSocket frames, which the socket layer bounds.
    if (upgrade.match(h).hasMatch()) s->setProperty("upgraded", true);
}
