// Power, front-panel lock, factory reset and firmware version.

#include <QCoreApplication>
#include <QPixmap>

#include "app/frm_main.h"
#include "protocol/command.h"

namespace {

int last_digit(const QString &reply) { return reply.size() >= 6 ? reply_value(reply, 1) : -1; }

} // namespace

void frm_main::build_power_controls() {
    cmd_pwr = new ColorButton(QString(), this, QStringLiteral("cmd_pwr"));
    cmd_pwr->setGeometry(4, 40, 72, 68);
    cmd_pwr->setBackColor(grey_colour());
    cmd_pwr->set_builtin_picture(QPixmap(program_path(QStringLiteral("\\bmp\\power.bmp"))));
    connect(cmd_pwr, &QPushButton::clicked, this, &frm_main::cmd_pwr_Click);

    cmd_fact_reset = new QPushButton(QStringLiteral("Factory Reset"), this);
    cmd_fact_reset->setObjectName(QStringLiteral("cmd_fact_reset"));
    cmd_fact_reset->setGeometry(162, 274, 100, 28);
    connect(cmd_fact_reset, &QPushButton::clicked, this, &frm_main::cmd_fact_reset_Click);

    cmd_ver = new ColorButton(QStringLiteral("F/W Ver"), this, QStringLiteral("cmd_ver"));
    cmd_ver->setGeometry(162, 308, 64, 28);
    cmd_ver->setBackColor(grey_colour());
    connect(cmd_ver, &QPushButton::clicked, this, &frm_main::cmd_ver_Click);

    txt_ver = new QLineEdit(this);
    txt_ver->setObjectName(QStringLiteral("txt_ver"));
    txt_ver->setGeometry(232, 310, 60, 24);
    txt_ver->setReadOnly(true);
    txt_ver->setAlignment(Qt::AlignCenter);
}

void frm_main::cmd_pwr_Click() {
    cmd_pwr->load_picture(program_path(QStringLiteral("\\bmp\\power_none.bmp")));
    if (power_state == 1) {
        power_state = 0;
        send_cmd(QStringLiteral("PWR000"));
    } else {
        // Held until the device reports it is on: a second press cannot
        // interrupt the power-up.
        power_state = 1;
        cmd_pwr->setEnabled(false);
        send_cmd(QStringLiteral("PWR001"));
        cmd_mute->load_picture(program_path(QStringLiteral("\\bmp\\speaker_on.bmp")));
    }
}

void frm_main::cmd_lock_Click() {
    if (lock_state == 1) {
        lock_state = 0;
        send_cmd(QStringLiteral("LCK000"));
    } else {
        lock_state = 1;
        send_cmd(QStringLiteral("LCK001"));
    }
}

void frm_main::cmd_fact_reset_Click() {
    // Disabled only when the command can really go out: a closed link would
    // leave nothing to enable it again.
    const bool link_up = (link_type == 1 && eth_connected) || (link_type == 0 && serial_open);
    if (link_up) cmd_fact_reset->setEnabled(false);
    send_cmd(QStringLiteral("RST001"));
}

void frm_main::cmd_ver_Click() { send_cmd(QStringLiteral("VER999")); }

void frm_main::rx_pwr() {
    const int v = last_digit(rx_buffer);
    if (v < 0) return;
    power_state = static_cast<qint16>(v);
    cmd_fact_reset->setEnabled(true);
    QWidget *const frames[7] = {fra_btn,   fra_recall_save, fra_dual_a, fra_dual_b,
                                fra_bezel, fra_pic,         fra_audio};
    if (power_state != 0) {
        cmd_pwr->load_picture(program_path(QStringLiteral("\\bmp\\power_on.bmp")));
        for (QWidget *w : frames) w->setEnabled(true);
        cmd_pwr->setEnabled(true);
    } else {
        cmd_pwr->load_picture(program_path(QStringLiteral("\\bmp\\power_standby.bmp")));
        for (QWidget *w : frames) w->setEnabled(false);
        // A device reported in standby must be switchable on again, also when an
        // earlier PWR001 never reached it and left the button disabled.
        cmd_pwr->setEnabled(true);
    }
}

void frm_main::rx_lck() {
    const int v = last_digit(rx_buffer);
    if (v < 0) return;
    lock_state = static_cast<qint16>(v);
    cmd_lock->load_picture(program_path(v != 0 ? QStringLiteral("\\bmp\\lock.bmp")
                                               : QStringLiteral("\\bmp\\unlock.bmp")));
}

void frm_main::rx_rst() {
    const int v = last_digit(rx_buffer);
    if (v == 1) {
        cmd_fact_reset->setEnabled(true);
    } else if (v == 2) {
        // Picture defaults after "RST002": set locally, nothing is sent back.
        ui_ready = FLAG_FALSE;
        const int rows = (cur_mode == 1) ? 1 : 4;
        for (const char *mn : {"BRI", "CON", "HUE", "SAT"}) {
            const PictureFamily fam = picture_family(QLatin1String(mn));
            for (int row = 1; row <= rows; ++row) {
                (*fam.txt)[row]->setText(QStringLiteral("50"));
                (*fam.hsr)[row]->setValue(50);
            }
        }
        QCoreApplication::processEvents();
        ui_ready = FLAG_TRUE;
    }
}

void frm_main::rx_ver() {
    if (rx_buffer.size() < 6 || reply_value(rx_buffer, 3) < 0) return;
    txt_ver->setText(rx_buffer.mid(3, 1) + QLatin1Char('.') + rx_buffer.right(2));
}
