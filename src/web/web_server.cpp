#include "web/web_server.h"

#include <QFile>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QWebSocket>

#include "client/request.h"
#include "web/api.h"
#include "web/guarded_server.h"

namespace {

// Events are small; a client has nothing to say beyond a ping.
constexpr qint64 WS_MESSAGE_LIMIT = 4096;

// Scripts, styles and connections from this page only; never in a frame.
const QByteArray CSP = "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' "
                       "data:; connect-src 'self'; base-uri 'none'; form-action 'none'; "
                       "frame-ancestors 'none'";

QByteArray reason(int status) {
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 422: return "Unprocessable Entity";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Error";
    }
}

// Written here rather than through QHttpServerResponder: 6.4's responder takes its headers
// as a fixed initializer list and cannot outlive the request, and a command's answer
// comes after the device replied.
void respond(QTcpSocket *s, int status, const QByteArray &type, const QByteArray &body,
             const QByteArray &extra = QByteArray()) {
    if (!s || s->state() != QAbstractSocket::ConnectedState) return;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    head += "Content-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\nContent-Security-Policy: " + CSP +
            "\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n"
            "Cache-Control: no-store\r\n" +
            extra + "\r\n";
    s->write(head + body);
}

void respond_json(QTcpSocket *s, int status, const QByteArray &json) {
    respond(s, status, "application/json", json);
}

void respond_error(QTcpSocket *s, int status, const QString &message) {
    respond_json(s, status, error_body(message));
}

QString method_name(QHttpServerRequest::Method m) {
    switch (m) {
    case QHttpServerRequest::Method::Get: return QStringLiteral("GET");
    case QHttpServerRequest::Method::Head: return QStringLiteral("HEAD");
    case QHttpServerRequest::Method::Post: return QStringLiteral("POST");
    case QHttpServerRequest::Method::Put: return QStringLiteral("PUT");
    case QHttpServerRequest::Method::Delete: return QStringLiteral("DELETE");
    case QHttpServerRequest::Method::Patch: return QStringLiteral("PATCH");
    case QHttpServerRequest::Method::Options: return QStringLiteral("OPTIONS");
    default: return QStringLiteral("OTHER");
    }
}

// The page: a fixed table of resources, nothing looked up by path.
struct Asset {
    const char *path, *resource, *type;
};
const Asset ASSETS[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/web/app.js", "text/javascript; charset=utf-8"},
    {"/style.css", ":/web/style.css", "text/css; charset=utf-8"},
    {"/icon.svg", ":/web/icon.svg", "image/svg+xml"},
};

QByteArray bearer(const QHttpServerRequest &r) {
    const QByteArray a = r.value("Authorization").trimmed();
    return a.startsWith("Bearer ") ? a.mid(7).trimmed() : QByteArray();
}

} // namespace

// The page's resources live in this static library; the linker keeps them only when named.
static void init_page() { Q_INIT_RESOURCE(page); }

WebServer::WebServer(QObject *parent) : QAbstractHttpServer(parent) {
    init_page();
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &WebServer::accept_events);
    ping_.setInterval(PING_MS);
    connect(&ping_, &QTimer::timeout, this, [this] {
        for (QWebSocket *ws : std::as_const(sockets_)) ws->ping();
    });
}

WebServer::~WebServer() {
    for (QWebSocket *ws : std::as_const(sockets_)) {
        ws->disconnect(this);
        ws->abort();
        delete ws;
    }
}

bool WebServer::start(const QString &host, quint16 port, const QString &token, QString *error) {
    token_ = token;
    tcp_ = new GuardedServer(BODY_LIMIT, this);
    if (!tcp_->listen(QHostAddress(host), port)) {
        *error = QStringLiteral("cannot listen on %1:%2 for the web (%3)")
                     .arg(host)
                     .arg(port)
                     .arg(tcp_->errorString());
        return false;
    }
    bind(tcp_);
    ping_.start();
    return true;
}

