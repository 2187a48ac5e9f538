#include "protocol/device_state.h"

#include "protocol/reply_kinds.h"

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
    const ReplyKind &k = reply_kind(r.mnemonic);
    const int v = r.value(k.digits);
    Applied a;
    switch (k.rule) {
    case Rule::Routing:
        // The input of the output the last OUT reply selected (output 1 before one did).
        if (v < k.first || v > k.last) break;
        a = {true, output().value_or(1)};
        slot(r.mnemonic) = routing_[a.index - 1] = v;
        break;
    case Rule::Bezel: a = apply_bezel(k.part == 0, v); break;
    case Rule::Picture: a = apply_picture(static_cast<PictureParam>(k.part), v); break;
    case Rule::Resolution:
        // A number beyond the list names no entry; 0 selects none.
        if (v < 0 || (resolution_count_ && v > *resolution_count_)) break;
        a.accepted = true;
        slot(r.mnemonic) = v >= 1 ? std::optional<int>(v) : std::nullopt;
        break;
    case Rule::Reset:
        // The factory reset acknowledged (1); the picture reset (2) sets every live row to
        // its default.
        if (v < k.first || v > k.last) break;
        if (v == 2)
            for (int row = 0; row < picture_rows(display_mode()); ++row)
                picture_[row].fill(PICTURE_DEFAULT);
        a = {true, v};
        break;
    // Acknowledgements that store nothing: the preset saved or recalled; the device
    // ending the link.
    case Rule::Preset: return {v >= k.first && v <= k.last, v};
    case Rule::End: return {true, 0};
    case Rule::Value:
        if (v < k.first || v > k.last) break;
        a.accepted = true;
        slot(r.mnemonic) = v;
        break;
    }
    if (a) emit changed();
    return a;
}
