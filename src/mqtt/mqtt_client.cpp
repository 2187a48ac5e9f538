#include "mqtt/mqtt_client.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <mosquitto.h>

namespace {
// Between two attempts to reach a broker that went away.
constexpr int RETRY_MS = 2000;

QString why(int rc) { return QString::fromUtf8(mosquitto_strerror(rc)); }

// The library is initialised once for the process.
void init_library() {
    static const bool done = [] {
        mosquitto_lib_init();
        return true;
    }();
    (void)done;
}
} // namespace

MqttClient::MqttClient(QObject *parent) : QObject(parent) {
    init_library();
    misc_.setInterval(1000);
    connect(&misc_, &QTimer::timeout, this, [this] {
        if (!m_) return;
        handle(mosquitto_loop_misc(m_));
    });
    retry_.setSingleShot(true);
    retry_.setInterval(RETRY_MS);
    connect(&retry_, &QTimer::timeout, this, &MqttClient::retry);
}

MqttClient::~MqttClient() {
    delete read_;
    delete write_;
    if (m_) mosquitto_destroy(m_);
}

bool MqttClient::start(const MqttSettings &s, QString *error) {
    m_ = mosquitto_new(s.client_id.toUtf8().constData(), true, this);
    if (!m_) {
        *error = QStringLiteral("cannot create the MQTT client");
        return false;
    }
    mosquitto_int_option(m_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    // Small messages leave at once: Nagle's wait for the broker's delayed ACK costs 40 ms
    // a message otherwise.
    mosquitto_int_option(m_, MOSQ_OPT_TCP_NODELAY, 1);
    mosquitto_connect_callback_set(m_, &MqttClient::on_connect);
    mosquitto_disconnect_callback_set(m_, &MqttClient::on_disconnect);
    mosquitto_message_callback_set(m_, &MqttClient::on_message);
    mosquitto_publish_callback_set(m_, &MqttClient::on_publish);
    int rc = MOSQ_ERR_SUCCESS;
    if (!s.will_topic.isEmpty())
        rc = mosquitto_will_set(m_, s.will_topic.toUtf8().constData(), int(s.will_payload.size()),
                                s.will_payload.constData(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !s.username.isEmpty())
        rc = mosquitto_username_pw_set(m_, s.username.toUtf8().constData(),
                                       s.password.isEmpty() ? nullptr
                                                            : s.password.toUtf8().constData());
    if (rc == MOSQ_ERR_SUCCESS && !s.cafile.isEmpty())
        rc = mosquitto_tls_set(m_, s.cafile.toLocal8Bit().constData(), nullptr, nullptr, nullptr,
                               nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = why(rc);
        return false;
    }
    rc = mosquitto_connect_async(m_, s.host.toUtf8().constData(), s.port, s.keepalive_s);
    // A name that does not resolve is a mistake in the settings; a broker that refuses
    // or is not up yet is tried again.
    if (rc == MOSQ_ERR_EAI || rc == MOSQ_ERR_INVAL) {
        *error = QStringLiteral("broker %1:%2: %3").arg(s.host).arg(s.port).arg(why(rc));
        return false;
    }
    misc_.start();
    if (rc != MOSQ_ERR_SUCCESS)
        lost(why(rc));
    else
        watch_socket();
    return true;
}

void MqttClient::watch_socket() {
    const int fd = mosquitto_socket(m_);
    if (fd != fd_) {
        drop_notifiers();
        fd_ = fd;
        if (fd_ >= 0) {
            read_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
            connect(read_, &QSocketNotifier::activated, this,
                    [this] { handle(mosquitto_loop_read(m_, 1)); });
            write_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
            connect(write_, &QSocketNotifier::activated, this,
                    [this] { handle(mosquitto_loop_write(m_, 1)); });
        }
    }
    update_write();
}

// Called from the notifiers' own slots too, so they go later, never at once.
void MqttClient::drop_notifiers() {
    for (QSocketNotifier *n : {read_, write_})
        if (n) {
            n->setEnabled(false);
            n->deleteLater();
        }
    read_ = write_ = nullptr;
}

void MqttClient::update_write() {
    if (write_) write_->setEnabled(mosquitto_want_write(m_));
}

// After every library call: a lost connection starts the retries; otherwise the write
// notifier follows whatever the library has queued.
void MqttClient::handle(int rc) {
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN) {
        lost(why(rc));
        return;
    }
    if (mosquitto_socket(m_) != fd_) watch_socket();
    update_write();
}

void MqttClient::lost(const QString &reason) {
    // The notifiers go before the socket is reused for another attempt.
    drop_notifiers();
    fd_ = -1;
    const bool was = connected_;
    connected_ = false;
    in_flight_ = 0;
    if (was)
        emit disconnected(reason);
    else if (!finishing_ && !attempt_failed_) {
        // The library may tell one failure twice (the refusal, then the disconnection).
        attempt_failed_ = true;
        emit attempt_failed(reason);
    }
    if (!finishing_ && !retry_.isActive()) retry_.start();
}

void MqttClient::retry() {
    attempt_failed_ = false;
    const int rc = mosquitto_reconnect_async(m_);
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(why(rc));
        return;
    }
    watch_socket();
}

bool MqttClient::publish(const QString &topic, const QByteArray &payload, bool retain) {
    if (!m_ || !connected_) return false;
    const int rc = mosquitto_publish(m_, nullptr, topic.toUtf8().constData(), int(payload.size()),
                                     payload.constData(), 1, retain);
    if (rc == MOSQ_ERR_SUCCESS) ++in_flight_;
    handle(rc);
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttClient::subscribe(const QString &topic) {
    if (!m_ || !connected_) return;
    handle(mosquitto_subscribe(m_, nullptr, topic.toUtf8().constData(), 1));
}

void MqttClient::finish(int timeout_ms) {
    finishing_ = true;
    retry_.stop();
    if (!m_ || !connected_) return;
    QDeadlineTimer deadline(timeout_ms);
    while (in_flight_ > 0 && connected_ && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    mosquitto_disconnect(m_);
    // The DISCONNECT packet leaves with the next write; then the library closes.
    while (mosquitto_want_write(m_) && !deadline.hasExpired())
        if (mosquitto_loop_write(m_, 1) != MOSQ_ERR_SUCCESS) break;
    handle(mosquitto_loop_misc(m_));
}

void MqttClient::on_connect(mosquitto *, void *self, int rc) {
    auto *c = static_cast<MqttClient *>(self);
    if (rc != 0) {
        // Refused (bad credentials, not authorised): the library closes; try again later.
        c->lost(QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    c->connected_ = true;
    emit c->connected();
}

void MqttClient::on_disconnect(mosquitto *, void *self, int rc) {
    static_cast<MqttClient *>(self)->lost(rc == 0 ? QStringLiteral("disconnected") : why(rc));
}

void MqttClient::on_message(mosquitto *, void *self, const mosquitto_message *m) {
    emit static_cast<MqttClient *>(self)->message(
        QString::fromUtf8(m->topic),
        QByteArray(static_cast<const char *>(m->payload), m->payloadlen), m->retain);
}

void MqttClient::on_publish(mosquitto *, void *self, int) {
    auto *c = static_cast<MqttClient *>(self);
    if (c->in_flight_ > 0) --c->in_flight_;
}
