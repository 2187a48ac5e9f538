#include "mqtt/topics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QStringList Topics::subscriptions() const {
    return {command(),
            base_ + QStringLiteral("+/set"),
            base_ + QStringLiteral("output/+/set"),
            base_ + QStringLiteral("preset/recall"),
            base_ + QStringLiteral("scene/recall"),
            base_ + QStringLiteral("scene/save")};
}

namespace {

// An input as the output selects offer it: the venue's name, else "Input N".
QString input_option(const Venue &v, int n) {
    return v.inputs[n - 1].isEmpty() ? QStringLiteral("Input %1").arg(n) : v.inputs[n - 1];
}

// A text inside a Jinja string literal in single quotes.
QString jinja_text(const QString &text) {
    QString t = text;
    t.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + t + QLatin1Char('\'');
}

} // namespace

QList<QPair<QString, QByteArray>> discovery_configs(const QString &prefix, const QString &id,
                                                    const Venue &venue) {
    const Topics t(id);
    const QString uid = QStringLiteral("veldra_") + id;
    const QJsonObject device{
        {"identifiers", QJsonArray{uid}},
        {"name", !venue.device.isEmpty()         ? venue.device
                 : id == QLatin1String("veldra") ? QStringLiteral("VELDRA")
                                                 : QStringLiteral("VELDRA ") + id},
        {"model", "VELDRA 4x4 video matrix switcher"},
    };
    QList<QPair<QString, QByteArray>> out;
    const auto add = [&](const char *component, const QString &object, QJsonObject config) {
        config.insert(QStringLiteral("unique_id"), uid + QLatin1Char('_') + object);
        config.insert(QStringLiteral("availability_topic"), t.availability());
        config.insert(QStringLiteral("device"), device);
        out.append(
            {QStringLiteral("%1/%2/%3/%4/config").arg(prefix, QLatin1String(component), id, object),
             QJsonDocument(config).toJson(QJsonDocument::Compact)});
    };
    // Home Assistant's templates: an unknown value (null) renders empty, which it shows
    // as unknown.
    // The input names are the options; the bridge turns the chosen one back into its number.
    QJsonArray options;
    QStringList literal;
    for (int n = 1; n <= 4; ++n) {
        options.append(input_option(venue, n));
        literal << jinja_text(input_option(venue, n));
    }
    const QString names = QLatin1Char('[') + literal.join(QStringLiteral(", ")) + QLatin1Char(']');
    for (int n = 1; n <= 4; ++n) {
        const QString in = QStringLiteral("value_json.routing[%1]").arg(n - 1);
        add("select", QStringLiteral("output%1").arg(n),
            {{"name", venue.outputs[n - 1].isEmpty() ? QStringLiteral("Output %1").arg(n)
                                                     : venue.outputs[n - 1]},
             {"icon", "mdi:video-input-hdmi"},
             {"state_topic", t.state()},
             {"value_template", QStringLiteral("{{ %1[%2 - 1] if %2 else '' }}").arg(names, in)},
             {"command_topic", t.base() + QStringLiteral("output/%1/set").arg(n)},
             {"options", options}});
    }
    add("select", QStringLiteral("mode"),
        {{"name", "Display mode"},
         {"icon", "mdi:monitor-multiple"},
         {"state_topic", t.state()},
         {"value_template",
          "{{ ['Matrix', 'Dual', '2X2'][value_json.mode - 1] if value_json.mode else '' }}"},
         {"command_topic", t.base() + QStringLiteral("mode/set")},
         {"command_template", "{{ value | lower }}"},
         {"options", QJsonArray{"Matrix", "Dual", "2X2"}}});
    struct Switch {
        const char *object, *name, *icon, *value, *on;
    };
    for (const Switch &s : {Switch{"power", "Power", "mdi:power", "value_json.power", "1"},
                            Switch{"lock", "Front panel lock", "mdi:lock", "value_json.lock", "1"},
                            Switch{"mute", "Mute", "mdi:volume-off", "value_json.audio.on", "0"}})
        add("switch", QString::fromLatin1(s.object),
            {{"name", s.name},
             {"icon", s.icon},
             {"state_topic", t.state()},
             {"value_template", QStringLiteral("{{ '' if %1 is none else ('ON' if %1 == %2 else "
                                               "'OFF') }}")
                                    .arg(QLatin1String(s.value), QLatin1String(s.on))},
             {"command_topic", t.base() + QLatin1String(s.object) + QStringLiteral("/set")},
             {"payload_on", "ON"},
             {"payload_off", "OFF"},
             {"state_on", "ON"},
             {"state_off", "OFF"}});
    for (int n = 1; n <= 4; ++n)
        add("button", QStringLiteral("preset%1").arg(n),
            {{"name", QStringLiteral("Recall preset %1").arg(n)},
             {"icon", "mdi:playlist-play"},
             {"command_topic", t.base() + QStringLiteral("preset/recall")},
             {"payload_press", QString::number(n)}});
    add("sensor", QStringLiteral("firmware"),
        {{"name", "Firmware"},
         {"icon", "mdi:chip"},
         {"entity_category", "diagnostic"},
         {"state_topic", t.state()},
         {"value_template", "{{ '%d.%02d' % (value_json.version // 100, value_json.version % 100) "
                            "if value_json.version is not none else '' }}"}});
    QJsonArray scenes;
    for (const Scene &s : venue.scenes) scenes.append(s.name);
    add("select", QStringLiteral("scene"),
        {{"name", "Scene"},
         {"icon", "mdi:palette"},
         {"state_topic", t.state()},
         {"value_template", "{{ value_json.scene if value_json.scene else '' }}"},
         {"command_topic", t.base() + QStringLiteral("scene/recall")},
         {"options", scenes}});
    // Home Assistant refuses a select without options: no scene, no entity.
    if (scenes.isEmpty()) out.last().second.clear();
    return out;
}

