// veldra-mqtt's figures through a real broker: a command published to the state that
// shows it received, a front-panel change to its state, and the bridge's resident memory
// before and after many commands. Run inside a private network namespace:
//   unshare -n bash -c 'ip link set lo up; build/bench_mqtt [runs] [commands]'
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "broker.h"
#include "sim_fixture.h"

namespace {
const QString BASE = QStringLiteral("veldra/bench/");

double pct(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

long rss_kb(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

int lock_of(const QByteArray &state) {
    return QJsonDocument::fromJson(state).object().value(QStringLiteral("lock")).toInt(-1);
}
int edid_of(const QByteArray &state) {
    return QJsonDocument::fromJson(state)
        .object()
        .value(QStringLiteral("audio"))
        .toObject()
        .value(QStringLiteral("edid"))
        .toInt(-1);
}
} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("VELDRA_SIM")) qputenv("VELDRA_SIM", TEVRAL_SIM_PATH);
    if (qEnvironmentVariableIsEmpty("VELDRA_MQTT")) qputenv("VELDRA_MQTT", TEVRAL_MQTT_PATH);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(5, atoi(argv[1])) : 200;
    const int commands = argc > 2 ? std::max(100, atoi(argv[2])) : 10000;

    BrokerProcess broker;
    BrokerWatch watch;
    SimDevice sim;
    BridgeProcess bridge;
    if (!broker.start(QStringLiteral("127.0.0.175")) || !watch.start(broker) ||
        !sim.start_tcp(QStringLiteral("127.0.0.176"), 2323) ||
        !bridge.start({"--host", "127.0.0.176:2323", "--broker", broker.url(), "--id", "bench",
                       "--poll", "0"}) ||
        !watch.wait_for(
            BASE + "availability", [](auto &p) { return p == "online"; }, 0)) {
        std::fprintf(stderr, "cannot start the broker, the simulator or the bridge\n");
        return 1;
    }

    // A command published to the state showing its effect, through the broker both ways.
    std::vector<double> cmd;
    for (int i = 0; i <= runs; ++i) {
        const int want = (i + 1) % 2;
        const int from = watch.all().size();
        const qint64 t0 = watch.now_ms();
        QElapsedTimer t;
        t.start();
        watch.publish(BASE + "lock/set", want ? "ON" : "OFF");
        if (!watch.wait_for(
                BASE + "state", [&](auto &p) { return lock_of(p) == want; }, from, 5000)) {
            std::fprintf(stderr, "no state after command %d\n", i);
            return 1;
        }
        (void)t0;
        if (i > 0) cmd.push_back(t.nsecsElapsed() / 1e6);
    }
    // The device's own change (an announcement) to the state.
    std::vector<double> front;
    for (int i = 0; i <= runs / 4; ++i) {
        const int edid = i % 5;
        const int from = watch.all().size();
        QElapsedTimer t;
        t.start();
        sim.inject(QStringLiteral("AUE00%1").arg(edid));
        if (!watch.wait_for(
                BASE + "state", [&](auto &p) { return edid_of(p) == edid; }, from, 5000)) {
            // The same value as before publishes nothing.
            continue;
        }
        if (i > 0) front.push_back(t.nsecsElapsed() / 1e6);
    }

    const qint64 pid = bridge.process().processId();
    const long before = rss_kb(pid);
    QElapsedTimer all;
    all.start();
    long middle = 0;
    for (int i = 0; i < commands; ++i) {
        const int from = watch.all().size();
        watch.publish(BASE + "command", i % 2 ? "mute off" : "mute on");
        if (!watch.wait_for(
                BASE + "result", [](auto &) { return true; }, from, 10000)) {
            std::fprintf(stderr, "no result for command %d\n", i);
            return 1;
        }
        if (i == commands / 2) middle = rss_kb(pid);
        // The observer's own record stays small.
        if (watch.all().size() > 1000) watch.forget();
    }
    const double per = all.elapsed() / double(commands);
    const long after = rss_kb(pid);

    std::printf("| figure | median | p90 | notes |\n|---|---|---|---|\n");
    std::printf("| command published -> state received | %.2f ms | %.2f ms | lock/set, %d runs, "
                "min %.2f max %.2f |\n",
                pct(cmd, 0.5), pct(cmd, 0.9), runs, pct(cmd, 0), pct(cmd, 1));
    std::printf("| front-panel change -> state received | %.2f ms | %.2f ms | injected AUE, %d "
                "runs |\n",
                pct(front, 0.5), pct(front, 0.9), int(front.size()));
    std::printf("| bridge RSS before / middle / after %d commands | %ld / %ld / %ld kB | | %.2f "
                "ms per command with its result |\n",
                commands, before, middle, after, per);
    return bridge.stop() == 0 ? 0 : 1;
}
