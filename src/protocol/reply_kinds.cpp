#include "protocol/reply_kinds.h"

#include <QHash>
#include <QJsonArray>
#include <array>

#include "protocol/device_state.h"

namespace {

using M = Mnemonic;
using E = Entity;

// In the order the status shows them. Picture parts are PictureParam (Con 0, Bri 1, Sat 2,
// Hue 3).
const ReplyKind KINDS[] = {
    {M::VER, Rule::Value, 3, 0, 999, 0, "version", "version", nullptr, E::Sensor, "Firmware",
     "mdi:chip", nullptr, "firmware", nullptr},
    {M::PWR, Rule::Value, 1, 0, 1, 0, "power", "power", "standby|on", E::Switch, "Power",
     "mdi:power", nullptr, "power", "power"},
    {M::LCK, Rule::Value, 1, 0, 1, 0, "lock", "lock", "off|on", E::Switch, "Front panel lock",
     "mdi:lock", nullptr, "lock", "lock"},
    {M::MOD, Rule::Value, 1, 1, 3, 0, "mode", "mode", "matrix|dual|2x2", E::Select, "Display mode",
     "mdi:monitor-multiple", "Matrix|Dual|2X2", "mode", "mode"},
    {M::OUT, Rule::Value, 1, 1, 4, 0, "output", "output", nullptr, E::Select, "Selected output",
     "mdi:video-switch", "Output 1|Output 2|Output 3|Output 4", "selected_output", "output"},
    {M::INP, Rule::Routing, 1, 1, 4, 0, "routing", "input", "IN1|IN2|IN3|IN4", E::Select,
     "Output %1", "mdi:video-input-hdmi", "Input 1|Input 2|Input 3|Input 4", "output", "route"},
    {M::BRI, Rule::Picture, 3, 0, 100, 1, "bri", "brightness", nullptr, E::Number, "Brightness",
     "mdi:brightness-6", nullptr, "brightness", "picture brightness"},
    {M::CON, Rule::Picture, 3, 0, 100, 0, "con", "contrast", nullptr, E::Number, "Contrast",
     "mdi:contrast-box", nullptr, "contrast", "picture contrast"},
    {M::HUE, Rule::Picture, 3, 0, 100, 3, "hue", "hue", nullptr, E::Number, "Hue", "mdi:palette",
     nullptr, "hue", "picture hue"},
    {M::SAT, Rule::Picture, 3, 0, 100, 2, "sat", "saturation", nullptr, E::Number, "Saturation",
     "mdi:invert-colors", nullptr, "saturation", "picture saturation"},
    {M::BEZ, Rule::Value, 1, 0, 1, 0, "bezel.on", "bezel", "off|on", E::Switch, "Bezel correction",
     "mdi:border-outside", nullptr, "bezel", "bezel"},
    {M::BEH, Rule::Bezel, 3, 0, DeviceState::BEZEL_LIMIT, 0, "bezel.h", "bezel h", nullptr,
     E::Number, "Bezel H correction", "mdi:arrow-left-right", nullptr, "bezel_h", "bezel h"},
    {M::BEV, Rule::Bezel, 3, 0, DeviceState::BEZEL_LIMIT, 1, "bezel.v", "bezel v", nullptr,
     E::Number, "Bezel V correction", "mdi:arrow-up-down", nullptr, "bezel_v", "bezel v"},
    {M::AUE, Rule::Value, 1, 0, 4, 0, "audio.edid", "audio edid", "2ch|6ch|8ch|bitstream|hd",
     E::Select, "Audio EDID", "mdi:surround-sound", "2CH|6CH|8CH|Bitstream|HD", "audio_edid",
     "audio edid"},
    {M::AUA, Rule::Value, 1, 1, 2, 0, "audio.dual_a", "audio dual-a", "left|right", E::Select,
     "Dual audio A", "mdi:speaker", "Left|Right", "dual_a", "audio dual-a"},
    {M::AUB, Rule::Value, 1, 1, 2, 0, "audio.dual_b", "audio dual-b", "left|right", E::Select,
     "Dual audio B", "mdi:speaker", "Left|Right", "dual_b", "audio dual-b"},
    // Muting switches the audio off: "mute on" is 0.
    {M::AUD, Rule::Value, 1, 0, 1, 0, "audio.on", "mute", "on|off", E::Switch, "Mute",
     "mdi:volume-off", nullptr, "mute", "mute"},
    {M::RES, Rule::Resolution, 2, 0, 99, 0, "resolution", "resolution", nullptr, E::Select,
     "Output resolution", "mdi:monitor-screenshot", nullptr, "resolution", "resolution"},
    {M::SAV, Rule::Preset, 1, 1, 4, 0, nullptr, "preset %1 saved", nullptr, E::None, nullptr,
     nullptr, nullptr, nullptr, nullptr},
    {M::CAL, Rule::Preset, 1, 1, 4, 0, nullptr, "preset %1 recalled", nullptr, E::Button,
     "Recall preset %1", "mdi:playlist-play", nullptr, "preset", "preset recall"},
    {M::RST, Rule::Reset, 1, 1, 2, 0, nullptr, "%1 reset", "factory|picture", E::None, nullptr,
     nullptr, nullptr, nullptr, nullptr},
    {M::EXT, Rule::End, 0, 0, 0, 0, nullptr, "the device ends the connection", nullptr, E::None,
     nullptr, nullptr, nullptr, nullptr, nullptr},
};
static_assert(std::size(KINDS) == REPLY_KINDS, "one description per reply kind");

const QList<const ReplyKind *> &all() {
    static const QList<const ReplyKind *> list = [] {
        QList<const ReplyKind *> l;
        for (const ReplyKind &k : KINDS) l << &k;
        return l;
    }();
    return list;
}

// The text before a key's first '.' or '['.
QString head(const QString &key) {
    int end = key.size();
    for (QChar c : {QLatin1Char('.'), QLatin1Char('[')})
        if (key.indexOf(c) >= 0) end = std::min<int>(end, key.indexOf(c));
    return key.left(end);
}

QString joined(const QString &words, const QString &value) {
    if (words.isEmpty()) return value;
    if (words.endsWith(QLatin1String("<-"))) return words + value;
    return words + QLatin1Char(' ') + value;
}

// "rows[2].bri" -> rows, 2, bri; each step a name or an array index.
QJsonValue with(const QJsonValue &node, const QStringList &steps, int i, const QJsonValue &v) {
    if (i == steps.size()) return v;
    const QString &s = steps[i];
    bool index = false;
    const int n = s.toInt(&index);
    if (index) {
        QJsonArray a = node.toArray();
        while (a.size() <= n) a.append(QJsonValue());
        a[n] = with(a[n], steps, i + 1, v);
        return a;
    }
    QJsonObject o = node.toObject();
    o[s] = with(o.value(s), steps, i + 1, v);
    return o;
}

QStringList steps_of(const QString &key) {
    QString k = key;
    k.replace(QLatin1Char('['), QLatin1Char('.')).remove(QLatin1Char(']'));
    return k.split(QLatin1Char('.'));
}

std::optional<int> value_of(const DeviceState &s, const StatusField &f) {
    const ReplyKind &k = *f.kind;
    switch (k.rule) {
    case Rule::Value: return s.value(k.mnemonic);
    case Rule::Routing: return s.routing(f.index);
    case Rule::Picture: return s.picture(static_cast<PictureParam>(k.part), f.index);
    case Rule::Bezel:
        if (f.bound) return k.part == 0 ? s.bezel_max_h() : s.bezel_max_v();
        return k.part == 0 ? s.bezel_h() : s.bezel_v();
    case Rule::Resolution: return s.resolution();
    default: return std::nullopt;
    }
}

} // namespace

