#include "client/ports.h"

#include <QJsonArray>

namespace {

QString problem_word(const PortListing &p) {
    if (p.usable) return QString();
    switch (p.problem) {
    case PortProblem::Missing: return QStringLiteral("no such device");
    case PortProblem::PermissionDenied: return QStringLiteral("permission denied");
    case PortProblem::Busy: return QStringLiteral("busy");
    case PortProblem::NotSerial: return QStringLiteral("not a serial device");
    case PortProblem::Other: break;
    }
    return QStringLiteral("cannot be opened");
}

QJsonValue or_null(const QString &text) { return text.isEmpty() ? QJsonValue() : text; }

} // namespace

QString ports_text(const QList<PortListing> &ports) {
    QString out;
    for (const PortListing &p : ports) {
        QString line = QStringLiteral("COM%1  %2").arg(p.port_number).arg(p.device);
        if (!p.target.isEmpty()) line += QStringLiteral(" -> ") + p.target;
        if (!p.stable.isEmpty() && p.stable != p.target) line += QStringLiteral("  ") + p.stable;
        if (p.usable)
            line += QStringLiteral("  can be opened");
        else if (p.problem == PortProblem::PermissionDenied)
            line += QStringLiteral("  permission denied (join the dialout group)");
        else
            line += QStringLiteral("  ") + problem_word(p);
        out += line + QLatin1Char('\n');
    }
    return out;
}

QJsonObject ports_json(const QList<PortListing> &ports) {
    QJsonArray list;
    for (const PortListing &p : ports)
        list.append(QJsonObject{{"port", QStringLiteral("COM%1").arg(p.port_number)},
                                {"device", p.device},
                                {"target", or_null(p.target)},
                                {"node", or_null(p.resolved)},
                                {"by_id", or_null(p.stable)},
                                {"usable", p.usable},
                                {"problem", or_null(problem_word(p))}});
    return {{"ports", list}};
}
