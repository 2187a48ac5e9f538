#pragma once
// A venue's scene against the device: what a scene captures of the device state, whether
// the device is in it, and the commands that bring the device there, sending only what
// differs. Which settings each display mode has is decided here: Matrix has one picture
// row, Dual and 2X2 four; Dual has the audio pair sides; 2X2 is one wall (its input is
// output 1's) with the bezel. No widgets, no I/O.

#include <QString>
#include <QStringList>
#include <optional>

#include "platform/venue.h"
#include "protocol/device_state.h"

// The scene of the device's present state, holding every setting its mode has; none (and
// `missing` naming what the device has not reported) when any of them is unknown.
std::optional<Scene> capture_scene(const DeviceState &s, const QString &name, QString *missing);

// The settings of the scene (those its mode has and it holds) that the device does not
// have now, as words ("mode", "routing 2", "row 3 brightness"); empty when it is in it.
QStringList scene_differences(const Scene &scene, const DeviceState &s);

// The name of the first scene the device is in; empty when it is in none.
QString active_scene(const Venue &v, const DeviceState &s);

// One change: the commands that set it and the query that reads it back.
struct SceneStep {
    QStringList set;
    QString query;
};

// The mode change the scene needs first (none when the mode is right): the device takes
// the rest in the mode it is in, so the state is read again after it.
QList<SceneStep> scene_mode_steps(const Scene &scene, const DeviceState &s);
// The other changes, in the device's mode (which must be the scene's): routing, picture
// rows, bezel, audio, resolution; only those that differ.
QList<SceneStep> scene_setting_steps(const Scene &scene, const DeviceState &s);
