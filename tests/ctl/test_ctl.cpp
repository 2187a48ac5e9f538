// veldra-ctl as a real process against veldra-sim over a pseudo-terminal and over
// TCP: what each command does to the device, status against the device's own
// state, exit statuses, and watch.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "device_client.h"
#include "link/port_info.h"
#include "scratch_fs.h"
#include "ser2net_process.h"
#include "sim_fixture.h"

namespace {
// This file's loopback addresses.
const QString ADDR_TCP = QStringLiteral("127.0.0.150");   // the device of the command rows
const QString ADDR_FRONT = QStringLiteral("127.0.0.151"); // a front panel in use
const QString ADDR_SILENT = QStringLiteral("127.0.0.152");
const QString ADDR_WATCH = QStringLiteral("127.0.0.153");
const QString ADDR_RECONNECT = QStringLiteral("127.0.0.154");
const QString ADDR_NOBODY = QStringLiteral("127.0.0.159"); // nothing listens here
const QString ADDR_PEER = QStringLiteral("127.0.0.183");   // a scripted peer
const QString ADDR_SCENE = QStringLiteral("127.0.0.226");  // scenes and names
const char *const ADDR_SERVERS[4] = {"127.0.0.190", "127.0.0.191", "127.0.0.192", "127.0.0.193"};
const int PORT = 2323;

QString host_arg(const QString &addr) { return QStringLiteral("%1:%2").arg(addr).arg(PORT); }

struct Run {
    int code = -1;
    QString out, err;
    qint64 ms = 0;
};

// veldra-ctl lives beside the panel: a copy in the program folder maps COMn through
// the folder's ports/ links and reads the folder's settings file.
QString install_ctl(const ProgramFolder &folder) {
    const QString path = folder.file(QStringLiteral("veldra-ctl"));
    if (!QFile::exists(path)) QFile::copy(qEnvironmentVariable("VELDRA_CTL"), path);
    return path;
}

Run ctl(const ProgramFolder &folder, const QStringList &args, int timeout_ms = 20000) {
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(install_ctl(folder), args);
    if (!p.waitForFinished(timeout_ms)) p.kill();
    p.waitForFinished(2000);
    Run r;
    r.ms = t.elapsed();
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Keys of `ours` that the state file also has, whose values differ; `shared` counts
// the leaves compared.
void compare_shared(const QJsonValue &ours, const QJsonValue &theirs, const QString &path,
                    QStringList *diffs, int *shared) {
    if (ours.isObject() && theirs.isObject()) {
        const QJsonObject o = ours.toObject(), t = theirs.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            if (t.contains(it.key()))
                compare_shared(it.value(), t.value(it.key()), path + "/" + it.key(), diffs, shared);
    } else if (ours.isArray() && theirs.isArray() &&
               ours.toArray().size() == theirs.toArray().size()) {
        for (int i = 0; i < ours.toArray().size(); ++i)
            compare_shared(ours.toArray()[i], theirs.toArray()[i], path + "/" + QString::number(i),
                           diffs, shared);
    } else {
        ++*shared;
        if (ours != theirs)
            *diffs << QStringLiteral("%1: ctl %2, device %3")
                          .arg(path,
                               QString::fromUtf8(
                                   QJsonDocument(QJsonArray{ours}).toJson(QJsonDocument::Compact)),
                               QString::fromUtf8(QJsonDocument(QJsonArray{theirs})
                                                     .toJson(QJsonDocument::Compact)));
    }
}

// Commands that change the device: queries and the status read's output selections (an
// OUT followed by INP999) left out.
QStringList setting_commands(const QStringList &wire) {
    static const QRegularExpression query(QStringLiteral("^[A-Z]{3}(99[0-9])$"));
    QStringList out;
    for (int i = 0; i < wire.size(); ++i) {
        if (query.match(wire[i]).hasMatch()) continue;
        if (wire[i].startsWith(QLatin1String("OUT")) &&
            wire.value(i + 1) == QLatin1String("INP999"))
            continue;
        out << wire[i];
    }
    return out;
}

// Commands straight to the simulated device, each answered by its echo.
bool device_do(const QStringList &cmds) {
    DeviceClient c;
    if (!c.connectTo(ADDR_SCENE, PORT)) return false;
    for (const QString &cmd : cmds)
        if (c.exchange(cmd) != cmd) return false;
    return true;
}

QByteArray read_all(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QJsonObject without_count(QJsonObject o) {
    o.remove(QStringLiteral("commands"));
    return o;
}
} // namespace

class CtlAgainstSim : public QObject {
    Q_OBJECT
    QTemporaryDir config_;
    std::unique_ptr<ProgramFolder> folder_; // COM1: the pty device; settings RS-232 COM1
    SimDevice pty_, tcp_;

    SimDevice &sim(bool tcp) { return tcp ? tcp_ : pty_; }
    QStringList link(bool tcp) {
        return tcp ? QStringList{"--host", host_arg(ADDR_TCP)} : QStringList{"--port", "COM1"};
    }

private slots:
    void initTestCase() {
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
        folder_ = std::make_unique<ProgramFolder>(0, 1);
        QVERIFY(pty_.start_pty(*folder_, 1));
        // A short reboot drop, so the client after "power on" finds the device again.
        QVERIFY(tcp_.start_tcp(ADDR_TCP, PORT, {"--reboot-drop", "50"}));
    }

    // One row per command, in order on each link (the device keeps its state between
    // rows): the exit status, the exact lines the device received, and the state.
    void every_command_changes_the_device_data() {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QString>("args");
        QTest::addColumn<QStringList>("received");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("value");
        struct Row {
            const char *args;
            QStringList received;
            const char *key;
            int value;
        };
        const Row rows[] = {
            {"route 2 3", {"OUT002", "INP003"}, "routing/1", 3},
            {"route 1 4", {"OUT001", "INP004"}, "routing/0", 4},
            {"preset save 2", {"SAV002"}, "routing/0", 4},
            {"route 1 1", {"OUT001", "INP001"}, "routing/0", 1},
            {"preset recall 2", {"CAL002"}, "routing/0", 4},
            {"mode dual", {"MOD002"}, "mode", 2},
            {"picture brightness 3 37", {"MOD999", "BRI437"}, "rows/2/bri", 37},
            {"picture contrast 1 20", {"MOD999", "CON020"}, "rows/0/con", 20},
            {"mode 2x2", {"MOD003", "OUT001"}, "mode", 3},
            {"resolution 7", {"MOD999", "RES007"}, "resolution", 7},
            {"mode matrix", {"MOD001"}, "mode", 1},
            {"picture hue 1 70", {"MOD999", "HUE070"}, "matrix/hue", 70},
            {"picture saturation 1 0", {"MOD999", "SAT000"}, "matrix/sat", 0},
            {"send RST002", {"RST002"}, "matrix/hue", 50},
            {"power standby", {"PWR000"}, "power", 0},
            {"power on", {"PWR001"}, "power", 1},
            {"lock on", {"LCK001"}, "lock", 1},
            {"lock off", {"LCK000"}, "lock", 0},
            {"mute on", {"AUD000"}, "audio/on", 0},
            {"mute off", {"AUD001"}, "audio/on", 1},
            {"bezel on", {"BEZ001"}, "bezel/on", 1},
            {"bezel h 12", {"BEH012"}, "bezel/h", 12},
            {"bezel v 254", {"BEV254"}, "bezel/v", 254},
            {"bezel off", {"BEZ000"}, "bezel/on", 0},
            {"audio edid bitstream", {"AUE003"}, "audio/edid", 3},
            {"audio dual-a right", {"AUA002"}, "audio/dual_a", 2},
            {"audio dual-b left", {"AUB001"}, "audio/dual_b", 1},
            {"resolution 5", {"MOD999", "RES005"}, "resolution", 5},
            {"menu ok", {"MNO001"}, "", 0},
            {"menu up", {"MNU001"}, "", 0},
        };
        for (bool tcp : {false, true})
            for (const Row &r : rows)
                QTest::addRow("%s %s", tcp ? "tcp" : "pty", r.args)
                    << tcp << QString::fromLatin1(r.args) << r.received
                    << QString::fromLatin1(r.key) << r.value;
    }
    void every_command_changes_the_device() {
        QFETCH(bool, tcp);
        QFETCH(QString, args);
        QFETCH(QStringList, received);
        QFETCH(QString, key);
        QFETCH(int, value);
        sim(tcp).mark();
        const Run r = ctl(*folder_, link(tcp) + args.split(QLatin1Char(' ')));
        QVERIFY2(r.code == 0, qPrintable(QStringLiteral("exit %1: %2").arg(r.code).arg(r.err)));
        QCOMPARE(sim(tcp).commands_since_mark(), received);
        if (!key.isEmpty()) QCOMPARE(json_at(sim(tcp).state(), key).toInt(-1), value);
    }

    void version_and_network() {
        Run r = ctl(*folder_, {"--port", "COM1", "version"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("1.60\n"));
        r = ctl(*folder_, {"--host", host_arg(ADDR_TCP), "--json", "version"});
        QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).object()["version"].toInt(),
                 pty_.state()["version"].toInt());
        r = ctl(*folder_, {"--port", "COM1", "network", "--json"});
        QCOMPARE(r.code, 0);
        const QJsonObject net = QJsonDocument::fromJson(r.out.toUtf8()).object();
        for (const char *k : {"ip", "mask", "gateway"}) QCOMPARE(net[k], pty_.state()[k]);
        QCOMPARE(pty_.commands().mid(pty_.commands().size() - 3),
                 (QStringList{"EIP999", "EMK999", "EGW999"}));
    }

    // The link the panel saved: its settings file in the program folder, or the
    // per-user one when that exists.
    void saved_link() {
        pty_.mark();
        QCOMPARE(ctl(*folder_, {"version"}).code, 0); // the folder's file: RS-232 COM1
        QCOMPARE(pty_.commands_since_mark(), QStringList{"VER999"});

        ProgramFolder user(1, 1, false, " " + host_arg(ADDR_TCP) + " "); // Ethernet
        const QString per_user = config_.path() + QStringLiteral("/tevral-qx/TEVRAL_QX.ini");
        QVERIFY(QDir().mkpath(config_.path() + QStringLiteral("/tevral-qx")));
        QVERIFY(QFile::copy(user.file("TEVRAL_QX.ini"), per_user));
        pty_.mark();
        tcp_.mark();
        const Run r = ctl(*folder_, {"version"});
        QFile::remove(per_user);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(tcp_.commands_since_mark(), QStringList{"VER999"});
        QVERIFY(pty_.commands_since_mark().isEmpty());
    }

    void status_matches_the_device_after_its_front_panel_data() {
        QTest::addColumn<bool>("tcp");
        QTest::newRow("pty") << false;
        QTest::newRow("tcp") << true;
    }
    void status_matches_the_device_after_its_front_panel() {
        QFETCH(bool, tcp);
        ProgramFolder folder(0, 1);
        SimDevice dev;
        QVERIFY(dev.start({"--pty", folder.file("ports/COM1"), "--tcp", host_arg(ADDR_FRONT)},
                          {"--front-panel", "1500", "--seed", tcp ? "11" : "7"}));
        const QStringList link =
            tcp ? QStringList{"--host", host_arg(ADDR_FRONT)} : QStringList{"--port", "COM1"};
        // Dual, so the per-row pictures are compared too (the front panel may change it).
        QCOMPARE(ctl(folder, link + QStringList{"mode", "dual"}).code, 0);
        for (int change = 0; change < 3; ++change) {
            const QJsonObject seen = without_count(dev.state());
            QVERIFY(pump_until([&] { return without_count(dev.state()) != seen; }, 5000));
        }
        QStringList diffs;
        int shared = 0, mode = 0;
        for (int attempt = 0; attempt < 6; ++attempt) {
            // Right after a front-panel change, so the next one is 1.5 s away: room for a
            // status read even in a sanitizer build on a busy machine.
            const QJsonObject seen = without_count(dev.state());
            QVERIFY(pump_until([&] { return without_count(dev.state()) != seen; }, 5000));
            const QJsonObject before = without_count(dev.state());
            const Run r = ctl(folder, link + QStringList{"status", "--json"});
            QVERIFY2(r.code == 0, qPrintable(r.err));
            // Reading the routing moves the selected output; status puts it back.
            const QJsonObject after = without_count(dev.state());
            QCOMPARE(after["output"], before["output"]);
            if (after != before) continue; // the front panel acted meanwhile
            diffs.clear();
            shared = 0;
            const QJsonObject ours = QJsonDocument::fromJson(r.out.toUtf8()).object();
            mode = ours["mode"].toInt();
            compare_shared(ours, before, QString(), &diffs, &shared);
            break;
        }
        // Every shared key: 19 besides the picture, which is 4 values in Matrix, 16 else.
        QCOMPARE(shared, 19 + (mode == 1 ? 4 : 16));
        QVERIFY2(diffs.isEmpty(), qPrintable(diffs.join("; ")));
    }

    // Through Debian's ser2net in front of the device, in each mode integrators use (its
    // stock banner; telnet; RFC 2217 with the server left at 9600): a command works and
    // status reads what the device holds.
    void through_a_device_server_data() {
        QTest::addColumn<int>("mode");
        int m = 0;
        for (const char *name : {"raw", "raw with banner", "telnet", "telnet rfc2217"})
            QTest::newRow(name) << m++;
    }
    void through_a_device_server() {
        QFETCH(int, mode);
        const auto m = Ser2netProcess::Mode(mode);
        ProgramFolder folder(0, 1);
        SimDevice dev;
        QVERIFY(dev.start_pty(folder, 1));
        Ser2netProcess server;
        QVERIFY(server.start(folder.file("ports/COM1"), QLatin1String(ADDR_SERVERS[mode]), m,
                             m == Ser2netProcess::Mode::Rfc2217 ? "9600n81" : "115200n81"));
        const QStringList link{"--host",
                               QStringLiteral("%1:%2").arg(ADDR_SERVERS[mode]).arg(server.port())};
        dev.mark();
        Run r = ctl(folder, link + QStringList{"route", "2", "3"});
        QVERIFY2(r.code == 0, qPrintable(QStringLiteral("exit %1: %2").arg(r.code).arg(r.err)));
        QCOMPARE(dev.commands_since_mark(), (QStringList{"OUT002", "INP003"}));
        QCOMPARE(json_at(dev.state(), "routing/1").toInt(), 3);
        r = ctl(folder, link + QStringList{"status", "--json"});
        QVERIFY2(r.code == 0, qPrintable(QStringLiteral("exit %1: %2").arg(r.code).arg(r.err)));
        QStringList diffs;
        int shared = 0;
        compare_shared(QJsonDocument::fromJson(r.out.toUtf8()).object(), without_count(dev.state()),
                       QString(), &diffs, &shared);
        QCOMPARE(shared, 19 + 4);
        QVERIFY2(diffs.isEmpty(), qPrintable(diffs.join("; ")));
    }

    // COM1..COM9 as mapped, told without opening anything: a pty (the program folder's
    // link), a dangling link, a per-user link, a port left to the system.
    void ports_lists_every_com() {
        ProgramFolder folder(0, 1);
        SimDevice dev;
        QVERIFY(dev.start_pty(folder, 1));
        const QString pty = QFileInfo(folder.file("ports/COM1")).canonicalFilePath();
        const QString user_ports = config_.path() + "/tevral-qx/ports";
        QVERIFY(QDir().mkpath(user_ports));
        QVERIFY(QFile::link(pty, user_ports + "/COM3"));
        QVERIFY(QFile::remove(folder.file("ports/COM9")));
        const Run r = ctl(folder, {"ports", "--json"});
        QFile::remove(user_ports + "/COM3");
        QCOMPARE(r.code, 0);
        const QJsonArray ports =
            QJsonDocument::fromJson(r.out.toUtf8()).object()["ports"].toArray();
        QCOMPARE(ports.size(), 9);
        const auto port = [&](int n) { return ports[n - 1].toObject(); };
        QCOMPARE(port(1)["device"].toString(), folder.file("ports/COM1"));
        QCOMPARE(port(1)["node"].toString(), pty);
        QCOMPARE(port(1)["usable"], QJsonValue(true));
        QCOMPARE(port(2)["target"].toString(), QStringLiteral("/nonexistent/tevral-test/COM2"));
        QCOMPARE(port(2)["usable"], QJsonValue(false));
        QCOMPARE(port(2)["problem"].toString(), QStringLiteral("no such device"));
        QCOMPARE(port(3)["device"].toString(), user_ports + "/COM3");
        QCOMPARE(port(3)["usable"], QJsonValue(true));
        QCOMPARE(port(9)["device"].toString(), QStringLiteral("/dev/ttyS8"));
        QCOMPARE(port(9)["target"], QJsonValue());
        // The device still answers: nothing held the port.
        QCOMPARE(ctl(folder, {"--port", "COM1", "version"}).code, 0);
        // The stable name of an adapter: a by-id link to the same node.
        QTemporaryDir by_id;
        QCOMPARE(stable_port_name(folder.file("ports/COM1"), by_id.path()), QString());
        QVERIFY(QFile::link(pty, by_id.filePath("usb-FTDI_FT232R_A5XK3RJT-if00-port0")));
        QCOMPARE(stable_port_name(folder.file("ports/COM1"), by_id.path()),
                 by_id.filePath("usb-FTDI_FT232R_A5XK3RJT-if00-port0"));
        QCOMPARE(stable_port_name(folder.file("ports/COM2"), by_id.path()), QString());
    }

    void device_refusal_gives_1_data() {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reply");
        for (bool tcp : {false, true}) {
            QTest::addRow("%s unknown mnemonic", tcp ? "tcp" : "pty") << tcp << "XYZ001"
                                                                      << "ERR000";
            QTest::addRow("%s bad argument", tcp ? "tcp" : "pty") << tcp << "BRI555"
                                                                  << "ERR001";
        }
    }
    void device_refusal_gives_1() {
        QFETCH(bool, tcp);
        QFETCH(QString, command);
        QFETCH(QString, reply);
        const Run r = ctl(*folder_, link(tcp) + QStringList{"send", command});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, reply + "\n");
        QVERIFY(r.err.contains(reply));
    }

