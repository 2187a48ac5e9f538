// Measures the real panel against veldra-sim (no added latency) over a
// pseudo-terminal and over loopback TCP, and prints a table.
//   bench_panel [runs]      (default 20 runs per figure)
//   bench_panel runs ctl    (only the veldra-ctl figures)
//   bench_panel runs paced  (only the rows at a real line's pace)
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>

#include "device_client.h"
#include "panel_rig.h"
#include "sim_fixture.h"

namespace {
const QString TCP_ADDR = QStringLiteral("127.0.0.250");

double cpu_ms() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

long peak_rss_kb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

struct Stats {
    double median, p10, p90, min, max;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    auto at = [&](double q) { return v[std::min(v.size() - 1, size_t(q * (v.size() - 1) + 0.5))]; };
    return {at(0.5), at(0.1), at(0.9), v.front(), v.back()};
}

// Runs the real event loop (no spinning) for ms milliseconds.
void idle_ms(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A rig on the link asked for.
bool start(PanelRig &r, bool tcp, bool advanced, const QStringList &sim_args = {}) {
    return r.start(sim_args, tcp ? TCP_ADDR : QString(), advanced);
}

// How long the serial poll leaves a reply waiting after its last byte came in: the
// burst's quiet gap plus the event loop's own delay.
struct ExamineProbe {
    std::vector<double> delays_ms;
    QElapsedTimer clock;
    qint64 last_arrival = -1;
    explicit ExamineProbe(frm_main *f) {
        clock.start();
        // Ahead of the panel's own handler, so the handler's work is not counted.
        QObject::disconnect(f->exchange().tim_rx(), &PollTimer::timeout, &f->exchange(),
                            &Exchange::tim_rx_Timer);
        QObject::connect(f->connection().MSComm1, &SerialPort::data_arrived, f,
                         [this] { last_arrival = clock.nsecsElapsed(); });
        QObject::connect(f->exchange().tim_rx(), &PollTimer::timeout, f, [this] {
            if (last_arrival < 0) return;
            delays_ms.push_back((clock.nsecsElapsed() - last_arrival) / 1e6);
            last_arrival = -1;
        });
        QObject::connect(f->exchange().tim_rx(), &PollTimer::timeout, &f->exchange(),
                         &Exchange::tim_rx_Timer);
    }
};

void row(const char *what, const char *link, const Stats &s, const QString &extra) {
    std::printf("| %-34s | %-6s | %8.1f | %8.1f | %8.1f | %s\n", what, link, s.median, s.p10, s.p90,
                qPrintable(extra));
}
} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VELDRA_SIM")) qputenv("VELDRA_SIM", TEVRAL_SIM_PATH);
    if (qEnvironmentVariableIsEmpty("TEVRAL_RUNTIME_DIR"))
        qputenv("TEVRAL_RUNTIME_DIR", TEVRAL_RUNTIME_PATH);
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(3, atoi(argv[1])) : 20;
    const bool only_ctl = argc > 2 && QByteArray(argv[2]) == "ctl";
    const bool only_paced = argc > 2 && QByteArray(argv[2]) == "paced";

    std::printf("| %-34s | %-6s | %8s | %8s | %8s | notes\n", "figure (ms)", "link", "median",
                "p10", "p90");
    std::printf("|%s|%s|%s|%s|%s|---\n", "------------------------------------", "--------",
                "----------", "----------", "----------");

