#include "link/serial_port.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>

#include "link/poll_timer.h"
#include "link/port_failure.h"
#include "link/port_info.h"
#include "platform/settings_place.h"

#include <sys/stat.h>
#include <unistd.h>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

// Received bytes held by the port beyond this are dropped by the driver side, so
// a device that floods cannot grow the program's memory without bound.
static constexpr qint64 READ_BUFFER_LIMIT = 64 * 1024;

SerialPort::SerialPort(const QString &program_folder, QObject *parent)
    : DeviceLink(parent), folder_(program_folder), port_(new QSerialPort(this)),
      tim_rx_(new PollTimer([this] { return in_buffer_count(); }, this,
                            [this](qint64 usec) { return more_within(usec); },
                            // An awaited answer may come in two chunks a latency period apart.
                            [this](qint64 waiting) { return waiting < expected_; })) {
    tim_rx_->setObjectName(QStringLiteral("tim_rx"));
    connect(port_, &QSerialPort::readyRead, this, &SerialPort::data_arrived);
    connect(this, &SerialPort::data_arrived, tim_rx_, &PollTimer::data_arrived);
    connect(tim_rx_, &PollTimer::timeout, this, &SerialPort::tim_rx_Timer);
    connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // A vanished device keeps reporting read errors; staying open would spin.
        if ((e == QSerialPort::ResourceError || e == QSerialPort::ReadError) && port_->isOpen()) {
            port_->close();
            emit lost(QStringLiteral("the serial device went away"));
        }
    });
}

void SerialPort::set_reception(bool on) {
    if (on)
        tim_rx_->start();
    else
        tim_rx_->stop();
}

void SerialPort::tim_rx_Timer() {
    if (in_buffer_count() == 0) return;
    tim_rx_->stop();
    QCoreApplication::processEvents();
    const QByteArray bytes = read_all();
    if (bytes.isEmpty())
        tim_rx_->start(); // nothing after all: keep polling
    else
        emit received(bytes);
}

SerialPort::~SerialPort() = default;

QString SerialPort::device_for(const QString &program_folder, int port_number) {
    // A user's own map comes first, so an adapter can be mapped without root.
    for (const QString &folder : {user_config_folder(), program_folder}) {
        if (folder.isEmpty()) continue;
        const QString mapped = folder + QStringLiteral("/ports/COM%1").arg(port_number);
        if (QFileInfo(mapped).isSymLink() || QFileInfo::exists(mapped)) return mapped;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port_number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port_number - 1);
#endif
}

QString SerialPort::device_shown(const QString &program_folder, int port_number) {
    const QString path = device_for(program_folder, port_number);
    const QFileInfo info(path);
    QString shown = path;
    if (info.isSymLink()) shown += QStringLiteral(" -> ") + info.symLinkTarget();
    // An adapter by its stable name, or a stable name by the node it has today.
    const QString stable = stable_port_name(path);
    if (!stable.isEmpty() && stable != info.symLinkTarget())
        shown += QStringLiteral(" (%1)").arg(stable);
    else if (!stable.isEmpty())
        shown += QStringLiteral(" (%1)").arg(info.canonicalFilePath());
    return shown;
}

// What the file system and the port say about a device that did not open.
static PortProblem problem_of(const QString &device, const QSerialPort &port) {
    const QByteArray path = QFile::encodeName(device);
    PortFacts facts;
    struct stat st {};
    facts.exists = ::stat(path.constData(), &st) == 0;
    facts.char_device = facts.exists && S_ISCHR(st.st_mode);
    facts.accessible = ::access(path.constData(), R_OK | W_OK) == 0;
    facts.permission_error = port.error() == QSerialPort::PermissionError;
    facts.not_found_error = port.error() == QSerialPort::DeviceNotFoundError;
    return classify_port_failure(facts);
}

bool SerialPort::open(int port_number, QString *error) {
    if (open_device(device_for(folder_, port_number), nullptr)) return true;
    if (error)
        *error = port_failure_detail(port_number, device_shown(folder_, port_number), failure_,
                                     failure_text_);
    return false;
}

bool SerialPort::open_device(const QString &device, QString *error) {
    if (port_->isOpen()) port_->close();
    port_->clearError();
    port_->setPortName(device);
    port_->setReadBufferSize(READ_BUFFER_LIMIT);
    bool ok = port_->open(QIODevice::ReadWrite);
    if (ok)
        ok = port_->setBaudRate(115200) && port_->setDataBits(QSerialPort::Data8) &&
             port_->setParity(QSerialPort::NoParity) && port_->setStopBits(QSerialPort::OneStop) &&
             port_->setFlowControl(QSerialPort::NoFlowControl);
    if (ok) {
        // A USB adapter otherwise holds each reply back for up to 16 ms.
        low_latency_ = request_low_latency(int(port_->handle()));
        opened_ = device;
        emit up();
        return true;
    }
    failure_ = problem_of(device, *port_);
    failure_text_ = port_->errorString();
    if (error) *error = failure_text_;
    if (port_->isOpen()) port_->close();
    return false;
}

void SerialPort::close() {
    if (port_->isOpen()) port_->close();
}

bool SerialPort::is_open() const { return port_->isOpen(); }
qint64 SerialPort::in_buffer_count() const { return port_->isOpen() ? port_->bytesAvailable() : 0; }
qint64 SerialPort::out_buffer_count() const { return port_->isOpen() ? port_->bytesToWrite() : 0; }

void SerialPort::discard_input() {
    if (!port_->isOpen()) return;
    port_->clear(QSerialPort::Input);
    port_->readAll();
}

void SerialPort::discard_output() {
    if (port_->isOpen()) port_->clear(QSerialPort::Output);
}

QByteArray SerialPort::read_all() { return port_->isOpen() ? port_->readAll() : QByteArray(); }

bool SerialPort::more_within(qint64 usec) {
    if (!port_->isOpen()) return false;
#ifdef Q_OS_UNIX
    // The port's own notifier reads whatever is there, so a readable descriptor means
    // bytes newer than those already waiting; ppoll times sub-millisecond pauses.
    pollfd p{static_cast<int>(port_->handle()), POLLIN, 0};
    const timespec ts{static_cast<time_t>(usec / 1000000),
                      static_cast<long>(usec % 1000000) * 1000};
    // A hung-up line stays "readable" for ever: that is no new byte.
    return ::ppoll(&p, 1, &ts, nullptr) > 0 && (p.revents & POLLIN) &&
           !(p.revents & (POLLHUP | POLLERR));
#else
    return port_->waitForReadyRead(static_cast<int>((usec + 999) / 1000));
#endif
}

void SerialPort::wait_transmit_empty(int limit_ms) {
    QElapsedTimer t;
    t.start();
    while (port_->isOpen() && port_->bytesToWrite() > 0 && t.elapsed() < limit_ms)
        port_->waitForBytesWritten(limit_ms - int(t.elapsed()));
}

void SerialPort::write_command(const QString &cmd) {
    wait_transmit_empty();
    write_block(frame_command(cmd));
}

void SerialPort::write_block(const QByteArray &block) {
    if (!port_->isOpen()) return;
    port_->write(block);
    port_->flush();
}
