// Presets: save and recall buttons, and the replies that mark the confirmed preset.

#include "app/frm_main.h"
#include "protocol/command.h"

namespace {

int last_digit(const QString &reply) { return reply.size() >= 6 ? reply_value(reply, 1) : -1; }

// Marks preset n of a row as confirmed; other digits are ignored (our choice).
void mark_preset(std::array<ColorButton *, 5> &row, int n) {
    if (n < 1 || n > 4) return;
    for (int i = 1; i <= 4; ++i) row[i]->setBackColor(frm_main::face());
    row[n]->setBackColor(frm_main::selection_colour());
}

void set_row_enabled(std::array<ColorButton *, 5> &row, bool on) {
    for (int i = 1; i <= 4; ++i) row[i]->setEnabled(on);
}

} // namespace

void frm_main::build_preset_controls() {
    const QFont font = panel_font(QStringLiteral("Arial"), 9.75);
    // Eight buttons in one row: Recall 1..4, then Save 1..4.
    const int width = 55, gap = 3, left = 6, top = 26, height = 34;
    for (int n = 1; n <= 4; ++n) {
        auto *r = new ColorButton(QStringLiteral("Recall %1").arg(n), fra_recall_save,
                                  QStringLiteral("cmd_recall_%1").arg(n));
        r->setFont(font);
        r->setGeometry(left + (n - 1) * (width + gap), top, width, height);
        connect(r, &QPushButton::clicked, this, [this, n] { cmd_recall_Click(n); });
        cmd_recall[n] = r;

        auto *s = new ColorButton(QStringLiteral("Save %1").arg(n), fra_recall_save,
                                  QStringLiteral("cmd_save_%1").arg(n));
        s->setFont(font);
        s->setGeometry(left + (n + 3) * (width + gap), top, width, height);
        connect(s, &QPushButton::clicked, this, [this, n] { cmd_save_Click(n); });
        cmd_save[n] = s;
    }
}

void frm_main::cmd_save_Click(int index) {
    if (index < 1 || index > 4) return;
    for (int i = 1; i <= 4; ++i) cmd_save[i]->setBackColor(face());
    set_row_enabled(cmd_save, false);
    send_cmd(QStringLiteral("SAV") + pad3(index));
    // Storing may take the device a while: wait up to 5 s more for a late reply.
    for (int i = 0; i < 10 && !reply_ok; ++i) wait_sec(0.5f);
    set_row_enabled(cmd_save, true);
}

void frm_main::cmd_recall_Click(int index) {
    if (index < 1 || index > 4) return;
    for (int i = 1; i <= 4; ++i) cmd_recall[i]->setBackColor(face());
    set_row_enabled(cmd_recall, false);
    send_cmd(QStringLiteral("CAL") + pad3(index));
    for (int i = 0; i < 10 && !reply_ok; ++i) wait_sec(0.5f);
    // The recalled preset changed the routing: read the map again.
    if (reply_ok) map_refresh();
    set_row_enabled(cmd_recall, true);
}

void frm_main::rx_sav() { mark_preset(cmd_save, last_digit(rx_buffer)); }

void frm_main::rx_cal() { mark_preset(cmd_recall, last_digit(rx_buffer)); }
