#pragma once
// The device's protocol port offered again by the bridge: the panel and veldra-ctl
// connect here while the bridge holds the device's one connection. Lines in (a command
// and its CR), text out; the bridge decides what goes to whom.

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QTcpServer>

class QTcpSocket;

class SharePort : public QObject {
    Q_OBJECT
public:
    explicit SharePort(QObject *parent = nullptr);
    bool listen(const QString &address, quint16 port, QString *error);
    // While the device is away, clients are closed (they see the link go down, as they
    // would with the device itself) and the port does not listen.
    void set_open(bool open);
    void send(QTcpSocket *client, const QByteArray &text);
    // To every client but `except`.
    void broadcast(const QByteArray &text, QTcpSocket *except = nullptr);

signals:
    // One command line from a client, without CR or LF.
    void line(QTcpSocket *client, const QString &text);
    void client_gone(QTcpSocket *client);

private:
    void accept();
    void read(QTcpSocket *client);

    QTcpServer server_;
    QHash<QTcpSocket *, QByteArray> clients_; // each with its unfinished line
    bool open_ = false;
    QString address_;
    quint16 port_ = 0;
};
