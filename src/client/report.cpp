#include "client/report.h"

#include <QJsonArray>

#include "platform/venue.h"
#include "protocol/command.h"
#include "protocol/scene_plan.h"

namespace {

using Value = std::optional<int>;

QJsonValue value(Value v) { return v ? QJsonValue(*v) : QJsonValue(); }

QJsonObject picture_json(const DeviceState &s, int row) {
    return {{"bri", value(s.picture(PictureParam::Bri, row))},
            {"con", value(s.picture(PictureParam::Con, row))},
            {"hue", value(s.picture(PictureParam::Hue, row))},
            {"sat", value(s.picture(PictureParam::Sat, row))}};
}

// A value the device did not report, or reported as something the panel ignores.
const QString UNKNOWN = QStringLiteral("unknown");

QString shown(Value v) { return v ? QString::number(*v) : UNKNOWN; }

QString word(Value v, const QStringList &words, int base) {
    const int i = v ? *v - base : -1;
    return i >= 0 && i < words.size() ? words[i] : shown(v);
}

// A digit of a reply; -1 when it carries none.
QString word(int d, const QStringList &words, int base) {
    return word(d < 0 ? std::nullopt : Value(d), words, base);
}

const QStringList MODES = {QStringLiteral("matrix"), QStringLiteral("dual"), QStringLiteral("2x2")};
const QStringList EDIDS = {QStringLiteral("2ch"), QStringLiteral("6ch"), QStringLiteral("8ch"),
                           QStringLiteral("bitstream"), QStringLiteral("hd")};
const QStringList SIDES = {QStringLiteral("left"), QStringLiteral("right")};
const QStringList OFF_ON = {QStringLiteral("off"), QStringLiteral("on")};
const QStringList STANDBY_ON = {QStringLiteral("standby"), QStringLiteral("on")};
// Mute is on when the audio is off (AUD000).
const QStringList MUTE = {QStringLiteral("on"), QStringLiteral("off")};

QString picture_line(const DeviceState &s, int row) {
    return QStringLiteral("brightness %1  contrast %2  hue %3  saturation %4")
        .arg(shown(s.picture(PictureParam::Bri, row)), shown(s.picture(PictureParam::Con, row)),
             shown(s.picture(PictureParam::Hue, row)), shown(s.picture(PictureParam::Sat, row)));
}

} // namespace

QString shown_version(std::optional<int> v) { return v ? version_text(*v) : UNKNOWN; }

QJsonObject status_json(const DeviceState &s) {
    QJsonArray routing;
    for (int out = 1; out <= 4; ++out) routing.append(value(s.routing(out)));
    QJsonObject o{
        {"power", value(s.power())},
        {"lock", value(s.lock())},
        {"mode", s.mode() ? QJsonValue(static_cast<int>(*s.mode())) : QJsonValue()},
        {"output", value(s.output())},
        {"routing", routing},
        {"bezel", QJsonObject{{"on", value(s.bezel_on())},
                              {"h", value(s.bezel_h())},
                              {"v", value(s.bezel_v())},
                              {"max_h", value(s.bezel_max_h())},
                              {"max_v", value(s.bezel_max_v())}}},
        {"audio", QJsonObject{{"edid", value(s.edid())},
                              {"dual_a", value(s.dual_a())},
                              {"dual_b", value(s.dual_b())},
                              {"on", value(s.audio_on())}}},
        {"resolution", value(s.resolution())},
        {"version", value(s.version())},
    };
    if (s.display_mode() == DisplayMode::Matrix) {
        o.insert(QStringLiteral("matrix"), picture_json(s, 1));
    } else {
        QJsonArray rows;
        for (int row = 1; row <= 4; ++row) rows.append(picture_json(s, row));
        o.insert(QStringLiteral("rows"), rows);
    }
    return o;
}