    // No reply: exit 3 once the panel's own time-out has run (302 waits of at least
    // 2 ms on serial, 602 on Ethernet; a mode change waits 5 s more).
    void silent_device_gives_3_data() {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("least_ms");
        QTest::newRow("pty version") << false << "version" << 602;
        QTest::newRow("tcp version") << true << "version" << 1202;
        QTest::newRow("pty mode") << false << "mode dual" << 5602;
    }
    void silent_device_gives_3() {
        QFETCH(bool, tcp);
        QFETCH(QString, command);
        QFETCH(int, least_ms);
        ProgramFolder folder(0, 1);
        SimDevice dev;
        QVERIFY(tcp ? dev.start_tcp(ADDR_SILENT, PORT, {"--drop", "1"})
                    : dev.start_pty(folder, 1, {"--drop", "1"}));
        const QStringList link =
            tcp ? QStringList{"--host", host_arg(ADDR_SILENT)} : QStringList{"--port", "COM1"};
        const Run r = ctl(folder, link + command.split(' '));
        QCOMPARE(r.code, 3);
        QVERIFY2(r.err.contains("no reply to"), qPrintable(r.err));
        QVERIFY2(r.ms >= least_ms && r.ms < least_ms + 4000, qPrintable(QString::number(r.ms)));
        QCOMPARE(dev.commands().size(), 1); // no retry
    }

