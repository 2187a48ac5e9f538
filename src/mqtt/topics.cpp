#include "mqtt/topics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

#include "protocol/reply_kinds.h"

namespace {

const char *const HOMEPAGE = "https://github.com/tevral/tevral-qx";

// An entity of the device: a status key, or a preset button.
struct Component {
    StatusField field;
    QString object; // unique within the device: "power", "output2", "brightness3"
    QString path;   // its set topic below the base, without "/set": "output/2"
    Entity entity = Entity::None;
    QStringList options; // a select's
};

QStringList split(const char *list) {
    return list ? QString::fromLatin1(list).split(QLatin1Char('|')) : QStringList();
}

const char *platform(Entity e) {
    switch (e) {
    case Entity::Select: return "select";
    case Entity::Switch: return "switch";
    case Entity::Number: return "number";
    case Entity::Sensor: return "sensor";
    case Entity::Button: return "button";
    case Entity::None: break;
    }
    return "";
}

// An input as the output selects offer it: the venue's name, else "Input N".
QString input_option(const Venue &v, int n) {
    return v.inputs[n - 1].isEmpty() ? QStringLiteral("Input %1").arg(n) : v.inputs[n - 1];
}

QList<Component> components(DisplayMode m, const QStringList &resolutions,
                            const Venue &venue = Venue()) {
    QList<Component> out;
    for (const StatusField &f : status_layout(m)) {
        const ReplyKind &k = *f.kind;
        if (k.entity == Entity::None) continue;
        Component c;
        c.field = f;
        c.entity = k.entity;
        const QString object = QLatin1String(k.object);
        if (f.bound) {
            // The device's upper bound of a bezel amount: read only.
            c.object = QString(f.key).replace(QLatin1Char('.'), QLatin1Char('_'));
            c.entity = Entity::Sensor;
        } else if (f.index > 0) {
            c.object = object + QString::number(f.index);
            c.path = object + QLatin1Char('/') + QString::number(f.index);
        } else {
            c.object = c.path = object;
        }
        if (c.entity == Entity::Select) {
            c.options = k.rule == Rule::Resolution ? resolutions
                        : k.options                ? split(k.options)
                                                   : value_names(k);
            if (k.rule == Rule::Routing)
                for (int n = 1; n <= c.options.size(); ++n)
                    c.options[n - 1] = input_option(venue, n);
            // Without a list a resolution can be shown, not chosen.
            if (c.options.isEmpty()) c.entity = Entity::Sensor;
        }
        out << c;
    }
    return out;
}

// Every entity any mode has, for the set topics.
QList<Component> all_components(const QStringList &resolutions) {
    // Dual has every row; Matrix's row 1 is the same entity.
    return components(DisplayMode::Dual, resolutions);
}

// A Jinja list of strings (JSON's syntax is Jinja's).
QString jinja_list(const QStringList &items) {
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(items)).toJson(QJsonDocument::Compact));
}

// Home Assistant shows a template's None as unknown (an empty string would be a value).
QString value_template(const Component &c) {
    const QString v = QStringLiteral("value_json.") + c.field.key;
    const ReplyKind &k = *c.field.kind;
    switch (c.entity) {
    case Entity::Select:
        return QStringLiteral("{{ %1[%2 - %3] if %2 is not none else None }}")
            .arg(jinja_list(c.options), v)
            .arg(k.rule == Rule::Resolution ? 1 : k.first);
    case Entity::Switch: {
        const int on = k.first + value_names(k).indexOf(QStringLiteral("on"));
        return QStringLiteral("{{ None if %1 is none else ('ON' if %1 == %2 else 'OFF') }}")
            .arg(v)
            .arg(on);
    }
    default:
        if (k.mnemonic == Mnemonic::VER)
            return QStringLiteral("{{ '%d.%02d' % (%1 // 100, %1 % 100) if %1 is not none else "
                                  "None }}")
                .arg(v);
        return QStringLiteral("{{ %1 }}").arg(v);
    }
}

