#pragma once
// What the device has reported, decoded once: every rule that turns a reply into state
// lives in apply(). The panel's areas draw from it, veldra-ctl prints it, and anything
// that wants to follow the device listens to `changed`. No widgets.

#include <QObject>
#include <QString>
#include <array>
#include <optional>

#include "protocol/display_mode.h"
#include "protocol/reply.h"

// The four picture parameters, in the left-to-right order of the panel's frames.
enum class PictureParam : int { Con = 0, Bri = 1, Sat = 2, Hue = 3 };

// The firmware version as the panel shows it: 160 -> "1.60".
QString version_text(int version);

class DeviceState : public QObject {
    Q_OBJECT
public:
    explicit DeviceState(QObject *parent = nullptr);

    // Whether the state took a reply. A reply whose value names nothing (a digit no
    // button, mode, row or list entry stands for, a level beyond its slider, a reply
    // cut short) stores nothing, and its reader changes nothing either.
    struct Applied {
        bool accepted = false;
        // The picture row (1..4) a picture reply set; the output whose input an INP
        // reply set; the preset a SAV or CAL reply named; the RST reply's digit.
        int index = 0;
        explicit operator bool() const { return accepted; }
    };
    Applied apply(const Reply &reply);

    // Back to nothing reported (start-up).
    void reset();
    // A toggle pressed (PWR, LCK, AUD): the state takes the value asked for at once, so
    // the next press asks for the other one even if no reply confirms this one.
    void assume(Mnemonic toggle, int value);

    // The last value a reply of this kind carried that its rule took, for the kinds with
    // one value (PWR LCK AUD AUE AUA AUB BEZ MOD OUT INP RES VER); none before.
    std::optional<int> value(Mnemonic m) const { return values_[static_cast<int>(m)]; }

    // 1 on, 0 standby.
    std::optional<int> power() const { return value(Mnemonic::PWR); }
    // 1 locked, 0 unlocked.
    std::optional<int> lock() const { return value(Mnemonic::LCK); }
    std::optional<DisplayMode> mode() const {
        const std::optional<int> m = value(Mnemonic::MOD);
        return m ? std::optional<DisplayMode>(static_cast<DisplayMode>(*m)) : std::nullopt;
    }
    // How mode-dependent replies and commands read: Matrix until the device says.
    DisplayMode display_mode() const { return mode().value_or(DisplayMode::Matrix); }
    // The output the last OUT reply selected (1..4), and the input the last INP named.
    std::optional<int> output() const { return value(Mnemonic::OUT); }
    std::optional<int> input() const { return value(Mnemonic::INP); }
    // The input routed to an output (1..4), as the INP reply after selecting it said.
    std::optional<int> routing(int output) const { return routing_[output - 1]; }
    // Picture level 0..100 of a row (1..4); Matrix has row 1 only.
    std::optional<int> picture(PictureParam p, int row) const {
        return picture_[row - 1][static_cast<int>(p)];
    }
    std::optional<int> bezel_on() const { return value(Mnemonic::BEZ); }
    std::optional<int> bezel_h() const { return bezel_h_; }
    std::optional<int> bezel_v() const { return bezel_v_; }
    std::optional<int> bezel_max_h() const { return bezel_max_h_; }
    std::optional<int> bezel_max_v() const { return bezel_max_v_; }
    // Set: the next bezel amount reply is an upper bound (its reading clears it).
    bool bezel_max_pending() const { return bezel_max_pending_; }
    void set_bezel_max_pending(bool on) { bezel_max_pending_ = on; }
    // 1 audio on, 0 muted.
    std::optional<int> audio_on() const { return value(Mnemonic::AUD); }
    // EDID format 0..4 (2ch, 6ch, 8ch, bitstream, HD); Dual pair sides 1 left, 2 right.
    std::optional<int> edid() const { return value(Mnemonic::AUE); }
    std::optional<int> dual_a() const { return value(Mnemonic::AUA); }
    std::optional<int> dual_b() const { return value(Mnemonic::AUB); }
    // The output resolution, 1.. the list's entries; none after RES000.
    std::optional<int> resolution() const { return value(Mnemonic::RES); }
    // Entries of the resolution list; without a list any number counts.
    void set_resolution_count(std::optional<int> n) { resolution_count_ = n; }
    // VER160 -> 160.
    std::optional<int> version() const { return value(Mnemonic::VER); }
    // The answers to the network queries (0 address, 1 mask, 2 gateway), as received.
    QString network(int step) const { return network_[step]; }
    void set_network(int step, const QString &answer);

    // The picture levels the device's RST002 acknowledgement stands for.
    static constexpr int PICTURE_DEFAULT = 50;
    // Largest bezel amount; anything above it is no bezel value.
    static constexpr int BEZEL_LIMIT = 254;

signals:
    // Something reported changed (a reply was stored, a network answer came, a reset).
    void changed();

private:
    friend struct TestProbe; // tests put the panel into states a device cannot
    Applied apply_picture(PictureParam p, int value);
    Applied apply_bezel(bool horizontal, int value);
    std::optional<int> &slot(Mnemonic m) { return values_[static_cast<int>(m)]; }

    std::array<std::optional<int>, REPLY_KINDS> values_;
    std::array<std::optional<int>, 4> routing_;
    std::array<std::array<std::optional<int>, 4>, 4> picture_; // [row - 1][PictureParam]
    std::optional<int> bezel_h_, bezel_v_, bezel_max_h_, bezel_max_v_;
    bool bezel_max_pending_ = false;
    std::optional<int> resolution_count_;
    std::array<QString, 3> network_;
};
