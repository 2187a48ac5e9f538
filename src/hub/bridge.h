#pragma once
// veldra-hub (veldra-mqtt): holds the device's one link through veldra-ctl's Session and
// serves it on an MQTT broker, the web and the shared port; takes commands from all of
// them, one at a time, in the order they came. No widgets.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include "client/session.h"
#include "hub/options.h"
#include "hub/share_port.h"
#include "mqtt/mqtt_client.h"
#include "mqtt/topics.h"
#include "web/web_server.h"

class QEventLoop;
class QTcpSocket;

class Bridge : public QObject {
    Q_OBJECT
public:
    // `list_fault`: why the resolution list could not be read (see parse_request).
    Bridge(const QString &program_folder, const BridgeOptions &options,
           const QStringList &resolutions, const QString &list_fault);
    ~Bridge() override;
    // Runs until SIGTERM, SIGINT or SIGHUP; the exit status.
    int run();

private:
    struct Job {
        enum class Kind { Command, Share, Read };
        Job(Kind k = Kind::Command, const QString &t = {}, QTcpSocket *c = nullptr, bool f = false,
            const QStringList &w = {}, WebServer::Done d = {})
            : kind(k), text(t), client(c), fresh(f), words(w), done(std::move(d)) {}
        Kind kind;
        QString text;                // the command, or the shared port's line
        QPointer<QTcpSocket> client; // Share: who asked
        bool fresh;                  // Read: the link just came up
        QStringList words;           // Command from the web: its words as given
        WebServer::Done done;        // Command from the web: who hears the result
    };

    int remove_discovery();
    void enqueue(const Job &job);
    void drain();
    int next_job() const;
    void run_job(const Job &job);
    void run_command(const Job &job);
    // A reply to a command that changed the device, passed on to the shared port's other
    // clients as the device passes on a front-panel change.
    void pass_on(const QStringList &sent, const QStringList &replies, QTcpSocket *except);
    void update_web();
    void run_share(const Job &job);
    void run_read(bool fresh);
    // A full read soon, unless one is queued.
    void request_read();
    bool read_queued() const;

    void device_connect();
    void device_lost(const QString &why, bool retrying);
    void device_up();
    void broker_connected();
    void broker_message(const QString &topic, const QByteArray &payload, bool retained);
    void refuse(const QString &quoted, const QString &error);
    // After a command's exchanges: a device that let it go unanswered is not online.
    void judge_answer(int code);
    void device_silent(const QString &why);
    void stop_now(QEventLoop &loop);
    void reply_seen(const QString &reply, bool unsolicited);
    void state_changed();

    // The state as published, and whether it was published since it changed.
    QJsonObject state_json();
    void publish_state(bool force);
    void publish_availability(bool force = false);
    // The discovery message, when what it says changed (the mode, the firmware, the venue).
    void publish_discovery();
    QString discovery_inputs();
    void log(const QString &text) const;

    BridgeOptions opt_;
    QStringList resolutions_;
    QString list_fault_;
    Topics topics_;
    Session session_;
    MqttClient mqtt_;
    SharePort share_;
    WebServer web_;
    QList<Job> jobs_;
    QEventLoop *loop_ = nullptr;
    QTimer retry_, poll_, state_soon_, hold_, reread_;
    QPointer<QTcpSocket> hold_client_; // a client whose OUT its INP follows
    bool link_up_ = false;
    bool read_done_ = false; // a full read since the link came up
    bool answering_ = false; // the last full read or command was answered
    bool silence_told_ = false, retained_told_ = false;
    QByteArray availability_; // as last published
    bool working_ = false, connecting_ = false, stopping_ = false, first_attempt_ = true;
    QByteArray last_state_, last_discovery_;
    QString discovery_for_;  // discovery_inputs() of the discovery last built
    QString broker_failure_; // the last reason logged
};