QJsonObject config(const Component &c, const Topics &t, const QString &uid, DisplayMode m,
                   const Venue &venue) {
    const ReplyKind &k = *c.field.kind;
    QString name = QString::fromLatin1(c.field.bound ? "Bezel %1 bound" : k.label);
    if (c.field.bound)
        name = name.arg(c.field.key.endsWith(QLatin1Char('h')) ? QStringLiteral("H")
                                                               : QStringLiteral("V"));
    else if (k.rule == Rule::Routing)
        name = venue.outputs[c.field.index - 1].isEmpty() ? name.arg(c.field.index)
                                                          : venue.outputs[c.field.index - 1];
    else if (k.rule == Rule::Picture && m != DisplayMode::Matrix)
        name += QStringLiteral(" row %1").arg(c.field.index);
    QJsonObject o{{"p", platform(c.entity)},
                  {"name", name},
                  {"unique_id", uid + QLatin1Char('_') + c.object},
                  {"icon", QLatin1String(k.icon)},
                  {"availability_topic", t.availability()},
                  {"state_topic", t.state()},
                  {"value_template", value_template(c)}};
    if (c.field.bound || k.mnemonic == Mnemonic::VER)
        o.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
    if (c.entity == Entity::Sensor || !k.set) return o;
    o.insert(QStringLiteral("command_topic"), t.base() + c.path + QStringLiteral("/set"));
    switch (c.entity) {
    case Entity::Select:
        o.insert(QStringLiteral("options"), QJsonArray::fromStringList(c.options));
        break;
    case Entity::Switch:
        o.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
        o.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
        o.insert(QStringLiteral("state_on"), QStringLiteral("ON"));
        o.insert(QStringLiteral("state_off"), QStringLiteral("OFF"));
        break;
    case Entity::Number:
        o.insert(QStringLiteral("min"), k.first);
        o.insert(QStringLiteral("max"), k.last);
        o.insert(QStringLiteral("step"), 1);
        o.insert(QStringLiteral("mode"), QStringLiteral("slider"));
        break;
    default: break;
    }
    return o;
}

QString device_name(const QString &id, const Venue &venue) {
    if (!venue.device.isEmpty()) return venue.device;
    return id == QLatin1String("veldra") ? QStringLiteral("VELDRA")
                                         : QStringLiteral("VELDRA ") + id;
}

// A whole number from a payload ("37", "37.0" as Home Assistant's numbers send it).
std::optional<int> whole(const QString &text) {
    bool ok = false;
    const double d = text.toDouble(&ok);
    if (!ok || d != std::floor(d) || std::abs(d) > 1e6) return std::nullopt;
    return static_cast<int>(d);
}

// The active scene: a select of the venue's scenes that recalls the one chosen, or, while
// the venue has none (Home Assistant refuses a select without options), a sensor; the other
// goes as a removal.
void add_scene(QJsonObject *cmps, const Topics &t, const QString &uid, const Venue &venue) {
    QJsonObject o{{"name", "Scene"},
                  {"icon", "mdi:palette"},
                  {"availability_topic", t.availability()},
                  {"state_topic", t.state()},
                  {"value_template", "{{ value_json.scene }}"}};
    const QString select = QStringLiteral("scene"), sensor = QStringLiteral("scene_active");
    QStringList names;
    for (const Scene &s : venue.scenes) names << s.name;
    if (names.isEmpty()) {
        o.insert(QStringLiteral("p"), QStringLiteral("sensor"));
        o.insert(QStringLiteral("unique_id"), uid + QLatin1Char('_') + sensor);
        cmps->insert(select, QJsonObject{{"p", "select"}});
        cmps->insert(sensor, o);
        return;
    }
    o.insert(QStringLiteral("p"), QStringLiteral("select"));
    o.insert(QStringLiteral("unique_id"), uid + QLatin1Char('_') + select);
    o.insert(QStringLiteral("command_topic"), t.base() + QStringLiteral("scene/recall"));
    o.insert(QStringLiteral("options"), QJsonArray::fromStringList(names));
    cmps->insert(sensor, QJsonObject{{"p", "sensor"}});
    cmps->insert(select, o);
}

} // namespace

QStringList Topics::subscriptions() const {
    return {command(),
            base_ + QStringLiteral("+/set"),
            base_ + QStringLiteral("+/+/set"),
            base_ + QStringLiteral("preset/recall"),
            base_ + QStringLiteral("scene/recall"),
            base_ + QStringLiteral("scene/save")};
}

