#include "client/report.h"

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
