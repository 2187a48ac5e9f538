#pragma once
// A link to nowhere for tests of the exchange: it records what is written and answers
// from a script (at once or after a delay), with short time-outs of its own. No process,
// no port, no socket.

#include <QHash>
#include <QStringList>
#include <QTimer>

#include "link/connection.h"
#include "link/device_link.h"
#include "protocol/exchange.h"

class FakeLink : public DeviceLink {
public:
    // `tcp`: behaves as the Ethernet link (EXT, reboot on RST001/PWR001, no poll).
    FakeLink(Exchange &x, bool tcp) : x_(x), tcp_(tcp) {}

    QString down_message() const override { return QStringLiteral("fake link is down"); }
    void write_command(const QString &cmd) override {
        written << cmd;
        const auto a = answers.constFind(cmd);
        if (a == answers.constEnd()) return;
        const QString text = a->text;
        if (a->delay_ms == 0)
            deliver(text);
        else
            QTimer::singleShot(a->delay_ms, [this, text] { deliver(text); });
    }
    int reply_steps(const QString &) const override { return steps; }
    bool ends_link(const QString &cmd) const override {
        return tcp_ && (cmd == QLatin1String("RST001") || cmd == QLatin1String("PWR001"));
    }
    bool polled() const override { return !tcp_; }
    bool carries_ext() const override { return tcp_; }

    // Text arriving from the device, as the link's receiver hands it over.
    void deliver(const QString &text) {
        if (tcp_)
            x_.tcp_received(text);
        else
            x_.serial_received(text.toLatin1());
    }
    // What the device answers to a command (delay 0: within the write itself).
    void answer(const QString &cmd, const QString &text, int delay_ms = 0) {
        answers.insert(cmd, {text, delay_ms});
    }

    QStringList written;
    int steps = 40;

private:
    struct Answer {
        QString text;
        int delay_ms;
    };
    QHash<QString, Answer> answers;
    Exchange &x_;
    bool tcp_;
};

// What the exchange tells its window, recorded.
struct RecordingHost : ExchangeHost {
    void clear_log() override { log.clear(); }
    void append_log(const QString &text) override { log << text; }
    void show_message(const QString &text, Icon) override { messages << text; }
    void device_rebooting() override { ++reboots; }
    QStringList log, messages;
    int reboots = 0;
};

// An exchange on a fake link that is up, as the panel would use it.
struct FakeExchange {
    explicit FakeExchange(bool tcp) : x(connection, host), link(x, tcp) {
        connection.set_link_type(tcp ? LinkType::Ethernet : LinkType::Rs232);
        (tcp ? connection.set_eth_connected(true) : connection.set_serial_open(true));
        connection.use_link(&link);
    }
    Connection connection{QString()};
    RecordingHost host;
    Exchange x;
    FakeLink link;
};
