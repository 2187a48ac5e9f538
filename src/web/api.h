#pragma once
// The hub's REST API as pure functions: a request (method, path, body) into the
// veldra-ctl commands that carry it out, or an answer of its own; the HTTP status of a
// command's exit status; the OpenAPI description. No I/O.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

// The largest request body taken; more is answered 413 before it is read.
constexpr qint64 BODY_LIMIT = 64 * 1024;

struct ApiCall {
    enum class Kind {
        State,    // GET state
        Names,    // GET names
        Commands, // run `commands` in order, answer with the last result
        OpenApi,
        Live,
        Ready,
        Error, // answer `status` with `message`
    } kind = Kind::Error;
    QList<QStringList> commands; // veldra-ctl words, one list per command
    bool state_changing = false; // POST/PUT: Origin is checked
    int status = 404;
    QString message;
};

// `path` without the query; `body` as received.
ApiCall api_call(const QString &method, const QString &path, const QByteArray &body);

// The HTTP status for a veldra-ctl exit status: done 200, refused by the device 422, bad
// usage 400, no reply 504, no link 503.
int http_status(int exit_code);

// {"error": message}
QByteArray error_body(const QString &message);

QJsonObject openapi();
