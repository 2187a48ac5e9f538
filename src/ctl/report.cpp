#include "ctl/report.h"

#include <QJsonArray>

#include "protocol/command.h"

namespace {

QJsonValue value(int v) { return v < 0 ? QJsonValue() : QJsonValue(v); }

QJsonObject picture_json(const PictureLevels &p) {
    return {
        {"bri", value(p.bri)}, {"con", value(p.con)}, {"hue", value(p.hue)}, {"sat", value(p.sat)}};
}

int *picture_slot(PictureLevels &p, const QString &mnemonic) {
    if (mnemonic == QLatin1String("BRI")) return &p.bri;
    if (mnemonic == QLatin1String("CON")) return &p.con;
    if (mnemonic == QLatin1String("HUE")) return &p.hue;
    return &p.sat;
}

// A value the device did not report, or reported as something the panel ignores.
const QString UNKNOWN = QStringLiteral("unknown");

QString shown(int v) { return v < 0 ? UNKNOWN : QString::number(v); }

QString word(int v, const QStringList &words, int base) {
    const int i = v - base;
    return i >= 0 && i < words.size() ? words[i] : shown(v);
}

const QStringList MODES = {QStringLiteral("matrix"), QStringLiteral("dual"), QStringLiteral("2x2")};
const QStringList EDIDS = {QStringLiteral("2ch"), QStringLiteral("6ch"), QStringLiteral("8ch"),
                           QStringLiteral("bitstream"), QStringLiteral("hd")};
const QStringList SIDES = {QStringLiteral("left"), QStringLiteral("right")};
const QStringList OFF_ON = {QStringLiteral("off"), QStringLiteral("on")};
const QStringList STANDBY_ON = {QStringLiteral("standby"), QStringLiteral("on")};
// Mute is on when the audio is off (AUD000).
const QStringList MUTE = {QStringLiteral("on"), QStringLiteral("off")};

QString picture_line(const PictureLevels &p) {
    return QStringLiteral("brightness %1  contrast %2  hue %3  saturation %4")
        .arg(shown(p.bri), shown(p.con), shown(p.hue), shown(p.sat));
}

} // namespace

QString version_text(int v) {
    return v < 0 ? UNKNOWN
                 : QStringLiteral("%1.%2").arg(v / 100).arg(v % 100, 2, 10, QLatin1Char('0'));
}

void apply_reply(DeviceStatus *s, const QString &reply) {
    if (reply.size() < 6) return;
    const QString m = reply.left(3);
    const int d = last_digit(reply);
    const int v3 = reply_value(reply, 3);
    if (m == QLatin1String("OUT")) {
        if (d >= 1 && d <= 4) s->cur_output = d;
    } else if (m == QLatin1String("INP")) {
        if (d >= 1 && d <= 4) s->routing[s->cur_output - 1] = d;
    } else if (m == QLatin1String("MOD")) {
        if (d >= 1 && d <= 3) s->mode = s->cur_mode = d;
    } else if (m == QLatin1String("PWR")) {
        // The panel's toggles know standby (0) and on (1); a 9 would be a guess.
        if (d == 0 || d == 1) s->power = d;
    } else if (m == QLatin1String("LCK")) {
        if (d == 0 || d == 1) s->lock = d;
    } else if (m == QLatin1String("AUD")) {
        if (d == 0 || d == 1) s->audio_on = d;
    } else if (m == QLatin1String("AUE")) {
        if (d >= 0 && d <= 4) s->edid = d;
    } else if (m == QLatin1String("AUA")) {
        if (d == 1 || d == 2) s->dual_a = d;
    } else if (m == QLatin1String("AUB")) {
        if (d == 1 || d == 2) s->dual_b = d;
    } else if (m == QLatin1String("BEZ")) {
        if (d == 0 || d == 1) s->bezel_on = d;
    } else if (m == QLatin1String("BEH") || m == QLatin1String("BEV")) {
        // Above the sliders' range a reply is no bezel value; a pending bound stays pending.
        if (v3 < 0 || v3 > 254) return;
        const bool h = m == QLatin1String("BEH");
        if (s->bezel_max_pending) {
            (h ? s->max_h : s->max_v) = v3;
            s->bezel_max_pending = false;
        } else {
            (h ? s->bezel_h : s->bezel_v) = v3;
        }
    } else if (m == QLatin1String("BRI") || m == QLatin1String("CON") ||
               m == QLatin1String("HUE") || m == QLatin1String("SAT")) {
        if (v3 < 0) return;
        if (s->cur_mode == 1) {
            if (v3 <= 100) *picture_slot(s->matrix, m) = v3;
            return;
        }
        const int row = v3 / 200 + 1, level = v3 % 200;
        if (row <= 4 && level <= 100) *picture_slot(s->rows[row - 1], m) = level;
    } else if (m == QLatin1String("RES")) {
        // As the panel's list: a number beyond it names nothing, 0 selects nothing.
        const int r = reply_value(reply, 2);
        if (r < 0 || (s->resolution_count > 0 && r > s->resolution_count)) return;
        s->resolution = r >= 1 ? r : -1;
    } else if (m == QLatin1String("VER")) {
        if (v3 >= 0) s->version = v3;
    }
}

