// Audio: the audio EDID format, the audio side of each Dual pair, and mute.

#include <QCoreApplication>

#include "app/frm_main.h"
#include "protocol/command.h"

static QRadioButton *make_option(QWidget *parent, const QString &name, const QString &caption,
                                 QRect geometry) {
    auto *o = new QRadioButton(caption, parent);
    o->setObjectName(name);
    o->setGeometry(geometry);
    return o;
}

void frm_main::build_audio_controls() {
    opt_da[1] = make_option(fra_dual_a, QStringLiteral("opt_da_1"), QStringLiteral("Left"),
                            QRect(10, 18, 62, 20));
    opt_da[2] = make_option(fra_dual_a, QStringLiteral("opt_da_2"), QStringLiteral("Right"),
                            QRect(82, 18, 66, 20));
    opt_db[1] = make_option(fra_dual_b, QStringLiteral("opt_db_1"), QStringLiteral("Left"),
                            QRect(10, 18, 62, 20));
    opt_db[2] = make_option(fra_dual_b, QStringLiteral("opt_db_2"), QStringLiteral("Right"),
                            QRect(82, 18, 66, 20));
    for (int i = 1; i <= 2; ++i) {
        connect(opt_da[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) opt_da_Click(i);
        });
        connect(opt_db[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) opt_db_Click(i);
        });
    }

    // "2CH", "6CH", "8CH" above; "Bitstream" and "HD" below.
    static const char *const captions[5] = {"2CH", "6CH", "8CH", "Bitstream", "HD"};
    static const QRect places[5] = {QRect(6, 22, 48, 20), QRect(55, 22, 48, 20),
                                    QRect(104, 22, 48, 20), QRect(6, 54, 90, 20),
                                    QRect(104, 54, 48, 20)};
    for (int i = 0; i <= 4; ++i) {
        opt_audio[i] = make_option(fra_audio, QStringLiteral("opt_audio_%1").arg(i),
                                   QLatin1String(captions[i]), places[i]);
        connect(opt_audio[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) opt_audio_Click(i);
        });
    }
}

void frm_main::opt_audio_Click(int index) {
    if (!ui_ready) return;
    send_cmd(QStringLiteral("AUE") + pad3(index));
}

void frm_main::opt_da_Click(int index) {
    if (!ui_ready) return;
    send_cmd(QStringLiteral("AUA") + pad3(index));
}

void frm_main::opt_db_Click(int index) {
    if (!ui_ready) return;
    send_cmd(QStringLiteral("AUB") + pad3(index));
}

void frm_main::cmd_mute_Click() {
    // Acts whatever ui_ready is: a button, not a selection.
    if (audio_state == 1) {
        audio_state = 0;
        send_cmd(QStringLiteral("AUD000"));
    } else {
        audio_state = 1;
        send_cmd(QStringLiteral("AUD001"));
    }
}

// Selects the option a reply names, without sending. A digit that names no button of
// the group is ignored (our choice: never address a button outside the array).
template <std::size_t N>
static void select_reported(frm_main *f, std::array<QRadioButton *, N> &group, int first) {
    const int d = reply_value(f->rx_buffer, 1);
    if (d < first || d >= static_cast<int>(N) || !group[d]) return;
    f->ui_ready = FLAG_FALSE;
    group[d]->setChecked(true);
    QCoreApplication::processEvents();
    f->ui_ready = FLAG_TRUE;
}

void frm_main::rx_aua() { select_reported(this, opt_da, 1); }

void frm_main::rx_aub() { select_reported(this, opt_db, 1); }

void frm_main::rx_aue() { select_reported(this, opt_audio, 0); }

void frm_main::rx_aud() {
    const int d = reply_value(rx_buffer, 1);
    if (d < 0) return; // a short reply after a time-out carries no state
    audio_state = static_cast<qint16>(d);
    cmd_mute->load_picture(program_path(audio_state != 0 ? QStringLiteral("\\bmp\\speaker_on.bmp")
                                                         : QStringLiteral("\\bmp\\speaker_off.bmp")));
}
