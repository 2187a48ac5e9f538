// The command exchange and the reception against the simulated device, over a
// pseudo-terminal and over loopback TCP.
#include <QElapsedTimer>
#include <QTest>
#include <functional>

#include "panel_rig.h"

namespace {
const QString TCP_ADDR = QStringLiteral("127.0.0.2");

// A panel on the link of the test row.
bool start(PanelRig &r, bool tcp, const QStringList &extra = {}) {
    return r.start(extra, tcp ? TCP_ADDR : QString());
}
} // namespace

class CoreExchange : public QObject {
    Q_OBJECT
private slots:
    void links_data() {
        QTest::addColumn<bool>("tcp");
        QTest::newRow("serial") << false;
        QTest::newRow("tcp") << true;
    }

    void exchange_logs_and_dispatches_once_data() { links_data(); }
    void exchange_logs_and_dispatches_once() {
        QFETCH(bool, tcp);
        PanelRig r;
        QVERIFY(start(r, tcp));
        r.sim.mark();
        r.f->exchange().send_cmd(QStringLiteral("VER999"));
        QCOMPARE(r.f->exchange().reply_ok(), true);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"VER999"});
        QCOMPARE(r.f->txt_cmd->text(), QStringLiteral("VER999 VER160\r "));
        QCOMPARE(r.f->exchange().dispatch_count(), 1);
        QCOMPARE(r.f->exchange().last_dispatch(), QStringLiteral("VER"));
        QCOMPARE(r.f->exchange().busy(), false);
        QVERIFY(r.f->exchange().rx_buffer().isEmpty());
        // nothing is dispatched a second time by the receiver afterwards
        pump_ms(50);
        QCOMPARE(r.f->exchange().dispatch_count(), 1);
        QCOMPARE(r.f->exchange().log_count(), qint16(2));
    }

    void unsolicited_reply_dispatched_by_receiver_data() { links_data(); }
    void unsolicited_reply_dispatched_by_receiver() {
        QFETCH(bool, tcp);
        PanelRig r;
        QVERIFY(start(r, tcp));
        QVERIFY(r.sim.inject(QStringLiteral("SAV003")));
        QVERIFY(pump_until([&] { return r.f->exchange().dispatch_count() == 1; }));
        QCOMPARE(r.f->exchange().last_dispatch(), QStringLiteral("SAV"));
        QCOMPARE(r.f->exchange().reply_ok(), true);
        // two replies in one arrival: only the first is handled
        QVERIFY(r.sim.inject(QStringLiteral("raw:OUT002\\rINP003\\r")));
        QVERIFY(pump_until([&] { return r.f->exchange().dispatch_count() == 2; }));
        pump_ms(30);
        QCOMPARE(r.f->exchange().dispatch_count(), 2);
        QCOMPARE(r.f->exchange().last_dispatch(), QStringLiteral("OUT"));
        QVERIFY(r.f->txt_cmd->text().endsWith(QStringLiteral("OUT002\rINP003\r ")));
        // not digits at 4..6: logged, discarded, reply_ok cleared
        QVERIFY(r.sim.inject(QStringLiteral("raw:BRI05A\\r")));
        QVERIFY(pump_until([&] { return r.f->txt_cmd->text().endsWith("BRI05A\r "); }));
        QCOMPARE(r.f->exchange().reply_ok(), false);
        QCOMPARE(r.f->exchange().dispatch_count(), 2);
        // unknown mnemonic with digits: cleared, nothing runs
        QVERIFY(r.sim.inject(QStringLiteral("BR1234")));
        QVERIFY(pump_until([&] { return r.f->txt_cmd->text().endsWith("BR1234\r "); }));
        QCOMPARE(r.f->exchange().reply_ok(), false);
        // ERR outside an exchange leaves reply_ok set
        QVERIFY(r.sim.inject(QStringLiteral("ERR001")));
        QVERIFY(pump_until([&] { return r.f->txt_cmd->text().endsWith("ERR001\r "); }));
        QCOMPARE(r.f->exchange().reply_ok(), true);
        QCOMPARE(r.f->exchange().dispatch_count(), 2);
        // six characters wait for a seventh of any kind
        QVERIFY(r.sim.inject(QStringLiteral("raw:CAL004")));
        pump_ms(40);
        QCOMPARE(r.f->exchange().dispatch_count(), 2);
        QVERIFY(r.sim.inject(QStringLiteral("raw:X")));
        QVERIFY(pump_until([&] { return r.f->exchange().dispatch_count() == 3; }));
        QCOMPARE(r.f->exchange().last_dispatch(), QStringLiteral("CAL"));
    }

    void ext_only_on_tcp_data() { links_data(); }
    void ext_only_on_tcp() {
        QFETCH(bool, tcp);
        PanelRig r;
        QVERIFY(start(r, tcp));
        QVERIFY(r.sim.inject(QStringLiteral("EXT000")));
        QVERIFY(pump_until([&] { return r.f->txt_cmd->text().endsWith("EXT000\r "); }));
        pump_ms(20);
        if (tcp) {
            QCOMPARE(r.f->connection().eth_connected(), false);
            QVERIFY(r.f->link().cmd_conn_eth->isEnabled());
            QCOMPARE(r.f->link().cmd_disconn_eth->backColor(), PanelStyle::red_colour());
            QCOMPARE(r.f->exchange().reply_ok(), true);
        } else {
            QCOMPARE(r.f->connection().serial_open(), true);
            QCOMPARE(r.f->exchange().reply_ok(), false);
            QCOMPARE(r.f->exchange().dispatch_count(), 0);
        }
        QVERIFY(r.msgs.messages.isEmpty());
    }

    void split_reply_is_assembled_data() { links_data(); }
    void split_reply_is_assembled() {
        QFETCH(bool, tcp);
        PanelRig r;
        QVERIFY(start(r, tcp, {"--split"}));
        r.f->exchange().send_cmd(QStringLiteral("VER999"));
        QCOMPARE(r.f->exchange().reply_ok(), true);
        QCOMPARE(r.f->exchange().dispatch_count(), 1);
        QVERIFY(r.f->txt_cmd->text().startsWith(QStringLiteral("VER999 ")));
    }

    void err_answers_and_other_mnemonic_does_not_data() { links_data(); }
    void err_answers_and_other_mnemonic_does_not() {
        QFETCH(bool, tcp);
        PanelRig r;
        QVERIFY(start(r, tcp, {"--drop-cmd", "OUT001"}));
        r.f->exchange().send_cmd(QStringLiteral("XYZ001")); // the device refuses it with ERR
        QCOMPARE(r.f->exchange().reply_ok(), true);
        QCOMPARE(r.f->exchange().dispatch_count(), 0);
        // a reply with another mnemonic while OUT001 waits
        QTimer::singleShot(30, [&] { r.sim.inject(QStringLiteral("INP003")); });
        r.f->exchange().send_cmd(QStringLiteral("OUT001"));
        QCOMPARE(r.f->exchange().reply_ok(), false);
        QCOMPARE(r.f->exchange().dispatch_count(), 0);
    }

    void no_reply_times_out_data() { links_data(); }
    void no_reply_times_out() {
        QFETCH(bool, tcp);
        PanelRig r;
        QVERIFY(start(r, tcp, {"--drop-cmd", "VER999"}));
        QElapsedTimer t;
        t.start();
        r.f->exchange().send_cmd(QStringLiteral("VER999"));
        const qint64 ms = t.elapsed();
        QCOMPARE(r.f->exchange().reply_ok(), false);
        QVERIFY2(ms >= (tcp ? 1202 : 602), qPrintable(QString::number(ms)));
        QVERIFY2(ms < (tcp ? 6000 : 4000), qPrintable(QString::number(ms)));
        QCOMPARE(r.f->exchange().busy(), false);
        QCOMPARE(r.f->txt_cmd->text(), QStringLiteral("VER999 [no reply to VER999] "));
        QCOMPARE(r.f->exchange().unanswered(), 1);
        // a reply that comes later is handled by the receiver
        QVERIFY(r.sim.inject(QStringLiteral("VER160")));
        QVERIFY(pump_until([&] { return r.f->exchange().dispatch_count() == 1; }));
        QCOMPARE(r.f->exchange().unanswered(), 0);
        QVERIFY(r.msgs.messages.isEmpty());
    }

    // A device that stops answering (frozen here; a pulled cable looks the same): the
    // third time-out in a row tells the operator, once, until the device is heard
    // again. Nothing is added on the wire: the refresh still ends at its first query.
    void silent_device_is_told_once_data() { links_data(); }
    void silent_device_is_told_once() {
        QFETCH(bool, tcp);
        PanelRig r;
        QVERIFY(start(r, tcp));
        r.sim.mark();
        r.sim.freeze(true);
        r.f->exchange().send_cmd(QStringLiteral("PWR999"));
        r.f->exchange().send_cmd(QStringLiteral("LCK999"));
        QVERIFY(r.msgs.messages.isEmpty());
        r.f->switching().cmd_refresh->click();
        QCOMPARE(r.msgs.texts(), QStringList{"The device does not answer !"});
        QCOMPARE(r.msgs.messages[0].icon, QMessageBox::Warning);
        for (const char *hint : {"cable", "powered", "IP address", "raw TCP or telnet"})
            QVERIFY2(r.msgs.messages[0].informative.contains(QLatin1String(hint)), hint);
        r.f->exchange().send_cmd(QStringLiteral("MOD999"));
        QCOMPARE(r.msgs.messages.size(), 1);
        QCOMPARE(r.f->exchange().unanswered(), 4);
        QVERIFY(r.f->txt_cmd->text().endsWith("MOD999 [no reply to MOD999] "));
        QVERIFY(r.f->connection().selected_link_up());

        r.sim.freeze(false); // the late replies come: the device is heard
        QVERIFY(pump_until([&] { return r.f->exchange().unanswered() == 0; }));
        QVERIFY(r.sim.wait_commands(4));
        QCOMPARE(r.sim.commands_since_mark(),
                 (QStringList{"PWR999", "LCK999", "VER999", "MOD999"}));
        pump_ms(300); // every late reply is in before the device freezes again
        r.sim.freeze(true);
        for (const char *c : {"OUT999", "INP999", "RES999"})
            r.f->exchange().send_cmd(QLatin1String(c));
        QCOMPARE(r.msgs.messages.size(), 2);
        // As an operator meets it: a full refresh works, the device freezes again, and
        // three Refresh presses tell it once more.
        r.sim.freeze(false);
        QVERIFY(pump_until([&] { return r.f->exchange().unanswered() == 0; }));
        pump_ms(300);
        r.sim.mark();
        r.f->switching().cmd_refresh->click();
        QVERIFY(r.sim.wait_commands(21));
        QCOMPARE(r.f->exchange().unanswered(), 0);
        r.sim.freeze(true);
        for (int i = 0; i < 3; ++i) r.f->switching().cmd_refresh->click();
        QCOMPARE(r.msgs.texts().mid(2), QStringList{"The device does not answer !"});
        r.sim.freeze(false);
    }

    void nested_send_is_refused_silently() {
        PanelRig r;
        QVERIFY(start(r, false, {"--latency", "60"}));
        r.sim.mark();
        qint16 inner_ok = 99;
        QTimer::singleShot(10, [&] {
            r.f->exchange().send_cmd(QStringLiteral("OUT002"));
            inner_ok = r.f->exchange().reply_ok();
            r.f->exchange().send_cmd_nowait(QStringLiteral("BRI010"));
        });
        r.f->exchange().send_cmd(QStringLiteral("VER999"));
        QCOMPARE(inner_ok, false);
        // the nested send cleared reply_ok, so the outer wait ran to its limit and
        // then evaluated the reply it held
        QCOMPARE(r.f->exchange().reply_ok(), true);
        pump_ms(100);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"VER999"});
        QVERIFY(r.msgs.messages.isEmpty());
    }

    void log_holds_at_most_31_entries() {
        PanelRig r;
        QVERIFY(start(r, false));
        for (int i = 0; i < 15; ++i) r.f->exchange().send_cmd(QStringLiteral("MNU001"));
        QCOMPARE(r.f->exchange().log_count(), qint16(30));
        r.f->exchange().send_cmd(
            QStringLiteral("VER999")); // 31st appended, 32nd (reply) clears first
        QCOMPARE(r.f->txt_cmd->text(), QStringLiteral("VER160\r "));
        QCOMPARE(r.f->exchange().log_count(), qint16(1));
        r.f->cmd_clear->click();
        QCOMPARE(r.f->txt_cmd->text(), QString());
        QCOMPARE(r.f->exchange().log_count(), qint16(0));
    }

    void nowait_sends_without_log() {
        PanelRig r;
        QVERIFY(start(r, false));
        r.sim.mark();
        r.f->exchange().send_cmd_nowait(QStringLiteral("MNO001"));
        QVERIFY(r.sim.wait_commands(1));
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"MNO001"});
        // the reply is logged by the receiver, the command never
        QVERIFY(pump_until([&] { return r.f->txt_cmd->text() == QStringLiteral("MNO001\r "); }));
    }

    void closed_link_refuses_with_message() {
        ProgramFolder folder(0, 1); // no device mapped: COM1 fails to open
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        QCOMPARE(msgs.texts(), QStringList{"COM 1: Fail !"});
        QCOMPARE(msgs.messages[0].icon, QMessageBox::NoIcon);
        msgs.clear();
        f->exchange().send_cmd(QStringLiteral("VER999"));
        QCOMPARE(msgs.texts(), QStringList{"RS232 port is disconnected !"});
        QCOMPARE(msgs.messages[0].icon, QMessageBox::Critical);
        QCOMPARE(f->txt_cmd->text(), QString());
        QCOMPARE(f->exchange().reply_ok(), false);
        // One action, one message, whatever the action would send (the output button asks
        // two things; the keypad's arrow key pauses after its send).
        const std::function<void()> actions[] = {
            [&] { f->switching().cmd_out_Click(2); },
            [&] { f->switching().cmd_inp_Click(3); },
            [&] { f->switching().cmd_refresh_Click(); },
            [&] { f->adjust().cmd_pic_refresh_Click(); },
            [&] { f->adjust().cmd_pic_reset_Click(); },
            [&] { f->admin().cmd_pwr_Click(); },
            [&] { f->admin().cmd_lock_Click(); },
            [&] { f->adjust().cmd_mute_Click(); },
            [&] { f->admin().cmd_menu_exit_Click(); },
            [&] { f->adjust().opt_audio_Click(2); },
            [&] { f->adjust().opt_da_Click(2); },
            [&] { f->adjust().opt_db_Click(1); },
            [&] { f->adjust().opt_bezel_onoff_Click(1); },
            [&] { f->adjust().cbo_output->setCurrentIndex(3); },
            [&] {
                frm_keypad keypad(&f->admin());
                keypad.Form_KeyDown(38);
            },
        };
        for (const auto &action : actions) {
            msgs.clear();
            action();
            QCOMPARE(msgs.texts(), QStringList{"RS232 port is disconnected !"});
        }
        f->link().opt_interface[1]->setChecked(true);
        msgs.clear();
        f->exchange().send_cmd_nowait(QStringLiteral("BRI001"));
        QCOMPARE(msgs.texts(), QStringList{"Ethernet port is disconnected !"});
    }

    void reply_collected_inside_a_nowait_send_is_not_lost() {
        PanelRig r;
        QVERIFY(start(r, false));
        // A mode click already queued runs inside the slider send's event pass; its
        // late-reply wait collects the slider's reply while `busy` is still set.
        QTimer::singleShot(0, [&] { r.f->switching().cmd_mode_Click(2); });
        r.f->exchange().send_cmd_nowait(QStringLiteral("BRI051"));
        QVERIFY(r.f->connection().MSComm1()->tim_rx()->isActive());
        QVERIFY(r.f->exchange().rx_buffer().isEmpty());
        // reception goes on: an unsolicited reply is handled at once
        const int before = r.f->exchange().dispatch_count();
        QVERIFY(r.sim.inject(QStringLiteral("SAV002")));
        QVERIFY(pump_until([&] { return r.f->exchange().dispatch_count() > before; }, 2000));
        QCOMPARE(r.f->exchange().last_dispatch(), QStringLiteral("SAV"));
    }

    void standby_reply_makes_power_usable_again() {
        PanelRig r;
        QVERIFY(start(r, false, {"--drop-cmd", "PWR001"}));
        r.f->admin().cmd_pwr_Click(); // PWR001 never answered: the button stays disabled
        QVERIFY(!r.f->admin().cmd_pwr->isEnabled());
        QVERIFY(r.sim.inject(QStringLiteral("PWR000")));
        QVERIFY(pump_until([&] { return r.f->admin().cmd_pwr->isEnabled(); }, 2000));
        QCOMPARE(r.f->admin().power_state(), qint16(0));
    }

    void reboot_command_over_ethernet() {
        PanelRig r;
        QVERIFY(start(r, true));
        r.f->switching().img_start->setVisible(false);
        r.f->switching().cmd_keypad->setVisible(true);
        const qint64 sent_at = clock_ms();
        r.f->exchange().send_cmd(QStringLiteral("PWR001"));
        QCOMPARE(r.msgs.texts(),
                 QStringList{"Need to re-connect Ethernet after VELDRA re-boots ready !"});
        QCOMPARE(r.msgs.messages[0].icon, QMessageBox::Warning);
        const qint64 shown_after = r.msgs.messages[0].shown_ms - sent_at;
        QVERIFY2(shown_after >= 1000 && shown_after < 3000,
                 qPrintable(QString::number(shown_after)));
        // the reply that came within the second is still handled
        QCOMPARE(r.f->exchange().last_dispatch(), QStringLiteral("PWR"));
        QCOMPARE(r.f->connection().eth_connected(), false);
        QVERIFY(r.f->switching().img_start->isVisibleTo(r.f.get()));
        QVERIFY(!r.f->switching().cmd_keypad->isVisibleTo(r.f.get()));
        QVERIFY(r.f->link().cmd_conn_eth->isEnabled());
        QVERIFY(!r.f->link().cmd_disconn_eth->isEnabled());
    }
};

QTEST_MAIN(CoreExchange)
#include "test_exchange.moc"
