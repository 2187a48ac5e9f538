#pragma once
#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QStringList>
#include <QTcpSocket>

// Cuts the first line (up to and including its CR) off `buf`, calling `more` for further
// bytes until one is there; once `more` fails, whatever came (then without CR).
template <typename More> QByteArray take_line(QByteArray &buf, More more) {
    for (;;) {
        const int cr = buf.indexOf('\r');
        if (cr >= 0) {
            const QByteArray line = buf.left(cr + 1);
            buf.remove(0, cr + 1);
            return line;
        }
        if (!more()) break;
    }
    const QByteArray rest = buf;
    buf.clear();
    return rest;
}

// A blocking TCP client of the simulated device (no event loop needed): raw bytes and
// lines for the simulator's tests, one command and its reply for the panel's.
class DeviceClient {
public:
    bool connectTo(const QString &address, quint16 port = 23) {
        m_sock.connectToHost(QHostAddress(address), port);
        return m_sock.waitForConnected(5000);
    }

    void send(const QByteArray &bytes) {
        m_sock.write(bytes);
        m_sock.flush();
        if (m_sock.bytesToWrite() > 0) m_sock.waitForBytesWritten(5000);
    }

    // Everything up to and including the first CR, or what came before the
    // deadline (then without CR).
    QByteArray readLine(int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        return take_line(m_buf, [&] { return fill(deadline); });
    }

    QByteArray readBytes(int count, int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        while (m_buf.size() < count && fill(deadline)) {
        }
        const QByteArray out = m_buf.left(count);
        m_buf.remove(0, out.size());
        return out;
    }

    // Waits until the peer has closed; true if it did within the time.
    bool waitClosed(int timeoutMs = 5000) {
        QDeadlineTimer deadline(timeoutMs);
        while (m_sock.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            if (m_sock.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime()))))
                m_buf += m_sock.readAll();
        }
        m_buf += m_sock.readAll();
        return m_sock.state() != QAbstractSocket::ConnectedState;
    }

    // Whatever arrives within `ms` (used only to show that nothing arrives).
    QByteArray collectFor(int ms) {
        QDeadlineTimer deadline(ms);
        while (fill(deadline)) {
        }
        const QByteArray out = m_buf;
        m_buf.clear();
        return out;
    }

    // Sends a command and returns the device's reply without CR; empty on time-out.
    QString exchange(const QString &cmd) {
        send(cmd.toLatin1() + '\r');
        const QByteArray line = readLine(2000);
        if (!line.endsWith('\r')) return {};
        return QString::fromLatin1(line.chopped(1));
    }

    // Sends each command and checks that the device took it (replied with its own text).
    bool set(const QStringList &cmds) {
        for (const QString &c : cmds)
            if (exchange(c) != c) {
                qWarning("device refused %s", qPrintable(c));
                return false;
            }
        return true;
    }

    void close() {
        m_sock.disconnectFromHost();
        if (m_sock.state() != QAbstractSocket::UnconnectedState) m_sock.waitForDisconnected(1000);
    }

    QByteArray buffered() const { return m_buf; }
    QTcpSocket &socket() { return m_sock; }

private:
    bool fill(const QDeadlineTimer &deadline) {
        if (m_sock.bytesAvailable() > 0) {
            m_buf += m_sock.readAll();
            return true;
        }
        if (deadline.hasExpired() || m_sock.state() != QAbstractSocket::ConnectedState)
            return false;
        m_sock.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        if (m_sock.bytesAvailable() == 0) return false;
        m_buf += m_sock.readAll();
        return true;
    }

    QTcpSocket m_sock;
    QByteArray m_buf;
};
