// A device (or device server) that floods the link with bytes and no pause: memory
// and the log stay bounded and the window keeps handling events.
#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <atomic>
#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include "panel_access.h"
#include "sim_fixture.h"

namespace {
constexpr qint64 FLOOD_BYTES = 50LL * 1024 * 1024;
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory in quarantine, so the resident size says
// nothing about what the program holds.
constexpr long GROWTH_LIMIT_MB = 400;
#else
constexpr long GROWTH_LIMIT_MB = 40;
#endif

long peak_rss_kb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

QByteArray junk_block() {
    QByteArray b(64 * 1024, '\0');
    quint32 x = 12345;
    for (char &c : b) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 24);
    }
    // some reply-shaped text in the noise
    for (int i = 0; i + 7 < b.size(); i += 997) memcpy(b.data() + i, "INP003\r", 7);
    return b;
}

// Writes FLOOD_BYTES to a file descriptor as fast as it is read.
class FdFlooder : public QThread {
public:
    explicit FdFlooder(int fd) : fd_(fd) {}
    std::atomic<qint64> written{0};
    void run() override {
        const QByteArray b = junk_block();
        while (written < FLOOD_BYTES) {
            const ssize_t n = ::write(fd_, b.constData(), size_t(b.size()));
            if (n <= 0) {
                if (errno == EINTR || errno == EAGAIN) {
                    QThread::usleep(200);
                    continue;
                }
                return;
            }
            written += n;
        }
    }

private:
    int fd_;
};

// Serves one TCP client and floods it.
class TcpFlooder : public QThread {
public:
    explicit TcpFlooder(const QHostAddress &a) : addr_(a) {}
    std::atomic<qint64> written{0};
    std::atomic<bool> listening{false};
    void run() override {
        QTcpServer server;
        if (!server.listen(addr_, 23)) return;
        listening = true;
        if (!server.waitForNewConnection(10000)) return;
        QTcpSocket *s = server.nextPendingConnection();
        const QByteArray b = junk_block();
        while (written < FLOOD_BYTES && s->state() == QAbstractSocket::ConnectedState) {
            written += s->write(b);
            s->waitForBytesWritten(1000);
        }
        s->waitForBytesWritten(1000);
        QThread::msleep(200);
    }

private:
    QHostAddress addr_;
};

// Records the longest pause between timer ticks of the window's thread.
struct Responsiveness {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
    Responsiveness() {
        clock.start();
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.elapsed();
            worst = qMax(worst, now - last);
            last = now;
        });
        timer.start();
    }
};
} // namespace

class Flood : public QObject {
    Q_OBJECT
private slots:
    void serial_flood() {
        int master = -1, slave = -1;
        QVERIFY(::openpty(&master, &slave, nullptr, nullptr, nullptr) == 0);
        termios tio{};
        ::tcgetattr(slave, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
        char name[128] = {};
        QVERIFY(::ttyname_r(slave, name, sizeof name) == 0);
        ProgramFolder folder(0, 1);
        QFile::remove(folder.file("ports/COM1"));
        QVERIFY(QFile::link(QString::fromLocal8Bit(name), folder.file("ports/COM1")));
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        QCOMPARE(f->connection().serial_open(), true);
        const long rss_before = peak_rss_kb();
        Responsiveness resp;
        FdFlooder flooder(master);
        flooder.start();
        QVERIFY(pump_until([&] { return flooder.isFinished(); }, 120000));
        pump_ms(200);
        QCOMPARE(flooder.written.load(), FLOOD_BYTES);
        const long grown_mb = (peak_rss_kb() - rss_before) / 1024;
        qInfo("serial: 50 MB flood, peak memory grew by %ld MB, longest pause %lld ms", grown_mb,
              resp.worst);
        QVERIFY2(grown_mb < GROWTH_LIMIT_MB, qPrintable(QString::number(grown_mb)));
        QVERIFY2(resp.worst < 1000, qPrintable(QString::number(resp.worst)));
        QVERIFY(f->exchange().log_count() <= 31);
        QVERIFY(f->txt_cmd->text().size() <= 31 * (Exchange::RX_KEEP + 1));
        QVERIFY(msgs.messages.isEmpty());
        // still usable afterwards: a clean reply is handled
        const int before = f->exchange().dispatch_count();
        TestProbe::set_reception(*f, QString(), 0);
        QVERIFY(::write(master, "SAV002\r", 7) == 7);
        QVERIFY(pump_until([&] { return f->exchange().dispatch_count() > before; }, 3000));
        ::close(slave);
        ::close(master);
    }

    void tcp_flood() {
        const QHostAddress addr(QStringLiteral("127.0.0.6"));
        TcpFlooder flooder(addr);
        flooder.start();
        QVERIFY(pump_until([&] { return flooder.listening.load(); }, 5000));
        ProgramFolder folder(1, 1, false, addr.toString());
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        f->link().cmd_conn_eth_Click();
        QVERIFY(pump_until([&] { return f->connection().eth_connected() != 0; }));
        const long rss_before = peak_rss_kb();
        Responsiveness resp;
        QVERIFY(pump_until([&] { return flooder.isFinished(); }, 120000));
        const long grown_mb = (peak_rss_kb() - rss_before) / 1024;
        qInfo("tcp: 50 MB flood, peak memory grew by %ld MB, longest pause %lld ms", grown_mb,
              resp.worst);
        QCOMPARE(flooder.written.load(), FLOOD_BYTES);
        QVERIFY2(grown_mb < GROWTH_LIMIT_MB, qPrintable(QString::number(grown_mb)));
        QVERIFY2(resp.worst < 1000, qPrintable(QString::number(resp.worst)));
        QVERIFY(f->exchange().log_count() <= 31);
        QVERIFY(f->txt_cmd->text().size() <= 31 * (Exchange::RX_KEEP + 1));
        // the flooder hung up: the link watch reports it like any lost link
        QVERIFY(pump_until([&] { return f->connection().eth_connected() == 0; }, 5000));
        QVERIFY(msgs.texts().contains(QStringLiteral("Ethernet is disconnected !")));
    }
};

QTEST_MAIN(Flood)
#include "test_flood.moc"
