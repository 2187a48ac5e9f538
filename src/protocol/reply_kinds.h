#pragma once
// One description per reply kind: how its value digits read (by mode), which part of the
// device state it sets, its key in the status JSON, its words, and how Home Assistant shows
// it. DeviceState::apply, the status printouts, `watch` and the MQTT state, discovery and
// set topics all read this table; a new reply kind is one row here.

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "protocol/display_mode.h"
#include "protocol/reply.h"

class DeviceState;

// How a reply kind's value becomes state.
enum class Rule {
    Value,      // one value, taken when within first..last
    Routing,    // the input of the output selected last
    Picture,    // a level 0..100; Dual and 2X2 pack the row into the hundreds
    Bezel,      // an amount, or the upper bound a bound query asked for
    Resolution, // an entry of the resolution list; 0 selects none
    Reset,      // 1 factory reset, 2 picture reset (the live rows to their default)
    Preset,     // a preset saved or recalled: an acknowledgement
    End,        // the device ends the link
};

// The Home Assistant component a status key shows as.
enum class Entity { None, Select, Switch, Number, Sensor, Button };

struct ReplyKind {
    Mnemonic mnemonic;
    Rule rule;
    int digits;      // value digits read
    int first, last; // values taken
    // Which picture parameter (PictureParam) or bezel direction (0 horizontal, 1 vertical).
    int part;
    // Status JSON key; for a picture kind the key inside "matrix" or a "rows" entry. Null
    // for a kind that stores nothing.
    const char *key;
    // What people read: "audio edid"; for an acknowledgement a sentence with %1.
    const char *words;
    // '|'-separated names of the values first..last ("standby|on"); null: numbers.
    const char *names;
    // Home Assistant: the component, its name, icon, and options when they differ from
    // the names ("Matrix|Dual|2X2" for "matrix|dual|2x2").
    Entity entity;
    const char *label;
    const char *icon;
    const char *options;
    // The object id of its entity and set topic ("power" -> <base>power/set).
    const char *object;
    // The veldra-ctl command that sets it ("power"); null: read only.
    const char *set;
};

// Every reply kind, in the order the status shows them.
const QList<const ReplyKind *> &reply_kinds();
const ReplyKind &reply_kind(Mnemonic m);
// The names of a kind's values (empty without).
QStringList value_names(const ReplyKind &k);
// The picture reply kinds, in the order of the status (brightness, contrast, hue,
// saturation); and the one of a PictureParam.
QList<const ReplyKind *> picture_kinds();
const ReplyKind &picture_kind(int param);
// Picture rows a mode has: 1 in Matrix, 4 in Dual and 2X2.
int picture_rows(DisplayMode m);
// The device's own names, as its front panel prints them: an output ("OUT2"); by mode, the
// output buttons (Matrix "OUT2", Dual "AR", none on the wall) and the picture rows (Matrix
// "ALL", Dual "AR", 2X2 "OUT 2"). Empty for a row or output the mode does not name.
QString output_name(int out);
QString output_caption(DisplayMode m, int out);
QString picture_row_caption(DisplayMode m, int row);

// One key of the status: which kind sets it, where it sits, how it reads.
struct StatusField {
    const ReplyKind *kind = nullptr;
    // "power", "audio.edid", "routing[1]", "rows[2].bri", "bezel.max_h": also the path of a
    // Home Assistant value template (value_json.<key>).
    QString key;
    // Its words on its own ("brightness row 3"), and within its status line ("brightness").
    QString words, item;
    // The status line it belongs to ("picture 3", "audio").
    QString line;
    // The output (routing) or the picture row; 0 otherwise.
    int index = 0;
    bool bound = false; // a bezel bound: read only
    std::optional<int> value;
};

// The status keys in a mode, without values; with the state's values in its mode.
QList<StatusField> status_layout(DisplayMode m);
QList<StatusField> status_fields(const DeviceState &s);
// A field's value as people read it: a name, a version ("1.60"), a number, "unknown";
// `resolutions` names resolution n at position n-1.
QString shown_value(const StatusField &f, const QStringList &resolutions = {});
// "power on", "OUT2<-IN3": the field's words and its value.
QString field_text(const StatusField &f, const QStringList &resolutions = {});

// veldra-ctl's `status --json`: every status key, null for a value not reported.
QJsonObject status_json(const DeviceState &s);
// veldra-ctl's `status`: one line per status line.
QString status_text(const DeviceState &s, const QStringList &resolutions);

// The keys whose values differ between two readings of the status.
QStringList changed_keys(const QList<StatusField> &before, const QList<StatusField> &after);

// The firmware version as the panel shows it: 160 -> "1.60"; "unknown" when not reported.
QString shown_version(std::optional<int> version);

// What a reply did to the state, read through its kind's description.
struct ReplyEffect {
    bool applied = false;
    QStringList changed; // status keys whose value changed
    QString words;       // "brightness row 3 37", "preset 2 recalled", "not applied"
};
// Applies the reply to the state and says what it did.
ReplyEffect apply_reply(DeviceState &s, const Reply &r, const QStringList &resolutions = {});
// One line of `watch --json`: the reply, its mnemonic and value digits, whether the state
// took it and the status keys it changed.
QJsonObject effect_json(const Reply &r, const ReplyEffect &e);
