// Routing map: output and input buttons, the sixteen connection lines, and the
// replies that move the selection and redraw the lines of one output.

#include "adjust/adjust_panel.h"
#include "admin/admin_panel.h"
#include "interface/link_panel.h"
#include "platform/venue.h"
#include "protocol/command.h"
#include "protocol/display_mode.h"
#include "protocol/exchange.h"
#include "protocol/reply_kinds.h"
#include "protocol/status_read.h"
#include "switching/switching_panel.h"
#include "ui/panel_style.h"

namespace {

// The design measures in twips; at 96 dpi a pixel is 15 twips.
int px(int twips) { return qRound(twips / 15.0); }

struct LineEnds {
    int x1, y1, x2, y2;
};

// End points per output (a..d) and input (1..4), in twips inside fra_btn.
const LineEnds LINE_TWIPS[4][4] = {
    {{3090, 1050, 3090, 1560},
     {3090, 1080, 4080, 1560},
     {3090, 1080, 5130, 1560},
     {3300, 1080, 6330, 1560}},
    {{4320, 1080, 3300, 1560},
     {4320, 1050, 4320, 1560},
     {4320, 1080, 5340, 1560},
     {4320, 1080, 6330, 1560}},
    {{5340, 1050, 3300, 1560},
     {5280, 1080, 4320, 1560},
     {5340, 1050, 5340, 1560},
     {5340, 1080, 6330, 1560}},
    {{6330, 1050, 3300, 1560},
     {6330, 1050, 4320, 1560},
     {6330, 1080, 5310, 1560},
     {6330, 1050, 6330, 1560}},
};

const int COLUMN_X_TWIPS[4] = {2550, 3690, 4830, 5970};

} // namespace

void SwitchingPanel::build_routing_controls() {
    const QFont font = panel_font(QStringLiteral("Arial Black"), 12);
    for (int n = 1; n <= 4; ++n) {
        const int x = px(COLUMN_X_TWIPS[n - 1]);
        auto *out = new ColorButton(output_caption(DisplayMode::Matrix, n), frames_.fra_btn,
                                    QStringLiteral("cmd_out_%1").arg(n));
        out->setFont(font);
        out->setGeometry(x, px(510), px(1100), px(495));
        out->setBackColor(PanelStyle::grey_colour());
        connect(out, &QPushButton::clicked, this, [this, n] { cmd_out_Click(n); });
        cmd_out[n] = out;

        auto *inp = new ColorButton(QStringLiteral("IN%1").arg(n), frames_.fra_btn,
                                    QStringLiteral("cmd_inp_%1").arg(n));
        inp->setFont(font);
        inp->setGeometry(x, px(1560), px(1100), px(495));
        inp->setBackColor(PanelStyle::grey_colour());
        connect(inp, &QPushButton::clicked, this, [this, n] { cmd_inp_Click(n); });
        cmd_inp[n] = inp;
    }
    // The venue's names as tooltips; the captions stay the device's own. A broken venue
    // file leaves the numbers alone and says why on standard error.
    Venue venue;
    QString fault;
    if (!load_venue(QString(), &venue, &fault))
        qWarning("%s (going on without its names)", qUtf8Printable(fault));
    for (int n = 1; n <= 4; ++n) {
        if (!venue.outputs[n - 1].isEmpty()) cmd_out[n]->setToolTip(venue.outputs[n - 1]);
        if (!venue.inputs[n - 1].isEmpty()) cmd_inp[n]->setToolTip(venue.inputs[n - 1]);
    }

    const char letters[4] = {'a', 'b', 'c', 'd'};
    const QColor colours[4] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255),
                               QColor(255, 255, 0)};
    for (int out = 1; out <= 4; ++out) {
        for (int in = 1; in <= 4; ++in) {
            const LineEnds &e = LINE_TWIPS[out - 1][in - 1];
            lines_of(out)[in] = new LineShape(
                frames_.fra_btn,
                QStringLiteral("line_%1_%2").arg(QLatin1Char(letters[out - 1])).arg(in),
                QPoint(px(e.x1), px(e.y1)), QPoint(px(e.x2), px(e.y2)), colours[out - 1], 2);
        }
    }
}

void SwitchingPanel::cmd_out_Click(int index) {
    // In 2X2 the wall has no single outputs to choose.
    if (state_.display_mode() == DisplayMode::Wall) return;
    exchange_.send_cmd(select_output(index));
    // A link that is down has just said so once; asking again would only say it twice.
    if (!exchange_.link_ready()) return;
    // Asked even when the output exchange failed: the reply then redraws the
    // output that was selected before.
    exchange_.send_cmd(input_query());
}

void SwitchingPanel::cmd_inp_Click(int index) { exchange_.send_cmd(route_input(index)); }

void SwitchingPanel::map_refresh() {
    // Each OUT selects the output whose line the following INP reply draws.
    read_routing([this](const QString &cmd, ReadStep) {
        exchange_.send_cmd(cmd);
        return exchange_.reply_ok();
    });
}

void SwitchingPanel::rx_out(const Reply &r) {
    // A digit that names no output button is ignored (our choice): state unchanged.
    if (!state_.apply(r)) return;
    for (int i = 1; i <= 4; ++i) cmd_out[i]->setBackColor(PanelStyle::face());
    cmd_out[cur_output()]->setBackColor(PanelStyle::selection_colour());
}

void SwitchingPanel::rx_inp(const Reply &r) {
    // A digit that names no input button is ignored (our choice): state unchanged.
    const DeviceState::Applied a = state_.apply(r);
    if (!a) return;
    for (int i = 1; i <= 4; ++i) cmd_inp[i]->setBackColor(PanelStyle::face());
    cmd_inp[cur_input()]->setBackColor(PanelStyle::selection_colour());
    // Only the selected output's lines are redrawn; 2X2 shows no lines at all.
    if (state_.display_mode() != DisplayMode::Wall) {
        auto &lines = lines_of(a.index);
        for (int i = 1; i <= 4; ++i) lines[i]->setVisible(false);
        lines[cur_input()]->setVisible(true);
    }
}

std::array<LineShape *, 5> &SwitchingPanel::lines_of(int output) {
    switch (output) {
    case 1: return line_a;
    case 2: return line_b;
    case 3: return line_c;
    default: return line_d;
    }
}