QPair<QString, QByteArray> discovery_message(const Discovery &d, DisplayMode mode) {
    const Topics t(d.id);
    const QString uid = QStringLiteral("veldra_") + d.id;
    QJsonObject device{{"identifiers", QJsonArray{uid}},
                       {"name", device_name(d.id, d.venue)},
                       {"manufacturer", "VELDRA"},
                       {"model", "VELDRA 4x4 video matrix switcher"}};
    if (d.firmware) device.insert(QStringLiteral("sw_version"), shown_version(d.firmware));
    QJsonObject cmps;
    // The entities another mode has and this one lacks go as removals (the platform
    // alone), so a mode change takes the rows away.
    for (DisplayMode other : {DisplayMode::Matrix, DisplayMode::Dual})
        for (const Component &c : components(other, d.resolutions))
            cmps.insert(c.object, QJsonObject{{"p", platform(c.entity)}});
    for (const Component &c : components(mode, d.resolutions, d.venue))
        cmps.insert(c.object, config(c, t, uid, mode, d.venue));
    const ReplyKind &recall = reply_kind(Mnemonic::CAL);
    for (int n = recall.first; n <= recall.last; ++n)
        cmps.insert(
            QLatin1String(recall.object) + QString::number(n),
            QJsonObject{{"p", platform(recall.entity)},
                        {"name", QString::fromLatin1(recall.label).arg(n)},
                        {"unique_id",
                         QStringLiteral("%1_%2%3").arg(uid, QLatin1String(recall.object)).arg(n)},
                        {"icon", QLatin1String(recall.icon)},
                        {"availability_topic", t.availability()},
                        {"command_topic", t.base() + QStringLiteral("preset/recall")},
                        {"payload_press", QString::number(n)}});
    add_scene(&cmps, t, uid, d.venue);
    for (auto it = d.more.begin(); it != d.more.end(); ++it) cmps.insert(it.key(), it.value());
    // Topics go with each component: a button takes no state topic.
    const QJsonObject message{{"dev", device},
                              {"o", QJsonObject{{"name", "veldra-mqtt"},
                                                {"sw_version", d.origin_version},
                                                {"support_url", HOMEPAGE}}},
                              {"cmps", cmps}};
    return {discovery_topics(d.prefix, d.id).first(),
            QJsonDocument(message).toJson(QJsonDocument::Compact)};
}

QStringList discovery_topics(const QString &prefix, const QString &id) {
    QStringList topics{QStringLiteral("%1/device/%2/config").arg(prefix, id)};
    // The per-component configurations of the versions before the device-based message.
    const char *const earlier[] = {"select/%1/output1",  "select/%1/output2", "select/%1/output3",
                                   "select/%1/output4",  "select/%1/mode",    "switch/%1/power",
                                   "switch/%1/lock",     "switch/%1/mute",    "button/%1/preset1",
                                   "button/%1/preset2",  "button/%1/preset3", "button/%1/preset4",
                                   "sensor/%1/firmware", "select/%1/scene"};
    for (const char *e : earlier)
        topics << prefix + QLatin1Char('/') + QString::fromLatin1(e).arg(id) +
                      QStringLiteral("/config");
    return topics;
}

bool venue_topic_command(const Topics &t, const QString &topic, const QByteArray &payload,
                         const Venue &venue, QString *command, QString *error) {
    if (!topic.startsWith(t.base())) return false;
    const QStringList path = topic.mid(t.base().size()).split(QLatin1Char('/'));
    const QString value = QString::fromUtf8(payload).trimmed();
    error->clear();
    command->clear();
    // An output the device lacks is left to set_topic_command, which says so.
    const int out = path.size() == 3 ? path[1].toInt() : 0;
    if (path.size() == 3 && path[0] == QLatin1String("output") && path[2] == QLatin1String("set") &&
        out >= 1 && out <= 4 && path[1] == QString::number(out)) {
        for (int n = 1; n <= 4; ++n)
            if (value == QString::number(n) ||
                value.compare(input_option(venue, n), Qt::CaseInsensitive) == 0 ||
                value.compare(QStringLiteral("Input %1").arg(n), Qt::CaseInsensitive) == 0)
                *command = QStringLiteral("route %1 %2").arg(path[1]).arg(n);
        if (command->isEmpty())
            *error = QStringLiteral("output/%1/set takes an input's number or name, not \"%2\"")
                         .arg(path[1], value);
        return true;
    }
    if (path.size() != 2 || path[0] != QLatin1String("scene") ||
        (path[1] != QLatin1String("recall") && path[1] != QLatin1String("save")))
        return false;
    const QString fault = name_fault(value);
    if (!fault.isEmpty())
        *error = QStringLiteral("scene/%1 takes a scene name: %2").arg(path[1], fault);
    else
        *command = QStringLiteral("scene %1 %2").arg(path[1], value);
    return true;
}

