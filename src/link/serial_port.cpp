#include "link/serial_port.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>

#include "app/settings_place.h"

// Received bytes held by the port beyond this are dropped by the driver side, so
// a device that floods cannot grow the program's memory without bound.
static constexpr qint64 READ_BUFFER_LIMIT = 64 * 1024;

SerialPort::SerialPort(const QString &program_folder, QObject *parent)
    : QObject(parent), folder_(program_folder), port_(new QSerialPort(this)) {
    connect(port_, &QSerialPort::readyRead, this, &SerialPort::data_arrived);
    connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        // A vanished device keeps reporting read errors; staying open would spin.
        if ((e == QSerialPort::ResourceError || e == QSerialPort::ReadError) && port_->isOpen()) {
            port_->close();
            emit lost();
        }
    });
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

bool SerialPort::open(int port_number, QString *error) {
    return open_device(device_for(folder_, port_number), error);
}

bool SerialPort::open_device(const QString &device, QString *error) {
    if (port_->isOpen()) port_->close();
    port_->clearError();
    port_->setPortName(device);
    port_->setReadBufferSize(READ_BUFFER_LIMIT);
    if (!port_->open(QIODevice::ReadWrite)) {
        if (error) *error = port_->errorString();
        return false;
    }
    const bool ok = port_->setBaudRate(115200) && port_->setDataBits(QSerialPort::Data8) &&
                    port_->setParity(QSerialPort::NoParity) &&
                    port_->setStopBits(QSerialPort::OneStop) &&
                    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!ok) {
        if (error) *error = port_->errorString();
        port_->close();
        return false;
    }
    return true;
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

void SerialPort::wait_transmit_empty(int limit_ms) {
    QElapsedTimer t;
    t.start();
    while (port_->isOpen() && port_->bytesToWrite() > 0 && t.elapsed() < limit_ms)
        port_->waitForBytesWritten(limit_ms - int(t.elapsed()));
}

void SerialPort::write_block(const QByteArray &block) {
    if (!port_->isOpen()) return;
    port_->write(block);
    port_->flush();
}
