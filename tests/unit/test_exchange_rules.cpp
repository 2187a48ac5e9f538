// The exchange's rules on a fake link, with no process and no port: a reply in time
// reaches its handler as a value, a time-out, a late reply, a reply cut short, ERR, a
// reply to another command, the busy rule, unsolicited text and a link that is down.
#include <QTest>

#include "fake_link.h"

namespace {

// Every reply a handler got, as "VER:160" (mnemonic and last three digits as read).
struct Handled {
    explicit Handled(Exchange &x) {
        for (int i = 0; i < REPLY_KINDS; ++i)
            x.set_handler(static_cast<Mnemonic>(i), [this](const Reply &r) {
                seen << QStringLiteral("%1:%2").arg(mnemonic_text(r.mnemonic)).arg(r.value());
            });
    }
    QStringList seen;
};

} // namespace

class ExchangeRules : public QObject {
    Q_OBJECT
private slots:
    void links_data() {
        QTest::addColumn<bool>("tcp");
        QTest::newRow("serial") << false;
        QTest::newRow("tcp") << true;
    }

    void reply_in_time_reaches_its_handler_data() { links_data(); }
    void reply_in_time_reaches_its_handler() {
        QFETCH(bool, tcp);
        FakeExchange f(tcp);
        Handled h(f.x);
        f.link.answer("VER999", "VER160\r");
        f.x.send_cmd("VER999");
        QVERIFY(f.x.reply_ok());
        QVERIFY(!f.x.busy());
        QCOMPARE(h.seen, QStringList{"VER:160"});
        QCOMPARE(f.link.written, QStringList{"VER999"});
        QCOMPARE(f.host.log, (QStringList{"VER999 ", "VER160\r "})); // logged as received
        QCOMPARE(f.x.last_reply(), QStringLiteral("VER160"));
    }

    void late_reply_is_handled_when_it_comes_data() { links_data(); }
    void late_reply_is_handled_when_it_comes() {
        QFETCH(bool, tcp);
        FakeExchange f(tcp);
        Handled h(f.x);
        f.link.steps = 5;
        f.link.answer("PWR999", "PWR001\r", 200);
        f.x.send_cmd("PWR999");
        QVERIFY(!f.x.reply_ok()); // timed out
        QVERIFY(h.seen.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(h.seen, QStringList{"PWR:1"}, 5000);
    }

    void reply_cut_short_carries_no_value() {
        FakeExchange f(false);
        Handled h(f.x);
        f.link.steps = 5;
        f.link.answer("PWR999", "PWR00");
        f.x.send_cmd("PWR999");
        QCOMPARE(h.seen, QStringList{"PWR:-1"}); // its handler runs and finds no digit
    }

    void refusal_and_other_replies_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("answered");
        QTest::newRow("ERR") << "ERR001\r" << true;
        QTest::newRow("another command's reply") << "AUA002\r" << false;
        QTest::newRow("digits damaged") << "VER1x0\r" << false;
    }
    void refusal_and_other_replies() {
        QFETCH(QString, answer);
        QFETCH(bool, answered);
        FakeExchange f(true);
        Handled h(f.x);
        f.link.steps = 5;
        f.link.answer("VER999", answer);
        f.x.send_cmd("VER999");
        QCOMPARE(f.x.reply_ok(), answered);
        QVERIFY(h.seen.isEmpty());
        QCOMPARE(f.x.dispatch_count(), 0);
    }

    // While an exchange waits, another command goes nowhere.
    void busy_drops_commands() {
        FakeExchange f(true);
        Handled h(f.x);
        f.link.steps = 500;
        f.link.answer("VER999", "VER160\r", 50);
        QTimer::singleShot(5, [&f] {
            f.x.send_cmd("LCK999");
            f.x.send_cmd_nowait("BRI050");
        });
        f.x.send_cmd("VER999");
        QCOMPARE(f.link.written, QStringList{"VER999"});
        QVERIFY(f.x.reply_ok());
        QCOMPARE(h.seen, QStringList{"VER:160"});
    }

    void unsolicited_text_data() {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("handled");
        QTest::newRow("serial SAV") << false << "SAV003\r" << QStringList{"SAV:3"};
        QTest::newRow("tcp SAV") << true << "SAV003\r" << QStringList{"SAV:3"};
        QTest::newRow("tcp EXT") << true << "EXT000\r" << QStringList{"EXT:0"};
        QTest::newRow("serial EXT ignored") << false << "EXT000\r" << QStringList();
        QTest::newRow("no reply kind") << true << "MNU001\r" << QStringList();
        QTest::newRow("noise") << false << "X\r\n1234567" << QStringList();
        QTest::newRow("two replies in one piece: the first")
            << true << "OUT002\rINP003\r" << QStringList{"OUT:2"};
    }
    void unsolicited_text() {
        QFETCH(bool, tcp);
        QFETCH(QString, text);
        QFETCH(QStringList, handled);
        FakeExchange f(tcp);
        Handled h(f.x);
        f.link.deliver(text);
        QCOMPARE(h.seen, handled);
        QVERIFY(!f.x.busy());
        QVERIFY(f.x.rx_buffer().isEmpty());
    }

    void link_down_refuses_to_send() {
        FakeExchange f(true);
        f.connection.set_eth_connected(false);
        f.x.send_cmd("VER999");
        f.x.send_cmd_nowait("BRI050");
        QVERIFY(f.link.written.isEmpty());
        QCOMPARE(f.host.messages, (QStringList{"fake link is down", "fake link is down"}));
    }

    // A command that reboots the device is not waited for: the link goes with it.
    void reboot_ends_the_exchange() {
        FakeExchange f(true);
        f.link.steps = 100000; // would be minutes if it were waited for
        f.x.send_cmd("PWR001");
        QCOMPARE(f.host.reboots, 1);
        QVERIFY(!f.x.busy());
        QCOMPARE(f.link.written, QStringList{"PWR001"});
    }
};

QTEST_GUILESS_MAIN(ExchangeRules)
#include "test_exchange_rules.moc"