quint16 WebServer::port() const { return tcp_ ? tcp_->serverPort() : 0; }

bool WebServer::token_matches(const QByteArray &given) const {
    const QByteArray want = token_.toUtf8();
    // Compared in full whatever differs first.
    unsigned diff = unsigned(given.size() ^ want.size());
    for (int i = 0; i < want.size(); ++i)
        diff |= unsigned(char(want[i] ^ (i < given.size() ? given[i] : 0)));
    return diff == 0 && !want.isEmpty();
}

bool WebServer::host_allowed(const QByteArray &host) const {
    if (!token_.isEmpty()) return true;
    // Without a token only loopback names: a foreign page that a name server points at
    // 127.0.0.1 still carries its own name here.
    QString h = QString::fromLatin1(host);
    if (h.startsWith(QLatin1Char('[')))
        h = h.mid(1, h.indexOf(QLatin1Char(']')) - 1);
    else if (h.count(QLatin1Char(':')) == 1)
        h = h.left(h.indexOf(QLatin1Char(':')));
    return h == QLatin1String("localhost") || QHostAddress(h).isLoopback();
}

bool WebServer::origin_allowed(const QByteArray &origin, const QByteArray &host) const {
    // Scripts and command-line clients send none; a browser always does for these.
    if (origin.isEmpty()) return true;
    return origin == "http://" + host || origin == "https://" + host;
}

void WebServer::missingHandler(const QHttpServerRequest &, QTcpSocket *socket) {
    if (refusal_status_) {
        respond_error(socket, refusal_status_, refusal_);
        refusal_status_ = 0;
        return;
    }
    respond_error(socket, 404, QStringLiteral("no such page"));
}

QString WebServer::events_refusal(const QHttpServerRequest &request) const {
    const QByteArray host = request.value("Host");
    const QByteArray token =
        request.query().queryItemValue(QStringLiteral("token"), QUrl::FullyDecoded).toUtf8();
    if (request.url().path() != QLatin1String("/api/v1/events"))
        return QStringLiteral("no such event stream");
    if (!host_allowed(host)) return QStringLiteral("this hub answers to its loopback address only");
    if (!origin_allowed(request.value("Origin"), host))
        return QStringLiteral("requests from another site are refused");
    if (!token_.isEmpty() && !token_matches(token)) return QStringLiteral("a token is needed");
    return QString();
}

