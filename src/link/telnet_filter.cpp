#include "link/telnet_filter.h"

#include <libtelnet.h>

namespace {

constexpr unsigned char IAC = 255;

// Options this end takes, both ways: 8-bit data (CR goes as CR) and no go-ahead
// signals. Every other option the peer asks for is refused.
const telnet_telopt_t OPTIONS[] = {
    {TELNET_TELOPT_BINARY, TELNET_WILL, TELNET_DO},
    {TELNET_TELOPT_SGA, TELNET_WILL, TELNET_DO},
    {TelnetFilter::COM_PORT_OPTION, TELNET_WILL, TELNET_DONT},
    {-1, 0, 0},
};

// An IAC that starts a negotiation: the mark of a peer that speaks telnet.
bool negotiation(unsigned char cmd) { return cmd >= TELNET_SB && cmd <= TELNET_DONT; }

} // namespace

TelnetFilter::TelnetFilter() = default;

TelnetFilter::~TelnetFilter() { reset(); }

void TelnetFilter::reset() {
    if (telnet_) telnet_free(telnet_);
    telnet_ = nullptr;
    iac_held_ = false;
    line_set_ = false;
}

void TelnetFilter::start_telnet() {
    telnet_ = telnet_init(OPTIONS, &TelnetFilter::on_event, 0, this);
}

QByteArray TelnetFilter::from_peer(const QByteArray &wire, QByteArray *answer) {
    data_.clear();
    wire_.clear();
    QByteArray in = wire;
    if (iac_held_) in.prepend(char(IAC));
    iac_held_ = false;
    int from = 0;
    if (!telnet_) {
        // Plain bytes up to the first negotiation; a device never sends 0xFF itself.
        int i = 0;
        for (; i < in.size(); ++i) {
            if (static_cast<unsigned char>(in[i]) != IAC) continue;
            if (i + 1 == in.size()) break;
            if (negotiation(static_cast<unsigned char>(in[i + 1]))) break;
        }
        data_ = in.left(i);
        if (i + 1 == in.size() && static_cast<unsigned char>(in[i]) == IAC) {
            iac_held_ = true;
            from = in.size();
        } else if (i < in.size()) {
            start_telnet();
            from = i;
        } else {
            from = in.size();
        }
    }
    if (telnet_ && from < in.size()) telnet_recv(telnet_, in.constData() + from, in.size() - from);
    if (answer) *answer = wire_;
    return data_;
}

QByteArray TelnetFilter::to_peer(const QByteArray &data) {
    if (!telnet_) return data;
    wire_.clear();
    telnet_send(telnet_, data.constData(), data.size());
    return wire_;
}

void TelnetFilter::send_line_settings() {
    // RFC 2217: SET-BAUDRATE (4 bytes, network order), SET-DATASIZE, SET-PARITY (1 none),
    // SET-STOPSIZE (1), SET-CONTROL (1 no flow control): the device's fixed line.
    const quint32 baud = 115200;
    const char rate[] = {1, char(baud >> 24), char(baud >> 16 & 0xFF), char(baud >> 8 & 0xFF),
                         char(baud & 0xFF)};
    telnet_subnegotiation(telnet_, COM_PORT_OPTION, rate, sizeof rate);
    const char rest[][2] = {{2, 8}, {3, 1}, {4, 1}, {5, 1}};
    for (const auto &r : rest) telnet_subnegotiation(telnet_, COM_PORT_OPTION, r, 2);
    line_set_ = true;
}

void TelnetFilter::on_event(telnet_t *, telnet_event_t *ev, void *self) {
    auto *f = static_cast<TelnetFilter *>(self);
    switch (ev->type) {
    case TELNET_EV_DATA: f->data_.append(ev->data.buffer, int(ev->data.size)); break;
    case TELNET_EV_SEND: f->wire_.append(ev->data.buffer, int(ev->data.size)); break;
    case TELNET_EV_DO:
        if (ev->neg.telopt == COM_PORT_OPTION) f->send_line_settings();
        break;
    default: break; // other commands, the server's confirmations, warnings: nothing to do
    }
}