const QList<const ReplyKind *> &reply_kinds() { return all(); }

const ReplyKind &reply_kind(Mnemonic m) {
    static const std::array<const ReplyKind *, REPLY_KINDS> by = [] {
        std::array<const ReplyKind *, REPLY_KINDS> a{};
        for (const ReplyKind &k : KINDS) a[static_cast<int>(k.mnemonic)] = &k;
        return a;
    }();
    return *by[static_cast<int>(m)];
}

QStringList value_names(const ReplyKind &k) {
    return k.names ? QString::fromLatin1(k.names).split(QLatin1Char('|')) : QStringList();
}

QList<const ReplyKind *> picture_kinds() {
    QList<const ReplyKind *> l;
    for (const ReplyKind *k : all())
        if (k->rule == Rule::Picture) l << k;
    return l;
}

const ReplyKind &picture_kind(int param) {
    for (const ReplyKind *k : all())
        if (k->rule == Rule::Picture && k->part == param) return *k;
    return reply_kind(Mnemonic::BRI);
}

int picture_rows(DisplayMode m) { return m == DisplayMode::Matrix ? 1 : 4; }

namespace {
const char *const DUAL_SIDES[5] = {"", "AL", "AR", "BL", "BR"};
bool in_range(int n) { return n >= 1 && n <= 4; }
} // namespace

