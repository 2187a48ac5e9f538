#pragma once
// What veldra-ctl learns from the device and how it shows it: the device state built
// from replies the way the panel's reply handlers read them, as JSON (the keys of
// veldra-sim's state file where they mean the same) or as text. Pure, no I/O.

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <array>

#include "link/port_failure.h"

// -1 wherever the device has not reported a value (null in JSON).
struct PictureLevels {
    int bri = -1, con = -1, hue = -1, sat = -1;
};

struct DeviceStatus {
    int version = -1; // VER160 -> 160, shown as 1.60
    int power = -1, lock = -1;
    int mode = -1;   // 1 Matrix, 2 Dual, 3 2X2
    int output = -1; // the selected output as first asked (OUT999)
    std::array<int, 4> routing{{-1, -1, -1, -1}};
    PictureLevels matrix;
    std::array<PictureLevels, 4> rows;
    int bezel_on = -1, bezel_h = -1, bezel_v = -1, max_h = -1, max_v = -1;
    int edid = -1, dual_a = -1, dual_b = -1, audio_on = -1;
    int resolution = -1;
    // Entries of the resolution list (0: no list, any number the reply carries counts).
    int resolution_count = 0;

    // How the next replies are read, as in the panel: the output the last OUT reply
    // selected, the mode that decides how picture replies unpack (Matrix until the
    // device reports one), and whether the next bezel reply is a maximum.
    int cur_output = 1;
    int cur_mode = 1;
    bool bezel_max_pending = false;
};

// Applies one six-character reply; replies that name nothing the panel knows, or carry a
// value its handler does not take (PWR009), are ignored: that value stays unreported.
void apply_reply(DeviceStatus *s, const QString &reply);

// state-file keys: power lock mode output routing matrix|rows bezel audio resolution
// version; "matrix" in Matrix mode, "rows" in Dual and 2X2 (what the panel reads).
QJsonObject status_json(const DeviceStatus &s);
// Lines for people; `resolutions` names resolution n at position n-1.
QString status_text(const DeviceStatus &s, const QStringList &resolutions);

// The firmware version as the panel shows it: 160 -> "1.60"; "?" when not reported.
QString version_text(int version);

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
