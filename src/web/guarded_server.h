#pragma once
// The web's listening socket. Qt 6.4's HTTP server reads a request's whole body into
// memory, whatever its size, before anybody sees it; this server looks at each
// connection's bytes first and answers a request too large (413) or headers too long
// (431) itself, then closes the connection, so the server never buffers them.

#include <QTcpServer>

class GuardedServer : public QTcpServer {
    Q_OBJECT
public:
    GuardedServer(qint64 body_limit, QObject *parent = nullptr);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void check(QTcpSocket *socket);
    qint64 body_limit_;
};
