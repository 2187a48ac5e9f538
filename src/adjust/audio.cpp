// Audio: the audio EDID format, the audio side of each Dual pair, and mute.

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "adjust/adjust_panel.h"
#include "protocol/command.h"
#include "protocol/display_mode.h"
#include "protocol/exchange.h"
#include "ui/panel_style.h"
#include "ui/ui_ready.h"

static QRadioButton *make_option(QWidget *parent, const QString &name, const QString &caption,
                                 QRect geometry) {
    auto *o = new QRadioButton(caption, parent);
    o->setObjectName(name);
    o->setGeometry(geometry);
    return o;
}

void AdjustPanel::build_audio_controls() {
    opt_da[1] = make_option(frames_.fra_dual_a, QStringLiteral("opt_da_1"), QStringLiteral("Left"),
                            QRect(10, 18, 62, 20));
    opt_da[2] = make_option(frames_.fra_dual_a, QStringLiteral("opt_da_2"), QStringLiteral("Right"),
                            QRect(82, 18, 66, 20));
    opt_db[1] = make_option(frames_.fra_dual_b, QStringLiteral("opt_db_1"), QStringLiteral("Left"),
                            QRect(10, 18, 62, 20));
    opt_db[2] = make_option(frames_.fra_dual_b, QStringLiteral("opt_db_2"), QStringLiteral("Right"),
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
        opt_audio[i] = make_option(frames_.fra_audio, QStringLiteral("opt_audio_%1").arg(i),
                                   QLatin1String(captions[i]), places[i]);
        connect(opt_audio[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) opt_audio_Click(i);
        });
    }
}

void AdjustPanel::opt_audio_Click(int index) {
    if (!ui_.ui_ready()) return;
    exchange_.send_cmd(audio_edid_command(index));
}

void AdjustPanel::opt_da_Click(int index) {
    if (!ui_.ui_ready()) return;
    exchange_.send_cmd(dual_audio_command(false, index));
}

void AdjustPanel::opt_db_Click(int index) {
    if (!ui_.ui_ready()) return;
    exchange_.send_cmd(dual_audio_command(true, index));
}

void AdjustPanel::cmd_mute_Click() {
    // Acts whatever ui_ready is: a button, not a selection.
    if (state_.audio_on() == 1) {
        state_.assume(Mnemonic::AUD, 0);
        exchange_.send_cmd(audio_command(false));
    } else {
        state_.assume(Mnemonic::AUD, 1);
        exchange_.send_cmd(audio_command(true));
    }
}

// Selects the option the state names, without sending. The state takes only digits that
// name a button of the group (our choice: never address a button outside the array).
template <std::size_t N>
void AdjustPanel::select_reported(std::array<QRadioButton *, N> &group, std::optional<int> d) {
    if (!d || *d < 0 || *d >= static_cast<int>(N) || !group[*d]) return;
    QuietControls quiet(ui_);
    group[*d]->setChecked(true);
    quiet.pump();
}

void AdjustPanel::rx_aua(const Reply &r) {
    if (state_.apply(r)) select_reported(opt_da, state_.dual_a());
}

void AdjustPanel::rx_aub(const Reply &r) {
    if (state_.apply(r)) select_reported(opt_db, state_.dual_b());
}

void AdjustPanel::rx_aue(const Reply &r) {
    if (state_.apply(r)) select_reported(opt_audio, state_.edid());
}

void AdjustPanel::rx_aud(const Reply &r) {
    if (!state_.apply(r)) return; // a short reply after a time-out carries no state
    cmd_mute->load_picture(host_.program_path(state_.audio_on() != 0
                                                  ? QStringLiteral("\\bmp\\speaker_on.bmp")
                                                  : QStringLiteral("\\bmp\\speaker_off.bmp")));
}

void AdjustPanel::show_speaker_on() {
    cmd_mute->load_picture(host_.program_path(QStringLiteral("\\bmp\\speaker_on.bmp")));
}

void AdjustPanel::build_mute_control() {
    // The top-left key of the menu remote's 3 x 3 block in fra_btn (its keys are 48 x 34,
    // 50 and 36 apart), made just before the block.
    cmd_mute = new ColorButton(QString(), frames_.fra_btn, QStringLiteral("cmd_mute"));
    cmd_mute->setGeometry(5, 35, 48, 34);
    cmd_mute->set_builtin_picture(
        QPixmap(host_.program_path(QStringLiteral("\\bmp\\remote_speaker.bmp"))));
    connect(cmd_mute, &QPushButton::clicked, this, &AdjustPanel::cmd_mute_Click);
}