QString output_name(int out) { return QStringLiteral("OUT%1").arg(out); }

QString output_caption(DisplayMode m, int out) {
    if (!in_range(out)) return {};
    switch (m) {
    case DisplayMode::Matrix: return output_name(out);
    case DisplayMode::Dual: return QLatin1String(DUAL_SIDES[out]);
    case DisplayMode::Wall: break;
    }
    return {};
}

QString picture_row_caption(DisplayMode m, int row) {
    if (!in_range(row)) return {};
    switch (m) {
    case DisplayMode::Matrix: return row == 1 ? QStringLiteral("ALL") : QString();
    case DisplayMode::Dual: return QLatin1String(DUAL_SIDES[row]);
    case DisplayMode::Wall: return QStringLiteral("OUT %1").arg(row);
    }
    return {};
}

QList<StatusField> status_layout(DisplayMode m) {
    QList<StatusField> fields, bounds;
    const auto field = [](const ReplyKind *k, const QString &key, const QString &words,
                          const QString &item, const QString &line, int index) {
        StatusField f;
        f.kind = k;
        f.key = key;
        f.words = words;
        f.item = item;
        f.line = line;
        f.index = index;
        return f;
    };
    for (const ReplyKind *k : all()) {
        if (!k->key) continue;
        const QString key = QLatin1String(k->key), words = QLatin1String(k->words);
        const QString line = head(key);
        // The item within its line: the words without the line's own word.
        QString item = words;
        if (item == line)
            item.clear();
        else if (item.startsWith(line + QLatin1Char(' ')))
            item = item.mid(line.size() + 1);
        switch (k->rule) {
        case Rule::Routing:
            for (int out = 1; out <= 4; ++out) {
                const QString w = output_name(out) + QStringLiteral("<-");
                fields << field(k, QStringLiteral("%1[%2]").arg(key).arg(out - 1), w, w, line, out);
            }
            break;
        case Rule::Picture:
            if (m == DisplayMode::Matrix) {
                fields << field(k, QStringLiteral("matrix.") + key, words, words,
                                QStringLiteral("picture"), 1);
                break;
            }
            for (int row = 1; row <= picture_rows(m); ++row)
                fields << field(k, QStringLiteral("rows[%1].%2").arg(row - 1).arg(key),
                                QStringLiteral("%1 row %2").arg(words).arg(row), words,
                                QStringLiteral("picture %1").arg(row), row);
            break;
        case Rule::Bezel: {
            fields << field(k, key, words, item, line, 0);
            const QString dir = key.mid(key.lastIndexOf(QLatin1Char('.')) + 1);
            StatusField b = field(k, QStringLiteral("%1.max_%2").arg(line, dir),
                                  QStringLiteral("%1 max %2").arg(line, dir),
                                  QStringLiteral("max ") + dir, line, 0);
            b.bound = true;
            bounds << b;
            break;
        }
        default: fields << field(k, key, words, item, line, 0);
        }
        // The bounds follow the amounts.
        if (k->rule != Rule::Bezel && !bounds.isEmpty()) {
            const int at = int(fields.size()) - 1;
            for (int i = 0; i < bounds.size(); ++i) fields.insert(at + i, bounds[i]);
            bounds.clear();
        }
    }
    return fields;
}