bool set_topic_command(const Topics &t, const QString &topic, const QByteArray &payload,
                       const QStringList &resolutions, QString *command, QString *error) {
    if (!topic.startsWith(t.base())) return false;
    QString path = topic.mid(t.base().size());
    const QString value = QString::fromUtf8(payload).trimmed();
    error->clear();
    command->clear();
    const ReplyKind &recall = reply_kind(Mnemonic::CAL);
    if (path == QLatin1String("preset/recall")) {
        *command = QLatin1String(recall.set) + QLatin1Char(' ') + value;
        return true;
    }
    if (!path.endsWith(QLatin1String("/set"))) return false;
    path.chop(4);
    for (const Component &c : all_components(resolutions)) {
        const ReplyKind &k = *c.field.kind;
        if (c.path != path || c.entity == Entity::Sensor || !k.set) continue;
        const QString set = QLatin1String(k.set);
        // The command's arguments before the value: the output of a route, the row of a
        // picture level.
        const QString verb =
            c.field.index > 0 ? QStringLiteral("%1 %2").arg(set).arg(c.field.index) : set;
        const QStringList names = value_names(k);
        if (c.entity == Entity::Switch) {
            const int on = names.indexOf(QStringLiteral("on"));
            if (value.compare(QLatin1String("ON"), Qt::CaseInsensitive) == 0)
                *command = verb + QStringLiteral(" on");
            else if (value.compare(QLatin1String("OFF"), Qt::CaseInsensitive) == 0)
                *command = verb + QLatin1Char(' ') + names.value(1 - on);
            else
                *error = QStringLiteral("%1/set takes ON or OFF, not \"%2\"").arg(path, value);
            return true;
        }
        // A select's option, a name, or the number itself.
        std::optional<int> v;
        const int first = k.rule == Rule::Resolution ? 1 : k.first;
        for (const QStringList &words : {c.options, names})
            for (int i = 0; i < words.size() && !v; ++i)
                if (words[i].compare(value, Qt::CaseInsensitive) == 0) v = first + i;
        if (!v) v = whole(value);
        if (!v) {
            *error = QStringLiteral("%1/set takes %2, not \"%3\"")
                         .arg(path,
                              c.options.isEmpty() ? QStringLiteral("a number")
                                                  : c.options.join(QLatin1Char('|')),
                              value);
            return true;
        }
        // veldra-ctl checks the range; a name where it takes one (a route takes numbers).
        const int i = *v - k.first;
        const bool named = k.rule != Rule::Routing && i >= 0 && i < names.size();
        *command = verb + QLatin1Char(' ') + (named ? names[i] : QString::number(*v));
        return true;
    }
    // An output or a row that is none of the device's.
    const QString object = path.section(QLatin1Char('/'), 0, 0);
    for (const Component &c : all_components(resolutions))
        if (c.field.index > 0 && c.path.startsWith(object + QLatin1Char('/'))) {
            *error = QStringLiteral("%1/set: the device has no %2 %3")
                         .arg(path, object, path.section(QLatin1Char('/'), 1));
            return true;
        }
    return false;
}

QByteArray result_json(const QString &command, int exit, const QStringList &sent,
                       const QStringList &replies, const QString &error, const QString &output) {
    QJsonObject o{{"command", command},
                  {"exit", exit},
                  {"sent", QJsonArray::fromStringList(sent)},
                  {"replies", QJsonArray::fromStringList(replies)}};
    if (!error.isEmpty()) o.insert(QStringLiteral("error"), error);
    if (!output.isEmpty()) o.insert(QStringLiteral("output"), output);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