QString status_text(const DeviceState &s, const QStringList &resolutions) {
    QStringList lines;
    const auto add = [&lines](const char *key, const QString &text) {
        lines << QStringLiteral("%1 %2").arg(QLatin1String(key), -11).arg(text);
    };
    add("version", shown_version(s.version()));
    add("power", word(s.power(), STANDBY_ON, 0));
    add("lock", word(s.lock(), OFF_ON, 0));
    add("mode", word(s.mode() ? Value(static_cast<int>(*s.mode())) : std::nullopt, MODES, 1));
    add("output", shown(s.output()));
    QStringList routes;
    for (int out = 1; out <= 4; ++out)
        routes << QStringLiteral("OUT%1<-%2")
                      .arg(out)
                      .arg(s.routing(out) ? QStringLiteral("IN%1").arg(*s.routing(out)) : UNKNOWN);
    add("routing", routes.join(QLatin1Char(' ')));
    if (s.display_mode() == DisplayMode::Matrix) {
        add("picture", picture_line(s, 1));
    } else {
        for (int row = 1; row <= 4; ++row)
            lines << QStringLiteral("picture %1   %2").arg(row).arg(picture_line(s, row));
    }
    add("bezel", QStringLiteral("%1  h %2  v %3  (max h %4, v %5)")
                     .arg(word(s.bezel_on(), OFF_ON, 0), shown(s.bezel_h()), shown(s.bezel_v()),
                          shown(s.bezel_max_h()), shown(s.bezel_max_v())));
    add("audio",
        QStringLiteral("edid %1  dual-a %2  dual-b %3  mute %4")
            .arg(word(s.edid(), EDIDS, 0), word(s.dual_a(), SIDES, 1), word(s.dual_b(), SIDES, 1),
                 !s.audio_on() ? UNKNOWN
                               : (*s.audio_on() ? QStringLiteral("off") : QStringLiteral("on"))));
    QString res = shown(s.resolution());
    if (s.resolution() && *s.resolution() <= resolutions.size())
        res += QStringLiteral(" (%1)").arg(resolutions[*s.resolution() - 1]);
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
    if (m == QLatin1String("VER"))
        return QStringLiteral("version ") +
               shown_version(v3 < 0 ? std::nullopt : std::optional<int>(v3));
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

namespace {

QJsonValue text_or_null(const QString &t) { return t.isEmpty() ? QJsonValue() : QJsonValue(t); }

QJsonArray names_json(const std::array<QString, 4> &names) {
    QJsonArray a;
    for (const QString &n : names) a.append(text_or_null(n));
    return a;
}

bool names_anything(const Venue &v) {
    if (!v.device.isEmpty() || !v.scenes.isEmpty()) return true;
    for (int i = 0; i < 4; ++i)
        if (!v.inputs[i].isEmpty() || !v.outputs[i].isEmpty()) return true;
    return false;
}

} // namespace

QString input_name(const Venue &v, int n) {
    return v.inputs[n - 1].isEmpty() ? QStringLiteral("Input %1").arg(n) : v.inputs[n - 1];
}

QString output_name(const Venue &v, int n) {
    return v.outputs[n - 1].isEmpty() ? QStringLiteral("Output %1").arg(n) : v.outputs[n - 1];
}

void add_venue_status(QJsonObject *o, const Venue &v, const DeviceState &s) {
    o->insert(QStringLiteral("names"), QJsonObject{{"device", text_or_null(v.device)},
                                                   {"inputs", names_json(v.inputs)},
                                                   {"outputs", names_json(v.outputs)}});
    o->insert(QStringLiteral("scene"), text_or_null(active_scene(v, s)));
}

QString venue_status_text(const Venue &v, const DeviceState &s) {
    if (!names_anything(v)) return QString();
    QStringList routes;
    for (int out = 1; out <= 4; ++out)
        routes << QStringLiteral("%1 <- %2")
                      .arg(output_name(v, out),
                           s.routing(out) ? input_name(v, *s.routing(out)) : UNKNOWN);
    const QString scene = active_scene(v, s);
    QString text;
    if (!v.device.isEmpty())
        text += QStringLiteral("%1 %2\n").arg(QStringLiteral("device"), -11).arg(v.device);
    text += QStringLiteral("%1 %2\n")
                .arg(QStringLiteral("routes"), -11)
                .arg(routes.join(QStringLiteral("; ")));
    text += QStringLiteral("%1 %2\n")
                .arg(QStringLiteral("scene"), -11)
                .arg(scene.isEmpty() ? QStringLiteral("none") : scene);
    return text;
}