QList<StatusField> status_fields(const DeviceState &s) {
    QList<StatusField> fields = status_layout(s.display_mode());
    for (StatusField &f : fields) f.value = value_of(s, f);
    return fields;
}

QString shown_version(std::optional<int> v) {
    return v ? version_text(*v) : QStringLiteral("unknown");
}

QString shown_value(const StatusField &f, const QStringList &resolutions) {
    if (!f.value) return QStringLiteral("unknown");
    const int v = *f.value;
    const ReplyKind &k = *f.kind;
    if (k.mnemonic == Mnemonic::VER) return version_text(v);
    const QStringList names = value_names(k);
    const int i = v - k.first;
    if (i >= 0 && i < names.size()) return names[i];
    if (k.rule == Rule::Resolution && v >= 1 && v <= resolutions.size())
        return QStringLiteral("%1 (%2)").arg(v).arg(resolutions[v - 1]);
    return QString::number(v);
}

QString field_text(const StatusField &f, const QStringList &resolutions) {
    return joined(f.words, shown_value(f, resolutions));
}

QJsonObject status_json(const DeviceState &s) {
    QJsonValue root = QJsonObject();
    for (const StatusField &f : status_fields(s))
        root = with(root, steps_of(f.key), 0, f.value ? QJsonValue(*f.value) : QJsonValue());
    return root.toObject();
}

QString status_text(const DeviceState &s, const QStringList &resolutions) {
    // One line per status line, in the order they first come; items in the table's order.
    QStringList order;
    QHash<QString, QStringList> items;
    for (const StatusField &f : status_fields(s)) {
        if (!items.contains(f.line)) order << f.line;
        items[f.line] << joined(f.item, shown_value(f, resolutions));
    }
    QString text;
    for (const QString &line : order)
        text +=
            QStringLiteral("%1 %2\n").arg(line, -11).arg(items[line].join(QStringLiteral("  ")));
    return text;
}

QStringList changed_keys(const QList<StatusField> &before, const QList<StatusField> &after) {
    QHash<QString, std::optional<int>> was;
    for (const StatusField &f : before) was.insert(f.key, f.value);
    QStringList keys;
    for (const StatusField &f : after)
        if (was.value(f.key) != f.value) keys << f.key;
    return keys;
}

ReplyEffect apply_reply(DeviceState &s, const Reply &r, const QStringList &resolutions) {
    const ReplyKind &k = reply_kind(r.mnemonic);
    const bool bound = s.bezel_max_pending();
    const QList<StatusField> before = status_fields(s);
    const DeviceState::Applied a = s.apply(r);
    ReplyEffect e;
    e.applied = bool(a);
    if (!a) {
        e.words = QStringLiteral("not applied");
        return e;
    }
    const QList<StatusField> after = status_fields(s);
    e.changed = changed_keys(before, after);
    if (!k.key) {
        // An acknowledgement: its sentence, and what it changed (a picture reset).
        const QStringList names = value_names(k);
        const int i = a.index - k.first;
        QStringList words{QString::fromLatin1(k.words).arg(
            i >= 0 && i < names.size() ? names[i] : QString::number(a.index))};
        for (const StatusField &f : after)
            if (e.changed.contains(f.key)) words << field_text(f, resolutions);
        e.words = words.join(QStringLiteral(", "));
        return e;
    }
    QStringList words;
    for (const StatusField &f : after) {
        if (f.kind != &k) continue;
        if ((k.rule == Rule::Routing || k.rule == Rule::Picture) && f.index != a.index) continue;
        if (k.rule == Rule::Bezel && f.bound != bound) continue;
        words << field_text(f, resolutions);
    }
    e.words = words.join(QStringLiteral(", "));
    return e;
}

QJsonObject effect_json(const Reply &r, const ReplyEffect &e) {
    const int v = r.value(3);
    QJsonObject o{{"reply", r.text},
                  {"mnemonic", mnemonic_text(r.mnemonic)},
                  {"value", v < 0 ? QJsonValue() : QJsonValue(v)},
                  {"applied", e.applied}};
    if (e.applied) o.insert(QStringLiteral("changed"), QJsonArray::fromStringList(e.changed));
    return o;
}