    std::vector<double> startups;
    for (bool tcp : {false, true}) {
        if (only_ctl || only_paced) break;
        const char *link = tcp ? "tcp" : "pty";
        for (bool advanced : {false, true}) {
            PanelRig r;
            if (!start(r, tcp, advanced)) {
                std::printf("cannot start the %s rig\n", link);
                return 1;
            }
            startups.push_back(r.load_ms);
            std::vector<double> wall, cpu;
            int exchanges = 0;
            for (int i = 0; i < runs + 1; ++i) {
                r.sim.mark();
                const double c0 = cpu_ms();
                QElapsedTimer t;
                t.start();
                r.f->switching().cmd_refresh_Click();
                const double w = t.nsecsElapsed() / 1e6;
                const double c = cpu_ms() - c0;
                exchanges = r.f->txt_cmd->text().isEmpty() ? 0 : r.sim.commands_since_mark().size();
                if (i == 0) continue; // warm-up
                wall.push_back(w);
                cpu.push_back(c);
            }
            const Stats s = stats(wall);
            const Stats c = stats(cpu);
            const double floor_ms = 2.0 * exchanges;
            row(advanced ? "full refresh, full height" : "full refresh, compact height", link, s,
                QStringLiteral("%1 exchanges, floor %2 ms, ratio %3; cpu %4 ms = %5% of wall; "
                               "min %6 max %7")
                    .arg(exchanges)
                    .arg(floor_ms)
                    .arg(s.median / floor_ms, 0, 'f', 2)
                    .arg(c.median, 0, 'f', 1)
                    .arg(100.0 * c.median / s.median, 0, 'f', 1)
                    .arg(s.min, 0, 'f', 1)
                    .arg(s.max, 0, 'f', 1));
            if (advanced) continue;

            std::vector<double> click;
            for (int i = 0; i < runs; ++i) {
                QElapsedTimer t;
                t.start();
                r.f->switching().cmd_out_Click(1 + i % 4);
                click.push_back(t.nsecsElapsed() / 1e6);
            }
            row("routing click (OUT + INP999)", link, stats(click), "2 exchanges, floor 4 ms");

            std::vector<double> mode;
            for (int i = 0; i < std::max(3, runs / 4); ++i) {
                QElapsedTimer t;
                t.start();
                r.f->switching().cmd_mode_Click(1 + (i + 1) % 3);
                mode.push_back(t.nsecsElapsed() / 1e6);
            }
            r.f->switching().cmd_mode_Click(1);
            row("mode change", link, stats(mode), "MOD + re-read");

            // 100 slider moves as fast as the operator's events arrive
            r.sim.mark();
            r.f->frames().fra_pic->setEnabled(true);
            QElapsedTimer t;
            t.start();
            for (int i = 1; i <= 100; ++i) {
                r.f->adjust().hsr_bri[1]->setValue(i % 101);
                QCoreApplication::processEvents();
            }
            const double burst = t.nsecsElapsed() / 1e6;
            idle_ms(300);
            const int sent = r.sim.commands_since_mark().size();
            row("burst of 100 slider moves", link, {burst, burst, burst, burst, burst},
                QStringLiteral("%1 sent, %2 dropped").arg(sent).arg(100 - sent));

            if (!tcp) {
                const double c0 = cpu_ms();
                QElapsedTimer idle;
                idle.start();
                idle_ms(10000);
                const double share = 100.0 * (cpu_ms() - c0) / idle.elapsed();
                std::printf("| %-34s | %-6s | %8.2f | %8s | %8s | %% of one core, port open, "
                            "1 ms poll\n",
                            "idle processor share over 10 s", link, share, "", "");
            }
        }
    }
    // The serial link at the pace of a real line: 115200 baud straight, and behind a USB
    // adapter's latency timer. An exchange takes at least its 2 ms wait step, and at least
    // the wire time of its 7 bytes out and 7 bytes back: the two overlap, the wait step runs
    // while the bytes travel. Behind the adapter a reply is handed over only at a tick, and
    // no two replies share one, so the wire time counts in whole periods.
    const double byte_ms = 10.0 / 115200 * 1000;
    const double wire_ms = 14 * byte_ms;
    for (const QStringList &pace :
         {QStringList{}, QStringList{"--baud", "115200"}, QStringList{"--usb-latency", "16"},
          QStringList{"--usb-latency", "1"}}) {
        if (only_ctl) break;
        PanelRig r;
        if (!start(r, false, false, pace)) {
            std::printf("cannot start the paced rig\n");
            return 1;
        }
        ExamineProbe probe(r.f.get());
        std::vector<double> wall;
        int exchanges = 0;
        for (int i = 0; i < runs + 1; ++i) {
            r.sim.mark();
            QElapsedTimer t;
            t.start();
            r.f->switching().cmd_refresh_Click();
            const double w = t.nsecsElapsed() / 1e6;
            exchanges = r.sim.commands_since_mark().size();
            if (i == 0) probe.delays_ms.clear();
            if (i == 0) continue;
            wall.push_back(w);
        }
        const Stats s = stats(wall);
        const int period = pace.value(pace.indexOf(QStringLiteral("--usb-latency")) + 1).toInt();
        const double on_wire = pace.isEmpty() ? 0.0
                               : period > 0   ? std::ceil(wire_ms / period) * period
                                              : wire_ms;
        const double floor_ms = exchanges * std::max(2.0, on_wire);
        const Stats d = stats(probe.delays_ms);
        const QString name =
            pace.isEmpty() ? QStringLiteral("unpaced") : pace.join(QLatin1Char(' ')).mid(2);
        // Behind the adapter a reply waits for the next tick of its latency timer, and the
        // next command leaves only after that: one period an exchange.
        const QString adapter = pace.contains(QStringLiteral("--usb-latency"))
                                    ? QStringLiteral(" (one %1 ms period an exchange: %2 ms)")
                                          .arg(period)
                                          .arg(exchanges * period)
                                    : QString();
        row(qPrintable(QStringLiteral("compact refresh, %1").arg(name)), "pty", s,
            QStringLiteral("%1 exchanges, floor %2 ms, ratio %3%7; last byte to examination "
                           "median %4 p90 %5 ms (%6 bursts)")
                .arg(exchanges)
                .arg(floor_ms, 0, 'f', 1)
                .arg(s.median / floor_ms, 0, 'f', 2)
                .arg(d.median, 0, 'f', 3)
                .arg(d.p90, 0, 'f', 3)
                .arg(probe.delays_ms.size())
                .arg(adapter));
    }

