#pragma once
// Thin serial-port adapter with the operations the protocol needs.

#include <QByteArray>
#include <QObject>
#include <QString>

#include "link/device_link.h"
#include "link/port_failure.h"

class PollTimer;
class QSerialPort;

class SerialPort : public DeviceLink {
    Q_OBJECT
public:
    SerialPort(const QString &program_folder, QObject *parent = nullptr);
    ~SerialPort() override;

    // DeviceLink: a reply within 300 steps; received bytes are handed over by the serial
    // poll `tim_rx`, which each hand-over switches off until the receiver is ready again.
    QString down_message() const override { return QStringLiteral("RS232 port is disconnected !"); }
    void write_command(const QString &cmd) override;
    int reply_steps(const QString &) const override { return 300; }
    bool network() const override { return false; }
    void set_reception(bool on) override;
    void expect_chars(int chars) override { expected_ = chars; }
    PollTimer *tim_rx() const { return tim_rx_; }
    // The poll's tick: hands over what is waiting.
    void tim_rx_Timer();

    // COMn: ports/COMn in the per-user folder, else in the program folder, when that path
    // exists; else the platform's port.
    static QString device_for(const QString &program_folder, int port_number);

    // The device COMn opens, as the operator should read it: the path, for a port map
    // link also what it points to, and an adapter's stable name where it has one.
    static QString device_shown(const QString &program_folder, int port_number);

    // Opens COM<port_number> at 115200 8N1 without flow control; on failure `error`
    // gets the device path and the reason, in the operator's terms.
    bool open(int port_number, QString *error);
    // The same for a device given by its path (a port named on a command line);
    // `error` gets the system's words.
    bool open_device(const QString &device, QString *error);
    // Why the last open failed.
    PortProblem last_failure() const { return failure_; }
    // The driver of the open port took the low-latency request.
    bool low_latency() const { return low_latency_; }
    // The device path of the last open that succeeded (empty before one did).
    QString opened_device() const { return opened_; }
    void close();
    bool is_open() const;
    qint64 in_buffer_count() const;  // received bytes waiting
    qint64 out_buffer_count() const; // bytes still to be sent
    void discard_input();
    void discard_output();
    QByteArray read_all();
    // Blocks up to `usec` microseconds for new received bytes; true when some came.
    bool more_within(qint64 usec);
    // Writes a block and pushes it to the line; waits (without handling events)
    // until the transmit buffer is empty.
    void write_block(const QByteArray &block);
    void wait_transmit_empty(int limit_ms = 300);

signals:
    // New received bytes are waiting.
    void data_arrived();

private:
    QString folder_;
    QSerialPort *port_;
    PortProblem failure_ = PortProblem::Other;
    QString failure_text_;
    bool low_latency_ = false;
    QString opened_;
    PollTimer *tim_rx_;
    int expected_ = 0;
};
