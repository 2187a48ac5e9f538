// Picture adjustment: brightness, contrast, hue and saturation. The four
// parameters behave alike, so one implementation serves all of them through
// their PictureFamily.

#include <QCoreApplication>

#include "app/frm_main.h"
#include "protocol/command.h"

namespace {

// Query order of the read-back (not the left-to-right order of the frames).
const char *const QUERY_ORDER[4] = {"BRI", "CON", "HUE", "SAT"};

// The three value digits of a complete reply; -1 for a reply cut short.
int reply_level(const QString &reply) { return reply.size() >= 6 ? reply_value(reply, 3) : -1; }

} // namespace

PictureFamily frm_main::picture_family(const QString &mnemonic) {
    if (mnemonic == QLatin1String("CON")) return {"CON", fra_con, &lab_con, &hsr_con, &txt_con};
    if (mnemonic == QLatin1String("HUE")) return {"HUE", fra_hue, &lab_hue, &hsr_hue, &txt_hue};
    if (mnemonic == QLatin1String("SAT")) return {"SAT", fra_sat, &lab_sat, &hsr_sat, &txt_sat};
    return {"BRI", fra_bri, &lab_bri, &hsr_bri, &txt_bri};
}

void frm_main::build_picture_controls() {
    const QString prefixes[4] = {QStringLiteral("con"), QStringLiteral("bri"),
                                 QStringLiteral("sat"), QStringLiteral("hue")};
    using Change = void (frm_main::*)(int);
    const Change changes[4] = {&frm_main::hsr_con_Change, &frm_main::hsr_bri_Change,
                               &frm_main::hsr_sat_Change, &frm_main::hsr_hue_Change};
    for (int f = 0; f < 4; ++f) {
        const PictureFamily fam = picture_family(prefixes[f].toUpper());
        const Change change = changes[f];
        for (int row = 1; row <= 4; ++row) {
            const int y = 20 + (row - 1) * 26;
            auto *lab = new QLabel(QStringLiteral("OUT %1").arg(row), fam.fra);
            lab->setObjectName(QStringLiteral("lab_%1_%2").arg(prefixes[f]).arg(row));
            lab->setAlignment(Qt::AlignCenter);
            lab->setGeometry(1, y, 37, 20);
            (*fam.lab)[row] = lab;

            auto *hsr = new HSlider(fam.fra, QStringLiteral("hsr_%1_%2").arg(prefixes[f]).arg(row),
                                    100);
            hsr->setGeometry(38, y + 1, 72, 18);
            connect(hsr, &QScrollBar::valueChanged, this,
                    [this, change, row](int) { (this->*change)(row); });
            (*fam.hsr)[row] = hsr;

            (*fam.txt)[row] = make_value_box(
                fam.fra, QStringLiteral("txt_%1_%2").arg(prefixes[f]).arg(row), hsr);
        }
    }

    lab_pic = new QLabel(QStringLiteral("Picture"), fra_pic);
    lab_pic->setObjectName(QStringLiteral("lab_pic"));
    lab_pic->setStyleSheet(QStringLiteral("color: rgb(255, 255, 255);"));
    lab_pic->setFont(panel_font(QStringLiteral("Arial"), 12, true));
    lab_pic->setGeometry(190, 150, 80, 24);
    lab_pic->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    cmd_pic_reset = new QPushButton(QStringLiteral("Reset"), fra_pic);
    cmd_pic_reset->setObjectName(QStringLiteral("cmd_pic_reset"));
    cmd_pic_reset->setGeometry(280, 148, 86, 28);
    connect(cmd_pic_reset, &QPushButton::clicked, this, &frm_main::cmd_pic_reset_Click);

    cmd_pic_refresh = new QPushButton(QStringLiteral("Refresh"), fra_pic);
    cmd_pic_refresh->setObjectName(QStringLiteral("cmd_pic_refresh"));
    cmd_pic_refresh->setGeometry(372, 148, 86, 28);
    connect(cmd_pic_refresh, &QPushButton::clicked, this, &frm_main::cmd_pic_refresh_Click);
}

// ---- one implementation for the four families

static void picture_change(frm_main *f, const PictureFamily &fam, int row) {
    if (!f->ui_ready) return;
    if (row < 1 || row > 4) return;
    const int v = (*fam.hsr)[row]->value();
    (*fam.txt)[row]->setText(QString::number(v));
    int arg;
    if (cur_mode == 1)
        arg = v;
    else if (cur_mode == 2 || cur_mode == 3)
        arg = v + 200 * (row - 1); // the row rides in the hundreds
    else
        return;
    f->send_cmd_nowait(QLatin1String(fam.mnemonic) + pad3(arg));
}

static void picture_reply(frm_main *f, const PictureFamily &fam) {
    const int v = reply_level(f->rx_buffer);
    f->ui_ready = FLAG_FALSE;
    // Values that fit no slider or name no row are ignored (our choice): a level
    // above 100, or a packed row beyond 4.
    int row = 0, level = 0;
    if (v >= 0 && cur_mode == 1) {
        row = 1;
        level = v;
    } else if (v >= 0 && (cur_mode == 2 || cur_mode == 3)) {
        row = v / 200 + 1;
        level = v % 200;
    }
    if (row >= 1 && row <= 4 && level <= 100) {
        (*fam.txt)[row]->setText(QLatin1Char(' ') + QString::number(level));
        (*fam.hsr)[row]->setValue(level);
    }
    QCoreApplication::processEvents();
    f->ui_ready = FLAG_TRUE;
}

void frm_main::hsr_bri_Change(int index) { picture_change(this, picture_family("BRI"), index); }
void frm_main::hsr_con_Change(int index) { picture_change(this, picture_family("CON"), index); }
void frm_main::hsr_hue_Change(int index) { picture_change(this, picture_family("HUE"), index); }
void frm_main::hsr_sat_Change(int index) { picture_change(this, picture_family("SAT"), index); }

void frm_main::rx_bri() { picture_reply(this, picture_family("BRI")); }
void frm_main::rx_con() { picture_reply(this, picture_family("CON")); }
void frm_main::rx_hue() { picture_reply(this, picture_family("HUE")); }
void frm_main::rx_sat() { picture_reply(this, picture_family("SAT")); }

void frm_main::cmd_pic_refresh_Click() {
    if (cur_mode == 1) {
        for (const char *mn : QUERY_ORDER) {
            send_cmd(QLatin1String(mn) + QStringLiteral("999"));
            if (!reply_ok) return;
        }
    } else if (cur_mode == 2 || cur_mode == 3) {
        for (int row = 1; row <= 4; ++row) {
            for (const char *mn : QUERY_ORDER) {
                send_cmd(QLatin1String(mn) + QStringLiteral("99") + QString::number(row));
                // A row's saturation may go unanswered without ending the read-back.
                if (!reply_ok && QLatin1String(mn) != QLatin1String("SAT")) return;
            }
        }
    }
}

void frm_main::cmd_pic_reset_Click() {
    // The RST002 acknowledgement (rx_rst) sets the panel to the defaults.
    send_cmd(QStringLiteral("RST002"));
}
