#include "protocol/scene_plan.h"

#include <functional>

#include "protocol/command.h"

namespace {

int mode_outputs(int mode) { return mode == 3 ? 1 : 4; } // the wall follows output 1
int mode_rows(int mode) { return mode == 1 ? 1 : 4; }
bool mode_has_bezel(int mode) { return mode == 3; }
bool mode_has_pair_sides(int mode) { return mode == 2; }

const PictureParam PARAMS[4] = {PictureParam::Bri, PictureParam::Con, PictureParam::Hue,
                                PictureParam::Sat};
const char *const PARAM_WORDS[4] = {"brightness", "contrast", "hue", "saturation"};

Level &row_level(SceneRow &r, int p) {
    Level *levels[4] = {&r.bri, &r.con, &r.hue, &r.sat};
    return *levels[p];
}

// One setting of a mode: where a scene keeps it, what the device has, how it is set and
// read back.
struct Setting {
    QString label;
    Level *wanted;
    std::optional<int> have;
    std::function<QStringList(int)> set;
    QString query;
};

// The settings the scene's mode has, bound to `scene` (whose slots capture fills).
QList<Setting> settings(Scene &scene, const DeviceState &s) {
    QList<Setting> out;
    const int mode = scene.mode;
    for (int o = 1; o <= mode_outputs(mode); ++o)
        out << Setting{QStringLiteral("routing %1").arg(o), &scene.routing[o - 1], s.routing(o),
                       [o](int in) {
                           return QStringList{select_output(o), route_input(in)};
                       },
                       input_query()};
    for (int row = 1; row <= mode_rows(mode); ++row)
        for (int p = 0; p < 4; ++p) {
            const int param = static_cast<int>(PARAMS[p]);
            const DisplayMode m = static_cast<DisplayMode>(mode);
            out << Setting{
                mode == 1 ? QLatin1String(PARAM_WORDS[p])
                          : QStringLiteral("row %1 %2").arg(row).arg(PARAM_WORDS[p]),
                &row_level(scene.rows[row - 1], p), s.picture(PARAMS[p], row),
                [=](int level) { return QStringList{picture_command(param, row, level, m)}; },
                picture_query(param, row, m)};
        }
    const auto simple = [&](const char *label, Mnemonic kind, Level *slot,
                            std::optional<int> have) {
        out << Setting{QLatin1String(label), slot, have,
                       [kind](int v) { return QStringList{set_command(kind, v)}; }, query(kind)};
    };
    if (mode_has_bezel(mode)) {
        simple("bezel", Mnemonic::BEZ, &scene.bezel_on, s.bezel_on());
        simple("bezel h", Mnemonic::BEH, &scene.bezel_h, s.bezel_h());
        simple("bezel v", Mnemonic::BEV, &scene.bezel_v, s.bezel_v());
    }
    simple("audio edid", Mnemonic::AUE, &scene.edid, s.edid());
    if (mode_has_pair_sides(mode)) {
        simple("audio dual-a", Mnemonic::AUA, &scene.dual_a, s.dual_a());
        simple("audio dual-b", Mnemonic::AUB, &scene.dual_b, s.dual_b());
    }
    simple("resolution", Mnemonic::RES, &scene.resolution, s.resolution());
    return out;
}

} // namespace

std::optional<Scene> capture_scene(const DeviceState &s, const QString &name, QString *missing) {
    if (!s.mode()) {
        *missing = QStringLiteral("mode");
        return std::nullopt;
    }
    Scene scene;
    scene.name = name;
    scene.mode = static_cast<int>(*s.mode());
    QStringList unknown;
    for (Setting &st : settings(scene, s)) {
        if (!st.have) unknown << st.label;
        *st.wanted = st.have;
    }
    if (!unknown.isEmpty()) {
        *missing = unknown.join(QStringLiteral(", "));
        return std::nullopt;
    }
    return scene;
}

QStringList scene_differences(const Scene &scene, const DeviceState &s) {
    if (!s.mode() || static_cast<int>(*s.mode()) != scene.mode) return {QStringLiteral("mode")};
    Scene copy = scene;
    QStringList out;
    for (const Setting &st : settings(copy, s))
        if (*st.wanted && st.have != *st.wanted) out << st.label;
    return out;
}

QString active_scene(const Venue &v, const DeviceState &s) {
    for (const Scene &scene : v.scenes)
        if (scene_differences(scene, s).isEmpty()) return scene.name;
    return QString();
}

QList<SceneStep> scene_mode_steps(const Scene &scene, const DeviceState &s) {
    if (s.mode() && static_cast<int>(*s.mode()) == scene.mode) return {};
    QStringList set{mode_command(static_cast<DisplayMode>(scene.mode))};
    // The wall is driven through output 1, as the panel selects it after the change.
    if (scene.mode == 3) set << select_output(1);
    return {{set, query(Mnemonic::MOD)}};
}

QList<SceneStep> scene_setting_steps(const Scene &scene, const DeviceState &s) {
    Scene copy = scene;
    QList<SceneStep> out;
    // An input goes to the output selected last: no need to select it again.
    std::optional<int> selected = s.output();
    for (const Setting &st : settings(copy, s)) {
        if (!*st.wanted || st.have == *st.wanted) continue;
        QStringList set = st.set(**st.wanted);
        if (set.size() == 2) {
            const int o = int(st.wanted - copy.routing.data()) + 1;
            if (selected == o) set.removeFirst();
            selected = o;
        }
        out << SceneStep{set, st.query};
    }
    return out;
}