    // Through Debian's ser2net in front of the pseudo-terminal: raw and telnet as it comes,
    // and raw without its character delay (it holds serial input back to batch it).
    for (const int variant : {0, 1, 2}) {
        if (only_ctl || only_paced) break;
        const auto mode = variant == 1 ? Ser2netProcess::Mode::Telnet : Ser2netProcess::Mode::Raw;
        PanelRig r;
        if (variant == 2) r.server_options = "chardelay: false";
        if (!r.start_device_server(mode, TCP_ADDR, QStringLiteral("127.0.0.251"))) {
            std::printf("cannot start ser2net in front of the simulator\n");
            return 1;
        }
        std::vector<double> wall;
        int exchanges = 0;
        for (int i = 0; i < runs + 1; ++i) {
            r.sim.mark();
            QElapsedTimer t;
            t.start();
            r.f->switching().cmd_refresh_Click();
            const double w = t.nsecsElapsed() / 1e6;
            exchanges = r.sim.commands_since_mark().size();
            if (i > 0) wall.push_back(w);
        }
        const Stats s = stats(wall);
        static const char *const names[] = {"compact refresh, ser2net raw",
                                            "compact refresh, ser2net telnet",
                                            "compact refresh, ser2net raw nodelay"};
        row(names[variant], "tcp", s,
            QStringLiteral("%1 exchanges, floor %2 ms, ratio %3; min %4 max %5")
                .arg(exchanges)
                .arg(2.0 * exchanges)
                .arg(s.median / (2.0 * exchanges), 0, 'f', 2)
                .arg(s.min, 0, 'f', 1)
                .arg(s.max, 0, 'f', 1));
    }

