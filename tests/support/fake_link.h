#pragma once
// A link to nowhere for tests of the exchange: a DeviceLink that records what is written
// and answers from a script (at once or after a delay), with short time-outs of its own,
// and can be lost. No process, no port, no socket.

#include <QHash>
#include <QStringList>
#include <QTimer>

#include "link/connection.h"
#include "link/device_link.h"
#include "protocol/exchange.h"

class FakeLink : public DeviceLink {
public:
    // `tcp`: behaves as a network link (EXT, reboot on RST001/PWR001, no poll).
    explicit FakeLink(bool tcp) : tcp_(tcp) {}

    QString down_message() const override { return QStringLiteral("fake link is down"); }
    void write_command(const QString &cmd) override {
        written << cmd;
        const auto a = answers.constFind(cmd);
        if (a == answers.constEnd()) return;
        const Answer answer = *a;
        if (answer.delay_ms == 0)
            play(answer);
        else
            QTimer::singleShot(answer.delay_ms, this, [this, answer] { play(answer); });
    }
    int reply_steps(const QString &) const override { return steps; }
    bool network() const override { return tcp_; }
    void set_reception(bool on) override { reception = on; }

    // Text arriving from the device, as the link hands it over.
    void deliver(const QString &text) { emit received(text.toLatin1()); }
    // The link goes down unasked.
    void lose(const QString &why) { emit lost(why); }
    // What the device answers to a command (delay 0: within the write itself), and
    // whether the link is lost right after it (`why`: its reason).
    void answer(const QString &cmd, const QString &text, int delay_ms = 0,
                const QString &then_lost = QString()) {
        answers.insert(cmd, {text, delay_ms, then_lost});
    }

    QStringList written;
    int steps = 40;
    bool reception = true;

private:
    struct Answer {
        QString text;
        int delay_ms;
        QString then_lost;
    };
    void play(const Answer &a) {
        if (!a.text.isEmpty()) deliver(a.text);
        if (!a.then_lost.isEmpty()) lose(a.then_lost);
    }
    QHash<QString, Answer> answers;
    bool tcp_;
};

// What the exchange tells its window, recorded.
struct RecordingHost : ExchangeHost {
    void clear_log() override { log.clear(); }
    void append_log(const QString &text) override { log << text; }
    void show_message(const QString &text, Icon) override { messages << text; }
    void device_rebooting() override { ++reboots; }
    void device_not_answering() override { ++silences; }
    QStringList log, messages;
    int reboots = 0;
    int silences = 0;
};

// An exchange on a fake link that is up, as the panel would use it.
struct FakeExchange {
    explicit FakeExchange(bool tcp) : x(connection, host), link(tcp) {
        connection.set_link_type(tcp ? LinkType::Ethernet : LinkType::Rs232);
        (tcp ? connection.set_eth_connected(true) : connection.set_serial_open(true));
        connection.use_link(&link);
    }
    Connection connection{QString()};
    RecordingHost host;
    Exchange x;
    FakeLink link;
};
