#pragma once
// An MQTT client on libmosquitto, driven by the Qt event loop: the library's socket is
// watched with QSocketNotifier and a one-second timer runs its keep-alive, so the whole
// bridge stays on one thread. The library does the protocol; this class only moves its
// socket and turns its callbacks into signals. After a lost connection it reconnects
// (mosquitto_reconnect_async) every few seconds until it is back.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;

struct MqttSettings {
    QString host = QStringLiteral("127.0.0.1");
    int port = 1883;
    QString client_id;
    QString username, password; // none when username is empty
    QString cafile;             // TLS when set
    QString will_topic;         // the retained last will, when set
    QByteArray will_payload;
    int keepalive_s = 30;
};

class MqttClient : public QObject {
    Q_OBJECT
public:
    explicit MqttClient(QObject *parent = nullptr);
    ~MqttClient() override;

    // Sets the client up and starts connecting; false (with the reason) when the
    // settings are refused. A broker that is not there yet is retried, not an error.
    bool start(const MqttSettings &settings, QString *error);
    bool is_connected() const { return connected_; }
    // Queues a message (QoS 1); false when the library refused it (not connected).
    bool publish(const QString &topic, const QByteArray &payload, bool retain);
    void subscribe(const QString &topic);
    // Waits (running the event loop) until every message queued so far is acknowledged,
    // at most `timeout_ms`; then disconnects cleanly, so the broker drops the last will.
    void finish(int timeout_ms);
    // The messages published and not yet acknowledged.
    int unacknowledged() const { return in_flight_; }

signals:
    void connected();
    void disconnected(const QString &why);
    // An attempt to connect failed (refused, not authorised, no broker there).
    void attempt_failed(const QString &why);
    // `retained`: the broker kept it and hands it over because of a new subscription.
    void message(const QString &topic, const QByteArray &payload, bool retained);

private:
    static void on_connect(mosquitto *, void *self, int rc);
    static void on_disconnect(mosquitto *, void *self, int rc);
    static void on_message(mosquitto *, void *self, const mosquitto_message *m);
    static void on_publish(mosquitto *, void *self, int mid);
    void watch_socket();
    void drop_notifiers();
    void update_write();
    void handle(int rc);
    void lost(const QString &why);
    void retry();

    mosquitto *m_ = nullptr;
    QSocketNotifier *read_ = nullptr;
    QSocketNotifier *write_ = nullptr;
    int fd_ = -1;
    QTimer misc_, retry_;
    bool connected_ = false;
    bool finishing_ = false;
    bool attempt_failed_ = false; // told for the attempt under way
    int in_flight_ = 0;
};
