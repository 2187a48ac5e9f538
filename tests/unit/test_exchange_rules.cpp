// The exchange's rules on a fake link, with no process and no port: a reply in time
// reaches its handler as a value, a time-out, a late reply, a reply cut short, ERR, a
// reply to another command, the busy rule, unsolicited text, a link that is down or
// lost mid-reply, the outcome of each, announcements during an exchange, and the
// silence told once per time the device was heard.
#include <QTest>

#include "fake_link.h"

Q_DECLARE_METATYPE(Outcome)

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
        Outcome nested = Outcome::Answered;
        QTimer::singleShot(5, [&f, &nested] {
            nested = f.x.send_cmd("LCK999");
            f.x.send_cmd_nowait("BRI050");
        });
        f.x.send_cmd("VER999");
        QCOMPARE(f.link.written, QStringList{"VER999"});
        QVERIFY(f.x.reply_ok());
        QCOMPARE(h.seen, QStringList{"VER:160"});
        QCOMPARE(nested, Outcome::Busy);
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

    // What each exchange returns, beside the panel's looser reply_ok().
    void outcome_of_an_exchange_data() {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<bool>("reply_ok");
        for (bool tcp : {false, true}) {
            const char *l = tcp ? "tcp " : "serial ";
            QTest::newRow(qPrintable(l + QStringLiteral("answered")))
                << tcp << "VER160\r" << Outcome::Answered << true;
            QTest::newRow(qPrintable(l + QStringLiteral("ERR")))
                << tcp << "ERR001\r" << Outcome::Refused << true;
            QTest::newRow(qPrintable(l + QStringLiteral("silent")))
                << tcp << "" << Outcome::NoReply << false;
            QTest::newRow(qPrintable(l + QStringLiteral("another kind")))
                << tcp << "PWR000\r" << Outcome::Wrong << false;
            // The panel's rule takes a cut-short reply of the command's kind; it is
            // still no answer.
            QTest::newRow(qPrintable(l + QStringLiteral("cut short")))
                << tcp << "VER1" << Outcome::NoReply << true;
        }
    }
    void outcome_of_an_exchange() {
        QFETCH(bool, tcp);
        QFETCH(QString, answer);
        QFETCH(Outcome, outcome);
        QFETCH(bool, reply_ok);
        FakeExchange f(tcp);
        f.link.steps = 5;
        if (!answer.isEmpty()) f.link.answer("VER999", answer);
        QCOMPARE(f.x.send_cmd("VER999"), outcome);
        QCOMPARE(f.x.reply_ok(), reply_ok);
        QVERIFY(!f.x.busy());
    }

    // A reply cut off by a lost link is never success: the exchange ends with the loss
    // (long before its time-out), nothing is handled, and the reason is kept.
    void reply_cut_off_by_a_lost_link_data() {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QString>("cmd");
        QTest::addColumn<QString>("answer");
        for (bool tcp : {false, true})
            for (const char *a : {"VER", "VER1", "", "PWR00"}) {
                const QString cmd = QLatin1String(a).startsWith('P') ? "PWR999" : "VER999";
                QTest::newRow(
                    qPrintable(QStringLiteral("%1 %2 \"%3\"").arg(tcp ? "tcp" : "serial", cmd, a)))
                    << tcp << cmd << QString::fromLatin1(a);
            }
    }
    void reply_cut_off_by_a_lost_link() {
        QFETCH(bool, tcp);
        QFETCH(QString, cmd);
        QFETCH(QString, answer);
        FakeExchange f(tcp);
        Handled h(f.x);
        f.link.steps = 600000; // ten minutes, were the loss not noticed
        f.link.answer(cmd, answer, 20, "the server closed the connection");
        QCOMPARE(f.x.send_cmd(cmd), Outcome::LinkDown);
        QVERIFY(!f.x.reply_ok());
        QVERIFY(!f.x.busy());
        QVERIFY(h.seen.isEmpty());
        QCOMPARE(f.x.link_lost_reason(), QStringLiteral("the server closed the connection"));
        QVERIFY(f.host.log.contains("[link lost: the server closed the connection] "));
        QCOMPARE(f.x.unanswered(), 0); // a loss is not a silence
    }

    // A client that applies announcements takes a reply of another kind that comes while
    // it waits (alone or in one piece with its own reply), and goes on waiting; the
    // panel's rule takes it for the exchange's reply, which then fails.
    void announcement_during_an_exchange_data() {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<bool>("apply");
        QTest::addColumn<bool>("one_piece");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QStringList>("handled");
        for (bool tcp : {false, true}) {
            const QString l = tcp ? "tcp" : "serial";
            QTest::newRow(qPrintable(l + " client"))
                << tcp << true << false << Outcome::Answered << QStringList{"LCK:1", "VER:160"};
            QTest::newRow(qPrintable(l + " client, one piece"))
                << tcp << true << true << Outcome::Answered << QStringList{"LCK:1", "VER:160"};
            QTest::newRow(qPrintable(l + " panel"))
                << tcp << false << false << Outcome::Wrong << QStringList();
        }
    }
    void announcement_during_an_exchange() {
        QFETCH(bool, tcp);
        QFETCH(bool, apply);
        QFETCH(bool, one_piece);
        QFETCH(Outcome, outcome);
        QFETCH(QStringList, handled);
        FakeExchange f(tcp);
        Handled h(f.x);
        f.x.set_apply_announcements(apply);
        f.link.steps = 100000;
        QStringList unsolicited;
        f.x.set_handler(Mnemonic::LCK, [&](const Reply &r) {
            h.seen << QStringLiteral("LCK:%1").arg(r.value());
            unsolicited << QString::number(f.x.announcing());
        });
        if (one_piece) {
            f.link.answer("VER999", "LCK001\rVER160\r", 10);
        } else {
            f.link.answer("VER999", "LCK001\r", 10);
            // The reply follows the announcement.
            QObject::connect(&f.link, &DeviceLink::received, &f.link, [&f](const QByteArray &b) {
                if (b.startsWith("LCK"))
                    QTimer::singleShot(5, &f.link, [&f] { f.link.deliver("VER160\r"); });
            });
        }
        const Outcome o = f.x.send_cmd("VER999");
        if (!apply) {
            QCOMPARE(o, outcome);
            QCOMPARE(f.x.last_reply(), QStringLiteral("LCK001"));
            return;
        }
        QCOMPARE(o, outcome);
        QCOMPARE(h.seen, handled);
        QCOMPARE(unsolicited, QStringList{"1"});
        QCOMPARE(f.x.last_reply(), QStringLiteral("VER160"));
    }

    // Two replies in one piece while nothing waits: a client that follows the device
    // applies both; the panel keeps its rule of the first only.
    void unsolicited_replies_in_one_piece_data() {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<bool>("apply");
        QTest::addColumn<QStringList>("handled");
        for (bool tcp : {false, true}) {
            const QString l = tcp ? "tcp" : "serial";
            QTest::newRow(qPrintable(l + " client"))
                << tcp << true << QStringList{"LCK:1", "BEZ:1", "INP:3"};
            QTest::newRow(qPrintable(l + " panel")) << tcp << false << QStringList{"LCK:1"};
        }
    }
    void unsolicited_replies_in_one_piece() {
        QFETCH(bool, tcp);
        QFETCH(bool, apply);
        QFETCH(QStringList, handled);
        FakeExchange f(tcp);
        Handled h(f.x);
        f.x.set_apply_announcements(apply);
        f.link.deliver("LCK001\rBEZ001\rINP003\r");
        QTRY_COMPARE_WITH_TIMEOUT(h.seen.size(), handled.size(), 5000);
        QCOMPARE(h.seen, handled);
        QVERIFY(!f.x.busy());
    }

    // A client that applies announcements and gets only another kind of reply: the
    // exchange ends as a wrong reply that names it, and the reply was applied.
    void only_another_kind_is_a_wrong_reply() {
        FakeExchange f(true);
        Handled h(f.x);
        f.x.set_apply_announcements(true);
        f.link.steps = 30;
        f.link.answer("VER999", "PWR000\r");
        QCOMPARE(f.x.send_cmd("VER999"), Outcome::Wrong);
        QCOMPARE(f.x.last_reply(), QStringLiteral("PWR000"));
        QCOMPARE(h.seen, QStringList{"PWR:0"});
    }

    // "The device does not answer" is told once per silence: after SILENT_LIMIT
    // unanswered commands, not again while it stays silent, and again for a silence
    // that follows a time it was heard.
    void each_silence_is_told_once() {
        FakeExchange f(false);
        f.link.steps = 3;
        const auto silence = [&f](int n) {
            for (int i = 0; i < n; ++i) QCOMPARE(f.x.send_cmd("VER999"), Outcome::NoReply);
        };
        silence(Exchange::SILENT_LIMIT - 1);
        QCOMPARE(f.host.silences, 0);
        silence(1);
        QCOMPARE(f.host.silences, 1);
        silence(Exchange::SILENT_LIMIT);
        QCOMPARE(f.host.silences, 1);
        f.link.answer("VER999", "VER160\r");
        QCOMPARE(f.x.send_cmd("VER999"), Outcome::Answered);
        f.link.answer("VER999", "");
        silence(Exchange::SILENT_LIMIT);
        QCOMPARE(f.host.silences, 2);
        // Heard by text that is no reply at all (an announcement), then silent again.
        f.link.deliver("SAV003\r");
        silence(Exchange::SILENT_LIMIT);
        QCOMPARE(f.host.silences, 3);
    }

    void link_down_refuses_to_send() {
        FakeExchange f(true);
        f.connection.set_eth_connected(false);
        QCOMPARE(f.x.send_cmd("VER999"), Outcome::LinkDown);
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
