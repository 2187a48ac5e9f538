#include "client/report.h"

#include <QJsonArray>

#include "platform/venue.h"
#include "protocol/scene_plan.h"

QString network_text(const QString &answer) {
    return answer.endsWith(QLatin1Char('\r')) ? answer.chopped(1) : answer;
}

QString open_failure_text(const QString &name, const QString &device, const QString &why,
                          PortProblem problem) {
    switch (problem) {
    case PortProblem::Busy:
        return QStringLiteral("%1 is in use \u2014 is the panel open?").arg(name);
    case PortProblem::PermissionDenied:
        return QStringLiteral("%1: permission denied on %2 \u2014 add your user to the dialout "
                              "group (sudo usermod -aG dialout $USER) and log in again")
            .arg(name, device);
    case PortProblem::Missing: return QStringLiteral("%1: no such device %2").arg(name, device);
    case PortProblem::NotSerial:
        return QStringLiteral("%1: %2 is not a serial device").arg(name, device);
    case PortProblem::Other: break;
    }
    return QStringLiteral("%1: cannot open %2 (%3)").arg(name, device, why);
}

namespace {

// A value the device did not report.
const QString UNKNOWN = QStringLiteral("unknown");

QJsonValue text_or_null(const QString &t) { return t.isEmpty() ? QJsonValue() : QJsonValue(t); }

QJsonArray names_json(const std::array<QString, 4> &names) {
    QJsonArray a;
    for (const QString &n : names) a.append(text_or_null(n));
    return a;
}

bool names_anything(const Venue &v) {
    if (!v.device.isEmpty() || !v.scenes.isEmpty()) return true;
    for (int i = 0; i < 4; ++i)
        if (!v.inputs[i].isEmpty() || !v.outputs[i].isEmpty()) return true;
    return false;
}

} // namespace

QString input_name(const Venue &v, int n) {
    return v.inputs[n - 1].isEmpty() ? QStringLiteral("Input %1").arg(n) : v.inputs[n - 1];
}

QString output_name(const Venue &v, int n) {
    return v.outputs[n - 1].isEmpty() ? QStringLiteral("Output %1").arg(n) : v.outputs[n - 1];
}

void add_venue_status(QJsonObject *o, const Venue &v, const DeviceState &s) {
    o->insert(QStringLiteral("names"), QJsonObject{{"device", text_or_null(v.device)},
                                                   {"inputs", names_json(v.inputs)},
                                                   {"outputs", names_json(v.outputs)}});
    o->insert(QStringLiteral("scene"), text_or_null(active_scene(v, s)));
}

QString venue_status_text(const Venue &v, const DeviceState &s) {
    if (!names_anything(v)) return QString();
    QStringList routes;
    for (int out = 1; out <= 4; ++out)
        routes << QStringLiteral("%1 <- %2")
                      .arg(output_name(v, out),
                           s.routing(out) ? input_name(v, *s.routing(out)) : UNKNOWN);
    const QString scene = active_scene(v, s);
    QString text;
    if (!v.device.isEmpty())
        text += QStringLiteral("%1 %2\n").arg(QStringLiteral("device"), -11).arg(v.device);
    text += QStringLiteral("%1 %2\n")
                .arg(QStringLiteral("routes"), -11)
                .arg(routes.join(QStringLiteral("; ")));
    text += QStringLiteral("%1 %2\n")
                .arg(QStringLiteral("scene"), -11)
                .arg(scene.isEmpty() ? QStringLiteral("none") : scene);
    return text;
}
