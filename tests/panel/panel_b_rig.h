#pragma once
// A panel on a real link to veldra-sim for the bezel, audio, resolution, remote,
// keypad and refresh tests, plus a second client that sets the device's state over
// TCP as another operator would (so the panel learns it only by asking).

#include <QTcpSocket>
#include <QTest>
#include <memory>

#include "panel_access.h"
#include "sim_fixture.h"

// A plain TCP client of the simulated device: one command, one reply.
class DeviceClient {
public:
    bool connect_to(const QString &address) {
        sock_.connectToHost(address, 23);
        return sock_.waitForConnected(3000);
    }
    // Sends a command and returns the device's reply (without CR); empty on time-out.
    QString exchange(const QString &cmd) {
        sock_.write(cmd.toLatin1() + '\r');
        if (!sock_.waitForBytesWritten(2000)) return {};
        QByteArray got;
        while (!got.contains('\r')) {
            if (!sock_.waitForReadyRead(2000)) return {};
            got += sock_.readAll();
        }
        return QString::fromLatin1(got.left(got.indexOf('\r')));
    }
    // Sends each command and checks that the device took it (replied with its own text).
    bool set(const QStringList &cmds) {
        for (const QString &c : cmds)
            if (exchange(c) != c) {
                qWarning("device refused %s", qPrintable(c));
                return false;
            }
        return true;
    }
    void close() {
        sock_.disconnectFromHost();
        if (sock_.state() != QAbstractSocket::UnconnectedState) sock_.waitForDisconnected(1000);
    }

private:
    QTcpSocket sock_;
};

struct RigB {
    std::unique_ptr<ProgramFolder> folder;
    SimDevice sim;
    MessageCatcher msgs;
    std::unique_ptr<frm_main> f;
    DeviceClient device; // the second client, when `device_address` was given

    // Panel on a pseudo-terminal. With `device_address` the simulator also listens on
    // that loopback address, and `device` is connected to it.
    bool start_pty(const QStringList &extra = {}, bool advanced = false,
                   const QString &device_address = QString()) {
        folder = std::make_unique<ProgramFolder>(0, 1, advanced);
        QStringList link{QStringLiteral("--pty"), folder->file(QStringLiteral("ports/COM1"))};
        if (!device_address.isEmpty())
            link << QStringLiteral("--tcp") << device_address + QStringLiteral(":23");
        if (!sim.start(link, extra)) return false;
        if (!device_address.isEmpty() && !device.connect_to(device_address)) return false;
        f = load_panel(*folder);
        return f && f->connection().serial_open();
    }

    // Panel on TCP: `setup` commands are first given to the device by another client,
    // which then leaves, and the panel connects.
    bool start_tcp(const QString &address, const QStringList &setup = {},
                   const QStringList &extra = {}, bool advanced = false) {
        folder = std::make_unique<ProgramFolder>(1, 1, advanced, address);
        if (!sim.start_tcp(address, 23, extra)) return false;
        if (!setup.isEmpty()) {
            if (!device.connect_to(address) || !device.set(setup)) return false;
            device.close();
        }
        f = load_panel(*folder);
        if (!f) return false;
        f->link().cmd_conn_eth_Click();
        return pump_until([&] { return f->connection().eth_connected() != 0; });
    }

    // Plays a reply to the panel as if the device sent it, and waits until a handler
    // has run for it.
    bool inject(const QString &line) {
        const int before = f->exchange().dispatch_count();
        if (!sim.inject(line)) return false;
        return pump_until([&] { return f->exchange().dispatch_count() > before; });
    }

    // What the device received since the mark, after giving a stray command time to
    // arrive.
    QStringList sent_since_mark(int settle_ms = 150) {
        pump_ms(settle_ms);
        return sim.commands_since_mark();
    }

    // The device reports power on: the panel enables its frames.
    bool power_on() {
        f->exchange().send_cmd(QStringLiteral("PWR999"));
        return f->exchange().reply_ok() && f->admin().power_state() == 1;
    }
};

// Index of the checked button of an option group, -1 when none.
template <std::size_t N>
int checked_index(const std::array<QRadioButton *, N> &group) {
    for (std::size_t i = 0; i < N; ++i)
        if (group[i] && group[i]->isChecked()) return static_cast<int>(i);
    return -1;
}
