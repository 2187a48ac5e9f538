// The on-screen menu remote (a 3 x 3 block of picture buttons) and the keypad window.

#include "adjust/adjust_panel.h"
#include "admin/admin_panel.h"
#include "admin/frm_keypad.h"
#include "protocol/command.h"
#include "protocol/exchange.h"
#include "ui/panel_style.h"

void AdminPanel::build_remote_controls() {
    // Laid out like a numeric keypad at the left end of fra_btn, below img_start.
    // The 46 x 32 pictures sit inside a one-pixel border, so the buttons stay visible.
    // Its top-left key is the audio area's mute button, made and placed just before it.
    auto make = [this](ColorButton *&button, const char *name, int col, int row,
                       const char *picture) {
        button = new ColorButton(QString(), frames_.fra_btn, QLatin1String(name));
        button->setGeometry(5 + 50 * col, 35 + 36 * row, 48, 34);
        button->set_builtin_picture(QPixmap(host_.program_path(QLatin1String(picture))));
    };
    make(cmd_menu_up, "cmd_menu_up", 1, 0, "\\bmp\\remote_up.bmp");
    make(cmd_lock, "cmd_lock", 2, 0, "\\bmp\\remote_lock.bmp");
    make(cmd_menu_left, "cmd_menu_left", 0, 1, "\\bmp\\remote_left.bmp");
    make(cmd_menu_ok, "cmd_menu_ok", 1, 1, "\\bmp\\remote_ok.bmp");
    make(cmd_menu_right, "cmd_menu_right", 2, 1, "\\bmp\\remote_right.bmp");
    make(cmd_menu_exit, "cmd_menu_exit", 0, 2, "\\bmp\\remote_exit.bmp");
    make(cmd_menu_down, "cmd_menu_down", 1, 2, "\\bmp\\remote_down.bmp");
    make(cmd_menu_menu, "cmd_menu_menu", 2, 2, "\\bmp\\remote_menu.bmp");

    connect(cmd_lock, &QPushButton::clicked, this, &AdminPanel::cmd_lock_Click);
    connect(cmd_menu_up, &QPushButton::clicked, this, &AdminPanel::cmd_menu_up_Click);
    connect(cmd_menu_down, &QPushButton::clicked, this, &AdminPanel::cmd_menu_down_Click);
    connect(cmd_menu_left, &QPushButton::clicked, this, &AdminPanel::cmd_menu_left_Click);
    connect(cmd_menu_right, &QPushButton::clicked, this, &AdminPanel::cmd_menu_right_Click);
    connect(cmd_menu_ok, &QPushButton::clicked, this, &AdminPanel::cmd_menu_ok_Click);
    connect(cmd_menu_menu, &QPushButton::clicked, this, &AdminPanel::cmd_menu_menu_Click);
    connect(cmd_menu_exit, &QPushButton::clicked, this, &AdminPanel::cmd_menu_exit_Click);
}

// The menu keys: one fixed command each; the reply has no handler.
void AdminPanel::cmd_menu_up_Click() { exchange_.send_cmd(menu_command(MenuKey::Up)); }
void AdminPanel::cmd_menu_down_Click() { exchange_.send_cmd(menu_command(MenuKey::Down)); }
void AdminPanel::cmd_menu_left_Click() { exchange_.send_cmd(menu_command(MenuKey::Left)); }
void AdminPanel::cmd_menu_right_Click() { exchange_.send_cmd(menu_command(MenuKey::Right)); }
void AdminPanel::cmd_menu_ok_Click() { exchange_.send_cmd(menu_command(MenuKey::Ok)); }
void AdminPanel::cmd_menu_menu_Click() { exchange_.send_cmd(menu_command(MenuKey::Menu)); }
void AdminPanel::cmd_menu_exit_Click() { exchange_.send_cmd(menu_command(MenuKey::Exit)); }

void AdminPanel::cmd_keypad_Click() {
    if (keypad_open_) {
        if (keypad)
            keypad->close();
        else
            keypad_open_ = false;
        return;
    }
    // Created anew at every opening, so it is placed above the main window again.
    auto *k = new frm_keypad(this);
    keypad = k;
    k->show();
    k->activateWindow();
    k->setFocus();
}

void AdminPanel::keypad_closed() {
    keypad_open_ = false;
    keypad.clear();
}
