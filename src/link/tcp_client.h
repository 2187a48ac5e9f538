#pragma once
// Thin TCP-client adapter with the operations the Ethernet link needs. It speaks telnet
// when the peer does (a serial device server), and holds back a greeting: what arrives
// right after connecting, before the first command goes out, is never a reply.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "link/device_link.h"
#include "link/telnet_filter.h"

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
    // Sent at once, or when the greeting is over.
    void send_text(const QString &text);
    // Everything arrived so far, one character per byte.
    QString get_data();
    qint64 bytes_available() const { return pending_.size(); }
    // Why the last attempt failed or the connection ended, in the platform's words.
    QString error_string() const;
    // Just connected: a device server's banner and negotiation may still come in.
    bool in_greeting() const { return greeting_; }
    const TelnetFilter &telnet() const { return telnet_; }

    // After connecting, the greeting lasts until nothing has come for this long (plus
    // the time the connection took to set up).
    static constexpr int GREETING_QUIET_MS = 15;

signals:
    void connected();
    void data_arrival();
    // Text a device server sent on connecting (a banner), for the log.
    void greeting(const QString &text);

private:
    void on_connected();
    void on_ready_read();
    void end_greeting();
    void write_wire(const QByteArray &bytes);

    QTcpSocket *sock_;
    QString host_;
    quint16 port_ = 23;
    TelnetFilter telnet_;
    QByteArray pending_; // the device's bytes not yet taken by get_data
    bool greeting_ = false;
    QByteArray greeting_text_, held_; // the banner so far; commands sent meanwhile
    QTimer greeting_quiet_;
    QElapsedTimer greeting_age_, attempt_age_;
    int quiet_ms_ = GREETING_QUIET_MS;
    bool delivered_ = false; // the device's first bytes have been passed on
};
