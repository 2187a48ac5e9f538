#include "device_model.h"

#include <QString>

namespace veldra {

namespace {

const QByteArray kErrUnknown = "ERR000";
const QByteArray kErrArgument = "ERR001";
const QByteArray kErrLength = "ERR002";

const char *const kPictureMnemonics[4] = {"BRI", "CON", "HUE", "SAT"};

CommandResult answer(const QByteArray &text, bool changed = false) {
    CommandResult r;
    r.reply = text;
    r.changed = changed;
    return r;
}

bool allDigits(const QByteArray &s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

} // namespace

int &Picture::at(int index) {
    switch (index) {
    case 0: return bri;
    case 1: return con;
    case 2: return hue;
    default: return sat;
    }
}

int Picture::at(int index) const { return const_cast<Picture *>(this)->at(index); }

DeviceModel::DeviceModel(const DeviceConfig &config) : m_config(config) {
    m_config.ip = networkField(m_config.ip);
    m_config.mask = networkField(m_config.mask);
    m_config.gateway = networkField(m_config.gateway);
}

QByteArray DeviceModel::networkField(const QByteArray &text) {
    QByteArray out = text.left(15);
    while (out.size() < 15) out.append(' ');
    return out;
}

QByteArray DeviceModel::reply(const QByteArray &mn, int value) {
    return mn + QByteArray::number(value).rightJustified(3, '0');
}

CommandResult DeviceModel::execute(const QByteArray &line) {
    ++m_commands;
    if (line.size() != 6) return answer(kErrLength);

    const QByteArray mn = line.left(3);
    const QByteArray argText = line.mid(3);
    static const QByteArray known[] = {"PWR", "LCK", "RST", "VER", "MOD", "OUT", "INP", "BRI",
                                       "CON", "HUE", "SAT", "BEZ", "BEH", "BEV", "AUE", "AUA",
                                       "AUB", "AUD", "RES", "SAV", "CAL", "MNU", "MND", "MNL",
                                       "MNR", "MNO", "MNX", "MNE", "EIP", "EMK", "EGW"};
    bool isKnown = false;
    for (const QByteArray &k : known) isKnown = isKnown || k == mn;
    if (!isKnown) return answer(kErrUnknown);
    if (!allDigits(argText)) return answer(kErrArgument);
    const int arg = argText.toInt();
    DeviceState &s = m_state;

    // Plain settings: a value range, and 999 answers the current value.
    auto setting = [&](int &field, int lo, int hi) {
        if (arg == 999) return answer(reply(mn, field));
        if (arg < lo || arg > hi) return answer(kErrArgument);
        const bool changed = field != arg;
        field = arg;
        return answer(reply(mn, field), changed);
    };

    if (mn == "PWR") {
        CommandResult r = setting(s.power, 0, 1);
        r.reboot = arg == 1;
        return r;
    }
    if (mn == "LCK") return setting(s.lock, 0, 1);
    if (mn == "MOD") return setting(s.mode, 1, 3);
    if (mn == "OUT") return setting(s.output, 1, 4);
    if (mn == "INP") return setting(s.routing[s.output - 1], 1, 4);
    if (mn == "BEZ") return setting(s.bezelOn, 0, 1);
    if (mn == "BEH" || mn == "BEV") {
        const int max = mn == "BEH" ? m_config.bezelMaxH : m_config.bezelMaxV;
        if (arg == 998) return answer(reply(mn, max));
        return setting(mn == "BEH" ? s.bezelH : s.bezelV, 0, max);
    }
    if (mn == "AUE") return setting(s.audioEdid, 0, 4);
    if (mn == "AUA") return setting(s.dualA, 1, 2);
    if (mn == "AUB") return setting(s.dualB, 1, 2);
    if (mn == "AUD") return setting(s.audioOn, 0, 1);
    if (mn == "RES") return setting(s.resolution, 1, m_config.resCount);
    for (int i = 0; i < 4; ++i)
        if (mn == kPictureMnemonics[i]) return picture(i, mn, arg);

    if (mn == "RST") {
        if (arg == 1) {
            // Factory reset: every setting and all presets; the configuration
            // (version, limits, network answers) is hardware and stays.
            m_state = DeviceState();
            m_presets = {};
            CommandResult r = answer("RST001", true);
            r.reboot = true;
            return r;
        }
        if (arg == 2) {
            m_state.matrix = Picture();
            m_state.rows = {};
            return answer("RST002", true);
        }
        return answer(kErrArgument);
    }
    if (mn == "VER") return arg == 999 ? answer(reply(mn, m_config.version)) : answer(kErrArgument);
    if (mn == "SAV" || mn == "CAL") {
        if (arg < 1 || arg > 4) return answer(kErrArgument);
        std::optional<Preset> &slot = m_presets[arg - 1];
        if (mn == "SAV") {
            slot = Preset{s.routing, s.output};
            return answer(reply(mn, arg), true);
        }
        // A never-saved preset holds the factory routing.
        const Preset p = slot.value_or(Preset());
        s.routing = p.routing;
        s.output = p.output;
        return answer(reply(mn, arg), true);
    }
    if (mn.startsWith("MN")) return arg == 1 ? answer(line) : answer(kErrArgument);
    // EIP / EMK / EGW: the only answers longer than six characters.
    if (arg != 999) return answer(kErrArgument);
    if (mn == "EIP") return answer(m_config.ip);
    if (mn == "EMK") return answer(m_config.mask);
    return answer(m_config.gateway);
}

CommandResult DeviceModel::picture(int which, const QByteArray &mn, int arg) {
    DeviceState &s = m_state;
    auto packed = [&](int row) { return reply(mn, 200 * row + s.rows[row].at(which)); };

    if (arg >= 991 && arg <= 994) return answer(packed(arg - 991));
    if (arg == 999) return answer(s.mode == 1 ? reply(mn, s.matrix.at(which)) : packed(0));

    if (s.mode == 1) {
        if (arg > 100) return answer(kErrArgument);
        // One Matrix value drives every output.
        bool changed = s.matrix.at(which) != arg;
        s.matrix.at(which) = arg;
        for (Picture &p : s.rows) {
            changed = changed || p.at(which) != arg;
            p.at(which) = arg;
        }
        return answer(reply(mn, arg), changed);
    }
    const int row = arg / 200;
    const int level = arg % 200;
    if (row > 3 || level > 100) return answer(kErrArgument);
    const bool changed = s.rows[row].at(which) != level;
    s.rows[row].at(which) = level;
    return answer(reply(mn, arg), changed);
}

QByteArray DeviceModel::frontPanelChange(std::mt19937_64 &rng) {
    DeviceState &s = m_state;
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // A different value than the present one, so every announcement is a change.
    auto other = [&](int current, int lo, int hi) {
        if (hi <= lo) return current;
        int v = pick(lo, hi - 1);
        return v >= current ? v + 1 : v;
    };

    switch (pick(0, 9)) {
    case 0: s.mode = other(s.mode, 1, 3); return reply("MOD", s.mode);
    case 1: s.audioEdid = other(s.audioEdid, 0, 4); return reply("AUE", s.audioEdid);
    case 2: s.dualA = other(s.dualA, 1, 2); return reply("AUA", s.dualA);
    case 3: s.dualB = other(s.dualB, 1, 2); return reply("AUB", s.dualB);
    case 4: s.audioOn = 1 - s.audioOn; return reply("AUD", s.audioOn);
    case 5: s.lock = 1 - s.lock; return reply("LCK", s.lock);
    case 6: s.bezelOn = 1 - s.bezelOn; return reply("BEZ", s.bezelOn);
    case 7: {
        // The front panel's brightness knob acts like BRI in the present mode:
        // all outputs in Matrix, the first row otherwise.
        const int v = other(s.mode == 1 ? s.matrix.bri : s.rows[0].bri, 0, 100);
        if (s.mode == 1) {
            s.matrix.bri = v;
            for (Picture &p : s.rows) p.bri = v;
        } else {
            s.rows[0].bri = v;
        }
        return reply("BRI", v);
    }
    case 8:
        if (m_config.resCount > 1) {
            s.resolution = other(s.resolution, 1, m_config.resCount);
            return reply("RES", s.resolution);
        }
        [[fallthrough]];
    default: {
        int &in = s.routing[s.output - 1];
        in = other(in, 1, 4);
        return reply("INP", in);
    }
    }
}

QByteArray DeviceModel::toJson() const {
    const DeviceState &s = m_state;
    auto pic = [](const Picture &p) {
        return QString("{\"bri\":%1,\"con\":%2,\"hue\":%3,\"sat\":%4}")
            .arg(p.bri)
            .arg(p.con)
            .arg(p.hue)
            .arg(p.sat);
    };
    // The network texts are plain digits, dots and blanks (options are
    // checked), so they need no JSON escaping beyond quotes and backslashes.
    auto str = [](const QByteArray &b) {
        QString t = QString::fromLatin1(b);
        t.replace('\\', "\\\\").replace('"', "\\\"");
        return QString("\"%1\"").arg(t);
    };
    QString rows;
    for (int i = 0; i < 4; ++i) rows += (i ? "," : "") + pic(s.rows[i]);

    QString json = QString("{\"power\":%1,\"lock\":%2,\"mode\":%3,\"output\":%4,"
                           "\"routing\":[%5,%6,%7,%8],")
                       .arg(s.power)
                       .arg(s.lock)
                       .arg(s.mode)
                       .arg(s.output)
                       .arg(s.routing[0])
                       .arg(s.routing[1])
                       .arg(s.routing[2])
                       .arg(s.routing[3]);
    json += QString("\"matrix\":%1,\"rows\":[%2],").arg(pic(s.matrix), rows);
    json += QString("\"bezel\":{\"on\":%1,\"h\":%2,\"v\":%3,\"max_h\":%4,\"max_v\":%5},")
                .arg(s.bezelOn)
                .arg(s.bezelH)
                .arg(s.bezelV)
                .arg(m_config.bezelMaxH)
                .arg(m_config.bezelMaxV);
    json += QString("\"audio\":{\"edid\":%1,\"dual_a\":%2,\"dual_b\":%3,\"on\":%4},")
                .arg(s.audioEdid)
                .arg(s.dualA)
                .arg(s.dualB)
                .arg(s.audioOn);
    json += QString("\"resolution\":%1,\"res_count\":%2,\"version\":%3,")
                .arg(s.resolution)
                .arg(m_config.resCount)
                .arg(m_config.version);
    json += QString("\"ip\":%1,\"mask\":%2,\"gateway\":%3,\"commands\":%4}\n")
                .arg(str(m_config.ip), str(m_config.mask), str(m_config.gateway))
                .arg(m_commands);
    return json.toLatin1();
}

} // namespace veldra
