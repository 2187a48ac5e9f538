// veldra-sim's test and fault options, end to end over loopback TCP.
#include "sim_harness.h"

#include <QJsonArray>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtTest>

using namespace simtest;

namespace {

QJsonObject picture(int bri, int con, int hue, int sat) {
    return QJsonObject{{"bri", bri}, {"con", con}, {"hue", hue}, {"sat", sat}};
}

// Waits until `path` holds at least `count` lines.
QList<QByteArray> waitForLines(const QString &path, int count) {
    QDeadlineTimer deadline(5000);
    QList<QByteArray> lines = readLines(path);
    while (lines.size() < count && !deadline.hasExpired()) {
        QThread::msleep(10);
        lines = readLines(path);
    }
    return lines;
}

QByteArray garbageReply(const QString &seed) {
    SimProcess sim;
    QString why;
    if (!sim.start({"--tcp", "127.0.0.117:23", "--garbage", "1", "--seed", seed}, &why))
        return "start failed: " + why.toLocal8Bit();
    DeviceClient c;
    if (!c.connectTo("127.0.0.117")) return "connect failed";
    c.send("VER999\r");
    return c.readBytes(7);
}

} // namespace

class SimOptionsTest : public QObject {
    Q_OBJECT

private slots:
    void stateFile() {
        QTemporaryDir dir;
        const QString state = dir.filePath("run/state.json");
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.110:23", "--state", state}));

        const QJsonObject defaults{
            {"power", 1},
            {"lock", 0},
            {"mode", 1},
            {"output", 1},
            {"routing", QJsonArray{1, 2, 3, 4}},
            {"matrix", picture(50, 50, 50, 50)},
            {"rows", QJsonArray{picture(50, 50, 50, 50), picture(50, 50, 50, 50),
                                picture(50, 50, 50, 50), picture(50, 50, 50, 50)}},
            {"bezel", QJsonObject{{"on", 0}, {"h", 0}, {"v", 0}, {"max_h", 254}, {"max_v", 254}}},
            {"audio", QJsonObject{{"edid", 0}, {"dual_a", 1}, {"dual_b", 2}, {"on", 1}}},
            {"resolution", 1},
            {"res_count", 12},
            {"version", 160},
            {"ip", "192.168.001.100"},
            {"mask", "255.255.255.000"},
            {"gateway", "192.168.001.001"},
            {"commands", 0}};
        QCOMPARE(readStateFile(state), defaults);

        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.110"));
        const QList<QByteArray> commands = {"OUT003", "INP002", "MOD002", "BRI437", "CON012",
                                            "BEZ001", "BEH100", "BEV007", "AUE003", "AUA002",
                                            "AUB001", "AUD000", "RES005", "LCK001", "PWR000",
                                            "bad",    "OUT004", "INP001"};
        for (const QByteArray &cmd : commands) {
            c.send(cmd + "\r");
            const QByteArray reply = c.readLine();
            QVERIFY2(reply.size() == 7, reply.constData());
        }
        QJsonObject expected = defaults;
        expected["power"] = 0;
        expected["lock"] = 1;
        expected["mode"] = 2;
        expected["output"] = 4;
        expected["routing"] = QJsonArray{1, 2, 2, 1};
        expected["rows"] = QJsonArray{picture(50, 50, 50, 50), picture(50, 50, 50, 50),
                                      picture(37, 50, 50, 50), picture(50, 50, 50, 50)};
        // CON012 in Dual is row 1 (packed 0..100).
        QJsonArray rows = expected["rows"].toArray();
        rows[0] = picture(50, 12, 50, 50);
        expected["rows"] = rows;
        expected["bezel"] =
            QJsonObject{{"on", 1}, {"h", 100}, {"v", 7}, {"max_h", 254}, {"max_v", 254}};
        expected["audio"] = QJsonObject{{"edid", 3}, {"dual_a", 2}, {"dual_b", 1}, {"on", 0}};
        expected["resolution"] = 5;
        expected["commands"] = int(commands.size());
        // Written before the reply left, so it is already current.
        QCOMPARE(readStateFile(state), expected);

        c.send("RST001\r");
        QCOMPARE(c.readLine(), QByteArray("RST001\r"));
        expected = defaults;
        expected["commands"] = int(commands.size()) + 1;
        QCOMPARE(readStateFile(state), expected);
    }

