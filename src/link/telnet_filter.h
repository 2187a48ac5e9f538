#pragma once
// The telnet layer of a TCP link, for serial device servers that speak it (RFC 854/855):
// option answers, IAC sequences out of the received bytes, 0xFF doubled in sent ones, and
// the line settings of a server that offers COM-PORT-OPTION (RFC 2217). Bytes in, bytes
// out: no socket, no timer, no widgets. A peer that never negotiates is passed through.

#include <QByteArray>

struct telnet_t;
union telnet_event_t;

class TelnetFilter {
public:
    TelnetFilter();
    ~TelnetFilter();
    TelnetFilter(const TelnetFilter &) = delete;
    TelnetFilter &operator=(const TelnetFilter &) = delete;

    // A new connection: plain bytes until the peer negotiates.
    void reset();
    // Bytes from the peer. Returns the device's own bytes; `answer` gets what must go
    // back to the peer (option answers, the line settings).
    QByteArray from_peer(const QByteArray &wire, QByteArray *answer);
    // The device's bytes as they must go on the wire.
    QByteArray to_peer(const QByteArray &data);

    // The peer has negotiated: the link speaks telnet.
    bool telnet() const { return telnet_ != nullptr; }
    // The server took COM-PORT-OPTION and was sent 115200 8N1, no flow control.
    bool line_set() const { return line_set_; }

    static constexpr unsigned char COM_PORT_OPTION = 44;

private:
    static void on_event(telnet_t *t, telnet_event_t *ev, void *self);
    void start_telnet();
    void send_line_settings();

    telnet_t *telnet_ = nullptr;
    bool iac_held_ = false; // a plain-mode chunk ended in 0xFF: its next byte decides
    bool line_set_ = false;
    QByteArray data_, wire_; // filled by the event handler during one call
};
