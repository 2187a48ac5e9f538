// Presets: save and recall buttons, and the replies that mark the confirmed preset.

#include "adjust/adjust_panel.h"
#include "admin/admin_panel.h"
#include "interface/link_panel.h"
#include "protocol/command.h"
#include "protocol/display_mode.h"
#include "protocol/exchange.h"
#include "switching/switching_panel.h"
#include "ui/panel_style.h"

namespace {

// Marks preset n of a row as confirmed; other digits are ignored (our choice).
void mark_preset(std::array<ColorButton *, 5> &row, int n) {
    if (n < 1 || n > 4) return;
    for (int i = 1; i <= 4; ++i) row[i]->setBackColor(PanelStyle::face());
    row[n]->setBackColor(PanelStyle::selection_colour());
}

void set_row_enabled(std::array<ColorButton *, 5> &row, bool on) {
    for (int i = 1; i <= 4; ++i) row[i]->setEnabled(on);
}

} // namespace

void SwitchingPanel::build_preset_controls() {
    const QFont font = panel_font(QStringLiteral("Arial"), 9.75);
    // Eight buttons in one row: Recall 1..4, then Save 1..4.
    const int width = 55, gap = 3, left = 6, top = 26, height = 34;
    for (int n = 1; n <= 4; ++n) {
        auto *r = new ColorButton(QStringLiteral("Recall %1").arg(n), frames_.fra_recall_save,
                                  QStringLiteral("cmd_recall_%1").arg(n));
        r->setFont(font);
        r->setGeometry(left + (n - 1) * (width + gap), top, width, height);
        connect(r, &QPushButton::clicked, this, [this, n] { cmd_recall_Click(n); });
        cmd_recall[n] = r;

        auto *s = new ColorButton(QStringLiteral("Save %1").arg(n), frames_.fra_recall_save,
                                  QStringLiteral("cmd_save_%1").arg(n));
        s->setFont(font);
        s->setGeometry(left + (n + 3) * (width + gap), top, width, height);
        connect(s, &QPushButton::clicked, this, [this, n] { cmd_save_Click(n); });
        cmd_save[n] = s;
    }
}

void SwitchingPanel::cmd_save_Click(int index) {
    if (index < 1 || index > 4) return;
    for (int i = 1; i <= 4; ++i) cmd_save[i]->setBackColor(PanelStyle::face());
    set_row_enabled(cmd_save, false);
    exchange_.send_cmd(preset_save_command(index));
    // Storing may take the device a while: wait up to 5 s more for a late reply.
    for (int i = 0; i < 10 && !exchange_.reply_ok(); ++i) exchange_.wait_sec(0.5f);
    set_row_enabled(cmd_save, true);
}

void SwitchingPanel::cmd_recall_Click(int index) {
    if (index < 1 || index > 4) return;
    for (int i = 1; i <= 4; ++i) cmd_recall[i]->setBackColor(PanelStyle::face());
    set_row_enabled(cmd_recall, false);
    exchange_.send_cmd(preset_recall_command(index));
    for (int i = 0; i < 10 && !exchange_.reply_ok(); ++i) exchange_.wait_sec(0.5f);
    // The recalled preset changed the routing: read the map again.
    if (exchange_.reply_ok()) map_refresh();
    set_row_enabled(cmd_recall, true);
}

void SwitchingPanel::rx_sav(const Reply &r) {
    if (const DeviceState::Applied a = state_.apply(r)) mark_preset(cmd_save, a.index);
}

void SwitchingPanel::rx_cal(const Reply &r) {
    if (const DeviceState::Applied a = state_.apply(r)) mark_preset(cmd_recall, a.index);
}
