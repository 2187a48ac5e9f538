// Full status refresh: reads the device's whole state in a fixed order.

#include "app/frm_main.h"

void frm_main::build_refresh_controls() {
    cmd_refresh = new ColorButton(QStringLiteral("Refresh"), this, QStringLiteral("cmd_refresh"));
    cmd_refresh->setFont(panel_font(QStringLiteral("Arial"), 9.75));
    cmd_refresh->setGeometry(4, 6, 72, 30);
    connect(cmd_refresh, &QPushButton::clicked, this, &frm_main::cmd_refresh_Click);

    img_start = new PictureBox(fra_btn, QStringLiteral("img_start"));
    img_start->setGeometry(4, 10, 170, 13);
    img_start->set_builtin_picture(QPixmap(program_path(QStringLiteral("\\bmp\\start.bmp"))));

    cmd_keypad = new QPushButton(QStringLiteral("Keyboard"), fra_btn);
    cmd_keypad->setObjectName(QStringLiteral("cmd_keypad"));
    cmd_keypad->setFont(panel_font(QStringLiteral("Arial"), 9.75));
    cmd_keypad->setGeometry(4, 6, 80, 22);
    cmd_keypad->setVisible(false);
    connect(cmd_keypad, &QPushButton::clicked, this, &frm_main::cmd_keypad_Click);
}

void frm_main::cmd_refresh_Click() {}
