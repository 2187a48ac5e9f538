#pragma once
// Test support for veldra-mqtt: Debian's mosquitto started with a configuration of its
// own on a free loopback port, and an observer that subscribes to everything and keeps
// what it received (the last payload of each topic, and every message in order).

#include <QEventLoop>
#include <QHostAddress>
#include <QMap>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <functional>
#include <sys/prctl.h>

#include "mqtt/mqtt_client.h"

class BrokerProcess {
public:
    ~BrokerProcess() {
        proc_.terminate();
        if (!proc_.waitForFinished(3000)) proc_.kill();
        proc_.waitForFinished(3000);
    }

    bool start(const QString &address) {
        address_ = address;
        QTcpServer probe; // a port nobody uses on this address
        if (!probe.listen(QHostAddress(address), 0)) return false;
        port_ = probe.serverPort();
        probe.close();
        const QString conf = dir_.filePath(QStringLiteral("mosquitto.conf"));
        QFile f(conf);
        if (!f.open(QIODevice::WriteOnly)) return false;
        f.write(
            QStringLiteral(
                "listener %1 %2\nallow_anonymous true\npersistence false\nset_tcp_nodelay true\n")
                .arg(port_)
                .arg(address)
                .toUtf8());
        f.close();
        proc_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        proc_.setStandardOutputFile(QProcess::nullDevice());
        proc_.setStandardErrorFile(dir_.filePath(QStringLiteral("mosquitto.log")));
        proc_.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), conf});
        if (!proc_.waitForStarted(5000)) return false;
        for (int i = 0; i < 100; ++i) {
            QTcpSocket s;
            s.connectToHost(QHostAddress(address), port_);
            if (s.waitForConnected(100)) return true;
            QTest::qWait(50);
        }
        return false;
    }
    QString address() const { return address_; }
    quint16 port() const { return port_; }
    QString url() const { return QStringLiteral("%1:%2").arg(address_).arg(port_); }

private:
    QTemporaryDir dir_;
    QProcess proc_;
    QString address_;
    quint16 port_ = 0;
};

struct MqttMessage {
    QString topic;
    QByteArray payload;
    qint64 at_ms; // QDateTime-free: the observer's own clock
};

class BrokerWatch : public QObject {
public:
    bool start(const BrokerProcess &broker, const QString &filter = QStringLiteral("#")) {
        clock_.start();
        connect(&client_, &MqttClient::message, this,
                [this](const QString &t, const QByteArray &p) {
                    last_[t] = p;
                    all_.append({t, p, clock_.elapsed()});
                });
        connect(&client_, &MqttClient::connected, this,
                [this, filter] { client_.subscribe(filter); });
        MqttSettings s;
        s.host = broker.address();
        s.port = broker.port();
        s.client_id = QStringLiteral("test-watch-%1").arg(quintptr(this));
        QString error;
        if (!client_.start(s, &error)) return false;
        return QTest::qWaitFor([&] { return client_.is_connected(); }, 5000);
    }
    void publish(const QString &topic, const QByteArray &payload, bool retain = false) {
        client_.publish(topic, payload, retain);
    }
    // The last payload seen on `topic` (null when none came).
    QByteArray last(const QString &topic) const { return last_.value(topic); }
    bool has(const QString &topic) const { return last_.contains(topic); }
    const QList<MqttMessage> &all() const { return all_; }
    // Drops the record of messages (the last payload of each topic stays).
    void forget() { all_.clear(); }
    qint64 now_ms() const { return clock_.elapsed(); }
    // Waits for a message on `topic`, after the first `from` messages, that `pred` accepts.
    bool wait_for(const QString &topic, const std::function<bool(const QByteArray &)> &pred,
                  int from, int timeout_ms = 10000, MqttMessage *found = nullptr) {
        int i = from;
        const auto seen = [&] {
            for (; i < all_.size(); ++i)
                if (all_[i].topic == topic && pred(all_[i].payload)) {
                    if (found) *found = all_[i];
                    return true;
                }
            return false;
        };
        if (seen()) return true;
        // Woken by each message, not by a polling sleep, so the bench measures the bridge.
        QEventLoop loop;
        bool ok = false;
        QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
        const QMetaObject::Connection c = connect(
            &client_, &MqttClient::message, &loop,
            [&] {
                if ((ok = seen())) loop.quit();
            },
            Qt::QueuedConnection);
        loop.exec();
        disconnect(c);
        return ok;
    }
    MqttClient &client() { return client_; }

private:
    MqttClient client_;
    QMap<QString, QByteArray> last_;
    QList<MqttMessage> all_;
    QElapsedTimer clock_;
};

// veldra-mqtt (the program VELDRA_MQTT names) as a child process.
class BridgeProcess {
public:
    ~BridgeProcess() { stop(); }
    bool start(const QStringList &args) {
        proc_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc_.start(qEnvironmentVariable("VELDRA_MQTT"), args);
        return proc_.waitForStarted(5000);
    }
    // SIGTERM; the exit status, or -1 when it did not end by itself.
    int stop() {
        if (proc_.state() == QProcess::NotRunning) return -1;
        proc_.terminate();
        if (!proc_.waitForFinished(10000)) {
            proc_.kill();
            proc_.waitForFinished(3000);
            return -1;
        }
        return proc_.exitStatus() == QProcess::NormalExit ? proc_.exitCode() : -1;
    }
    void kill() {
        proc_.kill();
        proc_.waitForFinished(3000);
    }
    QProcess &process() { return proc_; }

private:
    QProcess proc_;
};
