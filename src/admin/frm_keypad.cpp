// The keypad window: the computer keyboard as a remote for the device.

#include "admin/frm_keypad.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>

#include "adjust/adjust_panel.h"
#include "admin/admin_panel.h"
#include "protocol/exchange.h"
#include "ui/widgets.h"

int virtual_key(int k, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (k >= Qt::Key_0 && k <= Qt::Key_9) return (keypad ? 96 : 48) + (k - Qt::Key_0);
    if (k >= Qt::Key_A && k <= Qt::Key_Z) return 65 + (k - Qt::Key_A);
    switch (k) {
    // Qt reports the shifted character of a key; the key code stays that of the key
    // (US layout), so Shift does not change what a key does.
    case Qt::Key_Exclam: return 49;
    case Qt::Key_At: return 50;
    case Qt::Key_NumberSign: return 51;
    case Qt::Key_Semicolon:
    case Qt::Key_Colon: return 186;
    // Navigation keys, also the keypad's with Num Lock off (keypad 5 is Clear).
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Clear: return 12;
    default: return 0;
    }
}

KeypadAction keypad_action(int vk) {
    using K = KeypadAction;
    switch (vk) {
    case 49: return {K::Mode, 1, false};
    case 50: return {K::Mode, 2, false};
    case 51: return {K::Mode, 3, false};
    case 65: return {K::Output, 1, false}; // A
    case 83: return {K::Output, 2, false}; // S
    case 68: return {K::Output, 3, false}; // D
    case 70: return {K::Output, 4, false}; // F
    case 74: return {K::Input, 1, false};  // J
    case 75: return {K::Input, 2, false};  // K
    case 76: return {K::Input, 3, false};  // L
    case 186: return {K::Input, 4, false}; // ;
    case 103:
    case 36: return {K::Mute, 0, false};
    case 104:
    case 38: return {K::MenuUp, 0, true};
    case 105:
    case 33: return {K::Lock, 0, false};
    case 100:
    case 37: return {K::MenuLeft, 0, true};
    case 101:
    case 12: return {K::MenuOk, 0, false};
    case 102:
    case 39: return {K::MenuRight, 0, true};
    case 97:
    case 35: return {K::MenuExit, 0, false};
    case 98:
    case 40: return {K::MenuDown, 0, true};
    case 99:
    case 34: return {K::MenuMenu, 0, false};
    default: return {};
    }
}

QPoint keypad_position(const QRect &main_frame, int keypad_outer_height) {
    return {main_frame.left(), main_frame.top() - keypad_outer_height};
}

frm_keypad::frm_keypad(AdminPanel *owner)
    : QWidget(owner->window(), Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      owner_(owner) {
    setObjectName(QStringLiteral("frm_keypad"));
    setWindowTitle(QStringLiteral("Keyboard"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(CLIENT_WIDTH, CLIENT_HEIGHT);

    img_keypad = new PictureBox(this, QStringLiteral("img_keypad"));
    img_keypad->setGeometry(7, 8, 339, 96);
    img_keypad->set_builtin_picture(
        QPixmap(owner->program_path(QStringLiteral("\\bmp\\keypad.bmp"))));

    owner->keypad_opened();
    place_above_owner();
}

frm_keypad::~frm_keypad() {
    // Destroyed with the main window, whose panels may be gone by now.
    if (!unloaded_ && owner_) owner_->keypad_gone();
}

void frm_keypad::place_above_owner() {
    if (!owner_) return;
    move(keypad_position(owner_->window()->frameGeometry(), frameGeometry().height()));
}

void frm_keypad::showEvent(QShowEvent *e) {
    QWidget::showEvent(e);
    // The frame is known only once the window is shown: place it again.
    if (!e->spontaneous()) place_above_owner();
}

void frm_keypad::unload() {
    if (unloaded_) return;
    unloaded_ = true;
    if (owner_) owner_->keypad_closed();
}

void frm_keypad::closeEvent(QCloseEvent *e) {
    unload();
    e->accept();
}

void frm_keypad::keyPressEvent(QKeyEvent *e) {
    const int vk = virtual_key(e->key(), e->modifiers());
    if (vk == 0) {
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
    Form_KeyDown(vk);
}

void frm_keypad::Form_KeyDown(int key_code) {
    // A key that comes while a wait runs (a command exchange, the arrow pause) is
    // dropped, never queued. So is one that slips in while this window's own action is
    // still running (the exchange processes events once more after its last wait):
    // otherwise a held arrow key could step the menu twice without the pause.
    const QPointer<AdminPanel> f = owner_;
    if ((f && f->exchange().waiting()) || acting_) return;
    if (!f) return;
    const KeypadAction a = keypad_action(key_code);
    if (a.kind == KeypadAction::None) return;
    const QPointer<frm_keypad> self(this); // the window may be closed meanwhile
    acting_ = true;
    using K = KeypadAction;
    switch (a.kind) {
    case K::None: break;
    case K::Mode: f->keypad_targets.cmd_mode_Click(a.index); break;
    case K::Output: f->keypad_targets.cmd_out_Click(a.index); break;
    case K::Input: f->keypad_targets.cmd_inp_Click(a.index); break;
    case K::Mute: f->adjust().cmd_mute_Click(); break;
    case K::Lock: f->cmd_lock_Click(); break;
    case K::MenuUp: f->cmd_menu_up_Click(); break;
    case K::MenuDown: f->cmd_menu_down_Click(); break;
    case K::MenuLeft: f->cmd_menu_left_Click(); break;
    case K::MenuRight: f->cmd_menu_right_Click(); break;
    case K::MenuOk: f->cmd_menu_ok_Click(); break;
    case K::MenuMenu: f->cmd_menu_menu_Click(); break;
    case K::MenuExit: f->cmd_menu_exit_Click(); break;
    }
    if (a.pause && f) f->exchange().wait_sec(0.05f);
    if (self) acting_ = false;
}
