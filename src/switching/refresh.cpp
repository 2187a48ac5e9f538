// Full status refresh: reads the device's whole state in a fixed order.

#include "app/frm_main.h"

void frm_main::build_refresh_controls() {
    cmd_refresh = new ColorButton(QStringLiteral("Refresh"), this, QStringLiteral("cmd_refresh"));
    cmd_refresh->setFont(panel_font(QStringLiteral("Arial"), 9.75));
    cmd_refresh->setGeometry(4, 6, 72, 30);
    connect(cmd_refresh, &QPushButton::clicked, this, &frm_main::cmd_refresh_Click);

    img_start = new PictureBox(fra_btn, QStringLiteral("img_start"));
    img_start->setGeometry(0, 10, 170, 13);
    img_start->set_builtin_picture(QPixmap(program_path(QStringLiteral("\\bmp\\start.bmp"))));

    cmd_keypad = new QPushButton(QStringLiteral("Keyboard"), fra_btn);
    cmd_keypad->setObjectName(QStringLiteral("cmd_keypad"));
    cmd_keypad->setFont(panel_font(QStringLiteral("Arial"), 9.75));
    cmd_keypad->setGeometry(4, 6, 80, 22);
    cmd_keypad->setVisible(false);
    connect(cmd_keypad, &QPushButton::clicked, this, &frm_main::cmd_keypad_Click);
}

void frm_main::cmd_refresh_Click() {
    cmd_refresh->setEnabled(false);
    cmd_refresh->setBackColor(busy_colour());
    img_start->setVisible(false);
    cmd_keypad->setVisible(true);
    // A bound query left unanswered by an earlier refresh must not turn this
    // refresh's first bezel amount into a maximum.
    bezel_max_pending = FLAG_FALSE;

    // Each query only after the previous exchange was answered; the first one that
    // is not ends the chain (the restore below always runs).
    const auto query = [this](const char *cmd) {
        if (!reply_ok) return false;
        send_cmd(QLatin1String(cmd));
        return true;
    };
    // Makes the next bezel reply a slider maximum (its handler clears the flag).
    const auto bezel_bound = [this, &query](const char *cmd) {
        if (!reply_ok) return false;
        bezel_max_pending = FLAG_TRUE;
        return query(cmd);
    };

    cmd_ver_Click();
    const bool reached_inp =
        query("AUA999") && query("AUB999") && query("AUD999") && query("AUE999") &&
        query("BEH999") && query("BEV999") && query("BEZ999") && bezel_bound("BEH998") &&
        bezel_bound("BEV998") && query("LCK999") && query("PWR999") && query("RES999") &&
        query("MOD999") && (cur_mode == 3 || query("OUT999")) && query("INP999");
    if (reached_inp) {
        // Whatever INP999 gave: map_refresh makes its own tests.
        map_refresh();
        if (advanced_view) cmd_pic_refresh_Click();
    }

    cmd_refresh->setBackColor(face());
    cmd_refresh->setEnabled(true);
}
