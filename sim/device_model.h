// The VELDRA device as a pure state machine: one command line in, one reply
// text out. No I/O here, so the whole command set can be unit-tested.
#pragma once

#include <QByteArray>

#include <array>
#include <cstdint>
#include <optional>
#include <random>

namespace veldra {

struct Picture {
    int bri = 50;
    int con = 50;
    int hue = 50;
    int sat = 50;

    int &at(int index); // 0 bri, 1 con, 2 hue, 3 sat
    int at(int index) const;
    bool operator==(const Picture &o) const {
        return bri == o.bri && con == o.con && hue == o.hue && sat == o.sat;
    }
};

struct DeviceConfig {
    int version = 160;
    int resCount = 12;
    int bezelMaxH = 254;
    int bezelMaxV = 254;
    QByteArray ip = "192.168.001.100";
    QByteArray mask = "255.255.255.000";
    QByteArray gateway = "192.168.001.001";
};

struct DeviceState {
    int power = 1;
    int lock = 0;
    int mode = 1;                             // 1 Matrix, 2 Dual, 3 2X2
    int output = 1;                           // selected output 1..4
    std::array<int, 4> routing{{1, 2, 3, 4}}; // input feeding output n+1
    Picture matrix;
    std::array<Picture, 4> rows;
    int bezelOn = 0;
    int bezelH = 0;
    int bezelV = 0;
    int audioEdid = 0;
    int dualA = 1;
    int dualB = 2;
    int audioOn = 1;
    int resolution = 1;
};

// What a preset keeps: the routing and the selected output. The display mode
// is deliberately not part of it, so a recall never changes the mode.
struct Preset {
    std::array<int, 4> routing{{1, 2, 3, 4}};
    int output = 1;
};

struct CommandResult {
    QByteArray reply;     // without the CR
    bool changed = false; // device state (other than the command count) changed
    bool reboot = false;  // PWR001 / RST001: a TCP link drops shortly after the reply
};

class DeviceModel {
public:
    explicit DeviceModel(const DeviceConfig &config = DeviceConfig());

    // One complete line as received (without CR/LF). Counts it as a command.
    CommandResult execute(const QByteArray &line);

    // Simulates an operator at the device's front panel: changes one setting
    // chosen at random and returns the announcement the device sends for it.
    QByteArray frontPanelChange(std::mt19937_64 &rng);

    const DeviceState &state() const { return m_state; }
    const DeviceConfig &config() const { return m_config; }
    const std::optional<Preset> &preset(int n) const { return m_presets.at(n - 1); }
    std::uint64_t commandCount() const { return m_commands; }

    // The whole state as one line of JSON (keys in a fixed order).
    QByteArray toJson() const;

    // Fixed-width network answer: exactly 15 characters, blank padded or cut.
    static QByteArray networkField(const QByteArray &text);

private:
    CommandResult picture(int which, const QByteArray &mn, int arg);
    static QByteArray reply(const QByteArray &mn, int value);

    DeviceConfig m_config;
    DeviceState m_state;
    std::array<std::optional<Preset>, 4> m_presets;
    std::uint64_t m_commands = 0;
};

} // namespace veldra
