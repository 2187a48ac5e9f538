// Display modes: the three mode buttons, the mode change sequence and the panel
// layout that every MOD reply derives from the reported mode.

#include "app/frm_main.h"
#include "protocol/command.h"

namespace {

// Mode changes in progress: while one runs, a MOD reply leaves the mode buttons
// disabled, so the operator cannot start a second change during the re-read.
int mode_change_running = 0;

int last_digit(const QString &reply) { return reply.size() >= 6 ? reply_value(reply, 1) : -1; }

} // namespace

void frm_main::build_mode_controls() {
    const QString captions[4] = {QString(), QStringLiteral("Matrix"), QStringLiteral("Dual"),
                                 QStringLiteral("2X2")};
    // Above the first three routing columns (170, 246, 322; 73 wide), in the
    // band between the top of fra_btn and the output row at y 34.
    const int column_x[4] = {0, 170, 246, 322};
    for (int i = 1; i <= 3; ++i) {
        auto *b = new ColorButton(captions[i], fra_btn, QStringLiteral("cmd_mode_%1").arg(i));
        b->setFont(panel_font(QStringLiteral("Arial"), 12, true));
        b->setGeometry(column_x[i], 4, 73, 26);
        connect(b, &QPushButton::clicked, this, [this, i] { cmd_mode_Click(i); });
        cmd_mode[i] = b;
    }
}

void frm_main::cmd_mode_Click(int index) {
    if (index < 1 || index > 3) return;
    ++mode_change_running;
    for (int i = 1; i <= 3; ++i) {
        cmd_mode[i]->setBackColor(face());
        cmd_mode[i]->setEnabled(false);
    }
    for (int i = 1; i <= 4; ++i) {
        cmd_out[i]->setBackColor(face());
        cmd_recall[i]->setBackColor(face());
        cmd_save[i]->setBackColor(face());
    }

    send_cmd(QStringLiteral("MOD") + pad3(index));
    // The device may answer a mode change late: give it up to 5 s more.
    for (int i = 0; i < 10 && !reply_ok; ++i) wait_sec(0.5f);

    if (reply_ok) {
        if (index == 3) {
            // The wall is driven through output 1; no per-output map is read.
            send_cmd(QStringLiteral("OUT001"));
            if (reply_ok) send_cmd(QStringLiteral("INP999"));
            if (reply_ok) cmd_pic_refresh_Click();
        } else {
            map_refresh();
            if (reply_ok) cmd_pic_refresh_Click();
        }
    }
    if (index != 3) {
        cmd_out[cur_output]->setBackColor(selection_colour());
    } else {
        // The wall has no selectable output: the row ends blank on button face,
        // also after the OUT001 reply has marked output 1.
        for (int i = 1; i <= 4; ++i) cmd_out[i]->setBackColor(face());
    }

    --mode_change_running;
    for (int i = 1; i <= 3; ++i) cmd_mode[i]->setEnabled(true);
}

void frm_main::rx_mod() {
    // A digit that names no mode is ignored (our choice): layout and cur_mode unchanged.
    const int m = last_digit(rx_buffer);
    if (m < 1 || m > 3) return;
    cur_mode = static_cast<qint16>(m);

    for (int i = 1; i <= 3; ++i) cmd_mode[i]->setBackColor(face());
    cmd_mode[m]->setBackColor(selection_colour());

    fra_dual_a->setEnabled(false);
    fra_dual_b->setEnabled(false);
    fra_bezel->setEnabled(false);

    for (int out = 1; out <= 4; ++out)
        for (int in = 1; in <= 4; ++in) lines_of(out)[in]->setVisible(false);

    static const char *const out_captions[4][5] = {
        {},
        {"", "OUT1", "OUT2", "OUT3", "OUT4"},
        {"", "AL", "AR", "BL", "BR"},
        {"", "", "", "", ""},
    };
    static const char *const row_captions[4][5] = {
        {},
        {"", "ALL", "", "", ""},
        {"", "AL", "AR", "BL", "BR"},
        {"", "OUT 1", "OUT 2", "OUT 3", "OUT 4"},
    };
    for (int i = 1; i <= 4; ++i) {
        cmd_out[i]->setText(QLatin1String(out_captions[m][i]));
        if (m == 3) cmd_out[i]->setBackColor(face());
    }
    const bool on = power_state == 1;
    if (m == 2) {
        fra_dual_a->setEnabled(on);
        fra_dual_b->setEnabled(on);
    } else if (m == 3) {
        fra_bezel->setEnabled(on);
    }

    for (const char *mn : {"CON", "BRI", "SAT", "HUE"}) {
        const PictureFamily fam = picture_family(QLatin1String(mn));
        for (int row = 1; row <= 4; ++row) {
            (*fam.lab)[row]->setText(QLatin1String(row_captions[m][row]));
            if (row == 1) continue; // row 1 is live in every mode
            if (m == 1) {
                (*fam.txt)[row]->clear();
                (*fam.hsr)[row]->setEnabled(false);
            } else {
                (*fam.hsr)[row]->setEnabled(true);
            }
        }
    }

    if (mode_change_running == 0)
        for (int i = 1; i <= 3; ++i) cmd_mode[i]->setEnabled(true);
}
