#pragma once
// The hub's web: the REST API (web/api.h), the WebSocket /api/v1/events and the control
// page, on Qt's HTTP server and the event loop of the rest of the hub. Commands go to the
// hub's runner (its one job queue); the state comes from the hub when it changes.

#include <QAbstractHttpServer>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QTimer>
#include <functional>

class GuardedServer;
class QTcpSocket;
class QWebSocket;

class WebServer : public QAbstractHttpServer {
    Q_OBJECT
public:
    // `exit`: veldra-ctl's exit status; `result`: the JSON answered (as on MQTT `result`).
    using Done = std::function<void(int exit, const QByteArray &result)>;
    using Runner = std::function<void(const QStringList &words, const Done &done)>;

    explicit WebServer(QObject *parent = nullptr);
    ~WebServer() override;
    // `token` empty: none asked (loopback only, checked by the caller).
    bool start(const QString &host, quint16 port, const QString &token, QString *error);
    quint16 port() const;
    void set_runner(Runner runner) { runner_ = std::move(runner); }
    // The device's state (the status JSON) while it answers; `ready` false: it does not,
    // and `state` is not shown. Clients hear of it only when it differs.
    void set_state(const QJsonObject &state, bool ready);
    int event_clients() const { return int(sockets_.size()); }

    // A client whose unsent events pass this is dropped.
    static constexpr qint64 BACKLOG_LIMIT = 1024 * 1024;
    static constexpr int PING_MS = 30000;

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    void accept_events();
    // Why an upgrade to the event stream is refused; empty when it is not.
    QString events_refusal(const QHttpServerRequest &request) const;
    void send_event(QWebSocket *ws, const QByteArray &event);
    void run_commands(QPointer<QTcpSocket> socket, QList<QStringList> commands);
    bool host_allowed(const QByteArray &host) const;
    bool origin_allowed(const QByteArray &origin, const QByteArray &host) const;
    bool token_matches(const QByteArray &given) const;
    QByteArray event() const;

    GuardedServer *tcp_ = nullptr;
    QString token_;
    Runner runner_;
    QJsonObject state_;
    bool ready_ = false;
    QByteArray last_event_;
    QList<QWebSocket *> sockets_;
    QTimer ping_;
    int refusal_status_ = 0; // the upgrade refused last, for missingHandler
    QString refusal_;
};
