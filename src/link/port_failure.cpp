#include "link/port_failure.h"

PortProblem classify_port_failure(const PortFacts &f) {
    if (!f.exists || f.not_found_error) return PortProblem::Missing;
    if (!f.char_device) return PortProblem::NotSerial;
    // The same error is given for a lock held by another program; the access
    // rights tell the two apart.
    if (f.permission_error) return f.accessible ? PortProblem::Busy : PortProblem::PermissionDenied;
    return PortProblem::Other;
}

QString port_failure_detail(int port_number, const QString &device, PortProblem problem,
                            const QString &system_text) {
    QString why;
    switch (problem) {
    case PortProblem::Missing:
        why = QStringLiteral("No such device: the adapter is not plugged in, or the port "
                             "map names a device that does not exist.");
        break;
    case PortProblem::PermissionDenied:
        why = QStringLiteral("Permission denied: serial devices need membership of the "
                             "dialout group (sudo usermod -aG dialout $USER, then log in again).");
        break;
    case PortProblem::Busy:
        why = QStringLiteral("The device is busy: another program has it open.");
        break;
    case PortProblem::NotSerial: why = QStringLiteral("This is not a serial device."); break;
    case PortProblem::Other: why = QStringLiteral("The system says: %1.").arg(system_text); break;
    }
    return QStringLiteral("COM%1 opens %2.\n%3").arg(port_number).arg(device, why);
}
