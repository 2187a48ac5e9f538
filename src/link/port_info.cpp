#include "link/port_info.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "link/serial_port.h"

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

QString stable_port_name(const QString &device, const QString &by_id_folder) {
    const QString node = QFileInfo(device).canonicalFilePath();
    if (node.isEmpty()) return QString();
    const QFileInfoList links =
        QDir(by_id_folder)
            .entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &link : links)
        if (link.canonicalFilePath() == node) return link.absoluteFilePath();
    return QString();
}

// A built-in port whose node exists without a UART behind it reports type 0 (unknown).
static bool no_uart_behind(const QString &node) {
    const QString name = QFileInfo(node).fileName();
    if (!name.startsWith(QLatin1String("ttyS"))) return false;
    QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(name));
    return type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0";
}

PortListing list_port(const QString &program_folder, int port_number) {
    PortListing p;
    p.port_number = port_number;
    p.device = SerialPort::device_for(program_folder, port_number);
    const QFileInfo info(p.device);
    if (info.isSymLink()) p.target = info.symLinkTarget();
    p.resolved = info.canonicalFilePath();
    p.stable = stable_port_name(p.device);

    const QByteArray path = QFile::encodeName(p.device);
    PortFacts facts;
    struct stat st {};
    facts.exists = ::stat(path.constData(), &st) == 0;
    facts.char_device = facts.exists && S_ISCHR(st.st_mode);
    facts.accessible = ::access(path.constData(), R_OK | W_OK) == 0;
    facts.permission_error = facts.char_device && !facts.accessible;
    p.problem = classify_port_failure(facts);
    if (p.problem == PortProblem::Other && no_uart_behind(p.resolved))
        p.problem = PortProblem::Missing;
    p.usable = p.problem == PortProblem::Other;
    return p;
}

bool request_low_latency(int fd) {
#ifdef Q_OS_LINUX
    serial_struct s{};
    if (::ioctl(fd, TIOCGSERIAL, &s) != 0) return false;
    if (s.flags & ASYNC_LOW_LATENCY) return true;
    s.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &s) == 0;
#else
    (void)fd;
    return false;
#endif
}
