#include "platform/venue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>

#include "platform/settings_place.h"

static const QString FILE_NAME = QStringLiteral("venue.json");

int Venue::scene_index(const QString &name) const {
    for (int i = 0; i < scenes.size(); ++i)
        if (scenes[i].name.compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
}

QString name_fault(const QString &name) {
    if (name.trimmed().isEmpty()) return QStringLiteral("a name is not blank");
    if (name.trimmed() != name)
        return QStringLiteral("a name neither starts nor ends with a space");
    const QList<uint> chars = name.toUcs4();
    if (chars.size() > NAME_MAX_CHARS)
        return QStringLiteral("a name has at most %1 characters, not %2")
            .arg(NAME_MAX_CHARS)
            .arg(chars.size());
    for (uint c : chars) {
        const QChar::Category cat = QChar::category(c);
        // A line or paragraph separator breaks a line as surely as a newline does.
        if (cat == QChar::Other_Control || cat == QChar::Separator_Line ||
            cat == QChar::Separator_Paragraph || cat == QChar::Other_Surrogate ||
            cat == QChar::Other_NotAssigned)
            return QStringLiteral("a name holds no control characters (U+%1)")
                .arg(c, 4, 16, QLatin1Char('0'));
    }
    bool number = false;
    name.toInt(&number);
    if (number) return QStringLiteral("a name is not a bare number (\"%1\")").arg(name);
    return QString();
}

QString text_position(const QByteArray &data, int offset) {
    // Qt's parser reports the offset just past the character it stopped at; the end of a
    // text cut short is the end.
    const int at = offset >= data.size() ? int(data.size()) : qMax(0, offset - 1);
    const QByteArray before = data.left(at);
    const int line_start = before.lastIndexOf('\n') + 1;
    const int line = int(before.count('\n')) + 1;
    const int column = int(QString::fromUtf8(before.mid(line_start)).toUcs4().size()) + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

namespace {

QJsonValue level(const Level &l) { return l ? QJsonValue(*l) : QJsonValue(); }

QJsonObject row_json(const SceneRow &r) {
    QJsonObject o;
    for (const auto &[key, l] : {std::pair{"bri", r.bri}, std::pair{"con", r.con},
                                 std::pair{"hue", r.hue}, std::pair{"sat", r.sat}})
        if (l) o.insert(QLatin1String(key), *l);
    return o;
}

} // namespace

QJsonObject scene_to_json(const Scene &s) {
    // The keys and values of the status JSON, so a scene reads like `status --json`.
    QJsonObject o{{"name", s.name}, {"mode", s.mode}};
    if (std::any_of(s.routing.begin(), s.routing.end(), [](const Level &l) { return bool(l); })) {
        QJsonArray routing;
        for (const Level &l : s.routing) routing.append(level(l));
        o.insert(QStringLiteral("routing"), routing);
    }
    if (s.mode == 1) {
        if (!row_json(s.rows[0]).isEmpty()) o.insert(QStringLiteral("matrix"), row_json(s.rows[0]));
    } else {
        QJsonArray rows;
        bool any = false;
        for (const SceneRow &r : s.rows) {
            rows.append(row_json(r));
            any = any || !row_json(r).isEmpty();
        }
        if (any) o.insert(QStringLiteral("rows"), rows);
    }
    QJsonObject bezel;
    if (s.bezel_on) bezel.insert(QStringLiteral("on"), *s.bezel_on);
    if (s.bezel_h) bezel.insert(QStringLiteral("h"), *s.bezel_h);
    if (s.bezel_v) bezel.insert(QStringLiteral("v"), *s.bezel_v);
    if (!bezel.isEmpty()) o.insert(QStringLiteral("bezel"), bezel);
    QJsonObject audio;
    if (s.edid) audio.insert(QStringLiteral("edid"), *s.edid);
    if (s.dual_a) audio.insert(QStringLiteral("dual_a"), *s.dual_a);
    if (s.dual_b) audio.insert(QStringLiteral("dual_b"), *s.dual_b);
    if (!audio.isEmpty()) o.insert(QStringLiteral("audio"), audio);
    if (s.resolution) o.insert(QStringLiteral("resolution"), *s.resolution);
    return o;
}

namespace {

// Reads the venue's JSON; `where` names the place of a fault ("scenes[2].routing").
class Reader {
public:
    QString error;

    bool number(const QJsonObject &o, const char *key, int lo, int hi, Level *out,
                const QString &where) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull()) return true;
        const double d = v.toDouble(-1);
        if (!v.isDouble() || d != int(d) || d < lo || d > hi) {
            error = QStringLiteral("%1.%2 must be a whole number %3..%4")
                        .arg(where, QLatin1String(key))
                        .arg(lo)
                        .arg(hi);
            return false;
        }
        *out = int(d);
        return true;
    }

    bool name(const QJsonValue &v, QString *out, const QString &where, bool required) {
        if ((v.isUndefined() || v.isNull()) && !required) return true;
        if (!v.isString()) {
            error = QStringLiteral("%1 must be a text").arg(where);
            return false;
        }
        if (v.toString().isEmpty() && !required) return true;
        const QString fault = name_fault(v.toString());
        if (!fault.isEmpty()) {
            error = QStringLiteral("%1: %2").arg(where, fault);
            return false;
        }
        *out = v.toString();
        return true;
    }

    bool names(const QJsonObject &o, const char *key, std::array<QString, 4> *out) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull()) return true;
        const QJsonArray a = v.toArray();
        if (!v.isArray() || a.size() > 4) {
            error = QStringLiteral("%1 must be a list of at most 4 names").arg(QLatin1String(key));
            return false;
        }
        for (int i = 0; i < a.size(); ++i)
            if (!name(a[i], &(*out)[i], QStringLiteral("%1[%2]").arg(QLatin1String(key)).arg(i),
                      false))
                return false;
        return true;
    }

    bool row(const QJsonValue &v, SceneRow *r, const QString &where) {
        if (v.isUndefined() || v.isNull()) return true;
        if (!v.isObject()) {
            error = QStringLiteral("%1 must be an object").arg(where);
            return false;
        }
        const QJsonObject o = v.toObject();
        return number(o, "bri", 0, 100, &r->bri, where) &&
               number(o, "con", 0, 100, &r->con, where) &&
               number(o, "hue", 0, 100, &r->hue, where) && number(o, "sat", 0, 100, &r->sat, where);
    }

    bool scene(const QJsonValue &v, Scene *s, const QString &where) {
        if (!v.isObject()) {
            error = QStringLiteral("%1 must be an object").arg(where);
            return false;
        }
        const QJsonObject o = v.toObject();
        Level mode;
        if (!name(o.value(QStringLiteral("name")), &s->name, where + QStringLiteral(".name"),
                  true) ||
            !number(o, "mode", 1, 3, &mode, where))
            return false;
        if (!mode) {
            error = QStringLiteral("%1.mode must be 1 (Matrix), 2 (Dual) or 3 (2X2)").arg(where);
            return false;
        }
        s->mode = *mode;
        const QJsonValue routing = o.value(QStringLiteral("routing"));
        if (!routing.isUndefined() && !routing.isNull()) {
            const QJsonArray a = routing.toArray();
            if (!routing.isArray() || a.size() != 4) {
                error = QStringLiteral("%1.routing must list 4 inputs").arg(where);
                return false;
            }
            for (int i = 0; i < 4; ++i) {
                const QJsonObject one{{QStringLiteral("input"), a[i]}};
                if (!number(one, "input", 1, 4, &s->routing[i],
                            QStringLiteral("%1.routing[%2]").arg(where).arg(i)))
                    return false;
            }
        }
        if (!row(o.value(QStringLiteral("matrix")), &s->rows[0], where + QStringLiteral(".matrix")))
            return false;
        const QJsonValue rows = o.value(QStringLiteral("rows"));
        if (!rows.isUndefined() && !rows.isNull()) {
            const QJsonArray a = rows.toArray();
            if (!rows.isArray() || a.size() > 4) {
                error = QStringLiteral("%1.rows must list at most 4 rows").arg(where);
                return false;
            }
            for (int i = 0; i < a.size(); ++i)
                if (!row(a[i], &s->rows[i], QStringLiteral("%1.rows[%2]").arg(where).arg(i)))
                    return false;
        }
        const QJsonObject bezel = o.value(QStringLiteral("bezel")).toObject();
        const QJsonObject audio = o.value(QStringLiteral("audio")).toObject();
        const QString b = where + QStringLiteral(".bezel"), au = where + QStringLiteral(".audio");
        return number(bezel, "on", 0, 1, &s->bezel_on, b) &&
               number(bezel, "h", 0, 254, &s->bezel_h, b) &&
               number(bezel, "v", 0, 254, &s->bezel_v, b) &&
               number(audio, "edid", 0, 4, &s->edid, au) &&
               number(audio, "dual_a", 1, 2, &s->dual_a, au) &&
               number(audio, "dual_b", 1, 2, &s->dual_b, au) &&
               number(o, "resolution", 1, 99, &s->resolution, where);
    }
};

} // namespace

