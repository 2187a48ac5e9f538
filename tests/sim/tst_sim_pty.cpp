// veldra-sim over a real pseudo-terminal, reached through its symlink.
#include "sim_harness.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace simtest;

class SimPtyTest : public QObject {
    Q_OBJECT

private slots:
    void answersOverPty() {
        QTemporaryDir dir;
        const QString link = dir.filePath("deep/er/ports/COM1"); // parents are created
        SimProcess sim;
        START_SIM(sim, (QStringList{"--pty", link}));
        const QFileInfo info(link);
        QVERIFY(info.isSymLink());
        QVERIFY2(info.symLinkTarget().startsWith("/dev/pts/"), qPrintable(info.symLinkTarget()));

        // Opened without touching the settings: the device side made it raw,
        // so nothing is echoed and CR stays CR even before the panel sets it up.
        PtyClient port;
        QVERIFY(port.open(link, false));
        termios tio{};
        QVERIFY(port.attributes(&tio));
        QCOMPARE(tio.c_lflag & (ECHO | ICANON | ISIG), tcflag_t(0));
        QCOMPARE(tio.c_iflag & (ICRNL | IXON), tcflag_t(0));
        QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));
        QVERIFY(port.send("VER999\r"));
        QCOMPARE(port.readLine(), QByteArray("VER160\r"));
        // Bytes come back exactly: no echo, no CR to LF.
        QVERIFY(port.send("EIP999\r"));
        QCOMPARE(port.readLine(), QByteArray("192.168.001.100\r"));
        QVERIFY(port.send("EMK999\rEGW999\r"));
        QCOMPARE(port.readLine(), QByteArray("255.255.255.000\r"));
        QCOMPARE(port.readLine(), QByteArray("192.168.001.001\r"));
        QVERIFY(port.send("MOD002\rBRI437\rBRI993\r"));
        QCOMPARE(port.readLine(), QByteArray("MOD002\r"));
        QCOMPARE(port.readLine(), QByteArray("BRI437\r"));
        QCOMPARE(port.readLine(), QByteArray("BRI437\r"));
        // Garbage and an overlong line, then a normal command.
        QByteArray junk(3000, '\0');
        for (int i = 0; i < junk.size(); ++i) {
            const char b = char((i * 37) & 0xFF);
            junk[i] = b == '\r' ? char(0xFF) : b;
        }
        QVERIFY(port.send(junk + "\r"));
        QCOMPARE(port.readLine(), QByteArray("ERR002\r"));
        QVERIFY(port.send("RST001\r"));
        QCOMPARE(port.readLine(), QByteArray("RST001\r"));
        QVERIFY(port.send("MOD999\r"));
        QCOMPARE(port.readLine(), QByteArray("MOD001\r"));
    }

    void portClosedAndReopened() {
        QTemporaryDir dir;
        const QString link = dir.filePath("COM2");
        SimProcess sim;
        START_SIM(sim, (QStringList{"--pty", link}));
        {
            PtyClient port;
            QVERIFY(port.open(link));
            QVERIFY(port.send("OUT003\r"));
            QCOMPARE(port.readLine(), QByteArray("OUT003\r"));
            QVERIFY(port.send("INP0")); // closed in the middle of a command
        }
        // With the panel's side closed the simulator must sleep, not spin.
        const double before = cpuSeconds(sim.pid());
        QTest::qWait(1000);
        const double used = cpuSeconds(sim.pid()) - before;
        QVERIFY2(before >= 0 && used < 0.5, qPrintable(QString::number(used)));
        QVERIFY(sim.running());

        for (int round = 0; round < 3; ++round) {
            PtyClient port;
            QVERIFY(port.open(link));
            QVERIFY(port.send("\rOUT999\r")); // the lone CR ends the stale half line
            QCOMPARE(port.readLine(), QByteArray("ERR002\r"));
            QCOMPARE(port.readLine(), QByteArray("OUT003\r"));
        }
    }

    void replacesStaleLinkAndCleansUpOnSigterm() {
        QTemporaryDir dir;
        const QString link = dir.filePath("COM3");
        const QString inject = dir.filePath("inject.sock");
        QVERIFY(QFile::link("/nonexistent/pts/99", link));
        SimProcess sim;
        START_SIM(sim, (QStringList{"--pty", link, "--inject", inject}));
        QVERIFY(QFileInfo(link).symLinkTarget().startsWith("/dev/pts/"));
        QVERIFY(QFileInfo::exists(inject));
        PtyClient port;
        QVERIFY(port.open(link));
        QVERIFY(port.send("VER999\r"));
        QCOMPARE(port.readLine(), QByteArray("VER160\r"));

        QCOMPARE(sim.terminateAndWait(), 0);
        QVERIFY2(!QFileInfo(link).isSymLink(), "symlink left behind");
        QVERIFY2(!QFileInfo::exists(inject), "inject socket left behind");
    }

    void sigintEndsCleanly() {
        QTemporaryDir dir;
        const QString link = dir.filePath("COM4");
        SimProcess sim;
        START_SIM(sim, (QStringList{"--pty", link}));
        QVERIFY(QFileInfo(link).isSymLink());
        ::kill(pid_t(sim.pid()), SIGINT);
        QVERIFY(sim.process().waitForFinished(10000));
        QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.process().exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void refusesToReplaceARegularFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("COM5");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep me");
        f.close();
        QProcess p;
        p.start(simProgram(), {"--pty", path});
        QVERIFY(p.waitForFinished(10000));
        QVERIFY(p.exitCode() != 0);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("keep me"));
    }

    void ptyAndTcpShareOneDevice() {
        QTemporaryDir dir;
        const QString link = dir.filePath("COM6");
        const QString inject = dir.filePath("inject");
        SimProcess sim;
        START_SIM(sim, (QStringList{"--pty", link, "--tcp", "127.0.0.119:23", "--inject", inject}));
        PtyClient port;
        QVERIFY(port.open(link));
        DeviceClient net;
        QVERIFY(net.connectTo("127.0.0.119"));

        QVERIFY(port.send("OUT002\rINP004\r"));
        QCOMPARE(port.readLine(), QByteArray("OUT002\r"));
        QCOMPARE(port.readLine(), QByteArray("INP004\r"));
        net.send("OUT999\rINP999\r");
        QCOMPARE(net.readLine(), QByteArray("OUT002\r"));
        QCOMPARE(net.readLine(), QByteArray("INP004\r"));
        // A reply goes only to the link that asked.
        QCOMPARE(port.readLine(300), QByteArray());

        // Unsolicited text goes to both.
        QLocalSocket client;
        client.connectToServer(inject);
        QVERIFY(client.waitForConnected(5000));
        client.write("LCK001\n");
        QVERIFY(client.waitForBytesWritten(5000));
        QCOMPARE(port.readLine(), QByteArray("LCK001\r"));
        QCOMPARE(net.readLine(), QByteArray("LCK001\r"));
        // ...and changed nothing.
        net.send("LCK999\r");
        QCOMPARE(net.readLine(), QByteArray("LCK000\r"));
    }
};

QTEST_GUILESS_MAIN(SimPtyTest)
#include "tst_sim_pty.moc"
