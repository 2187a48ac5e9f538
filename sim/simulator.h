// Ties the device model to its links, the fault injection and the files and
// sockets that tests use to watch and steer the simulated device.
#pragma once

#include "device_model.h"
#include "wire_pacer.h"

#include <QFile>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <memory>
#include <optional>
#include <random>

class QLocalServer;
class QLocalSocket;
class QTcpServer;
class QTimer;

namespace veldra {

class PtyLink;
class Session;

struct SimOptions {
    DeviceConfig device;
    QString ptyPath;
    bool tcp = false;
    QHostAddress tcpAddress;
    quint16 tcpPort = 23;
    double exitAfterSec = 0; // 0: never
    int rebootDropMs = 50;   // reply to PWR001/RST001 -> TCP drop
    QString stateFile;
    QString commandsFile;
    QString repliesFile;
    bool log = false;
    int latencyMs = 0;
    int lateMs = 0;
    double lateP = 1.0;
    double dropP = 0;
    QSet<QByteArray> dropCommands;
    double garbageP = 0;
    bool split = false;
    LinePace pace;
    std::optional<quint64> seed;
    int frontPanelMs = 0; // 0: no front-panel activity
    QString injectPath;
};

// Parses argv into `options`. Returns -1 to go on, otherwise an exit code
// (0 after --help, 2 after a usage error; the message is already printed).
int parseOptions(const QStringList &arguments, SimOptions *options);

class Simulator : public QObject {
    Q_OBJECT
public:
    explicit Simulator(const SimOptions &options, QObject *parent = nullptr);
    ~Simulator() override;

    bool start(QString *error);
    // Removes the pty symlink and the inject socket; safe to call twice.
    void shutdown();

private:
    void addSession(Session *session);
    void onLine(Session *session, const QByteArray &line);
    void onNewTcpClient();
    void onInjectClient();
    void readInject(QLocalSocket *client, bool final);
    void broadcast(const QByteArray &bytes, const QByteArray &logText);
    void frontPanelTick();
    void writeState();
    void appendLine(QFile *file, const QByteArray &text);
    bool chance(double p);

    SimOptions m_opt;
    DeviceModel m_model;
    std::mt19937_64 m_rng;
    PtyLink *m_pty = nullptr;
    Session *m_ptySession = nullptr;
    Session *m_tcpSession = nullptr;
    QTcpServer *m_server = nullptr;
    QLocalServer *m_inject = nullptr;
    QTimer *m_frontPanel = nullptr;
    std::unique_ptr<QFile> m_commandsOut;
    std::unique_ptr<QFile> m_repliesOut;
};

} // namespace veldra