QByteArray format_venue(const Venue &v) {
    QJsonObject o;
    o.insert(QStringLiteral("device"), v.device);
    QJsonArray inputs, outputs, scenes;
    for (int i = 0; i < 4; ++i) {
        inputs.append(v.inputs[i]);
        outputs.append(v.outputs[i]);
    }
    o.insert(QStringLiteral("inputs"), inputs);
    o.insert(QStringLiteral("outputs"), outputs);
    for (const Scene &s : v.scenes) scenes.append(scene_to_json(s));
    o.insert(QStringLiteral("scenes"), scenes);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool parse_venue(const QByteArray &data, Venue *v, QString *error) {
    *v = Venue();
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &pe);
    if (pe.error != QJsonParseError::NoError) {
        *error = QStringLiteral("%1: %2").arg(text_position(data, pe.offset), pe.errorString());
        return false;
    }
    if (!doc.isObject()) {
        *error = QStringLiteral("line 1, column 1: the venue is a JSON object");
        return false;
    }
    const QJsonObject o = doc.object();
    Reader r;
    Venue out;
    bool ok =
        r.name(o.value(QStringLiteral("device")), &out.device, QStringLiteral("device"), false) &&
        r.names(o, "inputs", &out.inputs) && r.names(o, "outputs", &out.outputs);
    const QJsonValue scenes = o.value(QStringLiteral("scenes"));
    if (ok && !scenes.isUndefined() && !scenes.isNull() && !scenes.isArray()) {
        r.error = QStringLiteral("scenes must be a list");
        ok = false;
    }
    const QJsonArray list = scenes.toArray();
    for (int i = 0; ok && i < list.size(); ++i) {
        Scene s;
        ok = r.scene(list[i], &s, QStringLiteral("scenes[%1]").arg(i));
        if (ok && out.scene_index(s.name) >= 0) {
            r.error = QStringLiteral("scenes[%1]: a second scene named \"%2\"").arg(i).arg(s.name);
            ok = false;
        }
        if (ok) out.scenes << s;
    }
    if (!ok) {
        *error = r.error;
        return false;
    }
    *v = out;
    return true;
}

