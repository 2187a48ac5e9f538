#pragma once
// Keypad window: drives the device's menu, the routing, the mode, mute and lock from
// the computer keyboard by calling the panel's own click handlers.

#include <QPointer>
#include <QWidget>

class AdminPanel;
class PictureBox;

// Windows virtual-key code of a Qt key event, the codes the key assignment is written
// in; 0 for a key the keypad does not know. Keypad digits (KeypadModifier) give
// 96..105, the navigation keys of the keypad with Num Lock off give the same codes as
// the plain navigation keys. Shift, Ctrl and Alt do not change the code.
int virtual_key(int qt_key, Qt::KeyboardModifiers modifiers);

// What a virtual-key code does in the keypad window.
struct KeypadAction {
    enum Kind {
        None,
        Mode,   // cmd_mode_Click(index)
        Output, // cmd_out_Click(index)
        Input,  // cmd_inp_Click(index)
        Mute,   // cmd_mute_Click
        Lock,   // cmd_lock_Click
        MenuUp,
        MenuDown,
        MenuLeft,
        MenuRight,
        MenuOk,
        MenuMenu,
        MenuExit,
    };
    Kind kind = None;
    int index = 0;      // mode, output or input number
    bool pause = false; // the arrow actions wait 0.05 s afterwards
};
KeypadAction keypad_action(int vk);

// Where the keypad window's outer frame goes: directly above the main window's outer
// frame, left edges aligned. A top above the screen's edge is not corrected.
QPoint keypad_position(const QRect &main_frame, int keypad_outer_height);

class frm_keypad : public QWidget {
    Q_OBJECT
public:
    explicit frm_keypad(AdminPanel *owner);
    ~frm_keypad() override;

    // The picture of the key assignment.
    PictureBox *img_keypad = nullptr;

    // Key down with its virtual-key code.
    void Form_KeyDown(int key_code);

    static constexpr int CLIENT_WIDTH = 353;
    static constexpr int CLIENT_HEIGHT = 112;

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void place_above_owner();
    void unload();
    QPointer<AdminPanel> owner_;
    bool unloaded_ = false;
    bool acting_ = false; // an action of this window (with its pause) is running
};