    // Refused before anything is sent; a picture row that Matrix mode lacks is refused
    // after the mode query alone.
    void bad_arguments_give_2_and_send_nothing_data() {
        QTest::addColumn<QString>("args");
        QTest::addColumn<QStringList>("sent");
        for (const char *a :
             {"--port COM1 route 5 1", "--port COM1 picture hue 1 101",
              "--port COM1 preset recall 9", "--port COM1 resolution 13", "--port COM1 bezel v 255",
              "--port COM1 send ver999", "--port COM1 mode wall",
              "--port COM1 --host 127.0.0.150 status", "--port COM1",
              "--host 127.0.0.150:2323 network", "--host 127.0.0.1:0 version",
              "--host 999.1.1.1:99999 version", "--host a:b:c version", "--host [::1 version"})
            QTest::newRow(a) << QString::fromLatin1(a) << QStringList();
        QTest::newRow("row 2 in Matrix")
            << "--port COM1 picture brightness 2 10" << QStringList{"MOD999"};
    }
    void bad_arguments_give_2_and_send_nothing() {
        QFETCH(QString, args);
        QFETCH(QStringList, sent);
        if (!sent.isEmpty()) QCOMPARE(ctl(*folder_, {"--port", "COM1", "mode", "matrix"}).code, 0);
        pty_.mark();
        tcp_.mark();
        const Run r = ctl(*folder_, args.split(' '));
        QCOMPARE(r.code, 2);
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY(r.out.isEmpty());
        pump_ms(50);
        QCOMPARE(pty_.commands_since_mark(), sent);
        QVERIFY(tcp_.commands_since_mark().isEmpty());
    }

