// The on-screen menu remote (a 3 x 3 block of picture buttons) and the keypad window.

#include <QPainter>
#include <QPainterPath>

#include "admin/frm_keypad.h"
#include "app/frm_main.h"

namespace {

enum class Art { Speaker, Up, Down, Left, Right, Word };

// Built-in picture of a remote button (the window's own artwork).
QPixmap remote_picture(Art art, const QString &word = QString()) {
    QPixmap pm(40, 26);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 30, 30));
    const QPointF c(20, 13);
    switch (art) {
    case Art::Speaker: {
        QPainterPath body;
        body.moveTo(9, 9);
        body.lineTo(14, 9);
        body.lineTo(21, 3);
        body.lineTo(21, 23);
        body.lineTo(14, 17);
        body.lineTo(9, 17);
        body.closeSubpath();
        p.drawPath(body);
        p.setPen(QPen(QColor(30, 30, 30), 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(19, 7, 8, 12), -50 * 16, 100 * 16);
        p.drawArc(QRectF(19, 3, 14, 20), -50 * 16, 100 * 16);
        break;
    }
    case Art::Up:
    case Art::Down:
    case Art::Left:
    case Art::Right: {
        // One arrow pointing up, turned for the other directions.
        const int turn = art == Art::Up ? 0 : art == Art::Right ? 90 : art == Art::Down ? 180 : 270;
        p.translate(c);
        p.rotate(turn);
        QPolygonF arrow;
        arrow << QPointF(0, -11) << QPointF(9, -1) << QPointF(4, -1) << QPointF(4, 10)
              << QPointF(-4, 10) << QPointF(-4, -1) << QPointF(-9, -1);
        p.drawPolygon(arrow);
        break;
    }
    case Art::Word: {
        QFont f(QStringLiteral("Arial"));
        f.setPixelSize(13);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(30, 30, 30));
        p.drawText(pm.rect(), Qt::AlignCenter, word);
        break;
    }
    }
    return pm;
}

} // namespace

void frm_main::build_remote_controls() {
    // Laid out like a numeric keypad at the left end of fra_btn, below img_start.
    auto make = [this](ColorButton *&button, const char *name, int col, int row,
                       const QPixmap &picture) {
        button = new ColorButton(QString(), fra_btn, QLatin1String(name));
        button->setGeometry(6 + 50 * col, 36 + 36 * row, 46, 32);
        button->set_builtin_picture(picture);
    };
    make(cmd_mute, "cmd_mute", 0, 0, remote_picture(Art::Speaker));
    make(cmd_menu_up, "cmd_menu_up", 1, 0, remote_picture(Art::Up));
    make(cmd_lock, "cmd_lock", 2, 0, remote_picture(Art::Word, QStringLiteral("Lock")));
    make(cmd_menu_left, "cmd_menu_left", 0, 1, remote_picture(Art::Left));
    make(cmd_menu_ok, "cmd_menu_ok", 1, 1, remote_picture(Art::Word, QStringLiteral("OK")));
    make(cmd_menu_right, "cmd_menu_right", 2, 1, remote_picture(Art::Right));
    make(cmd_menu_exit, "cmd_menu_exit", 0, 2, remote_picture(Art::Word, QStringLiteral("Exit")));
    make(cmd_menu_down, "cmd_menu_down", 1, 2, remote_picture(Art::Down));
    make(cmd_menu_menu, "cmd_menu_menu", 2, 2, remote_picture(Art::Word, QStringLiteral("Menu")));

    connect(cmd_mute, &QPushButton::clicked, this, &frm_main::cmd_mute_Click);
    connect(cmd_lock, &QPushButton::clicked, this, &frm_main::cmd_lock_Click);
    connect(cmd_menu_up, &QPushButton::clicked, this, &frm_main::cmd_menu_up_Click);
    connect(cmd_menu_down, &QPushButton::clicked, this, &frm_main::cmd_menu_down_Click);
    connect(cmd_menu_left, &QPushButton::clicked, this, &frm_main::cmd_menu_left_Click);
    connect(cmd_menu_right, &QPushButton::clicked, this, &frm_main::cmd_menu_right_Click);
    connect(cmd_menu_ok, &QPushButton::clicked, this, &frm_main::cmd_menu_ok_Click);
    connect(cmd_menu_menu, &QPushButton::clicked, this, &frm_main::cmd_menu_menu_Click);
    connect(cmd_menu_exit, &QPushButton::clicked, this, &frm_main::cmd_menu_exit_Click);
}

// The menu keys: one fixed command each; the reply has no handler.
void frm_main::cmd_menu_up_Click() { send_cmd(QStringLiteral("MNU001")); }
void frm_main::cmd_menu_down_Click() { send_cmd(QStringLiteral("MND001")); }
void frm_main::cmd_menu_left_Click() { send_cmd(QStringLiteral("MNL001")); }
void frm_main::cmd_menu_right_Click() { send_cmd(QStringLiteral("MNR001")); }
void frm_main::cmd_menu_ok_Click() { send_cmd(QStringLiteral("MNO001")); }
void frm_main::cmd_menu_menu_Click() { send_cmd(QStringLiteral("MNX001")); }
void frm_main::cmd_menu_exit_Click() { send_cmd(QStringLiteral("MNE001")); }

void frm_main::cmd_keypad_Click() {
    if (keypad_open) {
        if (keypad)
            keypad->close();
        else
            keypad_open = FLAG_FALSE;
        return;
    }
    // Created anew at every opening, so it is placed above the main window again.
    auto *k = new frm_keypad(this);
    keypad = k;
    k->show();
    k->activateWindow();
    k->setFocus();
}

void frm_main::keypad_closed() {
    keypad_open = FLAG_FALSE;
    keypad.clear();
}
