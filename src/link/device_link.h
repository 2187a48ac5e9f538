#pragma once
// A link to the device, whichever kind it is, both ways: commands go out through write,
// the device's bytes come back through `received`, and the link says when it came up and
// when it was lost, and why. The serial poll, the telnet layer and a device server's
// greeting stay inside the adapters. What a command or a reply means is not a link's
// business.

#include <QByteArray>
#include <QObject>
#include <QString>

// Bytes of a command on either link: its six characters and a carriage return.
inline QByteArray frame_command(const QString &cmd) { return cmd.toLatin1() + '\r'; }

class DeviceLink : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~DeviceLink() override = default;
    // What a send refused because this link is down says.
    virtual QString down_message() const = 0;
    // Sends a command: its six characters and a carriage return.
    virtual void write_command(const QString &cmd) = 0;
    // How many 1 ms wait steps the reply to a command may take on this link.
    virtual int reply_steps(const QString &cmd) const = 0;
    // A network connection (one client at a time, ended by the device's reboot), not a
    // serial line.
    virtual bool network() const = 0;
    // Reception on or off: while off, received bytes wait in the link (a receiver busy
    // with a reply is not handed the next bytes meanwhile). On by default.
    virtual void set_reception(bool on) { (void)on; }
    // An answer of `chars` characters is awaited: a link that hands bytes over in bursts
    // may hold a shorter burst for the rest (0: none awaited).
    virtual void expect_chars(int chars) { (void)chars; }

signals:
    // The device's bytes, as they arrived.
    void received(const QByteArray &bytes);
    // The link came up (opened, connected).
    void up();
    // The link went down without being asked to; `why` in the operator's words, the
    // peer's own words when it said any.
    void lost(const QString &why);
    // Text a server between us and the device sent (a device server's banner): never
    // the device's, only for the log.
    void greeting(const QString &text);
};
