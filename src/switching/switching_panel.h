#pragma once
// The switching area: the routing map, the display modes and the layout that follows
// from them, the presets and the full status refresh.

#include <QObject>
#include <array>

#include "protocol/device_state.h"
#include "ui/panel_host.h"

class AdjustPanel;
class AdminPanel;
class ColorButton;
class Exchange;
class LineShape;
class LinkPanel;
class PictureBox;
class QPushButton;

class SwitchingPanel : public QObject {
    Q_OBJECT
public:
    SwitchingPanel(Exchange &exchange, DeviceState &state, AdjustPanel &adjust, AdminPanel &admin,
                   LinkPanel &link, PanelHost &host, const PanelFrames &frames);

    void build_refresh_controls();
    void build_mode_controls();
    void build_routing_controls();
    void build_preset_controls();

    void cmd_out_Click(int index);
    void cmd_inp_Click(int index);
    void map_refresh();
    void rx_out(const Reply &r);
    void rx_inp(const Reply &r);
    void cmd_mode_Click(int index);
    void rx_mod(const Reply &r);
    void cmd_save_Click(int index);
    void cmd_recall_Click(int index);
    void rx_sav(const Reply &r);
    void rx_cal(const Reply &r);
    void cmd_refresh_Click();
    // The line array of an output (1..4): line_a .. line_d.
    std::array<LineShape *, 5> &lines_of(int output);

    // The reported mode's digit (Matrix until the device says).
    int mode_digit() const { return static_cast<int>(state_.display_mode()); }
    // The output and input the last OUT and INP replies named (1 before they did).
    int cur_output() const { return state_.output().value_or(1); }
    int cur_input() const { return state_.input().value_or(1); }
    // Before the device is read: the start banner, no keypad button.
    void show_start_banner();

    ColorButton *cmd_refresh = nullptr;
    PictureBox *img_start = nullptr;
    QPushButton *cmd_keypad = nullptr;
    std::array<ColorButton *, 4> cmd_mode{};                           // 1..3
    std::array<ColorButton *, 5> cmd_out{};                            // 1..4
    std::array<ColorButton *, 5> cmd_inp{};                            // 1..4
    std::array<LineShape *, 5> line_a{}, line_b{}, line_c{}, line_d{}; // 1..4
    std::array<ColorButton *, 5> cmd_recall{};                         // 1..4
    std::array<ColorButton *, 5> cmd_save{};                           // 1..4

private:
    Exchange &exchange_;
    DeviceState &state_;
    AdjustPanel &adjust_;
    AdminPanel &admin_;
    LinkPanel &link_;
    PanelHost &host_;
    PanelFrames frames_;
    // Mode changes in progress: while one runs, a MOD reply leaves the mode buttons
    // disabled, so the operator cannot start a second change during the re-read.
    int mode_change_running_ = 0;
};
