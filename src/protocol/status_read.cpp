#include "protocol/status_read.h"

#include "protocol/command.h"
#include "protocol/device_state.h"
#include "protocol/reply_kinds.h"

QString version_query() { return query(Mnemonic::VER); }

bool read_settings(const DeviceState &s, const Ask &ask, std::optional<int> *selected) {
    if (selected) selected->reset();
    for (Mnemonic m : {Mnemonic::AUA, Mnemonic::AUB, Mnemonic::AUD, Mnemonic::AUE, Mnemonic::BEH,
                       Mnemonic::BEV, Mnemonic::BEZ})
        if (!ask(query(m), ReadStep::Plain)) return false;
    for (int direction : {0, 1})
        if (!ask(bezel_bound_query(direction), ReadStep::Bound)) return false;
    for (Mnemonic m : {Mnemonic::LCK, Mnemonic::PWR, Mnemonic::RES, Mnemonic::MOD})
        if (!ask(query(m), ReadStep::Plain)) return false;
    if (s.display_mode() != DisplayMode::Wall) {
        if (!ask(query(Mnemonic::OUT), ReadStep::Plain)) return false;
        if (selected) *selected = s.output();
    }
    return ask(input_query(), ReadStep::Plain);
}

bool read_routing(const Ask &ask) {
    for (int n = 1; n <= 4; ++n)
        if (!ask(select_output(n), ReadStep::Plain) || !ask(input_query(), ReadStep::Plain))
            return false;
    return true;
}

bool read_pictures(DisplayMode m, const Ask &ask) {
    // Brightness, contrast, hue, saturation: the order of the status.
    for (int row = 1; row <= picture_rows(m); ++row)
        for (const ReplyKind *k : picture_kinds()) {
            // A row's saturation may go unanswered without ending the read-back.
            const bool may_fail = m != DisplayMode::Matrix && k->mnemonic == Mnemonic::SAT;
            if (!ask(picture_query(k->part, row, m),
                     may_fail ? ReadStep::MayFail : ReadStep::Plain))
                return false;
        }
    return true;
}

std::optional<QString> selection_restore(const DeviceState &s, std::optional<int> selected) {
    const std::optional<int> want =
        s.display_mode() == DisplayMode::Wall ? std::optional<int>(1) : selected;
    if (!want || s.output() == want) return std::nullopt;
    return select_output(*want);
}
