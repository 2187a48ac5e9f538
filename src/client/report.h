#pragma once
// How veldra-ctl shows what it learnt from the device: the device state (read by the
// panel's own rules, see protocol/device_state.h) as JSON (the keys of veldra-sim's state
// file where they mean the same) or as text. Pure, no I/O.

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>

#include "link/port_failure.h"
#include "protocol/device_state.h"

struct Venue;

// state-file keys: power lock mode output routing matrix|rows bezel audio resolution
// version; "matrix" in Matrix mode, "rows" in Dual and 2X2 (what the panel reads). A value
// the device did not report is null.
QJsonObject status_json(const DeviceState &s);
// Lines for people; `resolutions` names resolution n at position n-1.
QString status_text(const DeviceState &s, const QStringList &resolutions);

// The firmware version as the panel shows it: 160 -> "1.60"; "unknown" when not reported.
QString shown_version(std::optional<int> version);

// "MOD002" -> "mode dual"; empty when the reply means nothing more than its text.
QString describe_reply(const QString &reply);
// One line of `watch --json`: the reply, its mnemonic and its value digits.
QJsonObject reply_json(const QString &reply);

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
