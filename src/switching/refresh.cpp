// Full status refresh: reads the device's whole state in a fixed order.

#include <QPushButton>

#include "adjust/adjust_panel.h"
#include "admin/admin_panel.h"
#include "interface/link_panel.h"
#include "protocol/exchange.h"
#include "protocol/status_read.h"
#include "switching/switching_panel.h"
#include "ui/panel_style.h"

void SwitchingPanel::build_refresh_controls() {
    cmd_refresh =
        new ColorButton(QStringLiteral("Refresh"), frames_.window, QStringLiteral("cmd_refresh"));
    cmd_refresh->setFont(panel_font(QStringLiteral("Arial"), 9.75));
    cmd_refresh->setGeometry(4, 6, 72, 30);
    connect(cmd_refresh, &QPushButton::clicked, this, &SwitchingPanel::cmd_refresh_Click);

    img_start = new PictureBox(frames_.fra_btn, QStringLiteral("img_start"));
    img_start->setGeometry(0, 10, 170, 13);
    img_start->set_builtin_picture(QPixmap(host_.program_path(QStringLiteral("\\bmp\\start.bmp"))));

    cmd_keypad = new QPushButton(QStringLiteral("Keyboard"), frames_.fra_btn);
    cmd_keypad->setObjectName(QStringLiteral("cmd_keypad"));
    cmd_keypad->setFont(panel_font(QStringLiteral("Arial"), 9.75));
    cmd_keypad->setGeometry(4, 6, 80, 22);
    cmd_keypad->setVisible(false);
    connect(cmd_keypad, &QPushButton::clicked, &admin_, &AdminPanel::cmd_keypad_Click);
}

void SwitchingPanel::cmd_refresh_Click() {
    cmd_refresh->setEnabled(false);
    cmd_refresh->setBackColor(PanelStyle::busy_colour());
    img_start->setVisible(false);
    cmd_keypad->setVisible(true);
    // A bound query left unanswered by an earlier refresh must not turn this
    // refresh's first bezel amount into a maximum.
    adjust_.set_bezel_max_pending(false);

    // Each query only after the previous exchange was answered; the first one that
    // is not ends the chain (the restore below always runs).
    const Ask query = [this](const QString &cmd, ReadStep step) {
        if (!exchange_.reply_ok()) return false;
        // Makes the next bezel reply a slider maximum (its handler clears the flag).
        if (step == ReadStep::Bound) adjust_.set_bezel_max_pending(true);
        exchange_.send_cmd(cmd);
        return true;
    };

    admin_.cmd_ver_Click();
    if (read_settings(state_, query)) {
        // Whatever INP999 gave: map_refresh makes its own tests.
        map_refresh();
        if (link_.advanced_view()) adjust_.cmd_pic_refresh_Click();
    }

    cmd_refresh->setBackColor(PanelStyle::face());
    cmd_refresh->setEnabled(true);
}

SwitchingPanel::SwitchingPanel(Exchange &exchange, DeviceState &state, AdjustPanel &adjust,
                               AdminPanel &admin, LinkPanel &link, PanelHost &host,
                               const PanelFrames &frames)
    : exchange_(exchange), state_(state), adjust_(adjust), admin_(admin), link_(link), host_(host),
      frames_(frames) {
    exchange_.set_handler(Mnemonic::CAL, [this](const Reply &r) { rx_cal(r); });
    exchange_.set_handler(Mnemonic::INP, [this](const Reply &r) { rx_inp(r); });
    exchange_.set_handler(Mnemonic::MOD, [this](const Reply &r) { rx_mod(r); });
    exchange_.set_handler(Mnemonic::OUT, [this](const Reply &r) { rx_out(r); });
    exchange_.set_handler(Mnemonic::SAV, [this](const Reply &r) { rx_sav(r); });
}

void SwitchingPanel::show_start_banner() {
    img_start->setVisible(true);
    cmd_keypad->setVisible(false);
}
