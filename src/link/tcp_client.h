#pragma once
// Thin TCP-client adapter with the operations the Ethernet link needs.

#include <QObject>
#include <QString>

#include "link/device_link.h"

class QTcpSocket;

class TcpClient : public QObject, public DeviceLink {
    Q_OBJECT
public:
    explicit TcpClient(QObject *parent = nullptr);

    // DeviceLink: a reply within 600 steps; RST001 and PWR001 reboot the device, which
    // drops the connection; the device may end it with EXT.
    QString down_message() const override {
        return QStringLiteral("Ethernet port is disconnected !");
    }
    void write_command(const QString &cmd) override {
        send_text(QString::fromLatin1(frame_command(cmd)));
    }
    int reply_steps(const QString &) const override { return 600; }
    bool ends_link(const QString &cmd) const override {
        return cmd == QLatin1String("RST001") || cmd == QLatin1String("PWR001");
    }
    bool polled() const override { return false; }
    bool carries_ext() const override { return true; }

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