    void commandsAndRepliesFiles() {
        QTemporaryDir dir;
        const QString cmds = dir.filePath("commands.txt");
        const QString replies = dir.filePath("replies.txt");
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.111:23", "--commands", cmds, "--replies",
                                    replies}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.111"));
        c.send("VER999\r");
        QCOMPARE(c.readLine(), QByteArray("VER160\r"));
        c.send(QByteArray("ab\x01\r", 4));
        QCOMPARE(c.readLine(), QByteArray("ERR002\r"));
        c.send(QByteArray(100, 'Z') + "\r\n");
        QCOMPARE(c.readLine(), QByteArray("ERR002\r"));
        c.send("EIP999\r");
        QCOMPARE(c.readBytes(16), QByteArray("192.168.001.100\r"));
        c.send("BEH998\r");
        QCOMPARE(c.readLine(), QByteArray("BEH254\r"));

        QCOMPARE(readLines(cmds),
                 (QList<QByteArray>{"VER999", "ab\\x01", QByteArray(64, 'Z'), "EIP999", "BEH998"}));
        QCOMPARE(readLines(replies),
                 (QList<QByteArray>{"VER160", "ERR002", "ERR002", "192.168.001.100", "BEH254"}));
    }

    void injectSendsVerbatim() {
        QTemporaryDir dir;
        const QString inject = dir.filePath("sock/inject");
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.112:23", "--inject", inject}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.112"));
        c.send("VER999\r"); // makes sure the client is the device's current one
        QCOMPARE(c.readLine(), QByteArray("VER160\r"));

        QLocalSocket client;
        client.connectToServer(inject);
        QVERIFY(client.waitForConnected(5000));
        client.write("BEV040\n");
        client.flush();
        QCOMPARE(c.readBytes(7), QByteArray("BEV040\r"));
        client.write("raw:\\x00AB\\r\\n\\xff\n");
        client.flush();
        QCOMPARE(c.readBytes(6), QByteArray("\x00"
                                            "AB\r\n\xFF",
                                            6));
        // A line written in pieces goes out whole, once.
        client.write("MOD");
        client.flush();
        QTest::qWait(50);
        client.write("003\n");
        client.flush();
        QCOMPARE(c.readBytes(7), QByteArray("MOD003\r"));
        // Write and hang up at once: all of it still goes out, in order,
        // a last line without its newline too.
        {
            QLocalSocket brief;
            brief.connectToServer(inject);
            QVERIFY(brief.waitForConnected(5000));
            brief.write("AUD000\nraw:Z");
            brief.flush();
            brief.disconnectFromServer();
        }
        QCOMPARE(c.readBytes(8), QByteArray("AUD000\rZ"));
        // None of it touched the device.
        c.send("BEV999\rMOD999\rAUD999\r");
        QCOMPARE(c.readLine(), QByteArray("BEV000\r"));
        QCOMPARE(c.readLine(), QByteArray("MOD001\r"));
        QCOMPARE(c.readLine(), QByteArray("AUD001\r"));
    }

    void splitRepliesAssemble() {
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.113:23", "--split", "--log"}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.113"));
        c.send("VER999\r");
        QCOMPARE(c.readLine(), QByteArray("VER160\r"));
        c.send("EGW999\r");
        QCOMPARE(c.readBytes(16), QByteArray("192.168.001.001\r"));

        // The log shows what actually left: one byte per write.
        QByteArray out;
        int pieces = 0;
        QDeadlineTimer deadline(5000);
        while (pieces < 23 && !deadline.hasExpired()) {
            sim.process().waitForReadyRead(100);
            out.clear();
            pieces = 0;
            for (const QByteArray &line : sim.stderrSoFar().split('\n')) {
                const int at = line.indexOf(" tcp > ");
                if (at < 0) continue;
                const QByteArray piece = line.mid(at + 7);
                QVERIFY2(piece.size() == 1 || piece == "\\r", line.constData());
                out += piece == "\\r" ? QByteArray("\r") : piece;
                ++pieces;
            }
        }
        QCOMPARE(pieces, 23);
        QCOMPARE(out, QByteArray("VER160\r192.168.001.001\r"));
        QVERIFY(sim.stderrSoFar().contains(" tcp < VER999\\r"));
    }

    // At 9600 baud a byte takes 1.04 ms, so the 16-character answer cannot be through in
    // less than 16.7 ms; the log shows how it was handed over: byte by byte on a plain
    // line, in at most three latency-timer chunks behind a USB adapter.
    void wirePaceHolds_data() {
        QTest::addColumn<QStringList>("pace");
        QTest::addColumn<int>("minPieces");
        QTest::addColumn<int>("maxPieces");
        QTest::newRow("9600 baud") << QStringList{"--baud", "9600"} << 2 << 16;
        QTest::newRow("USB latency 16 ms")
            << QStringList{"--baud", "9600", "--usb-latency", "16"} << 1 << 3;
    }
    void wirePaceHolds() {
        QFETCH(QStringList, pace);
        QFETCH(int, minPieces);
        QFETCH(int, maxPieces);
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.121:23", "--log"} + pace));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.121"));
        QElapsedTimer t;
        t.start();
        c.send("EIP999\r");
        QCOMPARE(c.readBytes(16), QByteArray("192.168.001.100\r"));
        QVERIFY2(t.nsecsElapsed() >= 16'600'000, qPrintable(QString::number(t.nsecsElapsed())));
        int pieces = 0;
        QByteArray out;
        QDeadlineTimer deadline(5000);
        while (!out.endsWith("\\r") && !deadline.hasExpired()) {
            sim.process().waitForReadyRead(100);
            out.clear();
            pieces = 0;
            for (const QByteArray &line : sim.stderrSoFar().split('\n')) {
                const int at = line.indexOf(" tcp > ");
                if (at >= 0) {
                    out += line.mid(at + 7);
                    ++pieces;
                }
            }
        }
        QCOMPARE(out, QByteArray("192.168.001.100\\r"));
        QVERIFY2(pieces >= minPieces && pieces <= maxPieces, qPrintable(QString::number(pieces)));
    }

    void dropCmdNeverAnswers() {
        QTemporaryDir dir;
        const QString cmds = dir.filePath("commands.txt");
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.114:23", "--drop-cmd", "BEZ999", "--drop-cmd",
                                    "AUD999", "--commands", cmds}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.114"));
        c.send("BEZ999\rVER999\r");
        QCOMPARE(c.readLine(), QByteArray("VER160\r"));
        c.send("BEZ001\r"); // only the exact text is dropped
        QCOMPARE(c.readLine(), QByteArray("BEZ001\r"));
        c.send("AUD999\rBEZ999\rBEZ999\rOUT999\r");
        QCOMPARE(c.readLine(), QByteArray("OUT001\r"));
        // The device did receive them.
        QCOMPARE(readLines(cmds), (QList<QByteArray>{"BEZ999", "VER999", "BEZ001", "AUD999",
                                                     "BEZ999", "BEZ999", "OUT999"}));
    }

    void delayedRepliesKeepOrder() {
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.115:23", "--latency", "10", "--late", "120",
                                    "--late-p", "0.5", "--seed", "3"}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.115"));
        QByteArray burst;
        QList<QByteArray> expected;
        for (int i = 1; i <= 4; ++i) {
            burst += "OUT00" + QByteArray::number(i) + "\rINP999\r";
            expected << "OUT00" + QByteArray::number(i) + "\r"
                     << "INP00" + QByteArray::number(i) + "\r";
        }
        burst += "VER999\rBRI020\rBRI999\r";
        expected << "VER160\r"
                 << "BRI020\r"
                 << "BRI020\r";
        c.send(burst);
        for (const QByteArray &e : expected) QCOMPARE(c.readLine(), e);
    }

    void dropProbabilityOne() {
        QTemporaryDir dir;
        const QString cmds = dir.filePath("c.txt");
        const QString replies = dir.filePath("r.txt");
        const QString state = dir.filePath("s.json");
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.116:23", "--drop", "1", "--commands", cmds,
                                    "--replies", replies, "--state", state}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.116"));
        c.send("OUT003\rVER999\r");
        QCOMPARE(waitForLines(cmds, 2), (QList<QByteArray>{"OUT003", "VER999"}));
        // Replies are decided as the command is handled: none was sent.
        QCOMPARE(readLines(replies), QList<QByteArray>());
        QCOMPARE(readStateFile(state).value("output").toInt(), 3);
        QCOMPARE(c.collectFor(200), QByteArray());
    }

    void garbageIsSeeded() {
        const QByteArray first = garbageReply("99");
        QCOMPARE(first.size(), 7);
        QVERIFY(first != "VER160\r");
        QCOMPARE(garbageReply("99"), first);
        const QByteArray other = garbageReply("100");
        QCOMPARE(other.size(), 7);
        QVERIFY(other != first);
    }

    void frontPanelAnnouncesChanges() {
        QTemporaryDir dir;
        const QString state = dir.filePath("state.json");
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.118:23", "--front-panel", "400", "--seed",
                                    "5", "--state", state}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.118"));
        for (int i = 0; i < 3; ++i) {
            const QByteArray a = c.readLine(5000);
            QCOMPARE(a.size(), 7);
            const QJsonObject s = readStateFile(state);
            const QByteArray mn = a.left(3);
            const int v = a.mid(3, 3).toInt();
            const QJsonObject audio = s.value("audio").toObject();
            int actual = -1;
            if (mn == "MOD")
                actual = s.value("mode").toInt();
            else if (mn == "AUE")
                actual = audio.value("edid").toInt();
            else if (mn == "AUA")
                actual = audio.value("dual_a").toInt();
            else if (mn == "AUB")
                actual = audio.value("dual_b").toInt();
            else if (mn == "AUD")
                actual = audio.value("on").toInt();
            else if (mn == "LCK")
                actual = s.value("lock").toInt();
            else if (mn == "BEZ")
                actual = s.value("bezel").toObject().value("on").toInt();
            else if (mn == "BRI")
                actual = s.value("matrix").toObject().value("bri").toInt();
            else if (mn == "RES")
                actual = s.value("resolution").toInt();
            else if (mn == "INP")
                actual = s.value("routing").toArray().at(s.value("output").toInt() - 1).toInt();
            else
                QFAIL(a.constData());
            QCOMPARE(actual, v);
        }
    }

    void configurationOptions() {
        QTemporaryDir dir;
        const QString state = dir.filePath("state.json");
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.120:23", "--version", "213", "--res-count",
                                    "5", "--bezel-max-h", "200", "--bezel-max-v", "40", "--mask",
                                    "255.0.0.0", "--state", state}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.120"));
        const QList<QPair<QByteArray, QByteArray>> exchanges = {
            {"VER999", "VER213\r"}, {"RES005", "RES005\r"},         {"RES006", "ERR001\r"},
            {"BEH998", "BEH200\r"}, {"BEV998", "BEV040\r"},         {"BEH201", "ERR001\r"},
            {"BEV040", "BEV040\r"}, {"EMK999", "255.0.0.0      \r"}};
        for (const auto &x : exchanges) {
            c.send(x.first + "\r");
            QCOMPARE(c.readLine(), x.second);
        }
        const QJsonObject s = readStateFile(state);
        QCOMPARE(s.value("res_count").toInt(), 5);
        QCOMPARE(s.value("version").toInt(), 213);
        QCOMPARE(s.value("bezel").toObject().value("max_h").toInt(), 200);
        QCOMPARE(s.value("bezel").toObject().value("v").toInt(), 40);
        QCOMPARE(s.value("mask").toString(), QString("255.0.0.0      "));
    }

    void helpAndUsageErrors() {
        QProcess help;
        help.start(simProgram(), {"--help"});
        QVERIFY(help.waitForFinished(10000));
        QCOMPARE(help.exitCode(), 0);
        const QByteArray text = help.readAllStandardOutput();
        for (const char *opt :
             {"--pty",       "--tcp",         "--exit-after",  "--reboot-drop", "--state",
              "--commands",  "--replies",     "--log",         "--latency",     "--late",
              "--late-p",    "--drop",        "--drop-cmd",    "--garbage",     "--split",
              "--baud",      "--usb-latency", "--seed",        "--front-panel", "--inject",
              "--res-count", "--version",     "--bezel-max-h", "--bezel-max-v", "--ip",
              "--mask",      "--gateway"})
            QVERIFY2(text.contains(opt), opt);
        QVERIFY(text.contains("replaces"));

        for (const QStringList &bad : {QStringList{"--drop", "2"}, QStringList{"--tcp", "nowhere"},
                                       QStringList{"--res-count", "0"}, QStringList{"--frobnicate"},
                                       QStringList{"--usb-latency", "0"}}) {
            QProcess p;
            p.start(simProgram(), bad);
            QVERIFY(p.waitForFinished(10000));
            QVERIFY2(p.exitCode() != 0, qPrintable(bad.join(' ')));
            QVERIFY(!p.readAllStandardOutput().contains("ready"));
        }
    }
};

QTEST_GUILESS_MAIN(SimOptionsTest)
#include "tst_sim_options.moc"
