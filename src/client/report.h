#pragma once
// How veldra-ctl words what is not the device state (that reads through
// protocol/reply_kinds.h): network answers and link failures. Pure, no I/O.

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "link/port_failure.h"
#include "protocol/device_state.h"
#include "protocol/reply_kinds.h"

// The network answers as the state file keeps them: the text without its CR.
QString network_text(const QString &answer);

// Why a serial port did not open, in a line: the panel's classes of failure, with the
// dialout hint for a permission and the panel named for a port another program holds.
QString open_failure_text(const QString &name, const QString &device, const QString &why,
                          PortProblem problem);
