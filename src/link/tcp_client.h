#pragma once
// Thin TCP-client adapter with the operations the Ethernet link needs.

#include <QObject>
#include <QString>

class QTcpSocket;

class TcpClient : public QObject {
    Q_OBJECT
public:
    explicit TcpClient(QObject *parent = nullptr);

    void set_remote(const QString &host, quint16 port);
    QString remote_host() const { return host_; }
    quint16 remote_port() const { return port_; }
    // Starts an attempt; false when it could not even start (e.g. empty address).
    bool connect_to_host();
    void close();
    bool is_connected() const;
    bool is_closed() const;
    void send_text(const QString &text);
    // Everything arrived so far, one character per byte.
    QString get_data();
    qint64 bytes_available() const;
    // Why the last attempt failed or the connection ended, in the platform's words.
    QString error_string() const;

signals:
    void connected();
    void data_arrival();

private:
    QTcpSocket *sock_;
    QString host_;
    quint16 port_ = 23;
};
