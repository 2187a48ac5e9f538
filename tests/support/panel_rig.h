#pragma once
// The shared rig of the panel's tests: a program folder, the simulated device on a
// real link (pseudo-terminal or loopback TCP), a catcher for the panel's messages and
// the panel itself; a second TCP client sets the device's state as another operator
// would. Also the command sequences several tests expect.

#include <QElapsedTimer>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "device_client.h"
#include "panel_access.h"
#include "ser2net_process.h"
#include "sim_fixture.h"

// Every text a box takes, in order: the operator's value and the device's answer are both
// seen, whichever event pass brings the answer.
struct TextHistory {
    QStringList texts;
    QMetaObject::Connection link;
    explicit TextHistory(QLineEdit *box)
        : link(QObject::connect(box, &QLineEdit::textChanged,
                                [this](const QString &t) { texts << t; })) {}
    ~TextHistory() { QObject::disconnect(link); }
};

struct PanelRig {
    std::unique_ptr<ProgramFolder> folder;
    SimDevice sim;
    MessageCatcher msgs;
    std::unique_ptr<frm_main> f;
    DeviceClient device;                    // the second client, when one was asked for
    std::unique_ptr<Ser2netProcess> server; // a serial device server, when one was asked for
    QByteArray server_options;              // an options line for it, such as "chardelay: false"
    double load_ms = 0;                     // construction and Form_Load of the panel

    // Serial link on a pseudo-terminal, or TCP when `tcp_address` is given.
    // `advanced` opens the window at full height.
    bool start(const QStringList &extra = {}, const QString &tcp_address = QString(),
               bool advanced = false) {
        return tcp_address.isEmpty() ? start_pty(extra, advanced)
                                     : start_tcp(tcp_address, {}, extra, advanced);
    }

    // Panel on a pseudo-terminal. With `device_address` the simulator also listens on
    // that loopback address, and `device` is connected to it.
    bool start_pty(const QStringList &extra = {}, bool advanced = false,
                   const QString &device_address = QString()) {
        folder = std::make_unique<ProgramFolder>(0, 1, advanced);
        QStringList link{QStringLiteral("--pty"), folder->file(QStringLiteral("ports/COM1"))};
        if (!device_address.isEmpty())
            link << QStringLiteral("--tcp") << device_address + QStringLiteral(":23");
        if (!sim.start(link, extra)) return false;
        if (!device_address.isEmpty() && !device.connectTo(device_address)) return false;
        return load() && f->connection().serial_open();
    }

    // Panel on TCP: `setup` commands are first given to the device by another client,
    // which then leaves, and the panel connects.
    bool start_tcp(const QString &address, const QStringList &setup = {},
                   const QStringList &extra = {}, bool advanced = false) {
        folder = std::make_unique<ProgramFolder>(1, 1, advanced, address);
        if (!sim.start_tcp(address, 23, extra)) return false;
        if (!setup.isEmpty()) {
            if (!device.connectTo(address) || !device.set(setup)) return false;
            device.close();
        }
        if (!load()) return false;
        f->link().cmd_conn_eth_Click();
        // Text the device sends right after connecting would be taken for a greeting.
        return pump_until([&] {
            return f->connection().eth_connected() && !f->connection().wsk_client()->in_greeting();
        });
    }

    // Panel on TCP through Debian's ser2net at `address`, in front of the simulator's
    // pseudo-terminal (the simulator also listens on `device_address`, where `setup`
    // goes first). Returns once the link is up and the server's greeting is over.
    bool start_device_server(Ser2netProcess::Mode mode, const QString &address,
                             const QString &device_address, const QStringList &setup = {},
                             const QStringList &extra = {},
                             const QString &line = QStringLiteral("115200n81")) {
        folder = std::make_unique<ProgramFolder>(1, 1, false);
        const QString pty = folder->file(QStringLiteral("ports/COM1"));
        if (!sim.start({QStringLiteral("--pty"), pty, QStringLiteral("--tcp"),
                        device_address + QStringLiteral(":23")},
                       extra))
            return false;
        if (!setup.isEmpty()) {
            if (!device.connectTo(device_address) || !device.set(setup)) return false;
            device.close();
        }
        server = std::make_unique<Ser2netProcess>();
        if (!server->start(pty, address, mode, line, server_options)) return false;
        folder->write_settings(1, 1, false,
                               QStringLiteral("%1:%2").arg(address).arg(server->port()));
        if (!load()) return false;
        f->link().cmd_conn_eth_Click();
        return pump_until([&] {
            return f->connection().eth_connected() && !f->connection().wsk_client()->in_greeting();
        });
    }

