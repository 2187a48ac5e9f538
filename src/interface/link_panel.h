#pragma once
// The link area: the interface frame (RS-232 port or Ethernet address), the
// connect time-out and link watch, the network address query and the Advanced
// button that switches the window height.

#include <QObject>
#include <array>
#include <functional>

#include "platform/value_list.h"
#include "ui/panel_host.h"

class Connection;
class DeviceState;
class Exchange;
class UiReady;
class ColorButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTimer;

class LinkPanel : public QObject {
    Q_OBJECT
public:
    LinkPanel(Connection &link, Exchange &exchange, DeviceState &state, UiReady &ui,
              PanelHost &host, const PanelFrames &frames,
              std::function<void(bool full)> show_full_height);

    void build_link_controls();
    // Start-up: the port list COM1..COM9 with none chosen, no link state shown.
    void fill_port_list();
    void reset_start_state();
    // The saved link (link type, port, address, height) into the controls and the
    // connection; and back, as the settings file keeps it.
    void apply(const Settings &s);
    Settings settings() const;

    void set_comm();
    void cbo_com_Click();
    void cmd_conn_Click();
    void cmd_disconn_Click();
    void cmd_conn_eth_Click();
    void cmd_disconn_eth_Click();
    void wsk_client_Connect();
    void tim_eth_Timer();
    void rx_ext();
    void opt_interface_Click(int index);
    void cmd_get_ip_Click();
    void cmd_advance_Click();

    // What the link area needs of the switching area once a lost link is handled
    // (wired by the window): the full refresh, and the start look with its banner.
    struct AfterLoss {
        std::function<void()> refresh;
        std::function<void()> show_start_look;
    } after_loss;

    bool advanced_view() const { return advanced_view_; }
    void set_advanced_view(bool on) { advanced_view_ = on; }

    QTimer *tim_eth = nullptr;
    std::array<QRadioButton *, 2> opt_interface{}; // 0..1
    QComboBox *cbo_com = nullptr;
    ColorButton *cmd_conn = nullptr;
    ColorButton *cmd_disconn = nullptr;
    QLabel *lab_ip = nullptr;
    QLineEdit *txt_ip = nullptr;
    ColorButton *cmd_conn_eth = nullptr;
    ColorButton *cmd_disconn_eth = nullptr;
    QLabel *lab_eth_state = nullptr;
    QPushButton *cmd_advance = nullptr;
    ColorButton *cmd_get_ip = nullptr;
    QLabel *lab_inq_ip = nullptr;
    QLabel *lab_inq_mask = nullptr;
    QLabel *lab_inq_gate = nullptr;
    QLineEdit *txt_get_ip = nullptr;
    QLineEdit *txt_get_mask = nullptr;
    QLineEdit *txt_get_gate = nullptr;

private:
    void to_idle();
    void serial_lost();
    // The link came back by itself: draw it up and read the device in full.
    void link_restored();
    void refresh_if_idle();
    // A Connect by the operator after a loss: the device may have restarted meanwhile.
    void manual_connect();

    Connection &link_;
    Exchange &exchange_;
    DeviceState &state_;
    UiReady &ui_;
    PanelHost &host_;
    PanelFrames frames_;
    std::function<void(bool)> show_full_height_;
    bool advanced_view_ = false;
    bool lost_ = false; // a link was lost since the device was last read in full
};
