#pragma once
// Debian's ser2net, started by a test with its own configuration in front of a device
// (a simulator's pseudo-terminal) on a loopback address: the serial device server of a
// real venue, in one of the modes integrators use.

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <sys/prctl.h>

class Ser2netProcess {
public:
    enum class Mode { Raw, RawBanner, Telnet, Rfc2217 };
    // The banner of Debian's stock configuration.
    static QByteArray stock_banner() {
        return QByteArrayLiteral(
            "'\\r\\nser2net port \\p device \\d (Debian GNU/Linux)\\r\\n\\r\\n'");
    }

    ~Ser2netProcess() { stop(); }

    // Serves `device` on `address`, at a free port (port()). `line` is the serial line
    // ser2net sets up; a client of the RFC 2217 mode may change it.
    // `options` are further lines of the connection's options block.
    bool start(const QString &device, const QString &address, Mode mode,
               const QString &line = QStringLiteral("115200n81"), const QByteArray &options = {}) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress(address), 0)) return fail("no free port");
        port_ = probe.serverPort();
        probe.close();
        static const char *const accepters[] = {"tcp", "tcp", "telnet,tcp", "telnet(rfc2217),tcp"};
        QByteArray yaml = "connection: &dev\n  accepter: " + QByteArray(accepters[int(mode)]) +
                          ',' + address.toLatin1() + ',' + QByteArray::number(port_) +
                          "\n  connector: serialdev," + device.toLocal8Bit() + ',' +
                          line.toLatin1() + ",local\n  options:\n    kickolduser: true\n";
        if (mode == Mode::RawBanner) yaml += "    banner: " + stock_banner() + '\n';
        if (!options.isEmpty()) yaml += "    " + options + '\n';
        QFile f(dir_.filePath(QStringLiteral("ser2net.yaml")));
        if (!f.open(QIODevice::WriteOnly) || f.write(yaml) != yaml.size()) return fail("no config");
        f.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(TEVRAL_ADDRCONFIG_SHIM));
        proc_.setProcessEnvironment(env);
        proc_.setProcessChannelMode(QProcess::MergedChannels);
        proc_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        proc_.start(QStringLiteral("ser2net"), {"-n", "-d", "-c", f.fileName()});
        if (!proc_.waitForStarted(10000)) return fail("ser2net did not start");
        // Listening once a connection is taken; that client goes away at once.
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && proc_.state() == QProcess::Running) {
            QTcpSocket s;
            s.connectToHost(QHostAddress(address), port_);
            if (s.waitForConnected(500)) {
                s.abort();
                return true;
            }
            QThread::msleep(20);
        }
        return fail("ser2net does not listen");
    }

    void stop() {
        if (proc_.state() == QProcess::NotRunning) return;
        proc_.terminate();
        if (!proc_.waitForFinished(5000)) {
            proc_.kill();
            proc_.waitForFinished(5000);
        }
    }

    quint16 port() const { return port_; }
    QString why() const { return why_; }

private:
    bool fail(const char *what) {
        why_ = QString::fromLatin1(what) + QStringLiteral(": ") +
               QString::fromLocal8Bit(proc_.readAll());
        qWarning("%s", qPrintable(why_));
        return false;
    }

    QTemporaryDir dir_;
    QProcess proc_;
    quint16 port_ = 0;
    QString why_;
};