    // veldra-ctl status as a script runs it: process start to exit.
    const auto ctl_ms = [](const QStringList &args) {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral(TEVRAL_CTL_PATH), args);
        p.waitForFinished(30000);
        return p.exitCode() == 0 ? t.nsecsElapsed() / 1e6 : -1.0;
    };
    if (only_paced) return 0;
    std::vector<double> bare;
    for (int i = 0; i < runs; ++i) bare.push_back(ctl_ms({QStringLiteral("--help")}));
    const double process_floor = stats(bare).median;
    for (bool tcp : {false, true}) {
        ProgramFolder folder;
        SimDevice sim;
        const QString host = TCP_ADDR + QStringLiteral(":2324");
        if (!(tcp ? sim.start_tcp(TCP_ADDR, 2324) : sim.start_pty(folder, 1))) return 1;
        const QStringList args = {tcp ? QStringLiteral("--host") : QStringLiteral("--port"),
                                  tcp ? host : folder.file(QStringLiteral("ports/COM1")),
                                  QStringLiteral("status")};
        std::vector<double> wall;
        int exchanges = 0;
        for (int i = 0; i < runs + 1; ++i) {
            sim.mark();
            const double w = ctl_ms(args);
            exchanges = sim.commands_since_mark().size();
            if (w < 0) return 1;
            if (i > 0) wall.push_back(w);
        }
        const Stats s = stats(wall);
        const double floor_ms = 2.0 * exchanges + process_floor;
        row("veldra-ctl status, process to exit", tcp ? "tcp" : "pty", s,
            QStringLiteral("%1 exchanges; floor %2 ms = 2 ms each + process start-up %3 ms "
                           "(--help); ratio %4")
                .arg(exchanges)
                .arg(floor_ms, 0, 'f', 1)
                .arg(process_floor, 0, 'f', 1)
                .arg(s.median / floor_ms, 0, 'f', 2));
    }

    {
        // A scene that differs from the device in every setting (Dual: mode, four routes,
        // sixteen picture levels, audio EDID, both pair sides, resolution), recalled by a
        // script: process start to exit.
        QTemporaryDir dir;
        SimDevice sim;
        const QString host = TCP_ADDR + QStringLiteral(":2325");
        if (!sim.start_tcp(TCP_ADDR, 2325)) return 1;
        const auto device_do = [&](int level, int side) {
            DeviceClient c;
            if (!c.connectTo(TCP_ADDR, 2325)) return false;
            QStringList cmds{QStringLiteral("MOD002")};
            for (int o = 1; o <= 4; ++o)
                cmds << QStringLiteral("OUT00%1").arg(o)
                     << QStringLiteral("INP00%1").arg(side == 1 ? o : 5 - o);
            for (int row = 1; row <= 4; ++row)
                for (const char *m : {"BRI", "CON", "HUE", "SAT"})
                    cmds << QLatin1String(m) +
                                QString::number(200 * (row - 1) + level).rightJustified(3, '0');
            cmds << QStringLiteral("AUE00%1").arg(side) << QStringLiteral("AUA00%1").arg(side)
                 << QStringLiteral("AUB00%1").arg(3 - side) << QStringLiteral("RES00%1").arg(side)
                 << QLatin1String(side == 1 ? "MOD001" : "MOD002");
            for (const QString &cmd : cmds)
                if (c.exchange(cmd) != cmd) return false;
            return true;
        };
        const QStringList link = {QStringLiteral("--host"), host, QStringLiteral("--venue"),
                                  dir.filePath(QStringLiteral("venue.json"))};
        if (!device_do(30, 2) || ctl_ms(link + QStringList{"scene", "save", "Bench"}) < 0) return 1;
        std::vector<double> wall;
        int exchanges = 0, sets = 0;
        for (int i = 0; i < runs + 1; ++i) {
            if (!device_do(70, 1)) return 1;
            sim.mark();
            const double w = ctl_ms(link + QStringList{"scene", "recall", "Bench"});
            if (w < 0) return 1;
            const QStringList wire = sim.commands_since_mark();
            exchanges = wire.size();
            sets = 0;
            for (int k = 0; k < wire.size(); ++k)
                if (wire[k].mid(3, 2) != QLatin1String("99") &&
                    !(wire[k].startsWith(QLatin1String("OUT")) &&
                      wire.value(k + 1) == QLatin1String("INP999")))
                    ++sets;
            if (i > 0) wall.push_back(w);
        }
        const Stats s = stats(wall);
        const double floor_ms = 2.0 * exchanges + process_floor;
        row("veldra-ctl scene recall, all differ", "tcp", s,
            QStringLiteral("%1 exchanges (%2 settings sent, the rest the two status reads and "
                           "the read-back); floor %3 ms; ratio %4")
                .arg(exchanges)
                .arg(sets)
                .arg(floor_ms, 0, 'f', 1)
                .arg(s.median / floor_ms, 0, 'f', 2));
    }

    if (only_ctl) return 0;
    const Stats st = stats(startups);
    row("start-up to window shown", "both", st, "frm_main construction + Form_Load + show");
    std::printf("| %-34s | %-6s | %8.1f | %8s | %8s | MB\n", "peak resident memory", "both",
                peak_rss_kb() / 1024.0, "", "");
    return 0;
}
