// Bezel correction of the video wall: on/off and the horizontal and vertical amounts,
// with the upper bound of each amount learned from the device.

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "adjust/adjust_panel.h"
#include "protocol/command.h"
#include "protocol/display_mode.h"
#include "protocol/exchange.h"
#include "ui/panel_style.h"
#include "ui/ui_ready.h"

void AdjustPanel::build_bezel_controls() {
    opt_bezel_onoff[1] = new QRadioButton(QStringLiteral("On"), frames_.fra_bezel);
    opt_bezel_onoff[1]->setObjectName(QStringLiteral("opt_bezel_onoff_1"));
    opt_bezel_onoff[1]->setGeometry(12, 18, 60, 20);
    opt_bezel_onoff[0] = new QRadioButton(QStringLiteral("Off"), frames_.fra_bezel);
    opt_bezel_onoff[0]->setObjectName(QStringLiteral("opt_bezel_onoff_0"));
    opt_bezel_onoff[0]->setGeometry(84, 18, 60, 20);
    for (int i = 0; i <= 1; ++i)
        connect(opt_bezel_onoff[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) opt_bezel_onoff_Click(i);
        });

    lab_bezel_h = new QLabel(QStringLiteral("H Correction"), frames_.fra_bezel);
    lab_bezel_h->setObjectName(QStringLiteral("lab_bezel_h"));
    lab_bezel_h->setGeometry(6, 46, 80, 18);
    hsr_bezel_h =
        new HSlider(frames_.fra_bezel, QStringLiteral("hsr_bezel_h"), DeviceState::BEZEL_LIMIT);
    hsr_bezel_h->setGeometry(88, 46, 102, 18);
    txt_bezel_h = make_value_box(frames_.fra_bezel, QStringLiteral("txt_bezel_h"), hsr_bezel_h);
    txt_bezel_h->setReadOnly(true);

    lab_bezel_v = new QLabel(QStringLiteral("V Correction"), frames_.fra_bezel);
    lab_bezel_v->setObjectName(QStringLiteral("lab_bezel_v"));
    lab_bezel_v->setGeometry(6, 76, 80, 18);
    hsr_bezel_v =
        new HSlider(frames_.fra_bezel, QStringLiteral("hsr_bezel_v"), DeviceState::BEZEL_LIMIT);
    hsr_bezel_v->setGeometry(88, 76, 102, 18);
    txt_bezel_v = make_value_box(frames_.fra_bezel, QStringLiteral("txt_bezel_v"), hsr_bezel_v);
    txt_bezel_v->setReadOnly(true);

    connect(hsr_bezel_h, &QScrollBar::valueChanged, this, [this] { hsr_bezel_h_Change(); });
    connect(hsr_bezel_v, &QScrollBar::valueChanged, this, [this] { hsr_bezel_v_Change(); });
}

// The operator moved a bezel slider: show the amount and send it without waiting.
void AdjustPanel::bezel_slider_moved(HSlider *hsr, QLineEdit *txt, int direction) {
    if (!ui_.ui_ready()) return;
    const int v = hsr->value();
    txt->setText(QString::number(v));
    exchange_.send_cmd_nowait(bezel_amount_command(direction, v));
}

void AdjustPanel::hsr_bezel_h_Change() { bezel_slider_moved(hsr_bezel_h, txt_bezel_h, 0); }

void AdjustPanel::hsr_bezel_v_Change() { bezel_slider_moved(hsr_bezel_v, txt_bezel_v, 1); }

void AdjustPanel::opt_bezel_onoff_Click(int index) {
    if (!ui_.ui_ready()) return;
    exchange_.send_cmd(bezel_command(index == 1));
}

// A BEH/BEV reply: either the upper bound asked for by the refresh, or the amount.
void AdjustPanel::bezel_reply(bool horizontal, const Reply &r) {
    const bool bound = state_.bezel_max_pending();
    // A short reply after a time-out carries no value; one above the limit is ignored
    // entirely, so a pending bound query stays pending.
    if (!state_.apply(r)) return;
    HSlider *hsr = horizontal ? hsr_bezel_h : hsr_bezel_v;
    QuietControls quiet(ui_);
    if (bound) {
        // A bound below the present value pulls the slider down; nothing is sent because
        // ui_ready is clear, and the value box keeps its text.
        hsr->setMaximum(*(horizontal ? state_.bezel_max_h() : state_.bezel_max_v()));
    } else {
        const int v = *(horizontal ? state_.bezel_h() : state_.bezel_v());
        (horizontal ? txt_bezel_h : txt_bezel_v)->setText(QLatin1Char(' ') + QString::number(v));
        hsr->setValue(v);
    }
    quiet.pump();
}

void AdjustPanel::rx_beh(const Reply &r) { bezel_reply(true, r); }

void AdjustPanel::rx_bev(const Reply &r) { bezel_reply(false, r); }

void AdjustPanel::rx_bez(const Reply &r) {
    // Only 0 (Off) and 1 (On) name an option button; any other digit is ignored
    // (our choice: the reply changes nothing rather than addressing a missing button).
    if (!state_.apply(r)) return;
    QuietControls quiet(ui_);
    opt_bezel_onoff[*state_.bezel_on()]->setChecked(true);
    quiet.pump();
    const bool on = !opt_bezel_onoff[0]->isChecked();
    hsr_bezel_h->setEnabled(on);
    hsr_bezel_v->setEnabled(on);
}
