#pragma once
// Thin TCP-client adapter with the operations the Ethernet link needs. It speaks telnet
// when the peer does (a serial device server), and keeps a device server's greeting out
// of the device's text: a banner or a refusal the server sends on connecting is never a
// reply, and reply-shaped text is never a banner.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "link/device_link.h"
#include "link/telnet_filter.h"

class QTcpSocket;

class TcpClient : public DeviceLink {
    Q_OBJECT
public:
    explicit TcpClient(QObject *parent = nullptr);

    // DeviceLink: a reply within 600 steps.
    QString down_message() const override {
        return QStringLiteral("Ethernet port is disconnected !");
    }
    void write_command(const QString &cmd) override {
        send_text(QString::fromLatin1(frame_command(cmd)));
    }
    int reply_steps(const QString &) const override { return 600; }
    bool network() const override { return true; }

    void set_remote(const QString &host, quint16 port);
    QString remote_host() const { return host_; }
    quint16 remote_port() const { return port_; }
    // Starts an attempt; false when it could not even start (e.g. empty address).
    bool connect_to_host();
    // Ends the connection (asked for: no loss is told).
    void close();
    bool is_connected() const;
    bool is_closed() const;
    // Sent at once, or, while a banner is coming in, when it is over.
    void send_text(const QString &text);
    // Why the last attempt failed or the connection ended, in the platform's words.
    QString error_string() const;
    // What the server said on this connection that was not the device's (a banner, a
    // refusal such as "Port's device already in use"), simplified; empty when nothing.
    QString peer_words() const;
    // The device's own bytes have come on this connection.
    bool device_heard() const { return delivered_; }
    // A banner is coming in: commands wait until it is over.
    bool in_greeting() const { return greeting_; }
    const TelnetFilter &telnet() const { return telnet_; }

    // A banner is over when nothing has come for this long (plus the time the connection
    // took to set up). A command sent while nothing at all has come goes out at once.
    static constexpr int GREETING_QUIET_MS = 15;

signals:
    void connected();

private:
    void on_connected();
    void on_disconnected();
    void on_ready_read();
    void end_greeting();
    void deliver(const QByteArray &data);
    void write_wire(const QByteArray &bytes);

    QTcpSocket *sock_;
    QString host_;
    quint16 port_ = 23;
    TelnetFilter telnet_;
    bool greeting_ = false;
    bool wire_seen_ = false;          // any byte at all came on this connection
    QByteArray greeting_text_, held_; // the banner so far; commands sent meanwhile
    QByteArray words_;                // the server's own words on this connection
    QTimer greeting_quiet_;
    QElapsedTimer greeting_age_, attempt_age_;
    int quiet_ms_ = GREETING_QUIET_MS;
    bool delivered_ = false; // the device's first bytes have been passed on
    bool up_ = false;        // connected, and not closed by us since
};
