// veldra-sim over real loopback TCP: each test has its own 127.0.0.x:23.
#include "sim_harness.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

using namespace simtest;

class SimTcpTest : public QObject {
    Q_OBJECT

private slots:
    void versionAndNetworkAnswers() {
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.101:23", "--ip", "10.0.0.5", "--gateway",
                                    "192.168.100.200.77"}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.101"));
        c.send("VER999\r");
        QCOMPARE(c.readLine(), QByteArray("VER160\r"));
        // The three network answers are 15 characters and a CR.
        c.send("EIP999\r");
        QCOMPARE(c.readBytes(16), QByteArray("10.0.0.5       \r"));
        c.send("EMK999\r");
        QCOMPARE(c.readBytes(16), QByteArray("255.255.255.000\r"));
        c.send("EGW999\r");
        QCOMPARE(c.readBytes(16), QByteArray("192.168.100.200\r"));
        // CR LF and a lone LF are both fine.
        c.send("OUT003\r\n\nINP999\r\n");
        QCOMPARE(c.readLine(), QByteArray("OUT003\r"));
        QCOMPARE(c.readLine(), QByteArray("INP003\r"));
        c.send("XYZ999\rOUT009\rOUT01\r");
        QCOMPARE(c.readLine(), QByteArray("ERR000\r"));
        QCOMPARE(c.readLine(), QByteArray("ERR001\r"));
        QCOMPARE(c.readLine(), QByteArray("ERR002\r"));
        // A command split over several segments is put together.
        c.send("BR");
        QTest::qWait(20);
        c.send("I0");
        QTest::qWait(20);
        c.send("42\r");
        QCOMPARE(c.readLine(), QByteArray("BRI042\r"));
    }

    void powerOnReboots_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("PWR001") << "127.0.0.102" << QByteArray("PWR001");
        QTest::newRow("RST001") << "127.0.0.103" << QByteArray("RST001");
    }

    void powerOnReboots() {
        QFETCH(QString, address);
        QFETCH(QByteArray, command);
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", address + ":23"}));
        DeviceClient c;
        QVERIFY(c.connectTo(address));
        c.send("OUT002\r");
        QCOMPARE(c.readLine(), QByteArray("OUT002\r"));
        // Standby alone keeps the connection.
        c.send("PWR000\r");
        QCOMPARE(c.readLine(), QByteArray("PWR000\r"));
        c.send(command + "\r");
        QCOMPARE(c.readLine(), command + "\r");
        QVERIFY2(c.waitClosed(5000), "device did not drop the connection after rebooting");
        QCOMPARE(c.buffered(), QByteArray());

        // Still listening, and the new session sees the device's state.
        DeviceClient again;
        QVERIFY(again.connectTo(address));
        again.send("PWR999\r");
        QCOMPARE(again.readLine(), QByteArray("PWR001\r"));
        again.send("OUT999\r");
        QCOMPARE(again.readLine(),
                 command == "RST001" ? QByteArray("OUT001\r") : QByteArray("OUT002\r"));
    }

    void rebootDropDelayIsAdjustable() {
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.102:23", "--reboot-drop", "2000"}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.102"));
        c.send("PWR001\r");
        QCOMPARE(c.readLine(), QByteArray("PWR001\r"));
        // Still up well inside the delay, but a rebooting device answers nothing.
        c.send("VER999\r");
        QCOMPARE(c.collectFor(300), QByteArray());
        QCOMPARE(c.socket().state(), QAbstractSocket::ConnectedState);
        QVERIFY(c.waitClosed(10000));
        QCOMPARE(c.buffered(), QByteArray());
    }

    void standbyDoesNotDrop() {
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.104:23"}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.104"));
        c.send("PWR000\r");
        QCOMPARE(c.readLine(), QByteArray("PWR000\r"));
        // Well past the reboot delay the link is still up and answering.
        QCOMPARE(c.collectFor(300), QByteArray());
        QCOMPARE(c.socket().state(), QAbstractSocket::ConnectedState);
        c.send("VER999\r");
        QCOMPARE(c.readLine(), QByteArray("VER160\r"));
    }

    void idleClientGetsExt() {
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.105:23", "--exit-after", "0.3"}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.105"));
        c.send("VER999\r");
        QCOMPARE(c.readLine(), QByteArray("VER160\r"));
        QCOMPARE(c.readLine(5000), QByteArray("EXT000\r"));
        QVERIFY(c.waitClosed(5000));
        QCOMPARE(c.buffered(), QByteArray());
        // The listener stays; a new client is served (and timed out) afresh.
        DeviceClient next;
        QVERIFY(next.connectTo("127.0.0.105"));
        QCOMPARE(next.readLine(5000), QByteArray("EXT000\r"));
        QVERIFY(next.waitClosed(5000));
    }

    void commandsKeepClientAlive() {
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.106:23", "--exit-after", "1.5"}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.106"));
        // 2.4 s of traffic, a command every 0.1 s: never idle for 1.5 s.
        for (int i = 0; i < 24; ++i) {
            c.send("OUT999\r");
            QCOMPARE(c.readLine(), QByteArray("OUT001\r"));
            QTest::qWait(100);
        }
        QCOMPARE(c.socket().state(), QAbstractSocket::ConnectedState);
        QCOMPARE(c.readLine(5000), QByteArray("EXT000\r"));
    }

    void newClientReplacesOld() {
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.107:23"}));
        DeviceClient first;
        QVERIFY(first.connectTo("127.0.0.107"));
        first.send("OUT004\r");
        QCOMPARE(first.readLine(), QByteArray("OUT004\r"));
        DeviceClient second;
        QVERIFY(second.connectTo("127.0.0.107"));
        second.send("OUT999\r");
        QCOMPARE(second.readLine(), QByteArray("OUT004\r"));
        QVERIFY2(first.waitClosed(5000), "the old client was not closed");
        QCOMPARE(first.buffered(), QByteArray());
        second.send("VER999\r");
        QCOMPARE(second.readLine(), QByteArray("VER160\r"));
    }

    void garbageDoesNotStopIt() {
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.108:23"}));
        DeviceClient c;
        QVERIFY(c.connectTo("127.0.0.108"));

        // 20000 random bytes (NUL and 0xFF included) with no line end at all.
        QRandomGenerator gen(1234);
        QByteArray blob;
        for (int i = 0; i < 20000; ++i) {
            char b = char(gen.bounded(256));
            if (b == '\r') b = '\0';
            blob += b;
        }
        blob[0] = '\0';
        blob[1] = char(0xFF);
        c.send(blob + "\r");
        QCOMPARE(c.readLine(), QByteArray("ERR002\r"));
        c.send("VER999\r");
        QCOMPARE(c.readLine(), QByteArray("VER160\r"));

        // Random bytes with line ends: one refusal per line, then still alive.
        QByteArray lines;
        int crCount = 0;
        for (int i = 0; i < 4000; ++i) {
            const char b = char(gen.bounded(256));
            lines += b;
            crCount += b == '\r';
        }
        lines += '\r';
        ++crCount;
        c.send(lines);
        const QRegularExpression refusal("^ERR00[012]\r$");
        for (int i = 0; i < crCount; ++i) {
            const QByteArray r = c.readLine();
            QVERIFY2(refusal.match(QString::fromLatin1(r)).hasMatch(), r.toHex().constData());
        }
        c.send("INP999\r");
        QCOMPARE(c.readLine(), QByteArray("INP001\r"));
        QVERIFY(sim.running());
    }

    void clientLeavingMidCommand() {
        SimProcess sim;
        START_SIM(sim, (QStringList{"--tcp", "127.0.0.109:23"}));
        {
            DeviceClient c;
            QVERIFY(c.connectTo("127.0.0.109"));
            c.send("VER9");
            c.socket().disconnectFromHost();
            c.socket().waitForDisconnected(2000);
        }
        // The half line died with its connection: "99" alone is too short.
        DeviceClient next;
        QVERIFY(next.connectTo("127.0.0.109"));
        next.send("99\r");
        QCOMPARE(next.readLine(), QByteArray("ERR002\r"));
        next.send("VER999\r");
        QCOMPARE(next.readLine(), QByteArray("VER160\r"));
        // Abrupt resets don't hurt either.
        for (int i = 0; i < 5; ++i) {
            DeviceClient quick;
            QVERIFY(quick.connectTo("127.0.0.109"));
            quick.send("MOD00");
            quick.socket().abort();
        }
        DeviceClient last;
        QVERIFY(last.connectTo("127.0.0.109"));
        last.send("MOD999\r");
        QCOMPARE(last.readLine(), QByteArray("MOD001\r"));
        // Nothing spins once everyone is gone.
        last.socket().disconnectFromHost();
        const double before = cpuSeconds(sim.pid());
        QTest::qWait(1000);
        const double used = cpuSeconds(sim.pid()) - before;
        QVERIFY2(before >= 0 && used < 0.5, qPrintable(QString::number(used)));
    }
};

QTEST_GUILESS_MAIN(SimTcpTest)
#include "tst_sim_tcp.moc"
