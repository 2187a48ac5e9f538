#pragma once
// Compares what the panel shows with the simulated device's state file, after a full
// refresh: every control that mirrors a device setting, and the layout the reported
// mode and power state call for.

#include <QJsonObject>
#include <QStringList>

class frm_main;

// The differences between the panel and `device_state` (veldra-sim's state JSON), one
// readable line each ("cur_mode: panel 1, device 2"); empty when the panel is in line.
// Meant for the moment right after one complete cmd_refresh_Click: the device's selected
// output is then the one map_refresh ended on (output 4). `with_picture` adds the picture
// values, which the refresh reads only at full height.
QStringList mirror_mismatches(frm_main *f, const QJsonObject &device_state, bool with_picture);
