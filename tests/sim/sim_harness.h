// Helpers for the end-to-end tests: start the real veldra-sim and talk to it
// over real loopback TCP and real pseudo-terminals.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <QTcpSocket>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "device_client.h"
#include "sim_process.h"

namespace simtest {

// The panel's side of the pseudo-terminal, opened through the symlink with
// plain POSIX calls, raw like a serial port.
class PtyClient {
public:
    ~PtyClient() { close(); }

    bool open(const QString &path, bool makeRaw = true) {
        m_fd =
            ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0) return false;
        if (!makeRaw) return true;
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0) return false;
        ::cfmakeraw(&tio);
        return ::tcsetattr(m_fd, TCSANOW, &tio) == 0;
    }

    // The line settings as the simulator left them.
    bool attributes(termios *tio) const { return ::tcgetattr(m_fd, tio) == 0; }

    void close() {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        m_buf.clear();
    }

    bool send(const QByteArray &bytes) {
        qsizetype done = 0;
        QDeadlineTimer deadline(5000);
        while (done < bytes.size() && !deadline.hasExpired()) {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n > 0)
                done += n;
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            else
                waitFor(POLLOUT, 10);
        }
        return done == bytes.size();
    }

    QByteArray readLine(int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        return take_line(m_buf, [&] {
            if (deadline.hasExpired()) return false;
            if (waitFor(POLLIN, int(qMax<qint64>(1, deadline.remainingTime())))) drain();
            return true;
        });
    }

private:
    bool waitFor(short events, int ms) {
        pollfd p{m_fd, events, 0};
        return ::poll(&p, 1, ms) > 0 && (p.revents & events);
    }

    void drain() {
        char buf[512];
        ssize_t n;
        while ((n = ::read(m_fd, buf, sizeof buf)) > 0) m_buf.append(buf, int(n));
    }

    int m_fd = -1;
    QByteArray m_buf;
};

inline QJsonObject readStateFile(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

inline QList<QByteArray> readLines(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QList<QByteArray> lines = f.readAll().split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

// Processor time (user + system) the process has used so far, in seconds.
inline double cpuSeconds(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray stat = f.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    const double ticks = double(fields[11].toLongLong() + fields[12].toLongLong());
    return ticks / double(sysconf(_SC_CLK_TCK));
}

} // namespace simtest

// Starts a simulator or fails the test with its reason.
#define START_SIM(sim, args)                                                                       \
    do {                                                                                           \
        QString why_;                                                                              \
        QVERIFY2((sim).start((args), &why_), qPrintable(why_));                                    \
    } while (0)
