#pragma once
// The command exchange: sending a command and waiting for its reply, the timed wait,
// the two receivers and the dispatch of replies to their handlers. It knows no
// widgets; it reaches the window only through an ExchangeHost.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

#include "protocol/reply.h"

class Connection;

// What the exchange needs of the window.
class ExchangeHost {
public:
    enum class Icon { None, Warning, Critical };
    virtual ~ExchangeHost() = default;
    virtual void clear_log() = 0;
    virtual void append_log(const QString &text) = 0;
    // A modal message with an OK button; returns when the operator closed it.
    virtual void show_message(const QString &text, Icon icon) = 0;
    // RST001 or PWR001 went out over Ethernet: the device reboots and drops the link.
    virtual void device_rebooting() = 0;
    // SILENT_LIMIT commands in a row got no reply at all; called once until the device
    // is heard again.
    virtual void device_not_answering() {}
};

// Milliseconds on a monotonic clock (the time base of every wait).
qint64 clock_ms();

// The command reboots the device (RST001, PWR001), which drops a network link with it:
// no reply is waited for there.
bool reboots_device(const QString &cmd);
// The device says EXT to end a network link; on a serial line it means nothing.
inline bool ext_ends_link(bool network) { return network; }

// How an exchange ended.
enum class Outcome {
    Answered, // the reply to the command, whole
    Refused,  // the device answered ERR
    NoReply,  // nothing, or a reply cut short, in time
    Wrong,    // a reply to another command (last_reply() says which)
    LinkDown, // not sent (link down, program ending), or the link was lost before the
              // reply was whole (link_lost_reason() says why)
    Busy      // another exchange was running: not sent
};

class Exchange : public QObject {
    Q_OBJECT
public:
    Exchange(Connection &link, ExchangeHost &host, QObject *parent = nullptr);
    ~Exchange() override;

    // Sends `cmd` and waits for its reply. reply_ok() keeps the panel's looser rule (a
    // reply of the command's kind, even cut short, or ERR); the outcome is exact.
    Outcome send_cmd(const QString &cmd);
    void send_cmd_nowait(const QString &cmd);
    void wait_sec(float seconds);
    void log_entry(const QString &text);
    // Empties the log (its clear button, and before the 32nd entry).
    void clear_log();
    // `cmd` went out and nothing at all came back in time: logged, and counted towards
    // telling the operator that the device does not answer.
    void note_no_reply(const QString &cmd);
    // Commands in a row left unanswered before the operator is told.
    static constexpr int SILENT_LIMIT = 3;
    int unanswered() const { return silent_count_; }
    // Counts every reception of text from the device (a silent device leaves it alone).
    unsigned heard_count() const { return heard_count_; }

    // The receivers: what the selected link received goes to the one of its kind.
    void serial_received(const QByteArray &bytes);
    void tcp_received(const QString &data);
    // The evaluation that ends every send_cmd: test the reply held in rx_buffer
    // against the command, dispatch it, and empty the reception.
    void finish_exchange(const QString &cmd);
    // Runs the handler of the reply in `text` (its first six characters); false when its
    // kind has none (EXT only with include_ext).
    bool dispatch_reply(const QString &text, bool include_ext = false);

    // A reply handler gets the reply; each area registers its own, one per kind.
    using Handler = std::function<void(const Reply &)>;
    void set_handler(Mnemonic mnemonic, Handler handler);

    // A port was (re)opened: nothing is in flight.
    void reset_reception();
    // The state of start-up.
    void reset_start_state();
    // The program is ending: a running chain ends at its next exchange, since no wait
    // lasts any longer and nothing more is sent (silently: nobody is there to tell).
    void stop() { stopping_ = true; }
    bool stopping() const { return stopping_; }
    // A client that is not the panel applies a reply of another kind that arrives while
    // it waits (the device announcing a change) and goes on waiting for its own; the
    // panel takes such a reply as the exchange's, which then fails.
    void set_apply_announcements(bool on) { apply_announcements_ = on; }
    // A handler now runs for such an announcement (not for the awaited reply).
    bool announcing() const { return announcing_; }
    // Why the link was lost during the last exchange that ended LinkDown that way.
    const QString &link_lost_reason() const { return lost_reason_; }

    // The selected link is up, so a command could go out.
    bool link_ready() const;
    bool busy() const { return busy_; }
    bool reply_ok() const { return reply_ok_; }
    int rx_count() const { return rx_count_; }
    const QString &rx_buffer() const { return rx_buffer_; }
    int log_count() const { return log_count_; }
    // A timed wait runs (the keypad window drops keys meanwhile).
    bool waiting() const { return waiting_; }
    // Diagnostics: how many replies reached a handler, and the last mnemonic.
    int dispatch_count() const { return dispatch_count_; }
    QString last_dispatch() const { return last_dispatch_; }
    // The last reply evaluated: the text send_cmd judged at its end, or the reply a
    // receiver accepted. Read by the command-line client; never read back here.
    const QString &last_reply() const { return last_reply_; }

    // Collected characters kept; everything after the sixth is dropped anyway.
    static constexpr int RX_KEEP = 64;

private:
    friend struct TestProbe; // tests put the panel into states a device cannot
    bool link_up(const QString &cmd);
    void heard();
    bool accept_collected(bool tcp);
    bool take_announcement(bool tcp);
    void on_received(const QByteArray &bytes);
    void reception_on();
    void expect_network_answer();

    Connection &link_;
    ExchangeHost &host_;

    bool busy_ = false;
    bool reply_ok_ = false;
    int rx_count_ = 0;
    QString rx_buffer_;
    int log_count_ = 0;
    bool waiting_ = false;
    bool stopping_ = false;
    int dispatch_count_ = 0;
    QString last_dispatch_;
    QString last_reply_;
    int silent_count_ = 0;
    bool silent_told_ = false;
    unsigned heard_count_ = 0; // receptions of any text, to tell a silent device
    bool apply_announcements_ = false;
    bool announcing_ = false;
    QString awaited_;   // the command whose reply send_cmd waits for
    QString announced_; // the last reply of another kind applied meanwhile
    bool lost_ = false; // the link was lost while send_cmd waited
    QString lost_reason_;

    std::array<Handler, REPLY_KINDS> table_;
};
