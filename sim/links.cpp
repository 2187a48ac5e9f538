#include "links.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace veldra {

namespace {
// Bytes the panel has not read yet; beyond this they are thrown away rather
// than piling up while nobody has the port open.
constexpr int kMaxPending = 16 * 1024;
} // namespace

PtyLink::PtyLink(QObject *parent) : Link(QStringLiteral("pty"), parent) {}

PtyLink *PtyLink::create(const QString &linkPath, QString *error, QObject *parent) {
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        *error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    // Raw slave: otherwise the line discipline echoes early bytes and turns
    // CR into LF before the panel has configured the port.
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);

    char name[256] = {};
    if (::ttyname_r(slave, name, sizeof name) != 0) {
        *error = QStringLiteral("ttyname: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(master);
        ::close(slave);
        return nullptr;
    }

    const QFileInfo info(linkPath);
    QDir().mkpath(info.absolutePath());
    if (info.isSymLink() || info.exists()) {
        if (!info.isSymLink()) {
            *error = QStringLiteral("%1 exists and is not a symlink").arg(linkPath);
            ::close(master);
            ::close(slave);
            return nullptr;
        }
        QFile::remove(linkPath);
    }
    if (::symlink(name, QFile::encodeName(linkPath).constData()) != 0) {
        *error = QStringLiteral("symlink %1: %2")
                     .arg(linkPath, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(master);
        ::close(slave);
        return nullptr;
    }

    auto *link = new PtyLink(parent);
    link->m_master = master;
    // Our own slave descriptor stays open: with no slave open the master
    // reports POLLHUP/EIO, which would wake the read notifier endlessly
    // whenever the panel closes its port.
    link->m_slave = slave;
    link->m_linkPath = info.absoluteFilePath();
    link->m_slavePath = QString::fromLocal8Bit(name);
    link->m_readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, link);
    link->m_writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, link);
    link->m_writeNotifier->setEnabled(false);
    connect(link->m_readNotifier, &QSocketNotifier::activated, link, &PtyLink::onReadable);
    connect(link->m_writeNotifier, &QSocketNotifier::activated, link, &PtyLink::onWritable);
    return link;
}

PtyLink::~PtyLink() {
    removeLink();
    if (m_master >= 0) ::close(m_master);
    if (m_slave >= 0) ::close(m_slave);
}

void PtyLink::removeLink() {
    if (m_linkPath.isEmpty()) return;
    // Leave the path alone if somebody has re-pointed it meanwhile.
    const QFileInfo info(m_linkPath);
    if (info.isSymLink() && info.symLinkTarget() == m_slavePath) QFile::remove(m_linkPath);
    m_linkPath.clear();
}

void PtyLink::onReadable() {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0) {
            emit received(QByteArray(buf, int(n)));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        // EOF or EIO should not happen while we hold the slave, but if it
        // does, back off instead of spinning on a notifier that stays ready.
        m_readNotifier->setEnabled(false);
        QTimer::singleShot(200, this, [this] { m_readNotifier->setEnabled(true); });
        return;
    }
}

void PtyLink::write(const QByteArray &bytes) {
    m_pending += bytes;
    if (m_pending.size() > kMaxPending) m_pending = m_pending.right(kMaxPending);
    onWritable();
}

void PtyLink::onWritable() {
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_master, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) m_pending.clear(); // nothing sensible to do with a broken pty
        break;
    }
    // Wait for room only while something is left; a full slave queue (port
    // closed) keeps the notifier quiet, so this never spins.
    m_writeNotifier->setEnabled(!m_pending.isEmpty());
}

TcpLink::TcpLink(QTcpSocket *socket, QObject *parent)
    : Link(QStringLiteral("tcp"), parent), m_socket(socket) {
    socket->setParent(this);
    // Single bytes of a split reply must leave one by one.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        if (m_socket) emit received(m_socket->readAll());
    });
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        if (!m_closedEmitted) {
            m_closedEmitted = true;
            emit closed();
        }
    });
}

TcpLink::~TcpLink() {
    if (m_socket) {
        m_socket->blockSignals(true);
        m_socket->abort();
    }
}

void TcpLink::write(const QByteArray &bytes) {
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState) m_socket->write(bytes);
}

void TcpLink::closeLink() {
    if (m_socket && m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->disconnectFromHost();
}

} // namespace veldra
