#include "web/api.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include "client/request.h"

namespace {

ApiCall error(int status, const QString &message) {
    ApiCall c;
    c.kind = ApiCall::Kind::Error;
    c.status = status;
    c.message = message;
    return c;
}

ApiCall simple(ApiCall::Kind kind) {
    ApiCall c;
    c.kind = kind;
    c.status = 200;
    return c;
}

ApiCall commands(const QList<QStringList> &list) {
    ApiCall c;
    c.kind = ApiCall::Kind::Commands;
    c.status = 200;
    c.commands = list;
    c.state_changing = true;
    return c;
}

// A body is a JSON object, or a bare JSON value or text standing for `key`.
bool read_body(const QByteArray &body, const QString &key, QJsonObject *out, QString *why) {
    const QByteArray t = body.trimmed();
    if (t.isEmpty()) {
        *why = QStringLiteral("the request needs a body");
        return false;
    }
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(t, &pe);
    if (pe.error == QJsonParseError::NoError && doc.isObject()) {
        *out = doc.object();
        return true;
    }
    if (t.startsWith('{') || t.startsWith('[')) {
        *why = QStringLiteral("the body is not a JSON object: ") + pe.errorString();
        return false;
    }
    // "3", 3 or plain text.
    const QJsonDocument wrapped = QJsonDocument::fromJson("[" + t + "]");
    if (wrapped.isArray() && wrapped.array().size() == 1)
        out->insert(key, wrapped.array().first());
    else
        out->insert(key, QString::fromUtf8(t));
    return true;
}

// A number or a name given in JSON as the word veldra-ctl takes.
bool word_of(const QJsonValue &v, QString *word) {
    if (v.isDouble() && v.toDouble() == double(v.toInt())) {
        *word = QString::number(v.toInt());
        return true;
    }
    if (v.isString() && !v.toString().trimmed().isEmpty()) {
        *word = v.toString().trimmed();
        return true;
    }
    return false;
}

QStringList split(const QString &text) {
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

ApiCall command_call(const QByteArray &body) {
    QJsonObject o;
    QString why;
    if (!read_body(body, QStringLiteral("command"), &o, &why)) return error(400, why);
    QStringList words;
    if (o.value(QStringLiteral("args")).isArray()) {
        for (const QJsonValue &v : o.value(QStringLiteral("args")).toArray()) {
            QString w;
            if (!word_of(v, &w)) return error(400, QStringLiteral("args holds words or numbers"));
            words << w;
        }
    } else if (o.value(QStringLiteral("command")).isString()) {
        words = split(o.value(QStringLiteral("command")).toString());
    } else {
        return error(400, QStringLiteral("give {\"command\": \"route 1 2\"} or {\"args\": [...]}"));
    }
    if (words.isEmpty()) return error(400, QStringLiteral("no command given"));
    return commands({words});
}

ApiCall names_call(const QByteArray &body) {
    QJsonObject o;
    QString why;
    if (!read_body(body, QStringLiteral("inputs"), &o, &why)) return error(400, why);
    QList<QStringList> list;
    for (const char *kind : {"input", "output"}) {
        const QJsonValue v = o.value(QLatin1String(kind) + QLatin1Char('s'));
        if (v.isUndefined()) continue;
        // {"1": "Laptop"} or ["Laptop", null, ...] (null: left as it is).
        QList<QPair<QString, QJsonValue>> items;
        if (v.isObject()) {
            const QJsonObject m = v.toObject();
            for (auto it = m.begin(); it != m.end(); ++it) items.append({it.key(), it.value()});
        } else if (v.isArray()) {
            const QJsonArray a = v.toArray();
            for (int i = 0; i < a.size(); ++i)
                if (!a[i].isNull()) items.append({QString::number(i + 1), a[i]});
        } else {
            return error(400, QStringLiteral("%1s: an object of numbers to names, or an array")
                                  .arg(QLatin1String(kind)));
        }
        for (const auto &item : items) {
            if (!item.second.isString()) return error(400, QStringLiteral("a name is text"));
            list.append(
                {QStringLiteral("name"), QLatin1String(kind), item.first, item.second.toString()});
        }
    }
    if (list.isEmpty())
        return error(400, QStringLiteral("give {\"inputs\": {\"1\": \"Laptop\"}} and/or "
                                         "{\"outputs\": {...}}"));
    return commands(list);
}

} // namespace

ApiCall api_call(const QString &method, const QString &path, const QByteArray &body) {
    const bool get = method == QLatin1String("GET") || method == QLatin1String("HEAD");
    const bool put = method == QLatin1String("PUT");
    const bool post = method == QLatin1String("POST");
    auto only = [&](bool ok, const char *allowed, const ApiCall &call) {
        return ok ? call
                  : error(405, QStringLiteral("%1 takes %2").arg(path, QLatin1String(allowed)));
    };
    if (path == QLatin1String("/healthz/live"))
        return only(get, "GET", simple(ApiCall::Kind::Live));
    if (path == QLatin1String("/healthz/ready"))
        return only(get, "GET", simple(ApiCall::Kind::Ready));
    const QString api = QStringLiteral("/api/v1/");
    if (!path.startsWith(api)) return error(404, QStringLiteral("no such page: ") + path);
    const QStringList parts = path.mid(api.size()).split(QLatin1Char('/'));
    const QString first = parts.value(0);
    if (parts.size() == 1) {
        if (first == QLatin1String("state")) return only(get, "GET", simple(ApiCall::Kind::State));
        if (first == QLatin1String("openapi.json"))
            return only(get, "GET", simple(ApiCall::Kind::OpenApi));
        if (first == QLatin1String("command"))
            return only(post, "POST", post ? command_call(body) : ApiCall());
        if (first == QLatin1String("names")) {
            if (get) return simple(ApiCall::Kind::Names);
            return only(put, "GET or PUT", put ? names_call(body) : ApiCall());
        }
        if (first == QLatin1String("mode")) {
            if (!put) return only(false, "PUT", {});
            QJsonObject o;
            QString why, mode;
            if (!read_body(body, QStringLiteral("mode"), &o, &why)) return error(400, why);
            const QJsonValue v = o.value(QStringLiteral("mode"));
            static const QStringList names = {QStringLiteral("matrix"), QStringLiteral("dual"),
                                              QStringLiteral("2x2")};
            if (v.isDouble() && v.toInt() >= 1 && v.toInt() <= 3)
                mode = names[v.toInt() - 1];
            else if (!word_of(v, &mode))
                return error(400, QStringLiteral("give {\"mode\": \"matrix\"|\"dual\"|\"2x2\"}"));
            return commands({{QStringLiteral("mode"), mode}});
        }
    }
    if (parts.size() == 2 && first == QLatin1String("outputs") && !parts[1].isEmpty()) {
        if (!put) return only(false, "PUT", {});
        QJsonObject o;
        QString why, input;
        if (!read_body(body, QStringLiteral("input"), &o, &why)) return error(400, why);
        if (!word_of(o.value(QStringLiteral("input")), &input))
            return error(400, QStringLiteral("give {\"input\": 3} or {\"input\": \"Laptop\"}"));
        return commands({{QStringLiteral("route"), parts[1], input}});
    }
    if (first == QLatin1String("scenes") && parts.size() >= 2 && !parts[1].isEmpty()) {
        if (parts.size() == 3 && parts[2] == QLatin1String("recall"))
            return only(post, "POST",
                        commands({{QStringLiteral("scene"), QStringLiteral("recall"), parts[1]}}));
        if (parts.size() == 2)
            return only(put, "PUT",
                        commands({{QStringLiteral("scene"), QStringLiteral("save"), parts[1]}}));
    }
    return error(404, QStringLiteral("no such resource: ") + path);
}

int http_status(int exit_code) {
    switch (exit_code) {
    case EXIT_DONE: return 200;
    case EXIT_REFUSED: return 422;
    case EXIT_USAGE: return 400;
    case EXIT_NO_REPLY: return 504;
    default: return 503;
    }
}

QByteArray error_body(const QString &message) {
    return QJsonDocument(QJsonObject{{"error", message}}).toJson(QJsonDocument::Compact);
}

namespace {
QJsonObject answer(const QString &what, const QString &schema = QString()) {
    QJsonObject r{{"description", what}};
    if (!schema.isEmpty())
        r.insert("content",
                 QJsonObject{{"application/json",
                              QJsonObject{{"schema", QJsonObject{{"$ref", "#/components/schemas/" +
                                                                              schema}}}}}});
    return r;
}

QJsonObject errors() {
    return {{"400", answer("Bad usage; nothing was sent", "Error")},
            {"401", answer("Missing or wrong token", "Error")},
            {"403", answer("A foreign Origin", "Error")},
            {"413", answer("The body is larger than 64 KiB", "Error")},
            {"422", answer("The device refused the command (ERR)", "Result")},
            {"503", answer("The device is not answering", "Error")},
            {"504", answer("The device did not reply", "Result")}};
}

QJsonObject operation(const QString &summary, const QString &ok, const QString &schema,
                      const QJsonObject &body = {}) {
    QJsonObject responses = errors();
    responses.insert("200", answer(ok, schema));
    QJsonObject o{{"summary", summary}, {"responses", responses}};
    if (!body.isEmpty())
        o.insert("requestBody",
                 QJsonObject{{"required", true},
                             {"content",
                              QJsonObject{{"application/json", QJsonObject{{"schema", body}}}}}});
    return o;
}

QJsonObject object_of(const QJsonObject &props) {
    return {{"type", "object"}, {"properties", props}};
}

QJsonObject path_param(const QString &name, const QString &what) {
    return {{"name", name},
            {"in", "path"},
            {"required", true},
            {"description", what},
            {"schema", QJsonObject{{"type", "string"}}}};
}
} // namespace

QJsonObject openapi() {
    const QJsonObject number_or_name{
        {"oneOf", QJsonArray{QJsonObject{{"type", "integer"}}, QJsonObject{{"type", "string"}}}}};
    const QJsonObject words{{"type", "object"},
                            {"additionalProperties", QJsonObject{{"type", "string"}}}};
    QJsonObject paths{
        {"/api/v1/state", QJsonObject{{"get", operation("The device's state (veldra-ctl status "
                                                        "--json), with names and active scene",
                                                        "The state", "State")}}},
        {"/api/v1/command",
         QJsonObject{{"post", operation("Run a veldra-ctl command through the hub's queue", "Done",
                                        "Result",
                                        object_of({{"command", QJsonObject{{"type", "string"}}},
                                                   {"args", QJsonObject{{"type", "array"}}}}))}}},
        {"/api/v1/outputs/{n}",
         QJsonObject{{"parameters", QJsonArray{path_param("n", "output number or name")}},
                     {"put", operation("Route an input to output n", "Routed", "Result",
                                       object_of({{"input", number_or_name}}))}}},
        {"/api/v1/mode",
         QJsonObject{
             {"put", operation("Set the display mode", "Set", "Result",
                               object_of({{"mode", QJsonObject{{"enum", QJsonArray{"matrix", "dual",
                                                                                   "2x2"}}}}}))}}},
        {"/api/v1/scenes/{name}",
         QJsonObject{{"parameters", QJsonArray{path_param("name", "the scene's name")}},
                     {"put", operation("Save the device's present settings as a scene", "Saved",
                                       "Result")}}},
        {"/api/v1/scenes/{name}/recall",
         QJsonObject{{"parameters", QJsonArray{path_param("name", "the scene's name")}},
                     {"post", operation("Recall a scene", "Recalled", "Result")}}},
        {"/api/v1/names",
         QJsonObject{{"get", operation("The venue's names", "Names", "Names")},
                     {"put", operation("Name inputs and outputs", "Named", "Result",
                                       object_of({{"inputs", words}, {"outputs", words}}))}}},
        {"/api/v1/openapi.json",
         QJsonObject{{"get", operation("This description", "OpenAPI 3.0", QString())}}},
        {"/api/v1/events",
         QJsonObject{
             {"get", QJsonObject{{"summary", "WebSocket: the state on connect, then an "
                                             "event per change"},
                                 {"responses", QJsonObject{{"101", answer("Switching "
                                                                          "protocols")}}}}}}},
        {"/healthz/live",
         QJsonObject{{"get", QJsonObject{{"summary", "The hub runs"},
                                         {"security", QJsonArray()},
                                         {"responses", QJsonObject{{"200", answer("Live")}}}}}}},
        {"/healthz/ready",
         QJsonObject{
             {"get", QJsonObject{{"summary", "The device answers"},
                                 {"security", QJsonArray()},
                                 {"responses", QJsonObject{{"200", answer("Ready")},
                                                           {"503", answer("Not ready")}}}}}}},
    };
    QJsonObject schemas{
        {"Error", object_of({{"error", QJsonObject{{"type", "string"}}}})},
        {"Result", object_of({{"command", QJsonObject{{"type", "string"}}},
                              {"exit", QJsonObject{{"type", "integer"}}},
                              {"sent", QJsonObject{{"type", "array"}}},
                              {"replies", QJsonObject{{"type", "array"}}},
                              {"error", QJsonObject{{"type", "string"}}},
                              {"output", QJsonObject{{"type", "string"}}}})},
        {"State", QJsonObject{{"type", "object"}}},
        {"Names", QJsonObject{{"type", "object"}}},
    };
    return {{"openapi", "3.0.3"},
            {"info", QJsonObject{{"title", "veldra-hub"},
                                 {"version", "1"},
                                 {"license", QJsonObject{{"name", "MIT"}}}}},
            {"paths", paths},
            {"components",
             QJsonObject{
                 {"schemas", schemas},
                 {"securitySchemes",
                  QJsonObject{{"bearer", QJsonObject{{"type", "http"}, {"scheme", "bearer"}}}}}}},
            {"security", QJsonArray{QJsonObject{{"bearer", QJsonArray()}}}}};
}
