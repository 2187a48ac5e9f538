// Links, interface selection, the network query, start-up and shut-down.
#include <QElapsedTimer>
#include <QProcess>
#include <QSerialPort>
#include <QTcpServer>
#include <QTest>
#include <QThread>

#include "panel_rig.h"
#include "platform/value_list.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {
// This file's loopback addresses.
const QString ADDR_A = QStringLiteral("127.0.0.3");
const QString ADDR_B = QStringLiteral("127.0.0.4"); // nothing listens here
const QString ADDR_C = QStringLiteral("127.0.0.5");
const QString ADDR_D = QStringLiteral("127.0.0.7"); // a device that goes away

bool hidden(QWidget *w, frm_main *f) { return !w->isVisibleTo(f); }

void check_eth_idle(frm_main *f) {
    QCOMPARE(f->connection().eth_connected(), false);
    QVERIFY(!f->link().tim_eth->isActive());
    QCOMPARE(f->link().tim_eth->interval(), 7000);
    QVERIFY(f->link().cmd_conn_eth->isEnabled());
    QCOMPARE(f->link().cmd_conn_eth->backColor(), PanelStyle::face());
    QVERIFY(!f->link().cmd_disconn_eth->isEnabled());
    QCOMPARE(f->link().cmd_disconn_eth->backColor(), PanelStyle::red_colour());
    QVERIFY(hidden(f->link().lab_eth_state, f));
}
} // namespace

class CoreLinks : public QObject {
    Q_OBJECT
private slots:
    void start_up_with_serial_link() {
        ProgramFolder folder(0, 2, false);
        SimDevice sim;
        QVERIFY(sim.start_pty(folder, 2));
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        QVERIFY(msgs.messages.isEmpty());
        QCOMPARE(f->windowTitle(), QStringLiteral("TEVRAL-QX v1.6A "));
        QCOMPARE(f->outer_height(), frm_main::HEIGHT_COMPACT);
        QCOMPARE(f->width(), frm_main::WINDOW_WIDTH);
        QCOMPARE(f->connection().serial_open(), true);
        QCOMPARE(f->link().cmd_conn->backColor(), PanelStyle::green_colour());
        QCOMPARE(f->link().cbo_com->currentText(), QStringLiteral("COM2:"));
        QCOMPARE(f->link().cbo_com->count(), 9);
        QCOMPARE(f->adjust().cbo_output->count(), 12);
        QCOMPARE(f->adjust().cbo_output->currentIndex(), -1);
        QVERIFY(f->link().opt_interface[0]->isChecked());
        QVERIFY(f->link().cmd_get_ip->isEnabled());
        QVERIFY(hidden(f->link().txt_ip, f.get()));
        QVERIFY(!hidden(f->link().cbo_com, f.get()));
        QCOMPARE(f->ui_ready(), true);
        QVERIFY(f->connection().MSComm1()->tim_rx()->isActive());
        QVERIFY(!f->frames().fra_btn->isEnabled());
        QVERIFY(!hidden(f->switching().img_start, f.get()));
        QVERIFY(hidden(f->switching().cmd_keypad, f.get()));
        // nothing is sent to the device at start-up
        pump_ms(50);
        QVERIFY(sim.commands().isEmpty());
    }

    void start_up_with_ethernet_full_height() {
        ProgramFolder folder(1, 3, true, QStringLiteral("10.9.8.7"));
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        QVERIFY(msgs.messages.isEmpty());
        QCOMPARE(f->outer_height(), frm_main::HEIGHT_FULL);
        QCOMPARE(f->height(), frm_main::HEIGHT_FULL - frm_main::TITLE_BAR);
        QVERIFY(f->link().opt_interface[1]->isChecked());
        QCOMPARE(f->link().txt_ip->text(), QStringLiteral("10.9.8.7"));
        QCOMPARE(f->link().cbo_com->currentIndex(), -1);
        QCOMPARE(f->connection().port_number(), qint16(3));
        QVERIFY(!f->link().cmd_get_ip->isEnabled());
        QVERIFY(!hidden(f->link().txt_ip, f.get()));
        QVERIFY(hidden(f->link().cmd_conn, f.get()));
        check_eth_idle(f.get());
        QCOMPARE(f->connection().serial_open(), false);
    }