QString system_venue_file() { return QStringLiteral("/etc/tevral-qx/") + FILE_NAME; }

QString user_venue_file() {
    const QString folder = user_config_folder();
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + FILE_NAME;
}

QString venue_read_path(const QString &given) {
    if (!given.isEmpty()) return given;
    for (const QString &path : {user_venue_file(), system_venue_file()})
        if (!path.isEmpty() && QFileInfo(path).isFile()) return path;
    return QString();
}

QString venue_write_path(const QString &given) {
    return given.isEmpty() ? user_venue_file() : given;
}

bool load_venue(const QString &given, Venue *v, QString *fault) {
    *v = Venue();
    const QString path = venue_read_path(given);
    if (path.isEmpty()) return true;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        // A service's own file that is not there yet: it is made at the first change.
        if (!f.exists()) return true;
        *fault = QStringLiteral("%1: %2").arg(path, f.errorString());
        return false;
    }
    QString why;
    if (!parse_venue(f.readAll(), v, &why)) {
        *fault = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    return true;
}

bool write_venue_file(const QString &path, const Venue &v, QString *error) {
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("%1: the folder cannot be created").arg(folder);
        return false;
    }
    // A full disk shows only in the flush: every step is checked, and a failure cancels
    // the rename, which would otherwise put an empty file in place of the old one.
    QSaveFile f(path);
    const QByteArray data = format_venue(v);
    const bool ok =
        f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.flush() && f.commit();
    if (!ok) {
        *error = QStringLiteral("%1: %2").arg(path, f.errorString());
        f.cancelWriting();
    }
    return ok;
}