bool WebServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) {
    // Qt 6.4 asks here before it completes a WebSocket upgrade: true lets it go on, false
    // has missingHandler answer and the connection closed (6.8 has a verifier for this).
    if (request.value("Upgrade").compare("websocket", Qt::CaseInsensitive) == 0) {
        refusal_ = events_refusal(request);
        if (refusal_.isEmpty()) return true;
        refusal_status_ = refusal_.contains(QLatin1String("token"))       ? 401
                          : refusal_.startsWith(QLatin1String("no such")) ? 404
                                                                          : 403;
        return false;
    }
    const QString method = method_name(request.method());
    const QString path = request.url().path();
    const QByteArray host = request.value("Host");
    if (!host_allowed(host)) {
        respond_error(socket, 403, QStringLiteral("this hub answers to its loopback address only"));
        return true;
    }
    for (const Asset &a : ASSETS) {
        if (path != QLatin1String(a.path)) continue;
        if (method != QLatin1String("GET") && method != QLatin1String("HEAD")) {
            respond_error(socket, 405, QStringLiteral("the page takes GET"));
            return true;
        }
        QFile f(QString::fromLatin1(a.resource));
        f.open(QIODevice::ReadOnly);
        respond(socket, 200, a.type, f.readAll());
        return true;
    }
    ApiCall call = api_call(method, path, request.body());
    const bool open = call.kind == ApiCall::Kind::Live || call.kind == ApiCall::Kind::Ready;
    if (!open && !token_.isEmpty() && !token_matches(bearer(request))) {
        respond(socket, 401, "application/json", error_body(QStringLiteral("a token is needed")),
                "WWW-Authenticate: Bearer\r\n");
        return true;
    }
    if (call.state_changing && !origin_allowed(request.value("Origin"), host)) {
        respond_error(socket, 403, QStringLiteral("requests from another site are refused"));
        return true;
    }
    const QString down = QStringLiteral("the device is not answering");
    switch (call.kind) {
    case ApiCall::Kind::Error: respond_error(socket, call.status, call.message); break;
    case ApiCall::Kind::Live: respond_json(socket, 200, "{\"status\":\"live\"}"); break;
    case ApiCall::Kind::Ready:
        if (ready_)
            respond_json(socket, 200, "{\"status\":\"ready\"}");
        else
            respond_error(socket, 503, down);
        break;
    case ApiCall::Kind::OpenApi:
        respond_json(socket, 200, QJsonDocument(openapi()).toJson(QJsonDocument::Compact));
        break;
    case ApiCall::Kind::State:
        if (ready_)
            respond_json(socket, 200, QJsonDocument(state_).toJson(QJsonDocument::Compact));
        else
            respond_error(socket, 503, down);
        break;
    case ApiCall::Kind::Names:
        if (!ready_)
            respond_error(socket, 503, down);
        else if (!state_.value(QStringLiteral("names")).isObject())
            respond_error(socket, 404, QStringLiteral("this hub keeps no names"));
        else
            respond_json(socket, 200,
                         QJsonDocument(state_.value(QStringLiteral("names")).toObject())
                             .toJson(QJsonDocument::Compact));
        break;
    case ApiCall::Kind::Commands:
        if (!runner_)
            respond_error(socket, 503, down);
        else
            run_commands(socket, call.commands);
        break;
    }
    return true;
}

void WebServer::run_commands(QPointer<QTcpSocket> socket, QList<QStringList> commands) {
    const QStringList words = commands.takeFirst();
    runner_(words, [this, socket, commands](int exit, const QByteArray &result) {
        if (exit == EXIT_DONE && !commands.isEmpty() && socket) {
            run_commands(socket, commands);
            return;
        }
        respond_json(socket, http_status(exit), result);
    });
}

// --- events ----------------------------------------------------------------------------

QByteArray WebServer::event() const {
    QJsonObject e{{"type", "state"}, {"ready", ready_}};
    e.insert(QStringLiteral("state"), ready_ ? QJsonValue(state_) : QJsonValue());
    return QJsonDocument(e).toJson(QJsonDocument::Compact);
}

void WebServer::set_state(const QJsonObject &state, bool ready) {
    state_ = ready ? state : QJsonObject();
    ready_ = ready;
    const QByteArray e = event();
    if (e == last_event_) return;
    last_event_ = e;
    const QList<QWebSocket *> all = sockets_;
    for (QWebSocket *ws : all) send_event(ws, e);
}

void WebServer::send_event(QWebSocket *ws, const QByteArray &event) {
    // A client that does not read is let go rather than buffered for: the others' events
    // are never held back by it.
    if (ws->bytesToWrite() > BACKLOG_LIMIT) {
        sockets_.removeAll(ws);
        ws->disconnect(this);
        ws->abort();
        ws->deleteLater();
        return;
    }
    ws->sendTextMessage(QString::fromUtf8(event));
}

void WebServer::accept_events() {
    while (hasPendingWebSocketConnections()) {
        QWebSocket *ws = nextPendingWebSocketConnection().release();
        ws->setParent(nullptr);
        ws->setMaxAllowedIncomingMessageSize(WS_MESSAGE_LIMIT);
        ws->setMaxAllowedIncomingFrameSize(WS_MESSAGE_LIMIT);
        connect(ws, &QWebSocket::disconnected, this, [this, ws] {
            sockets_.removeAll(ws);
            ws->deleteLater();
        });
        sockets_.append(ws);
        if (last_event_.isEmpty()) last_event_ = event();
        send_event(ws, last_event_);
    }
}