    // Without the resolution list a resolution cannot be checked: refused, naming the file.
    void resolution_needs_the_list() {
        ProgramFolder folder(0, 1);
        QVERIFY(QFile::remove(folder.file("output_reso.txt")));
        SimDevice dev;
        QVERIFY(dev.start_pty(folder, 1));
        Run r = ctl(folder, {"--port", "COM1", "resolution", "5"});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(folder.file("output_reso.txt")), qPrintable(r.err));
        QCOMPARE(ctl(folder, {"--port", "COM1", "version"}).code, 0);
        QCOMPARE(dev.commands(), QStringList{"VER999"});
    }

    void missing_or_busy_link_gives_4() {
        Run r = ctl(*folder_, {"--port", "COM7", "version"}); // a link to nowhere
        QCOMPARE(r.code, 4);
        QVERIFY2(r.err.contains("COM7: no such device"), qPrintable(r.err));
        r = ctl(*folder_, {"--host", host_arg(ADDR_NOBODY), "version"});
        QCOMPARE(r.code, 4);
        QVERIFY2(r.err.contains("Client could not find Server."), qPrintable(r.err));

        QProcess holder; // the port held by another program
        holder.start(install_ctl(*folder_), {"--port", "COM1", "watch"});
        QVERIFY(pump_until([&] { return holder.readAllStandardError().contains("watching"); }));
        r = ctl(*folder_, {"--port", "COM1", "version"});
        QCOMPARE(r.code, 4);
        QCOMPARE(r.err, QStringLiteral("veldra-ctl: COM1 is in use \u2014 is the panel open?\n"));
        holder.terminate();
        QVERIFY(holder.waitForFinished(5000));
        QCOMPARE(holder.exitCode(), 0);
    }

    void watch_prints_unsolicited_replies_in_order_data() {
        QTest::addColumn<bool>("tcp");
        QTest::newRow("pty") << false;
        QTest::newRow("tcp") << true;
    }
    void watch_prints_unsolicited_replies_in_order() {
        QFETCH(bool, tcp);
        ProgramFolder folder(0, 1);
        SimDevice dev;
        QVERIFY(tcp ? dev.start_tcp(ADDR_WATCH, PORT) : dev.start_pty(folder, 1));
        QProcess w;
        w.start(install_ctl(folder), (tcp ? QStringList{"--host", host_arg(ADDR_WATCH)}
                                          : QStringList{"--port", "COM1"}) +
                                         QStringList{"watch", "--json"});
        QVERIFY(pump_until([&] { return w.readAllStandardError().contains("watching"); }));
        // Each line says what the reply did to the state: the keys it changed, or that the
        // state refused it (a level above 100, a power digit that names no state).
        const QStringList sent = {"MOD002", "INP003", "BRI437", "PWR000",
                                  "RES012", "BRI150", "PWR009", "PWR000"};
        const QStringList changed = {"mode",       "routing[0]", "rows[2].bri", "power",
                                     "resolution", "-",          "-",           ""};
        QStringList lines;
        for (const QString &s : sent) {
            // One at a time: replies that arrive together are cut as the panel cuts them.
            QVERIFY(dev.inject(s));
            QVERIFY(pump_until([&] { return w.canReadLine(); }));
            lines << QString::fromUtf8(w.readLine()).trimmed();
        }
        QStringList got;
        for (const QString &l : lines)
            got << QJsonDocument::fromJson(l.toUtf8()).object()["reply"].toString();
        QCOMPARE(got, sent);
        QCOMPARE(QJsonDocument::fromJson(lines[4].toUtf8()).object()["value"].toInt(), 12);
        for (int i = 0; i < lines.size(); ++i) {
            const QJsonObject o = QJsonDocument::fromJson(lines[i].toUtf8()).object();
            QCOMPARE(o["applied"].toBool(), changed[i] != "-");
            const QStringList keys = o["changed"].toVariant().toStringList();
            QCOMPARE(keys.join(','), changed[i] == "-" ? QString() : changed[i]);
        }
        QVERIFY(dev.commands().isEmpty()); // watching sends nothing
        // Ctrl+C, then SIGTERMs back to back over its whole exit: the first ends it, the
        // rest must not kill it.
        send_signals(w.processId(), SIGINT);
        send_signals(w.processId(), SIGTERM, 49, 0);
        QVERIFY(w.waitForFinished(5000));
        QCOMPARE(w.exitStatus(), QProcess::NormalExit);
        QCOMPARE(w.exitCode(), 0);
    }

    // The device restarts (or the adapter is re-plugged): watch --reconnect says so and
    // goes on; a plain watch ends with exit status 4. Behind a device server the link is
    // down while the device is gone for seconds, though the server still accepts (and
    // closes at once): neither "up" nor the other-program message, however often.
    void watch_across_link_loss_data() {
        QTest::addColumn<int>("via");
        QTest::newRow("pty") << 0;
        QTest::newRow("tcp") << 1;
        QTest::newRow("ser2net, device gone 4 s") << 2;
    }
    void watch_across_link_loss() {
        QFETCH(int, via);
        ProgramFolder folder(0, 1);
        SimDevice dev;
        const auto start_device = [&] {
            return via == 1 ? dev.start_tcp(ADDR_RECONNECT, PORT) : dev.start_pty(folder, 1);
        };
        QVERIFY(start_device());
        Ser2netProcess server;
        if (via == 2)
            QVERIFY(server.start(folder.file("ports/COM1"), QLatin1String(ADDR_SERVERS[0]),
                                 Ser2netProcess::Mode::Raw));
        const QStringList link =
            via == 0 ? QStringList{"--port", "COM1"}
            : via == 1
                ? QStringList{"--host", host_arg(ADDR_RECONNECT)}
                : QStringList{"--host",
                              QStringLiteral("%1:%2").arg(ADDR_SERVERS[0]).arg(server.port())};
        // One client at a time: first the plain watch, then the one that reconnects.
        QProcess plain, w;
        plain.start(install_ctl(folder), link + QStringList{"watch"});
        QVERIFY(pump_until([&] { return plain.readAllStandardError().contains("watching"); }));
        dev.stop();
        QVERIFY(plain.waitForFinished(5000));
        QCOMPARE(plain.exitCode(), 4);

        QVERIFY(start_device());
        w.start(install_ctl(folder), link + QStringList{"watch", "--reconnect", "--json"});
        QString err;
        QVERIFY(pump_until([&] { return (err += w.readAllStandardError()).contains("watching"); }));
        const auto next_line = [&](int ms) {
            return pump_until([&] { return w.canReadLine(); }, ms)
                       ? QString::fromUtf8(w.readLine()).trimmed()
                       : QString();
        };
        dev.stop();
        QCOMPARE(next_line(3000), QStringLiteral("{\"link\":\"down\"}"));
        if (via == 2) {
            QCOMPARE(next_line(4000), QString()); // nothing answers: the link stays down
            err += w.readAllStandardError();
            QVERIFY2(!err.contains("another program"), qPrintable(err));
        }
        QVERIFY(start_device());
        QCOMPARE(next_line(via == 2 ? 15000 : 5000), QStringLiteral("{\"link\":\"up\"}"));
        QVERIFY(dev.inject(QStringLiteral("MOD002")));
        QCOMPARE(QJsonDocument::fromJson(next_line(3000).toUtf8()).object()["reply"].toString(),
                 QStringLiteral("MOD002"));
        ::kill(static_cast<pid_t>(w.processId()), SIGINT);
        QVERIFY(w.waitForFinished(5000));
        QCOMPARE(w.exitCode(), 0);
        err += w.readAllStandardError();
        QVERIFY2(!err.contains("another program"), qPrintable(err));
    }

    // A scripted peer in place of the device: what veldra-ctl makes of a reply cut off
    // by a lost link, a peer that closes or says why and closes, a wrong reply and an
    // announcement during its exchange. `script`: what the peer sends right after
    // accepting ("@" before it) or once the command came, pieces split by "|"; a
    // trailing "!" closes the connection.
    void scripted_peer_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        QTest::newRow("VER then close")
            << "send VER999"
            << "VER!" << 4 << "lost during the reply to VER999 (only \"VER\" came)";
        QTest::newRow("VER1 then close") << "version"
                                         << "VER1!" << 4 << "(only \"VER1\" came)";
        QTest::newRow("PWR00 then close") << "send PWR999"
                                          << "PWR00!" << 4 << "the server closed";
        QTest::newRow("closes at once") << "send VER999"
                                        << "@!" << 4 << "the server closed the connection";
        QTest::newRow("says why and closes") << "send VER999"
                                             << "@Port's device already in use\r\n!" << 4
                                             << "the server said \"Port's device already in use\"";
        QTest::newRow("wrong reply") << "send VER999"
                                     << "PWR000\r" << 3 << "wrong reply to VER999: PWR000";
        QTest::newRow("silent") << "send VER999"
                                << "" << 3 << "the device is silent";
        QTest::newRow("announcement, then the reply") << "send VER999"
                                                      << "LCK001\r|VER160\r" << 0 << "";
        QTest::newRow("reply-shaped text on connecting is the device's") << "send VER999"
                                                                         << "@VER160\r" << 0 << "";
    }
    void scripted_peer() {
        QFETCH(QString, command);
        QFETCH(QString, script);
        QFETCH(int, code);
        QFETCH(QString, said);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress(ADDR_PEER), PORT));
        const bool at_once = script.startsWith('@');
        const QString body = at_once ? script.mid(1) : script;
        const bool closes = body.endsWith('!');
        const QStringList pieces = (closes ? body.chopped(1) : body).split('|', Qt::SkipEmptyParts);
        QTcpSocket *peer = nullptr;
        const auto play = [&] {
            for (const QString &piece : pieces) {
                peer->write(piece.toLatin1());
                peer->flush();
                QTest::qWait(20); // the pieces arrive apart
            }
            if (closes) peer->disconnectFromHost();
        };
        QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
            peer = server.nextPendingConnection();
            if (at_once) {
                play();
                return;
            }
            QObject::connect(peer, &QTcpSocket::readyRead, peer, [&] {
                if (peer->bytesAvailable() < 7) return;
                peer->readAll();
                play();
            });
        });
        ProgramFolder folder(0, 1);
        QProcess p;
        p.start(install_ctl(folder),
                QStringList{"--host", host_arg(ADDR_PEER)} + command.split(' '));
        QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 20000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        QCOMPARE(p.exitCode(), code);
        if (code == 0) {
            QVERIFY2(out.startsWith("VER160"), qPrintable(out));
        } else {
            QVERIFY2(out.isEmpty(), qPrintable(out));
            QVERIFY2(err.contains(said), qPrintable(err));
        }
    }

    // Per mode: a scene saved, the device changed in every setting the scene holds (and in
    // some it does not), the scene recalled: the device is back in it, and the wire carried
    // the mode first and then only what differed.
    void scene_round_trip_data() {
        QTest::addColumn<QStringList>("setup");
        QTest::addColumn<QStringList>("change");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QStringList>("keys");
        const QStringList routes{"OUT001", "INP002", "OUT002", "INP003",
                                 "OUT003", "INP004", "OUT004", "INP001"};
        const QStringList other_routes{"OUT001", "INP001", "OUT002", "INP001",
                                       "OUT003", "INP001", "OUT004", "INP004"};
        QStringList rows, other_rows;
        const char *const m[4] = {"BRI", "CON", "HUE", "SAT"};
        for (int row = 1; row <= 4; ++row)
            for (int p = 0; p < 4; ++p) {
                const int packed = 200 * (row - 1) + 10 * (p + 1) + row;
                rows << QLatin1String(m[p]) + QString::number(packed).rightJustified(3, '0');
                other_rows << QLatin1String(m[p]) +
                                  QString::number(packed + 50).rightJustified(3, '0');
            }
        // The selected output ends at 4, where the status read leaves it: no selection
        // put back between the steps.
        QTest::newRow("matrix")
            << QStringList{"MOD001"} + routes +
                   QStringList{"BRI010", "CON020", "HUE030", "SAT040", "AUE002", "RES003"}
            << other_routes + QStringList{"BRI060", "CON061", "HUE062", "SAT063", "AUE004",
                                          "RES009", "AUA002", "BEZ001", "MOD002"}
            << QStringList{"MOD001"} + routes +
                   QStringList{"BRI010", "CON020", "HUE030", "SAT040", "AUE002", "RES003"}
            << QStringList{"mode", "routing", "matrix", "audio/edid", "resolution"};
        QTest::newRow("dual") << QStringList{"MOD002"} + routes + rows +
                                     QStringList{"AUE001", "AUA002", "AUB001", "RES004"}
                              << other_routes + other_rows + QStringList{"AUE003", "AUA001",
                                                                         "AUB002", "RES008",
                                                                         "BEH050", "MOD001"}
                              << QStringList{"MOD002"} + routes + rows +
                                     QStringList{"AUE001", "AUA002", "AUB001", "RES004"}
                              << QStringList{"mode",       "routing",      "rows",
                                             "audio/edid", "audio/dual_a", "audio/dual_b",
                                             "resolution"};
        // The wall is output 1's input; a status read in 2X2 leaves output 1 selected.
        QTest::newRow("2x2") << QStringList{"MOD003", "OUT001", "INP003"} + rows +
                                    QStringList{"BEZ001", "BEH020", "BEV030", "AUE002",
                                                "RES002", "OUT004", "OUT001"}
                             << QStringList{"OUT001", "INP001"} + other_rows +
                                    QStringList{"BEZ000", "BEH005", "BEV006", "AUE000",
                                                "RES010", "AUA002", "OUT004", "MOD001"}
                             << QStringList{"MOD003", "OUT001", "OUT001", "INP003"} + rows +
                                    QStringList{"BEZ001", "BEH020", "BEV030", "AUE002", "RES002"}
                             << QStringList{"mode",    "routing/0", "rows",       "bezel/on",
                                            "bezel/h", "bezel/v",   "audio/edid", "resolution"};
    }
    void scene_round_trip() {
        QFETCH(QStringList, setup);
        QFETCH(QStringList, change);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, keys);
        QTemporaryDir dir;
        const QString venue = dir.filePath(QStringLiteral("venue.json"));
        SimDevice dev;
        QVERIFY(dev.start_tcp(ADDR_SCENE, PORT));
        const QStringList link{"--host", host_arg(ADDR_SCENE), "--venue", venue};
        QVERIFY(device_do(setup));
        const QJsonObject saved = dev.state();

        Run r = ctl(*folder_, link + QStringList{"scene", "save", "Lecture"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.out, QStringLiteral("scene \"Lecture\" saved\n"));
        // Saving changed nothing but, in 2X2, the selection the read leaves at output 1.
        const QStringList after_save = setting_commands(dev.commands());
        QCOMPARE(after_save.mid(0, setup.size()), setup);
        QCOMPARE(after_save.mid(setup.size()), QTest::currentDataTag() == QByteArray("2x2")
                                                   ? QStringList{"OUT001"}
                                                   : QStringList());
        r = ctl(*folder_, link + QStringList{"--json", "status"});
        QCOMPARE(QJsonDocument::fromJson(r.out.toUtf8()).object()["scene"].toString(),
                 QStringLiteral("Lecture"));

        QVERIFY(device_do(change));
        r = ctl(*folder_, link + QStringList{"--json", "status"});
        QVERIFY(QJsonDocument::fromJson(r.out.toUtf8()).object()["scene"].isNull());
        dev.mark();
        r = ctl(*folder_, link + QStringList{"scene", "recall", "LECTURE"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.out.startsWith(QStringLiteral("scene \"Lecture\" recalled: mode, routing ")) &&
                     r.out.endsWith(QStringLiteral(", audio edid, resolution\n")) ==
                         !keys.contains("audio/dual_b"),
                 qPrintable(r.out));
        QCOMPARE(setting_commands(dev.commands_since_mark()), expected);
        const QJsonObject now = dev.state();
        for (const QString &key : keys)
            QVERIFY2(json_at(now, key) == json_at(saved, key), qPrintable(key));

        // Recalled again: the device is in it, nothing is set (the status read may put the
        // selected output back, which changes nothing).
        dev.mark();
        r = ctl(*folder_, link + QStringList{"scene", "recall", "Lecture"});
        QCOMPARE(r.out, QStringLiteral("scene \"Lecture\": the device is in it already\n"));
        for (const QString &c : setting_commands(dev.commands_since_mark()))
            QVERIFY2(c.startsWith(QLatin1String("OUT")), qPrintable(c));
        QCOMPARE(without_count(dev.state()), without_count(now));
    }

    // Names typed and shown: routing by name in any case, the names in status, and the
    // refusals (exit 2, nothing sent) of a name that is unknown or names two outputs.
    void names_in_arguments_and_output() {
        QTemporaryDir dir;
        const QString venue = dir.filePath(QStringLiteral("venue.json"));
        SimDevice dev;
        QVERIFY(dev.start_tcp(ADDR_SCENE, PORT));
        const QStringList link{"--host", host_arg(ADDR_SCENE), "--venue", venue};
        for (const QStringList &name :
             {QStringList{"input", "1", "Lectern PC"},
              QStringList{"input", "2", "Document", "camera"},
              QStringList{"input", "3", "<b>\"Guest\" 'laptop'</b> $(id)"},
              QStringList{"output", "1", "Projector"},
              QStringList{"output", "2", "Confidence monitor \u00e9\u00e9"}}) {
            const Run r = ctl(*folder_, link + QStringList{"name"} + name);
            QVERIFY2(r.code == 0, qPrintable(r.err));
        }
        QVERIFY(dev.commands().isEmpty()); // names never reach the device
        Run r = ctl(*folder_, link + QStringList{"name", "input", "4", "lectern pc"});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("input 1 is already named \"Lectern PC\""), qPrintable(r.err));

        r = ctl(*folder_, link + QStringList{"route", "PROJECTOR", "document CAMERA"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(dev.commands(), (QStringList{"OUT001", "INP002"}));
        r = ctl(*folder_, link + QStringList{"route", "2", "<b>\"guest\" 'LAPTOP'</b> $(id)"});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(json_at(dev.state(), "routing/1").toInt(), 3);

        r = ctl(*folder_, link + QStringList{"status"});
        QVERIFY2(r.out.contains("\nroutes      Projector <- Document camera; Confidence monitor "
                                "\u00e9\u00e9 <- <b>\"Guest\" 'laptop'</b> $(id); Output 3 <- "
                                "<b>\"Guest\" 'laptop'</b> $(id); Output 4 <- Input 4\nscene"
                                "       none\n"),
                 qPrintable(r.out));
        r = ctl(*folder_, link + QStringList{"--json", "status"});
        QJsonParseError pe;
        const QJsonObject status = QJsonDocument::fromJson(r.out.toUtf8(), &pe).object();
        QCOMPARE(pe.error, QJsonParseError::NoError);
        QCOMPARE(json_at(status, "names/inputs/2").toString(),
                 QStringLiteral("<b>\"Guest\" 'laptop'</b> $(id)"));
        QCOMPARE(json_at(status, "names/outputs/1").toString(),
                 QStringLiteral("Confidence monitor \u00e9\u00e9"));
        QVERIFY(json_at(status, "names/outputs/3").isNull());
        QVERIFY(status["scene"].isNull());

        // A hand-edited file naming two outputs alike.
        QVERIFY(QFile::remove(venue));
        QFile f(venue);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{\"outputs\": [\"Screen\", \"SCREEN\", \"Projector\"], \"inputs\": [\"PC\"]}");
        f.close();
        dev.mark();
        for (const QStringList &args :
             {QStringList{"route", "screen", "PC"}, QStringList{"route", "Beamer", "1"},
              QStringList{"route", "projector", "Laptop"}, QStringList{"scene", "recall", "X"}}) {
            r = ctl(*folder_, link + args);
            QCOMPARE(r.code, 2);
            QVERIFY2(r.err.contains(args[0] == "scene" ? "the scenes: there is none"
                                    : args[2] == "Laptop"
                                        ? "the inputs are 1 \"PC\", 2, 3, 4"
                                        : "the outputs are 1 \"Screen\", 2 \"SCREEN\", 3 "
                                          "\"Projector\", 4"),
                     qPrintable(r.err));
        }
        QVERIFY(dev.commands_since_mark().isEmpty());
    }

    // A broken venue file: the programs go on with numbers and say where it broke; nothing
    // writes over it. One that cannot be written (full, read-only) stays as it was.
    void broken_and_unwritable_venue_files() {
        QTemporaryDir dir;
        const QString venue = dir.filePath(QStringLiteral("venue.json"));
        const QByteArray broken = "{\n  \"inputs\": [\"PC\",\n  \"scenes\": []\n}\n";
        QFile f(venue);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(broken);
        f.close();
        SimDevice dev;
        QVERIFY(dev.start_tcp(ADDR_SCENE, PORT));
        const QStringList link{"--host", host_arg(ADDR_SCENE), "--venue", venue};
        Run r = ctl(*folder_, link + QStringList{"route", "1", "2"});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.contains(venue + ": line 3, column 12: "), qPrintable(r.err));
        r = ctl(*folder_, link + QStringList{"route", "1", "PC"});
        QCOMPARE(r.code, 2);
        for (const QStringList &args :
             {QStringList{"name", "input", "1", "PC"}, QStringList{"scene", "save", "A"}}) {
            r = ctl(*folder_, link + args);
            QCOMPARE(r.code, 5);
            QVERIFY2(r.err.contains("mend it first"), qPrintable(r.err));
        }
        QCOMPARE(read_all(venue), broken);

        for (const char *fault : {"full", "read-only"}) {
            ScratchFs fs;
            const QString place = fs.path() + QStringLiteral("/venue.json");
            const QStringList here{"--venue", place};
            QCOMPARE(ctl(*folder_, here + QStringList{"name", "output", "1", "Projector"}).code, 0);
            const QByteArray before = read_all(place);
            QVERIFY(before.contains("Projector"));
            const bool made = QByteArray(fault) == "full" ? fs.fill() : fs.make_read_only();
            if (!made) QSKIP(qPrintable(QStringLiteral("cannot make the fault: ") + fs.how));
            qInfo("%s: %s", fault, qPrintable(fs.how));
            r = ctl(*folder_, here + QStringList{"name", "output", "2", "Confidence monitor"});
            QCOMPARE(r.code, 5);
            QVERIFY2(
                r.err.contains("the venue file could not be written, it is as it was: " + place),
                qPrintable(r.err));
            fs.release();
            QCOMPARE(read_all(place), before);
            r = ctl(*folder_, here + QStringList{"--json", "scene", "list"});
            QCOMPARE(r.out, QStringLiteral("{\"scenes\":[]}\n"));
        }
    }
};

QTEST_GUILESS_MAIN(CtlAgainstSim)
#include "test_ctl.moc"
