#include "protocol/command.h"

QString pad3(int n) { return QString::number(n).rightJustified(3, QLatin1Char('0')); }

static bool is_digit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

bool reply_digits_ok(const QString &collected) {
    if (collected.size() < 6) return false;
    for (int i = 3; i < 6; ++i)
        if (!is_digit(collected.at(i))) return false;
    return true;
}

int reply_value(const QString &reply, int digits) {
    // A cut-off reply (evaluated after a time-out) would read a wrong digit as the
    // value: "PWR00" is not standby. Only whole replies carry a value.
    if (digits <= 0 || reply.size() < 6) return -1;
    int v = 0;
    for (int i = reply.size() - digits; i < reply.size(); ++i) {
        if (!is_digit(reply.at(i))) return -1;
        v = v * 10 + (reply.at(i).unicode() - '0');
    }
    return v;
}

int last_digit(const QString &reply) { return reply.size() >= 6 ? reply_value(reply, 1) : -1; }

// ---- Commands

namespace {
QString letters(Mnemonic m) { return mnemonic_text(m); }
QString mnemonic_of_picture(int param) {
    static const Mnemonic by_param[4] = {Mnemonic::CON, Mnemonic::BRI, Mnemonic::SAT,
                                         Mnemonic::HUE};
    return letters(by_param[param & 3]);
}
constexpr int QUERY = 999;
constexpr int BOUND_QUERY = 998;
} // namespace

QString set_command(Mnemonic m, int value) { return letters(m) + pad3(value); }
QString query(Mnemonic m) { return set_command(m, QUERY); }

QString bezel_bound_query(int direction) {
    return set_command(direction == 0 ? Mnemonic::BEH : Mnemonic::BEV, BOUND_QUERY);
}

bool asks_bezel_bound(const QString &cmd) {
    return cmd == bezel_bound_query(0) || cmd == bezel_bound_query(1);
}

QString select_output(int output) { return set_command(Mnemonic::OUT, output); }
QString route_input(int input) { return set_command(Mnemonic::INP, input); }
QString input_query() { return query(Mnemonic::INP); }
QString mode_command(DisplayMode m) { return set_command(Mnemonic::MOD, static_cast<int>(m)); }
QString power_command(bool on) { return set_command(Mnemonic::PWR, on ? 1 : 0); }
QString lock_command(bool on) { return set_command(Mnemonic::LCK, on ? 1 : 0); }
QString audio_command(bool on) { return set_command(Mnemonic::AUD, on ? 1 : 0); }

QString picture_command(int param, int row, int level, DisplayMode m) {
    return mnemonic_of_picture(param) +
           pad3(m == DisplayMode::Matrix ? level : level + 200 * (row - 1));
}

QString picture_query(int param, int row, DisplayMode m) {
    return mnemonic_of_picture(param) +
           (m == DisplayMode::Matrix ? pad3(QUERY) : QStringLiteral("99") + QString::number(row));
}

QString bezel_command(bool on) { return set_command(Mnemonic::BEZ, on ? 1 : 0); }
QString bezel_amount_command(int direction, int amount) {
    return set_command(direction == 0 ? Mnemonic::BEH : Mnemonic::BEV, amount);
}
QString audio_edid_command(int format) { return set_command(Mnemonic::AUE, format); }
QString dual_audio_command(bool pair_b, int side) {
    return set_command(pair_b ? Mnemonic::AUB : Mnemonic::AUA, side);
}
QString resolution_command(int n) { return set_command(Mnemonic::RES, n); }
QString preset_save_command(int preset) { return set_command(Mnemonic::SAV, preset); }
QString preset_recall_command(int preset) { return set_command(Mnemonic::CAL, preset); }
QString factory_reset_command() { return set_command(Mnemonic::RST, 1); }
QString picture_reset_command() { return set_command(Mnemonic::RST, 2); }

QString menu_command(MenuKey key) {
    // Commands without a reply kind: the device answers them with nothing we read.
    static const char *const keys[7] = {"MNU", "MND", "MNL", "MNR", "MNO", "MNX", "MNE"};
    return QLatin1String(keys[static_cast<int>(key)]) + pad3(1);
}

QString network_query(int step) {
    static const char *const queries[3] = {"EIP", "EMK", "EGW"};
    return QLatin1String(queries[step]) + pad3(QUERY);
}

bool slow_command(const QString &cmd) {
    const std::optional<Mnemonic> m = mnemonic_of(cmd.left(3));
    return m == Mnemonic::MOD || m == Mnemonic::SAV || m == Mnemonic::CAL;
}

bool changes_much(const QString &text) {
    const std::optional<Mnemonic> m = mnemonic_of(text.left(3));
    const int v = reply_value(text.left(6), 3);
    if (m == Mnemonic::MOD) return v >= 1 && v <= 3;
    if (m == Mnemonic::CAL) return v >= 1 && v <= 4;
    if (m == Mnemonic::RST) return v == 1 || v == 2;
    return false;
}

std::optional<int> selected_by(const QString &cmd) {
    if (mnemonic_of(cmd.left(3)) != Mnemonic::OUT) return std::nullopt;
    const int v = reply_value(cmd.left(6), 3);
    return v >= 1 && v <= 4 ? std::optional<int>(v) : std::nullopt;
}

bool refusal(const QString &reply) { return reply.startsWith(QLatin1String("ERR")); }
