// Picture adjustment: brightness, contrast, hue and saturation. The four
// parameters behave alike, so one implementation serves all of them through
// their PictureFamily.

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "adjust/adjust_panel.h"
#include "protocol/command.h"
#include "protocol/display_mode.h"
#include "protocol/exchange.h"
#include "protocol/reply_kinds.h"
#include "protocol/status_read.h"
#include "ui/panel_style.h"
#include "ui/ui_ready.h"

AdjustPanel::AdjustPanel(Exchange &exchange, UiReady &ui, DeviceState &state, PanelHost &host,
                         const PanelFrames &frames)
    : exchange_(exchange), ui_(ui), state_(state), host_(host), frames_(frames) {
    const std::pair<Mnemonic, void (AdjustPanel::*)(const Reply &)> handlers[] = {
        {Mnemonic::AUA, &AdjustPanel::rx_aua}, {Mnemonic::AUB, &AdjustPanel::rx_aub},
        {Mnemonic::AUD, &AdjustPanel::rx_aud}, {Mnemonic::AUE, &AdjustPanel::rx_aue},
        {Mnemonic::BEH, &AdjustPanel::rx_beh}, {Mnemonic::BEV, &AdjustPanel::rx_bev},
        {Mnemonic::BEZ, &AdjustPanel::rx_bez}, {Mnemonic::BRI, &AdjustPanel::rx_bri},
        {Mnemonic::CON, &AdjustPanel::rx_con}, {Mnemonic::HUE, &AdjustPanel::rx_hue},
        {Mnemonic::RES, &AdjustPanel::rx_res}, {Mnemonic::SAT, &AdjustPanel::rx_sat}};
    for (const auto &[m, rx] : handlers)
        exchange_.set_handler(m, [this, rx = rx](const Reply &r) { (this->*rx)(r); });
}

PictureFamily AdjustPanel::picture_family(PictureParam p) {
    switch (p) {
    case PictureParam::Con: return {p, frames_.fra_con, &lab_con, &hsr_con, &txt_con};
    case PictureParam::Hue: return {p, frames_.fra_hue, &lab_hue, &hsr_hue, &txt_hue};
    case PictureParam::Sat: return {p, frames_.fra_sat, &lab_sat, &hsr_sat, &txt_sat};
    case PictureParam::Bri: break;
    }
    return {p, frames_.fra_bri, &lab_bri, &hsr_bri, &txt_bri};
}

void AdjustPanel::build_picture_controls() {
    const QString prefixes[4] = {QStringLiteral("con"), QStringLiteral("bri"),
                                 QStringLiteral("sat"), QStringLiteral("hue")};
    using Change = void (AdjustPanel::*)(int);
    const Change changes[4] = {&AdjustPanel::hsr_con_Change, &AdjustPanel::hsr_bri_Change,
                               &AdjustPanel::hsr_sat_Change, &AdjustPanel::hsr_hue_Change};
    for (int f = 0; f < 4; ++f) {
        const PictureFamily fam = picture_family(static_cast<PictureParam>(f));
        const Change change = changes[f];
        for (int row = 1; row <= 4; ++row) {
            const int y = 20 + (row - 1) * 26;
            auto *lab = new QLabel(picture_row_caption(DisplayMode::Wall, row), fam.fra);
            lab->setObjectName(QStringLiteral("lab_%1_%2").arg(prefixes[f]).arg(row));
            lab->setAlignment(Qt::AlignCenter);
            lab->setGeometry(1, y, 37, 20);
            (*fam.lab)[row] = lab;

            auto *hsr =
                new HSlider(fam.fra, QStringLiteral("hsr_%1_%2").arg(prefixes[f]).arg(row), 100);
            hsr->setGeometry(38, y + 1, 72, 18);
            connect(hsr, &QScrollBar::valueChanged, this,
                    [this, change, row](int) { (this->*change)(row); });
            (*fam.hsr)[row] = hsr;

            (*fam.txt)[row] =
                make_value_box(fam.fra, QStringLiteral("txt_%1_%2").arg(prefixes[f]).arg(row), hsr);
        }
    }

    lab_pic = new QLabel(QStringLiteral("Picture"), frames_.fra_pic);
    lab_pic->setObjectName(QStringLiteral("lab_pic"));
    lab_pic->setStyleSheet(QStringLiteral("color: rgb(255, 255, 255);"));
    lab_pic->setFont(panel_font(QStringLiteral("Arial"), 12, true));
    lab_pic->setGeometry(190, 150, 80, 24);
    lab_pic->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    cmd_pic_reset = new QPushButton(QStringLiteral("Reset"), frames_.fra_pic);
    cmd_pic_reset->setObjectName(QStringLiteral("cmd_pic_reset"));
    cmd_pic_reset->setGeometry(280, 148, 86, 28);
    connect(cmd_pic_reset, &QPushButton::clicked, this, &AdjustPanel::cmd_pic_reset_Click);

    cmd_pic_refresh = new QPushButton(QStringLiteral("Refresh"), frames_.fra_pic);
    cmd_pic_refresh->setObjectName(QStringLiteral("cmd_pic_refresh"));
    cmd_pic_refresh->setGeometry(372, 148, 86, 28);
    connect(cmd_pic_refresh, &QPushButton::clicked, this, &AdjustPanel::cmd_pic_refresh_Click);
}

