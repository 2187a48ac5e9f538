#pragma once
// The administration area: power, front-panel lock, factory reset, firmware version,
// the on-screen menu remote and the keypad window.

#include <QObject>
#include <QPointer>
#include <functional>

#include "protocol/command.h"
#include "protocol/device_state.h"
#include "ui/panel_host.h"

class AdjustPanel;
class ColorButton;
class Connection;
class Exchange;
class QLineEdit;
class QPushButton;
class frm_keypad;

// Handlers of other areas that keys of the keypad window stand for; wired by the window.
struct KeypadTargets {
    std::function<void(int)> cmd_mode_Click, cmd_out_Click, cmd_inp_Click;
};

class AdminPanel : public QObject {
    Q_OBJECT
public:
    AdminPanel(Exchange &exchange, Connection &link, DeviceState &state, AdjustPanel &adjust,
               PanelHost &host, const PanelFrames &frames);

    void build_power_controls();
    void build_remote_controls();

    void cmd_pwr_Click();
    void cmd_lock_Click();
    void cmd_fact_reset_Click();
    void cmd_ver_Click();
    void rx_pwr(const Reply &r);
    void rx_lck(const Reply &r);
    void rx_rst(const Reply &r);
    void rx_ver(const Reply &r);
    void cmd_menu_up_Click();
    void cmd_menu_down_Click();
    void cmd_menu_left_Click();
    void cmd_menu_right_Click();
    void cmd_menu_ok_Click();
    void cmd_menu_menu_Click();
    void cmd_menu_exit_Click();
    void cmd_keypad_Click();
    // The keypad window tells its owner: it was built, it was closed, it is destroyed.
    void keypad_opened() { keypad_open_ = true; }
    void keypad_closed();
    void keypad_gone() { keypad_open_ = false; }

    // 1 on / locked, 0 standby / unlocked, NOT_REPORTED before the device said.
    int power_state() const { return state_.power().value_or(NOT_REPORTED); }
    int lock_state() const { return state_.lock().value_or(NOT_REPORTED); }
    // The keypad window is loaded.
    bool keypad_open() const { return keypad_open_; }
    void reset_start_state();

    Exchange &exchange() { return exchange_; }
    AdjustPanel &adjust() { return adjust_; }
    QString program_path(const QString &name) const { return host_.program_path(name); }
    QWidget *window() const { return frames_.window; }

    KeypadTargets keypad_targets;
    QPointer<frm_keypad> keypad;

    ColorButton *cmd_pwr = nullptr;
    QPushButton *cmd_fact_reset = nullptr;
    ColorButton *cmd_ver = nullptr;
    QLineEdit *txt_ver = nullptr;
    ColorButton *cmd_lock = nullptr;
    ColorButton *cmd_menu_up = nullptr;
    ColorButton *cmd_menu_down = nullptr;
    ColorButton *cmd_menu_left = nullptr;
    ColorButton *cmd_menu_right = nullptr;
    ColorButton *cmd_menu_ok = nullptr;
    ColorButton *cmd_menu_menu = nullptr;
    ColorButton *cmd_menu_exit = nullptr;

private:
    Exchange &exchange_;
    Connection &link_;
    DeviceState &state_;
    AdjustPanel &adjust_;
    PanelHost &host_;
    PanelFrames frames_;
    bool keypad_open_ = false;
};
