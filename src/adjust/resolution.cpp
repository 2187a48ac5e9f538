// Output resolution: chosen from the list read at start-up; the device knows a
// resolution only by its 1-based position in that list.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>

#include "adjust/adjust_panel.h"
#include "platform/value_list.h"
#include "protocol/command.h"
#include "protocol/display_mode.h"
#include "protocol/exchange.h"
#include "ui/panel_style.h"
#include "ui/ui_ready.h"

void AdjustPanel::build_resolution_controls() {
    // Below the interface frame, which covers the top-right corner of frames_.fra_btn.
    lab_reso_out = new QLabel(QStringLiteral("Output Resolution"), frames_.fra_btn);
    lab_reso_out->setObjectName(QStringLiteral("lab_reso_out"));
    lab_reso_out->setGeometry(478, 114, 108, 20);
    lab_reso_out->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    cbo_output = new QComboBox(frames_.fra_btn);
    cbo_output->setObjectName(QStringLiteral("cbo_output"));
    cbo_output->setEditable(false);
    cbo_output->setGeometry(590, 112, 150, 24);
    connect(cbo_output, &QComboBox::currentIndexChanged, this, [this] { cbo_output_Click(); });
}

bool AdjustPanel::load_resolution_list(QString *error) {
    QStringList names;
    if (!read_resolution_file(host_.program_path(QStringLiteral("\\output_reso.txt")), &names,
                              error))
        return false;
    const QSignalBlocker block(cbo_output);
    cbo_output->clear();
    cbo_output->addItems(names);
    cbo_output->setCurrentIndex(-1);
    state_.set_resolution_count(static_cast<int>(names.size()));
    return true;
}

void AdjustPanel::cbo_output_Click() {
    if (!ui_.ui_ready()) return;
    const int pos = cbo_output->currentIndex();
    if (pos < 0) return; // nothing chosen: no resolution to send
    // Dual and 2X2 do not allow the fifth and sixth resolutions.
    if (state_.display_mode() != DisplayMode::Matrix && (pos == 4 || pos == 5)) return;
    cbo_output->setEnabled(false);
    exchange_.send_cmd(resolution_command(pos + 1));
    cbo_output->setEnabled(true);
}

void AdjustPanel::rx_res(const Reply &r) {
    // A number beyond the list names no entry and is ignored (our choice); 0 clears
    // the selection.
    if (!state_.apply(r)) return;
    QuietControls quiet(ui_);
    cbo_output->setCurrentIndex(state_.resolution().value_or(0) - 1);
    quiet.pump();
}