// ---- one implementation for the four families

void AdjustPanel::picture_change(PictureParam p, int row) {
    if (!ui_.ui_ready()) return;
    if (row < 1 || row > 4) return;
    const PictureFamily fam = picture_family(p);
    const int v = (*fam.hsr)[row]->value();
    (*fam.txt)[row]->setText(QString::number(v));
    exchange_.send_cmd_nowait(picture_command(static_cast<int>(p), row, v, state_.display_mode()));
}

void AdjustPanel::picture_reply(PictureParam p, const Reply &r) {
    const PictureFamily fam = picture_family(p);
    const DeviceState::Applied a = state_.apply(r);
    QuietControls quiet(ui_);
    // Values that fit no slider or name no row are ignored (our choice): a level
    // above 100, or a packed row beyond 4.
    if (a) {
        const int level = *state_.picture(p, a.index);
        (*fam.txt)[a.index]->setText(QLatin1Char(' ') + QString::number(level));
        (*fam.hsr)[a.index]->setValue(level);
    }
    quiet.pump();
}

void AdjustPanel::hsr_bri_Change(int index) { picture_change(PictureParam::Bri, index); }
void AdjustPanel::hsr_con_Change(int index) { picture_change(PictureParam::Con, index); }
void AdjustPanel::hsr_hue_Change(int index) { picture_change(PictureParam::Hue, index); }
void AdjustPanel::hsr_sat_Change(int index) { picture_change(PictureParam::Sat, index); }

void AdjustPanel::rx_bri(const Reply &r) { picture_reply(PictureParam::Bri, r); }
void AdjustPanel::rx_con(const Reply &r) { picture_reply(PictureParam::Con, r); }
void AdjustPanel::rx_hue(const Reply &r) { picture_reply(PictureParam::Hue, r); }
void AdjustPanel::rx_sat(const Reply &r) { picture_reply(PictureParam::Sat, r); }

void AdjustPanel::cmd_pic_refresh_Click() {
    read_pictures(state_.display_mode(), [this](const QString &cmd, ReadStep step) {
        exchange_.send_cmd(cmd);
        return exchange_.reply_ok() || step == ReadStep::MayFail;
    });
}

void AdjustPanel::cmd_pic_reset_Click() {
    // The device's acknowledgement (rx_rst) sets the panel to the defaults.
    exchange_.send_cmd(picture_reset_command());
}

void AdjustPanel::show_mode_rows(int m) {
    for (PictureParam p :
         {PictureParam::Con, PictureParam::Bri, PictureParam::Sat, PictureParam::Hue}) {
        const PictureFamily fam = picture_family(p);
        for (int row = 1; row <= 4; ++row) {
            (*fam.lab)[row]->setText(picture_row_caption(DisplayMode(m), row));
            if (row == 1) continue; // row 1 is live in every mode
            if (m == 1) {
                (*fam.txt)[row]->clear();
                (*fam.hsr)[row]->setEnabled(false);
            } else {
                (*fam.hsr)[row]->setEnabled(true);
            }
        }
    }
}

void AdjustPanel::show_picture_defaults() {
    // Set locally, nothing is sent back.
    QuietControls quiet(ui_);
    const int rows = (state_.display_mode() == DisplayMode::Matrix) ? 1 : 4;
    for (PictureParam p :
         {PictureParam::Bri, PictureParam::Con, PictureParam::Hue, PictureParam::Sat}) {
        const PictureFamily fam = picture_family(p);
        for (int row = 1; row <= rows; ++row) {
            const int level = state_.picture(p, row).value_or(DeviceState::PICTURE_DEFAULT);
            (*fam.txt)[row]->setText(QString::number(level));
            (*fam.hsr)[row]->setValue(level);
        }
    }
    quiet.pump();
}