    void serial_port_that_fails_at_start_up() {
        ProgramFolder folder(0, 7, false);
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        QCOMPARE(msgs.texts(), QStringList{"COM 7: Fail !"});
        QCOMPARE(f->connection().serial_open(), false);
        QCOMPARE(f->link().cmd_disconn->backColor(), PanelStyle::red_colour());
        QCOMPARE(f->link().cmd_conn->backColor(), PanelStyle::face());
        QVERIFY(f->isVisible());
    }

    // The box keeps its text; the detail names the device COM5 opens and the reason.
    void serial_failure_says_why_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing device") << "missing"
                                        << "No such device";
        QTest::newRow("regular file") << "file"
                                      << "not a serial device";
        QTest::newRow("held by another program") << "held"
                                                 << "busy";
        QTest::newRow("no permission") << "denied"
                                       << "dialout group";
    }
    void serial_failure_says_why() {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        if (kind == QLatin1String("denied") && ::geteuid() == 0)
            QSKIP("running as root, whom file modes do not keep out");
        ProgramFolder folder(0, 5, false);
        const QString link = folder.file(QStringLiteral("ports/COM5"));
        SimDevice sim;
        QSerialPort holder(link);
        if (kind == QLatin1String("file")) {
            QFile::remove(link);
            folder.write_raw(QStringLiteral("ports/COM5"), "not a tty");
        } else if (kind != QLatin1String("missing")) {
            QVERIFY(sim.start_pty(folder, 5));
            if (kind == QLatin1String("held"))
                QVERIFY(holder.open(QIODevice::ReadWrite));
            else
                QCOMPARE(::chmod(QFile::encodeName(QFileInfo(link).symLinkTarget()), 0), 0);
        }
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        QCOMPARE(msgs.texts(), QStringList{"COM 5: Fail !"});
        const QString detail = msgs.messages.first().informative;
        QVERIFY2(detail.startsWith(QStringLiteral("COM5 opens ") + link), qPrintable(detail));
        QVERIFY2(detail.contains(reason), qPrintable(detail));
        QVERIFY(f->link().cbo_com->toolTip().startsWith(link));
    }

    void serial_connect_disconnect_and_port_choice() {
        ProgramFolder folder(0, 1, false);
        SimDevice sim;
        QVERIFY(sim.start_pty(folder, 4));
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        QCOMPARE(msgs.texts(), QStringList{"COM 1: Fail !"});
        msgs.clear();
        f->link().cbo_com->setCurrentIndex(3); // the operator picks COM4:
        QCOMPARE(f->connection().port_number(), qint16(4));
        QCOMPARE(f->connection().serial_open(), true);
        QCOMPARE(f->link().cmd_conn->backColor(), PanelStyle::green_colour());
        QCOMPARE(f->link().cmd_disconn->backColor(), PanelStyle::face());
        f->exchange().send_cmd(QStringLiteral("VER999"));
        QCOMPARE(f->exchange().reply_ok(), true);

        f->link().cmd_disconn->click();
        QCOMPARE(f->connection().serial_open(), false);
        QCOMPARE(f->link().cmd_disconn->backColor(), PanelStyle::red_colour());
        QCOMPARE(f->link().cmd_conn->backColor(), PanelStyle::face());
        f->link().cmd_disconn->click(); // already closed: nothing changes
        QCOMPARE(f->link().cmd_disconn->backColor(), PanelStyle::red_colour());

        f->link().cmd_conn->click();
        QCOMPARE(f->connection().serial_open(), true);
        // Connect on an open port reopens it and drops a partial reply
        TestProbe::set_reception(*f, QStringLiteral("BRI0"), 4);
        f->link().cmd_conn->click();
        QCOMPARE(f->connection().serial_open(), true);
        QVERIFY(f->exchange().rx_buffer().isEmpty());
        QCOMPARE(f->exchange().rx_count(), qint16(0));
        QVERIFY(msgs.messages.isEmpty());

        // a port chosen while ui_ready is clear only stores the number
        TestProbe::set_ui_ready(*f, false);
        f->link().cbo_com->setCurrentIndex(5);
        TestProbe::set_ui_ready(*f, true);
        QCOMPARE(f->connection().port_number(), qint16(6));
        QVERIFY(msgs.messages.isEmpty());
    }

    // The device restarts (a power cut) or its adapter is re-plugged: the loss is told
    // once, the link comes back by itself, and the panel reads the device as it is now;
    // unless the operator disconnects.
    void lost_link_comes_back_data() {
        QTest::addColumn<bool>("tcp");
        QTest::newRow("pty removed and recreated") << false;
        QTest::newRow("simulator restarted") << true;
    }
    void lost_link_comes_back() {
        QFETCH(bool, tcp);
        PanelRig r;
        QVERIFY(tcp ? r.start_tcp(ADDR_D) : r.start_pty());
        QVERIFY(r.set_mode(2)); // the panel shows Dual; the device restarts in Matrix
        ColorButton *conn = tcp ? r.f->link().cmd_conn_eth : r.f->link().cmd_conn;
        QElapsedTimer t;
        t.start();
        r.sim.stop();
        QVERIFY(pump_until([&] { return !r.msgs.messages.isEmpty(); }, 3000));
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(r.msgs.texts(),
                 QStringList{tcp ? "Ethernet is disconnected !" : "RS232 port is disconnected !"});
        QCOMPARE(r.msgs.messages[0].icon, QMessageBox::Critical);
        QVERIFY(r.f->connection().reconnecting());
        QCOMPARE(conn->backColor(), PanelStyle::busy_colour());
        QVERIFY(r.f->txt_cmd->text().contains(tcp ? "[Ethernet lost: reconnecting every 2 s] "
                                                  : "[COM1 lost: reconnecting when it is back] "));
        // While it retries a click opens no box; the log says what became of it.
        r.f->exchange().send_cmd(QStringLiteral("VER999"));
        QVERIFY(r.f->txt_cmd->text().endsWith("[reconnecting: VER999 not sent] "));
        pump_ms(2500); // a TCP retry or more finds nobody
        QCOMPARE(r.msgs.messages.size(), 1);

        // The refresh's entries soon clear the log: catch the line as it is written.
        const QString back = tcp ? "[Ethernet back: refreshing] " : "[COM1 back: refreshing] ";
        bool told_back = false;
        QObject::connect(r.f->txt_cmd, &QPlainTextEdit::textChanged, r.f.get(),
                         [&] { told_back = told_back || r.f->txt_cmd->text().contains(back); });
        QVERIFY(tcp ? r.sim.start_tcp(ADDR_D) : r.sim.start_pty(*r.folder));
        const QStringList refresh = refresh_sequence(1, false);
        t.restart();
        QVERIFY(pump_until(
            [&] {
                return r.sim.commands().size() >= refresh.size() &&
                       r.f->switching().cmd_refresh->isEnabled();
            },
            5000));
        qInfo("back and refreshed %lld ms after the device answered", t.elapsed());
        QCOMPARE(r.sim.commands(), refresh);
        QCOMPARE(r.f->state().display_mode(), DisplayMode::Matrix);
        QCOMPARE(conn->backColor(), PanelStyle::green_colour());
        QVERIFY(!r.f->connection().reconnecting());
        QVERIFY(told_back);
        QCOMPARE(r.msgs.messages.size(), 1);

        // Lost again: Disconnect ends the retries, and a Connect after that shows the start
        // look, since the device may have restarted meanwhile.
        r.sim.stop();
        QVERIFY(pump_until([&] { return r.f->connection().reconnecting(); }, 3000));
        (tcp ? r.f->link().cmd_disconn_eth : r.f->link().cmd_disconn)->click();
        QVERIFY(!r.f->connection().reconnecting());
        QCOMPARE(conn->backColor(), PanelStyle::face());
        QVERIFY(tcp ? r.sim.start_tcp(ADDR_D) : r.sim.start_pty(*r.folder));
        pump_ms(2600);
        QVERIFY(!r.f->connection().selected_link_up());
        QVERIFY(r.sim.commands().isEmpty());
        conn->click();
        QVERIFY(pump_until([&] { return r.f->connection().selected_link_up(); }));
        QVERIFY(!hidden(r.f->switching().img_start, r.f.get()));
        QVERIFY(hidden(r.f->switching().cmd_keypad, r.f.get()));
        QCOMPARE(r.msgs.messages.size(), 2);
    }

    // Another program keeps taking the device's one TCP connection: after the third
    // loss within a minute the panel stops taking it back and says why.
    void link_taken_again_and_again() {
        PanelRig r;
        QVERIFY(r.start_tcp(ADDR_D));
        // Only a link the device answered on can be taken (a server that closes before
        // that has no device behind it).
        r.f->exchange().send_cmd(QStringLiteral("VER999"));
        QVERIFY(r.f->exchange().reply_ok());
        DeviceClient other;
        for (int i = 1; i <= 3; ++i) {
            QVERIFY(other.connectTo(ADDR_D));
            QVERIFY(pump_until([&] { return r.msgs.messages.size() == i; }, 3000));
            if (i < 3) {
                // Back, and answered again (its refresh): only then can it be taken again.
                const unsigned heard = r.f->exchange().heard_count();
                QVERIFY(pump_until([&] {
                    return r.f->connection().eth_connected() &&
                           r.f->exchange().heard_count() != heard;
                }));
            }
        }
        QCOMPARE(r.msgs.texts(),
                 (QStringList{"Ethernet is disconnected !", "Ethernet is disconnected !",
                              "Another program may be using the device !"}));
        QVERIFY(r.msgs.messages[2].informative.contains("3 times within a minute"));
        QVERIFY(r.f->txt_cmd->text().contains(
            "[Ethernet taken 3 times in a minute: reconnecting stopped] "));
        QVERIFY(!r.f->connection().reconnecting());
        check_eth_idle(r.f.get());
    }

    // One box at a time: a loss, a return or a silence told while a box is open goes to
    // the log, and the box stays the only one.
    void boxes_never_stack() {
        PanelRig r;
        QVERIFY(r.start_pty());
        r.msgs.set_paused(true);
        ExchangeHost &host = *r.f; // what the exchange and the link area tell the window
        QMessageBox *first = nullptr;
        bool nested_returned_under_it = false;
        QTimer inside;
        QObject::connect(&inside, &QTimer::timeout, r.f.get(), [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || first) return;
            first = box;
            host.device_not_answering();
            host.show_message(QStringLiteral("Ethernet is disconnected !"),
                              ExchangeHost::Icon::Critical);
            nested_returned_under_it = QApplication::activeModalWidget() == first;
            first->button(QMessageBox::Ok)->click();
        });
        inside.start(1);
        host.show_message(QStringLiteral("RS232 port is disconnected !"),
                          ExchangeHost::Icon::Critical);
        inside.stop();
        QVERIFY(first);
        QVERIFY(nested_returned_under_it);
        QVERIFY(r.f->txt_cmd->text().contains(
            "[The device does not answer !] [Ethernet is disconnected !] "));
        // Closed: the next one is a box again.
        r.msgs.set_paused(false);
        host.device_not_answering();
        QCOMPARE(r.msgs.texts(), QStringList{"The device does not answer !"});
    }

    void ethernet_connect_disconnect_and_watch() {
        ProgramFolder folder(1, 1, false, QStringLiteral("  ") + ADDR_A + QStringLiteral(" "));
        auto sim = std::make_unique<SimDevice>();
        QVERIFY(sim->start_tcp(ADDR_A));
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        f->link().cmd_conn_eth->click();
        QVERIFY(!f->link().cmd_conn_eth->isEnabled());
        QVERIFY(pump_until([&] { return f->connection().eth_connected() != 0; }));
        QCOMPARE(f->link().tim_eth->interval(), 100);
        QVERIFY(f->link().tim_eth->isActive());
        QCOMPARE(f->link().cmd_conn_eth->backColor(), PanelStyle::green_colour());
        QVERIFY(!f->link().cmd_conn_eth->isEnabled());
        QVERIFY(f->link().cmd_disconn_eth->isEnabled());
        QCOMPARE(f->link().cmd_disconn_eth->backColor(), PanelStyle::face());
        QVERIFY(hidden(f->link().lab_eth_state, f.get()));
        f->exchange().send_cmd(QStringLiteral("VER999"));
        QCOMPARE(f->exchange().reply_ok(), true);

        f->link().cmd_disconn_eth->click();
        check_eth_idle(f.get());
        QVERIFY(msgs.messages.isEmpty());
    }

    void ethernet_connect_times_out() {
        ProgramFolder folder(1, 1, false, ADDR_B);
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        QElapsedTimer t;
        t.start();
        f->link().cmd_conn_eth->click();
        QVERIFY(!hidden(f->link().lab_eth_state, f.get()));
        QCOMPARE(f->link().cmd_conn_eth->backColor(), PanelStyle::amber_colour());
        QCOMPARE(f->link().cmd_disconn_eth->backColor(), PanelStyle::face());
        QVERIFY(pump_until([&] { return !msgs.messages.isEmpty(); }, 12000));
        QVERIFY2(t.elapsed() >= 6900, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(msgs.texts(), QStringList{"Client could not find Server."});
        QVERIFY(pump_until([&] { return f->link().cmd_conn_eth->isEnabled(); }));
        check_eth_idle(f.get());
    }

    void ethernet_empty_address_ends_idle() {
        ProgramFolder folder(1, 1, false, QString());
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        f->link().cmd_conn_eth->click();
        QVERIFY(pump_until([&] { return !msgs.messages.isEmpty(); }, 2000));
        QCOMPARE(msgs.texts(), QStringList{"Client could not find Server."});
        check_eth_idle(f.get());
    }

    void ethernet_host_port_and_already_connected() {
        ProgramFolder folder(1, 1, false, ADDR_C + QStringLiteral(":2424"));
        SimDevice sim;
        QVERIFY(sim.start_tcp(ADDR_C, 2424));
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        f->link().cmd_conn_eth_Click();
        QVERIFY(pump_until([&] { return f->connection().eth_connected() != 0; }));
        sim.mark();
        f->exchange().send_cmd(QStringLiteral("MNU001"));
        QVERIFY(sim.wait_commands(1));
        QCOMPARE(sim.commands_since_mark(), QStringList{"MNU001"});
        f->link().cmd_conn_eth_Click(); // the button is disabled, but the handler may still run
        QCOMPARE(msgs.texts(), QStringList{"Ethernet is already connected!"});
        QCOMPARE(f->connection().eth_connected(), true);
        QVERIFY(!f->link().cmd_conn_eth->isEnabled());
        QVERIFY(f->link().tim_eth->isActive());
    }

    void switching_links_in_every_state() {
        ProgramFolder folder(1, 1, false, ADDR_A);
        SimDevice serial_sim, tcp_sim;
        QVERIFY(serial_sim.start_pty(folder, 1));
        QVERIFY(tcp_sim.start_tcp(ADDR_A));
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        // Ethernet connected -> RS-232: closed silently, port reopened
        f->link().cmd_conn_eth_Click();
        QVERIFY(pump_until([&] { return f->connection().eth_connected() != 0; }));
        f->link().opt_interface[0]->click();
        QCOMPARE(f->connection().link_type(), LinkType::Rs232);
        check_eth_idle(f.get());
        QCOMPARE(f->connection().serial_open(), true);
        QCOMPARE(f->link().cbo_com->currentText(), QStringLiteral("COM1:"));
        QVERIFY(f->link().cmd_get_ip->isEnabled());
        // RS-232 open -> Ethernet: port closed, nothing started
        f->link().opt_interface[1]->click();
        QCOMPARE(f->connection().serial_open(), false);
        QVERIFY(!f->link().cmd_get_ip->isEnabled());
        check_eth_idle(f.get());
        // Ethernet connecting -> RS-232: attempt abandoned
        f->link().txt_ip->setText(ADDR_B);
        f->link().cmd_conn_eth_Click();
        QVERIFY(!hidden(f->link().lab_eth_state, f.get()));
        f->link().opt_interface[0]->click();
        check_eth_idle(f.get());
        // RS-232 closed -> Ethernet -> RS-232 with Ethernet idle
        f->link().cmd_disconn->click();
        f->link().opt_interface[1]->click();
        f->link().opt_interface[0]->click();
        QCOMPARE(f->connection().serial_open(), true);
        pump_ms(300);
        QVERIFY(msgs.messages.isEmpty());
        // after a return to idle a new attempt again waits the full time-out
        f->link().opt_interface[1]->click();
        f->link().txt_ip->setText(ADDR_A);
        f->link().cmd_conn_eth_Click();
        QVERIFY(pump_until([&] { return f->connection().eth_connected() != 0; }));
        QCOMPARE(f->link().tim_eth->interval(), 100);
    }

    void get_ip_fills_the_three_boxes() {
        ProgramFolder folder(0, 1, true);
        SimDevice sim;
        QVERIFY(sim.start_pty(folder, 1, {"--ip", "010.001.002.003"}));
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        f->exchange().send_cmd(QStringLiteral("VER999")); // the device is up and answering
        QCOMPARE(f->exchange().reply_ok(), true);
        sim.mark();
        f->link().cmd_get_ip->click();
        QCOMPARE(sim.commands_since_mark(), (QStringList{"EIP999", "EMK999", "EGW999"}));
        QCOMPARE(f->link().txt_get_ip->text(), QStringLiteral("010.001.002.003\r"));
        QCOMPARE(f->link().txt_get_mask->text(), QStringLiteral("255.255.255.000\r"));
        QCOMPARE(f->link().txt_get_gate->text(), QStringLiteral("192.168.001.001\r"));
        QVERIFY(!f->connection().net_query_step());
        QVERIFY(f->link().cmd_get_ip->isEnabled());
        QCOMPARE(f->link().cmd_get_ip->backColor(), PanelStyle::face());
        QVERIFY(msgs.messages.isEmpty());
    }

    // A real line hands the 16-character answers over a byte at a time, or (behind a
    // USB adapter) in chunks a latency period apart that can cut an answer in two.
    void get_ip_at_wire_pace_data() {
        QTest::addColumn<QStringList>("pace");
        QTest::newRow("115200 baud") << QStringList{"--baud", "115200"};
        QTest::newRow("USB latency 16 ms") << QStringList{"--usb-latency", "16"};
    }
    void get_ip_at_wire_pace() {
        QFETCH(QStringList, pace);
        ProgramFolder folder(0, 1, true);
        SimDevice sim;
        QVERIFY(sim.start_pty(folder, 1, pace));
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        for (int i = 0; i < 20; ++i) {
            // Steps of 0.8 ms move the click across the whole 16 ms adapter period, so
            // some first answers straddle two chunks.
            QThread::usleep(800 * i);
            f->link().cmd_get_ip->click();
            const QStringList got{f->link().txt_get_ip->text(), f->link().txt_get_mask->text(),
                                  f->link().txt_get_gate->text()};
            QCOMPARE(got,
                     (QStringList{"192.168.001.100\r", "255.255.255.000\r", "192.168.001.001\r"}));
        }
        QVERIFY(msgs.messages.isEmpty());
    }

    void get_ip_stops_at_unanswered_step() {
        ProgramFolder folder(0, 1, true);
        SimDevice sim;
        QVERIFY(sim.start_pty(folder, 1, {"--drop-cmd", "EMK999"}));
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        f->exchange().send_cmd(QStringLiteral("VER999"));
        QCOMPARE(f->exchange().reply_ok(), true);
        sim.mark();
        QElapsedTimer t;
        qint64 second_sent = -1;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (second_sent < 0 && sim.commands_since_mark().size() >= 2) second_sent = t.elapsed();
        });
        watch.start(1);
        t.start();
        f->link().cmd_get_ip->click();
        const qint64 done = t.elapsed();
        QCOMPARE(sim.commands_since_mark(), (QStringList{"EIP999", "EMK999"}));
        QCOMPARE(f->link().txt_get_ip->text(), QStringLiteral("192.168.001.100\r"));
        QVERIFY(f->link().txt_get_mask->text().isEmpty());
        QVERIFY(f->link().txt_get_gate->text().isEmpty());
        QVERIFY(second_sent >= 0);
        QVERIFY2(done - second_sent >= 100, qPrintable(QString::number(done - second_sent)));
        QVERIFY(!f->connection().net_query_step());
        QVERIFY(f->link().cmd_get_ip->isEnabled());
    }

    // Typed as Get IP shows it, 127.000.000.061 is 127.0.0.61 (not octal 49).
    void address_forms_connect_data() {
        QTest::addColumn<QString>("listen");
        QTest::addColumn<QString>("typed");
        QTest::newRow("zero-padded octets") << "127.0.0.61:23"
                                            << "127.000.000.061";
        QTest::newRow("IPv6 in brackets with port") << "::1:2326"
                                                    << "[::1]:2326";
    }
    void address_forms_connect() {
        QFETCH(QString, listen);
        QFETCH(QString, typed);
        if (typed.startsWith(QLatin1Char('['))) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHostIPv6, 0))
                QSKIP("this machine has no IPv6 loopback");
        }
        ProgramFolder folder(1, 1, false, typed);
        SimDevice sim;
        QVERIFY(sim.start({QStringLiteral("--tcp"), listen}, {}));
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        f->link().cmd_conn_eth_Click();
        QVERIFY(pump_until([&] { return f->connection().eth_connected() != 0; }));
        f->exchange().send_cmd(QStringLiteral("VER999"));
        QCOMPARE(f->exchange().reply_ok(), true);
        QCOMPARE(sim.commands(), QStringList{"VER999"});
        QVERIFY(msgs.messages.isEmpty());
    }

    void advanced_toggles_height() {
        ProgramFolder folder(1, 1, false);
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        const QPoint pos = f->pos();
        f->link().cmd_advance->click();
        QCOMPARE(f->outer_height(), frm_main::HEIGHT_FULL);
        QCOMPARE(f->link().advanced_view(), true);
        QCOMPARE(f->width(), frm_main::WINDOW_WIDTH);
        f->link().cmd_advance->click();
        QCOMPARE(f->outer_height(), frm_main::HEIGHT_COMPACT);
        QCOMPARE(f->link().advanced_view(), false);
        QCOMPARE(f->pos(), pos);
        QCOMPARE(f->link().cmd_advance->text(), QStringLiteral("Advanced"));
    }

    void settings_rewritten_at_close() {
        ProgramFolder folder(1, 3, false, QStringLiteral("1.2.3.4"));
        MessageCatcher msgs;
        {
            auto f = load_panel(folder);
            QVERIFY(f);
            f->link().txt_ip->setText(QStringLiteral("  10.0.0.9,23  "));
            f->link().cmd_advance->click();
            f->close();
        }
        QCOMPARE(folder.read_raw("TEVRAL_QX.ini"),
                 QByteArray("1\r\n3\r\n#TRUE#\r\n\"10.0.0.9,23\"\r\n"));
        {
            auto f = load_panel(folder);
            QVERIFY(f);
            QCOMPARE(f->link().txt_ip->text(), QStringLiteral("10.0.0.9,23"));
            QCOMPARE(f->outer_height(), frm_main::HEIGHT_FULL);
            QCOMPARE(f->connection().port_number(), qint16(3));
            f->link().txt_ip->clear();
            f->close();
        }
        QCOMPARE(folder.read_raw("TEVRAL_QX.ini"), QByteArray("1\r\n3\r\n#TRUE#\r\n\"\"\r\n"));
        // neither a double quote nor a character beyond Latin-1 can be typed into the address
        auto f = load_panel(folder);
        QVERIFY(f);
        f->link().txt_ip->setFocus();
        for (const QString &typed : {QStringLiteral("a"), QStringLiteral("\""), QStringLiteral("b"),
                                     QStringLiteral("\u20AC"), QStringLiteral("\u00E9"),
                                     QStringLiteral("\U0001F600"), QStringLiteral("c")})
            QTest::sendKeyEvent(QTest::Click, f->link().txt_ip, Qt::Key_unknown, typed,
                                Qt::NoModifier);
        QCOMPARE(f->link().txt_ip->text(), QStringLiteral("ab\u00E9c"));
    }

    void missing_or_bad_files_end_start_up_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("fault");
        QTest::newRow("no settings") << "TEVRAL_QX.ini" << QByteArray() << "not found";
        QTest::newRow("three values")
            << "TEVRAL_QX.ini" << QByteArray("1\r\n1\r\n#TRUE#\r\n") << "end of file";
        QTest::newRow("no resolution list") << "output_reso.txt" << QByteArray() << "not found";
        QTest::newRow("list without END") << "output_reso.txt" << QByteArray("A\r\nB\r\n") << "END";
    }
    void missing_or_bad_files_end_start_up() {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, fault);
        ProgramFolder folder(1, 1, false);
        if (content.isEmpty())
            QFile::remove(folder.file(file));
        else
            folder.write_raw(file, content);
        MessageCatcher msgs;
        frm_main f(folder.path());
        QVERIFY(!f.Form_Load());
        QCOMPARE(msgs.messages.size(), 1);
        QVERIFY2(msgs.texts()[0].contains(file), qPrintable(msgs.texts()[0]));
        QVERIFY2(msgs.texts()[0].contains(fault, Qt::CaseInsensitive), qPrintable(msgs.texts()[0]));
        QCOMPARE(msgs.messages[0].icon, QMessageBox::Critical);
        QVERIFY(!f.isVisible());
    }

    void resolution_list_end_rules() {
        ProgramFolder folder(1, 1, false);
        folder.write_raw("output_reso.txt", "A\r\nB\r\nEND\r\nC\r\n");
        MessageCatcher msgs;
        auto f = load_panel(folder);
        QVERIFY(f);
        QCOMPARE(f->adjust().cbo_output->count(), 2);
        QCOMPARE(f->adjust().cbo_output->itemText(1), QStringLiteral("B"));
    }
};

QTEST_MAIN(CoreLinks)
#include "test_links.moc"
