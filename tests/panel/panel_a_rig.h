#pragma once
// A panel on a real link to veldra-sim, with the small helpers the switching,
// picture, preset and power tests share.

#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

#include "panel_access.h"
#include "sim_fixture.h"

struct PanelRig {
    std::unique_ptr<ProgramFolder> folder;
    SimDevice sim;
    MessageCatcher msgs;
    std::unique_ptr<frm_main> f;

    // Serial link on a pseudo-terminal, or TCP when `tcp_address` is given.
    // `advanced` opens the window at full height.
    bool start(const QStringList &extra = {}, const QString &tcp_address = QString(),
               bool advanced = false) {
        const bool tcp = !tcp_address.isEmpty();
        folder = std::make_unique<ProgramFolder>(tcp ? 1 : 0, 1, advanced,
                                                 tcp ? tcp_address : QStringLiteral("127.0.0.1"));
        if (!(tcp ? sim.start_tcp(tcp_address, 23, extra) : sim.start_pty(*folder, 1, extra)))
            return false;
        f = load_panel(*folder);
        if (!f) return false;
        if (tcp) {
            f->link().cmd_conn_eth_Click();
            return pump_until([&] { return f->connection().eth_connected() != 0; });
        }
        return f->connection().serial_open() != 0;
    }

    // Asks the device's power state: a device that is on enables the frames.
    bool power_on() {
        f->exchange().send_cmd(QStringLiteral("PWR999"));
        return f->admin().power_state() == 1 && f->frames().fra_btn->isEnabled();
    }

    // Changes the device's mode with a bare exchange (no re-read).
    bool set_mode(int m) {
        f->exchange().send_cmd(QStringLiteral("MOD00%1").arg(m));
        return f->switching().mode().digit() == m;
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

    // Plays a reply to the panel and waits until a handler has run for it.
    bool inject(const QString &line) {
        const int before = f->exchange().dispatch_count();
        if (!sim.inject(line)) return false;
        return pump_until([&] { return f->exchange().dispatch_count() > before; });
    }

    // Names of the routing lines that are shown.
    QStringList shown_lines() const {
        QStringList names;
        for (int out = 1; out <= 4; ++out)
            for (int in = 1; in <= 4; ++in)
                if (!f->switching().lines_of(out)[in]->isHidden()) names << f->switching().lines_of(out)[in]->objectName();
        return names;
    }

    // Indices (from 1) of an array of buttons that carry the selection colour.
    template <std::size_t N>
    static QList<int> selected(const std::array<ColorButton *, N> &row) {
        QList<int> on;
        for (int i = 1; i < int(N); ++i)
            if (row[i]->backColor() == PanelStyle::selection_colour()) on << i;
        return on;
    }
};

// The sixteen per-row picture queries of Dual and 2X2, in read-back order.
inline QStringList row_picture_queries() {
    QStringList q;
    for (int r = 1; r <= 4; ++r)
        for (const char *mn : {"BRI", "CON", "HUE", "SAT"})
            q << QStringLiteral("%1%2").arg(QLatin1String(mn)).arg(990 + r);
    return q;
}

inline QStringList map_refresh_commands() {
    QStringList q;
    for (int n = 1; n <= 4; ++n) q << QStringLiteral("OUT00%1").arg(n) << QStringLiteral("INP999");
    return q;
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
