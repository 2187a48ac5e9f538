#pragma once
// What the exchange needs of a link to the device, whichever kind it is. The serial
// and TCP adapters implement it; whether a link is up is the connection's to say.

#include <QByteArray>
#include <QString>

// Bytes of a command on either link: its six characters and a carriage return.
inline QByteArray frame_command(const QString &cmd) { return cmd.toLatin1() + '\r'; }

class DeviceLink {
public:
    virtual ~DeviceLink() = default;
    // What a send refused because this link is down says.
    virtual QString down_message() const = 0;
    // Sends a command: its six characters and a carriage return.
    virtual void write_command(const QString &cmd) = 0;
    // How many 1 ms wait steps the reply to a command may take on this link.
    virtual int reply_steps(const QString &cmd) const = 0;
    // The command reboots the device and so ends this link: no reply is waited for.
    virtual bool ends_link(const QString &) const { return false; }
    // Received bytes are fetched by the serial poll, which each exchange re-arms.
    virtual bool polled() const = 0;
    // The device may say EXT on this link to end it.
    virtual bool carries_ext() const = 0;
};