bool venue_topic_command(const Topics &t, const QString &topic, const QByteArray &payload,
                         const Venue &venue, QString *command, QString *error) {
    if (!topic.startsWith(t.base())) return false;
    const QStringList path = topic.mid(t.base().size()).split(QLatin1Char('/'));
    const QString value = QString::fromUtf8(payload).trimmed();
    error->clear();
    command->clear();
    if (path.size() == 3 && path[0] == QLatin1String("output") && path[2] == QLatin1String("set")) {
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
                       QString *command, QString *error) {
    if (!topic.startsWith(t.base())) return false;
    const QStringList path = topic.mid(t.base().size()).split(QLatin1Char('/'));
    const QString value = QString::fromUtf8(payload).trimmed();
    const QString word = value.toLower();
    error->clear();
    command->clear();
    // ON/OFF switches, as Home Assistant sends them.
    const auto on_off = [&](const QString &verb, const QString &on, const QString &off) {
        if (word == QLatin1String("on"))
            *command = verb + QLatin1Char(' ') + on;
        else if (word == QLatin1String("off"))
            *command = verb + QLatin1Char(' ') + off;
        else
            *error = QStringLiteral("%1/set takes ON or OFF, not \"%2\"").arg(verb, value);
    };
    if (path.size() == 3 && path[0] == QLatin1String("output") && path[2] == QLatin1String("set"))
        *command = QStringLiteral("route %1 %2").arg(path[1], value);
    else if (path == QStringList{"mode", "set"})
        *command = QStringLiteral("mode ") + value;
    else if (path == QStringList{"power", "set"})
        on_off(QStringLiteral("power"), QStringLiteral("on"), QStringLiteral("standby"));
    else if (path == QStringList{"lock", "set"})
        on_off(QStringLiteral("lock"), QStringLiteral("on"), QStringLiteral("off"));
    else if (path == QStringList{"mute", "set"})
        on_off(QStringLiteral("mute"), QStringLiteral("on"), QStringLiteral("off"));
    else if (path == QStringList{"preset", "recall"})
        *command = QStringLiteral("preset recall ") + value;
    else
        return false;
    return true;
}

QByteArray result_json(const QString &command, int exit, const QStringList &sent,
                       const QStringList &replies, const QString &error) {
    QJsonObject o{{"command", command},
                  {"exit", exit},
                  {"sent", QJsonArray::fromStringList(sent)},
                  {"replies", QJsonArray::fromStringList(replies)}};
    if (!error.isEmpty()) o.insert(QStringLiteral("error"), error);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