    // The device reports power on: the panel enables its frames.
    bool power_on() {
        f->exchange().send_cmd(QStringLiteral("PWR999"));
        return f->exchange().reply_ok() && f->admin().power_state() == 1 &&
               f->frames().fra_btn->isEnabled();
    }

    // Changes the device's mode with a bare exchange (no re-read).
    bool set_mode(int m) {
        f->exchange().send_cmd(QStringLiteral("MOD00%1").arg(m));
        return f->switching().mode_digit() == m;
    }

    // Routes the device: input routing[i] feeds output i + 1 (bare exchanges).
    bool route(const QList<int> &routing) {
        for (int i = 0; i < routing.size(); ++i) {
            f->exchange().send_cmd(QStringLiteral("OUT00%1").arg(i + 1));
            if (!f->exchange().reply_ok()) return false;
            f->exchange().send_cmd(QStringLiteral("INP00%1").arg(routing[i]));
            if (!f->exchange().reply_ok()) return false;
        }
        return true;
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

    // Names of the routing lines that are shown.
    QStringList shown_lines() const {
        QStringList names;
        for (int out = 1; out <= 4; ++out)
            for (int in = 1; in <= 4; ++in)
                if (!f->switching().lines_of(out)[in]->isHidden())
                    names << f->switching().lines_of(out)[in]->objectName();
        return names;
    }

    // Indices (from 1) of an array of buttons that carry the selection colour.
    template <std::size_t N> static QList<int> selected(const std::array<ColorButton *, N> &row) {
        QList<int> on;
        for (int i = 1; i < int(N); ++i)
            if (row[i]->backColor() == PanelStyle::selection_colour()) on << i;
        return on;
    }

private:
    bool load() {
        QElapsedTimer t;
        t.start();
        f = load_panel(*folder);
        load_ms = t.nsecsElapsed() / 1e6;
        return f != nullptr;
    }
};

// Index of the checked button of an option group, -1 when none.
template <std::size_t N> int checked_index(const std::array<QRadioButton *, N> &group) {
    for (std::size_t i = 0; i < N; ++i)
        if (group[i] && group[i]->isChecked()) return static_cast<int>(i);
    return -1;
}

// The sixteen per-row picture queries of Dual and 2X2, in read-back order.
inline QStringList row_picture_queries() {
    QStringList q;
    for (int r = 1; r <= 4; ++r)
        for (const char *mn : {"BRI", "CON", "HUE", "SAT"})
            q << QStringLiteral("%1%2").arg(QLatin1String(mn)).arg(990 + r);
    return q;
}

// The routing re-read: each output selected, then its input asked.
inline QStringList map_refresh_commands() {
    QStringList q;
    for (int n = 1; n <= 4; ++n) q << QStringLiteral("OUT00%1").arg(n) << QStringLiteral("INP999");
    return q;
}

// Everything a full refresh sends when the device reports `mode` (1..3) and answers
// every query; at full height the picture read-back follows.
inline QStringList refresh_sequence(int mode, bool full_height) {
    QStringList s{"VER999", "AUA999", "AUB999", "AUD999", "AUE999", "BEH999", "BEV999",
                  "BEZ999", "BEH998", "BEV998", "LCK999", "PWR999", "RES999", "MOD999"};
    if (mode != 3) s << QStringLiteral("OUT999"); // the wall has no output to select
    s << QStringLiteral("INP999") << map_refresh_commands();
    if (full_height)
        s << (mode == 1 ? QStringList{"BRI999", "CON999", "HUE999", "SAT999"}
                        : row_picture_queries());
    return s;
}

// Samples a condition every 2 ms while a sequence runs (the panel's waits keep
// the event loop turning); `ever` tells whether it was ever seen true.
class Watch {
public:
    explicit Watch(std::function<bool()> cond) : cond_(std::move(cond)) {
        timer_.setInterval(2);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            ++samples;
            if (cond_()) ever = true;
        });
        timer_.start();
    }
    void stop() { timer_.stop(); }
    bool ever = false;
    int samples = 0;

private:
    std::function<bool()> cond_;
    QTimer timer_;
};
