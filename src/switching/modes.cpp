// Display modes: the three mode buttons, the mode change sequence and the panel
// layout that every MOD reply derives from the reported mode.

#include "adjust/adjust_panel.h"
#include "admin/admin_panel.h"
#include "interface/link_panel.h"
#include "protocol/command.h"
#include "protocol/display_mode.h"
#include "protocol/exchange.h"
#include "protocol/reply_kinds.h"
#include "switching/switching_panel.h"
#include "ui/panel_style.h"

void SwitchingPanel::build_mode_controls() {
    const QString captions[4] = {QString(), QStringLiteral("Matrix"), QStringLiteral("Dual"),
                                 QStringLiteral("2X2")};
    // Above the first three routing columns (170, 246, 322; 73 wide), in the
    // band between the top of fra_btn and the output row at y 34.
    const int column_x[4] = {0, 170, 246, 322};
    for (int i = 1; i <= 3; ++i) {
        auto *b =
            new ColorButton(captions[i], frames_.fra_btn, QStringLiteral("cmd_mode_%1").arg(i));
        b->setFont(panel_font(QStringLiteral("Arial"), 12, true));
        b->setGeometry(column_x[i], 4, 73, 26);
        connect(b, &QPushButton::clicked, this, [this, i] { cmd_mode_Click(i); });
        cmd_mode[i] = b;
    }
}

void SwitchingPanel::cmd_mode_Click(int index) {
    if (index < 1 || index > 3) return;
    ++mode_change_running_;
    for (int i = 1; i <= 3; ++i) {
        cmd_mode[i]->setBackColor(PanelStyle::face());
        cmd_mode[i]->setEnabled(false);
    }
    for (int i = 1; i <= 4; ++i) {
        cmd_out[i]->setBackColor(PanelStyle::face());
        cmd_recall[i]->setBackColor(PanelStyle::face());
        cmd_save[i]->setBackColor(PanelStyle::face());
    }

    exchange_.send_cmd(mode_command(static_cast<DisplayMode>(index)));
    // The device may answer a mode change late: give it up to 5 s more.
    for (int i = 0; i < 10 && !exchange_.reply_ok(); ++i) exchange_.wait_sec(0.5f);

    if (exchange_.reply_ok()) {
        if (index == 3) {
            // The wall is driven through output 1; no per-output map is read.
            exchange_.send_cmd(select_output(1));
            if (exchange_.reply_ok()) exchange_.send_cmd(input_query());
            if (exchange_.reply_ok()) adjust_.cmd_pic_refresh_Click();
        } else {
            map_refresh();
            if (exchange_.reply_ok()) adjust_.cmd_pic_refresh_Click();
        }
    }
    if (index != 3) {
        cmd_out[cur_output()]->setBackColor(PanelStyle::selection_colour());
    } else {
        // The wall has no selectable output: the row ends blank on button face,
        // also after the OUT001 reply has marked output 1.
        for (int i = 1; i <= 4; ++i) cmd_out[i]->setBackColor(PanelStyle::face());
    }

    --mode_change_running_;
    for (int i = 1; i <= 3; ++i) cmd_mode[i]->setEnabled(true);
}

void SwitchingPanel::rx_mod(const Reply &r) {
    // A digit that names no mode is ignored (our choice): layout and cur_mode unchanged.
    if (!state_.apply(r)) return;
    const int m = mode_digit();

    for (int i = 1; i <= 3; ++i) cmd_mode[i]->setBackColor(PanelStyle::face());
    cmd_mode[m]->setBackColor(PanelStyle::selection_colour());

    frames_.fra_dual_a->setEnabled(false);
    frames_.fra_dual_b->setEnabled(false);
    frames_.fra_bezel->setEnabled(false);

    for (int out = 1; out <= 4; ++out)
        for (int in = 1; in <= 4; ++in) lines_of(out)[in]->setVisible(false);

    for (int i = 1; i <= 4; ++i) {
        cmd_out[i]->setText(output_caption(DisplayMode(m), i));
        if (m == 3) cmd_out[i]->setBackColor(PanelStyle::face());
    }
    const bool on = state_.power() == 1;
    if (m == 2) {
        frames_.fra_dual_a->setEnabled(on);
        frames_.fra_dual_b->setEnabled(on);
    } else if (m == 3) {
        frames_.fra_bezel->setEnabled(on);
    }

    adjust_.show_mode_rows(m);

    if (mode_change_running_ == 0)
        for (int i = 1; i <= 3; ++i) cmd_mode[i]->setEnabled(true);
}
