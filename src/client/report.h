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

struct Venue;

// The network answers as the state file keeps them: the text without its CR.
QString network_text(const QString &answer);

// Why a serial port did not open, in a line: the panel's classes of failure, with the
// dialout hint for a permission and the panel named for a port another program holds.
QString open_failure_text(const QString &name, const QString &device, const QString &why,
                          PortProblem problem);

// The venue's part of the status: "names" ({"device", "inputs", "outputs"}, null where the
// venue names nothing) and "scene" (the active scene, null when none), added to `o`.
void add_venue_status(QJsonObject *o, const Venue &v, const DeviceState &s);
// The same for people: the routing in the venue's names and the active scene; nothing
// when the venue names nothing and has no scene.
QString venue_status_text(const Venue &v, const DeviceState &s);
// A port's name for people: the venue's, else "Input 3" / "Output 2".
QString input_name(const Venue &v, int n);
QString output_name(const Venue &v, int n);
