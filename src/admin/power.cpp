// Power, front-panel lock, factory reset and firmware version.

#include <QGroupBox>
#include <QLineEdit>
#include <QPixmap>

#include "adjust/adjust_panel.h"
#include "admin/admin_panel.h"
#include "link/connection.h"
#include "protocol/command.h"
#include "protocol/exchange.h"
#include "protocol/status_read.h"
#include "ui/panel_style.h"

AdminPanel::AdminPanel(Exchange &exchange, Connection &link, DeviceState &state,
                       AdjustPanel &adjust, PanelHost &host, const PanelFrames &frames)
    : exchange_(exchange), link_(link), state_(state), adjust_(adjust), host_(host),
      frames_(frames) {
    exchange_.set_handler(Mnemonic::LCK, [this](const Reply &r) { rx_lck(r); });
    exchange_.set_handler(Mnemonic::PWR, [this](const Reply &r) { rx_pwr(r); });
    exchange_.set_handler(Mnemonic::RST, [this](const Reply &r) { rx_rst(r); });
    exchange_.set_handler(Mnemonic::VER, [this](const Reply &r) { rx_ver(r); });
}

void AdminPanel::reset_start_state() { keypad_open_ = false; }

void AdminPanel::build_power_controls() {
    cmd_pwr = new ColorButton(QString(), frames_.window, QStringLiteral("cmd_pwr"));
    cmd_pwr->setGeometry(4, 40, 72, 68);
    cmd_pwr->setBackColor(PanelStyle::grey_colour());
    cmd_pwr->set_builtin_picture(QPixmap(host_.program_path(QStringLiteral("\\bmp\\power.bmp"))));
    connect(cmd_pwr, &QPushButton::clicked, this, &AdminPanel::cmd_pwr_Click);

    cmd_fact_reset = new QPushButton(QStringLiteral("Factory Reset"), frames_.window);
    cmd_fact_reset->setObjectName(QStringLiteral("cmd_fact_reset"));
    cmd_fact_reset->setGeometry(162, 274, 100, 28);
    connect(cmd_fact_reset, &QPushButton::clicked, this, &AdminPanel::cmd_fact_reset_Click);

    cmd_ver = new ColorButton(QStringLiteral("F/W Ver"), frames_.window, QStringLiteral("cmd_ver"));
    cmd_ver->setGeometry(162, 308, 64, 28);
    cmd_ver->setBackColor(PanelStyle::grey_colour());
    connect(cmd_ver, &QPushButton::clicked, this, &AdminPanel::cmd_ver_Click);

    txt_ver = new QLineEdit(frames_.window);
    txt_ver->setObjectName(QStringLiteral("txt_ver"));
    txt_ver->setGeometry(232, 310, 60, 24);
    txt_ver->setReadOnly(true);
    txt_ver->setAlignment(Qt::AlignCenter);
}

void AdminPanel::cmd_pwr_Click() {
    cmd_pwr->load_picture(host_.program_path(QStringLiteral("\\bmp\\power_none.bmp")));
    if (state_.power() == 1) {
        state_.assume(Mnemonic::PWR, 0);
        exchange_.send_cmd(power_command(false));
    } else {
        // Held until the device reports it is on: a second press cannot
        // interrupt the power-up.
        state_.assume(Mnemonic::PWR, 1);
        cmd_pwr->setEnabled(false);
        exchange_.send_cmd(power_command(true));
        adjust_.show_speaker_on();
    }
}

void AdminPanel::cmd_lock_Click() {
    if (state_.lock() == 1) {
        state_.assume(Mnemonic::LCK, 0);
        exchange_.send_cmd(lock_command(false));
    } else {
        state_.assume(Mnemonic::LCK, 1);
        exchange_.send_cmd(lock_command(true));
    }
}

void AdminPanel::cmd_fact_reset_Click() {
    // Disabled only when the command can really go out: a closed link would
    // leave nothing to enable it again.
    if (link_.selected_link_up()) cmd_fact_reset->setEnabled(false);
    exchange_.send_cmd(factory_reset_command());
}

void AdminPanel::cmd_ver_Click() { exchange_.send_cmd(version_query()); }

void AdminPanel::rx_pwr(const Reply &r) {
    if (!state_.apply(r)) return;
    cmd_fact_reset->setEnabled(true);
    QWidget *const frames[7] = {frames_.fra_btn,    frames_.fra_recall_save, frames_.fra_dual_a,
                                frames_.fra_dual_b, frames_.fra_bezel,       frames_.fra_pic,
                                frames_.fra_audio};
    if (state_.power() != 0) {
        cmd_pwr->load_picture(host_.program_path(QStringLiteral("\\bmp\\power_on.bmp")));
        for (QWidget *w : frames) w->setEnabled(true);
        cmd_pwr->setEnabled(true);
    } else {
        cmd_pwr->load_picture(host_.program_path(QStringLiteral("\\bmp\\power_standby.bmp")));
        for (QWidget *w : frames) w->setEnabled(false);
        // A device reported in standby must be switchable on again, also when an
        // earlier PWR001 never reached it and left the button disabled.
        cmd_pwr->setEnabled(true);
    }
}

void AdminPanel::rx_lck(const Reply &r) {
    if (!state_.apply(r)) return;
    cmd_lock->load_picture(host_.program_path(state_.lock() != 0
                                                  ? QStringLiteral("\\bmp\\lock.bmp")
                                                  : QStringLiteral("\\bmp\\unlock.bmp")));
}

void AdminPanel::rx_rst(const Reply &r) {
    const DeviceState::Applied a = state_.apply(r);
    if (a && a.index == 1) {
        cmd_fact_reset->setEnabled(true);
    } else if (a && a.index == 2) {
        adjust_.show_picture_defaults(); // after the picture reset
    }
}

void AdminPanel::rx_ver(const Reply &r) {
    if (state_.apply(r)) txt_ver->setText(version_text(*state_.version()));
}