QJsonObject status_json(const DeviceStatus &s) {
    QJsonArray routing;
    for (int in : s.routing) routing.append(value(in));
    QJsonObject o{
        {"power", value(s.power)},
        {"lock", value(s.lock)},
        {"mode", value(s.mode)},
        {"output", value(s.output)},
        {"routing", routing},
        {"bezel", QJsonObject{{"on", value(s.bezel_on)},
                              {"h", value(s.bezel_h)},
                              {"v", value(s.bezel_v)},
                              {"max_h", value(s.max_h)},
                              {"max_v", value(s.max_v)}}},
        {"audio", QJsonObject{{"edid", value(s.edid)},
                              {"dual_a", value(s.dual_a)},
                              {"dual_b", value(s.dual_b)},
                              {"on", value(s.audio_on)}}},
        {"resolution", value(s.resolution)},
        {"version", value(s.version)},
    };
    if (s.cur_mode == 1) {
        o.insert(QStringLiteral("matrix"), picture_json(s.matrix));
    } else {
        QJsonArray rows;
        for (const PictureLevels &p : s.rows) rows.append(picture_json(p));
        o.insert(QStringLiteral("rows"), rows);
    }
    return o;
}

QString status_text(const DeviceStatus &s, const QStringList &resolutions) {
    QStringList lines;
    const auto add = [&lines](const char *key, const QString &text) {
        lines << QStringLiteral("%1 %2").arg(QLatin1String(key), -11).arg(text);
    };
    add("version", version_text(s.version));
    add("power", word(s.power, STANDBY_ON, 0));
    add("lock", word(s.lock, OFF_ON, 0));
    add("mode", word(s.mode, MODES, 1));
    add("output", shown(s.output));
    QStringList routes;
    for (int out = 1; out <= 4; ++out)
        routes << QStringLiteral("OUT%1<-%2")
                      .arg(out)
                      .arg(s.routing[out - 1] < 0 ? UNKNOWN
                                                  : QStringLiteral("IN%1").arg(s.routing[out - 1]));
    add("routing", routes.join(QLatin1Char(' ')));
    if (s.cur_mode == 1) {
        add("picture", picture_line(s.matrix));
    } else {
        for (int row = 1; row <= 4; ++row)
            lines << QStringLiteral("picture %1   %2").arg(row).arg(picture_line(s.rows[row - 1]));
    }
    add("bezel", QStringLiteral("%1  h %2  v %3  (max h %4, v %5)")
                     .arg(word(s.bezel_on, OFF_ON, 0), shown(s.bezel_h), shown(s.bezel_v),
                          shown(s.max_h), shown(s.max_v)));
    add("audio", QStringLiteral("edid %1  dual-a %2  dual-b %3  mute %4")
                     .arg(word(s.edid, EDIDS, 0), word(s.dual_a, SIDES, 1),
                          word(s.dual_b, SIDES, 1), word(s.audio_on, MUTE, 0)));
    QString res = shown(s.resolution);
    if (s.resolution >= 1 && s.resolution <= resolutions.size())
        res += QStringLiteral(" (%1)").arg(resolutions[s.resolution - 1]);
    add("resolution", res);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString describe_reply(const QString &reply) {
    if (reply.size() < 6) return QString();
    const QString m = reply.left(3);
    const int d = last_digit(reply);
    const int v3 = reply_value(reply, 3);
    if (m == QLatin1String("OUT")) return QStringLiteral("output %1").arg(d);
    if (m == QLatin1String("INP")) return QStringLiteral("input %1").arg(d);
    if (m == QLatin1String("MOD")) return QStringLiteral("mode ") + word(d, MODES, 1);
    if (m == QLatin1String("PWR")) return QStringLiteral("power ") + word(d, STANDBY_ON, 0);
    if (m == QLatin1String("LCK")) return QStringLiteral("lock ") + word(d, OFF_ON, 0);
    if (m == QLatin1String("AUD")) return QStringLiteral("mute ") + word(d, MUTE, 0);
    if (m == QLatin1String("AUE")) return QStringLiteral("audio edid ") + word(d, EDIDS, 0);
    if (m == QLatin1String("AUA")) return QStringLiteral("audio dual-a ") + word(d, SIDES, 1);
    if (m == QLatin1String("AUB")) return QStringLiteral("audio dual-b ") + word(d, SIDES, 1);
    if (m == QLatin1String("BEZ")) return QStringLiteral("bezel ") + word(d, OFF_ON, 0);
    if (m == QLatin1String("BEH")) return QStringLiteral("bezel h %1").arg(v3);
    if (m == QLatin1String("BEV")) return QStringLiteral("bezel v %1").arg(v3);
    if (m == QLatin1String("RES"))
        return QStringLiteral("resolution %1").arg(reply_value(reply, 2));
    if (m == QLatin1String("SAV")) return QStringLiteral("preset %1 saved").arg(d);
    if (m == QLatin1String("CAL")) return QStringLiteral("preset %1 recalled").arg(d);
    if (m == QLatin1String("VER")) return QStringLiteral("version ") + version_text(v3);
    if (m == QLatin1String("ERR")) return QStringLiteral("refused");
    if (m == QLatin1String("EXT")) return QStringLiteral("the device ends the connection");
    static const char *const pictures[4][2] = {
        {"BRI", "brightness"}, {"CON", "contrast"}, {"HUE", "hue"}, {"SAT", "saturation"}};
    for (const auto &p : pictures) {
        if (m != QLatin1String(p[0]) || v3 < 0) continue;
        // Row 1 carries the plain level in every mode; Dual and 2X2 pack the others.
        if (v3 < 200) return QStringLiteral("%1 %2").arg(QLatin1String(p[1])).arg(v3);
        return QStringLiteral("%1 row %2 level %3")
            .arg(QLatin1String(p[1]))
            .arg(v3 / 200 + 1)
            .arg(v3 % 200);
    }
    return QString();
}

QJsonObject reply_json(const QString &reply) {
    QJsonObject o{{"reply", reply}, {"mnemonic", reply.left(3)}};
    const int v = reply_value(reply, 3);
    o.insert(QStringLiteral("value"), value(v));
    return o;
}

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
