#include "protocol/device_state.h"

namespace {

// A reply that carries one value: its last `digits` digits, taken when within first..last
// (a value outside names no button, mode or state, and changes nothing).
struct ValueRule {
    Mnemonic mnemonic;
    int digits, first, last;
};
const ValueRule VALUE_RULES[] = {
    // The power and lock toggles know two states; another digit would be a guess.
    {Mnemonic::PWR, 1, 0, 1},   {Mnemonic::LCK, 1, 0, 1}, {Mnemonic::AUD, 1, 0, 1},
    {Mnemonic::AUE, 1, 0, 4},   {Mnemonic::AUA, 1, 1, 2}, {Mnemonic::AUB, 1, 1, 2},
    {Mnemonic::BEZ, 1, 0, 1},   {Mnemonic::MOD, 1, 1, 3}, {Mnemonic::OUT, 1, 1, 4},
    {Mnemonic::VER, 3, 0, 999},
};

} // namespace

QString version_text(int v) {
    return QStringLiteral("%1.%2").arg(v / 100).arg(v % 100, 2, 10, QLatin1Char('0'));
}

DeviceState::DeviceState(QObject *parent) : QObject(parent) {}

void DeviceState::reset() {
    values_ = {};
    routing_ = {};
    picture_ = {};
    bezel_h_ = bezel_v_ = bezel_max_h_ = bezel_max_v_ = std::nullopt;
    bezel_max_pending_ = false;
    network_ = {};
    emit changed();
}

void DeviceState::assume(Mnemonic toggle, int value) {
    if (toggle != Mnemonic::PWR && toggle != Mnemonic::LCK && toggle != Mnemonic::AUD) return;
    slot(toggle) = value;
    emit changed();
}

void DeviceState::set_network(int step, const QString &answer) {
    network_[step] = answer;
    emit changed();
}

// Row 1 carries the plain level in Matrix; Dual and 2X2 pack the row into the hundreds
// (row 2 is 200 + level). A level above 100 fits no slider and a row beyond 4 names none.
DeviceState::Applied DeviceState::apply_picture(PictureParam p, int v) {
    if (v < 0) return {};
    int row = 1, level = v;
    if (display_mode() != DisplayMode::Matrix) {
        row = v / 200 + 1;
        level = v % 200;
    }
    if (row > 4 || level > 100) return {};
    picture_[row - 1][static_cast<int>(p)] = level;
    return {true, row};
}

// An amount, or the upper bound the refresh asked for. Above the limit a reply is no
// bezel value at all, so a pending bound stays pending.
DeviceState::Applied DeviceState::apply_bezel(bool horizontal, int v) {
    if (v < 0 || v > BEZEL_LIMIT) return {};
    if (bezel_max_pending_) {
        (horizontal ? bezel_max_h_ : bezel_max_v_) = v;
        bezel_max_pending_ = false;
    } else {
        (horizontal ? bezel_h_ : bezel_v_) = v;
    }
    return {true, 0};
}

DeviceState::Applied DeviceState::apply(const Reply &r) {
    const int d = r.digit();
    Applied a;
    switch (r.mnemonic) {
    case Mnemonic::INP:
        // The input of the output the last OUT reply selected (output 1 before one did).
        if (d < 1 || d > 4) break;
        a = {true, output().value_or(1)};
        slot(Mnemonic::INP) = routing_[a.index - 1] = d;
        break;
    case Mnemonic::BEH: a = apply_bezel(true, r.value(3)); break;
    case Mnemonic::BEV: a = apply_bezel(false, r.value(3)); break;
    case Mnemonic::BRI: a = apply_picture(PictureParam::Bri, r.value(3)); break;
    case Mnemonic::CON: a = apply_picture(PictureParam::Con, r.value(3)); break;
    case Mnemonic::HUE: a = apply_picture(PictureParam::Hue, r.value(3)); break;
    case Mnemonic::SAT: a = apply_picture(PictureParam::Sat, r.value(3)); break;
    case Mnemonic::RES: {
        // A number beyond the list names no entry; 0 selects none.
        const int n = r.value(2);
        if (n < 0 || (resolution_count_ && n > *resolution_count_)) break;
        a.accepted = true;
        slot(Mnemonic::RES) = n >= 1 ? std::optional<int>(n) : std::nullopt;
        break;
    }
    case Mnemonic::RST:
        // RST001 acknowledges the factory reset; RST002 the picture reset, which sets
        // every live row to its default.
        if (d == 2) {
            const int rows = display_mode() == DisplayMode::Matrix ? 1 : 4;
            for (int row = 0; row < rows; ++row) picture_[row].fill(PICTURE_DEFAULT);
        }
        a = {d == 1 || d == 2, d};
        break;
    // Acknowledgements that store nothing: the preset saved or recalled; the device
    // ending the link.
    case Mnemonic::SAV:
    case Mnemonic::CAL: return {d >= 1 && d <= 4, d};
    case Mnemonic::EXT: return {true, 0};
    default:
        for (const ValueRule &rule : VALUE_RULES) {
            if (rule.mnemonic != r.mnemonic) continue;
            const int v = r.value(rule.digits);
            if (v < rule.first || v > rule.last) break;
            a.accepted = true;
            slot(r.mnemonic) = v;
            break;
        }
    }
    if (a) emit changed();
    return a;
}
