#pragma once
// The full status read, one order for every program: the panel's Refresh, veldra-ctl's
// `status` and the bridge's poll. Each program brings its own way of making one exchange
// (the panel ends a chain at the first unanswered query, veldra-ctl also reports why), so
// the read takes it as a function.

#include <QString>
#include <functional>
#include <optional>

#include "protocol/display_mode.h"

class DeviceState;

enum class ReadStep {
    Plain,
    Bound,   // the next bezel reply is an upper bound
    MayFail, // a row's saturation: unanswered, the read goes on
};
// Makes one exchange; false ends the read.
using Ask = std::function<bool(const QString &cmd, ReadStep step)>;

// The firmware version: the panel asks it first, through its own button.
QString version_query();
// Audio, bezel amounts and their bounds, lock, power, resolution, mode, the selected
// output and its input. In 2X2 the selected output is not asked: the wall has no single
// outputs (the device drives it through output 1). `selected`: the output the device had
// selected, none in 2X2 or when not asked.
bool read_settings(const DeviceState &s, const Ask &ask, std::optional<int> *selected = nullptr);
// The routing, one output at a time: each OUT selects the output whose input the next
// INP999 reads.
bool read_routing(const Ask &ask);
// The picture levels of every row the mode has.
bool read_pictures(DisplayMode m, const Ask &ask);
// Reading the routing left output 4 selected. What puts the device's selection back, for
// a program that reads behind the operator's back (veldra-ctl, the bridge): the output
// it had, or output 1 in 2X2 (what a change to 2X2 selects); none when nothing to do.
std::optional<QString> selection_restore(const DeviceState &s, std::optional<int> selected);
