// The full status refresh against the simulated device: the exact query sequence,
// the controls it leaves behind, and where it stops when an answer is missing.

#include <QJsonObject>
#include <QTest>
#include <QTimer>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "panel_mirror.h"
#include "panel_rig.h"

namespace {

// Runs a refresh and records how cmd_refresh looked while it ran.
struct RefreshRun {
    bool disabled_meanwhile = false;
    bool busy_colour_meanwhile = false;
};
RefreshRun run_refresh(frm_main *f) {
    RefreshRun r;
    QTimer probe;
    probe.setSingleShot(true);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        r.disabled_meanwhile = !f->switching().cmd_refresh->isEnabled();
        r.busy_colour_meanwhile =
            f->switching().cmd_refresh->backColor() == PanelStyle::busy_colour();
    });
    probe.start(0); // fires inside the first exchange's wait
    f->switching().cmd_refresh_Click();
    return r;
}

} // namespace

class TestRefresh : public QObject {
    Q_OBJECT
private slots:
    void compact_refresh_mirrors_the_device_data();
    void compact_refresh_mirrors_the_device();
    void full_height_refresh_reads_pictures_back();
    void two_by_two_skips_the_output_query();
    void unanswered_bez_query_ends_the_chain();
    void unanswered_first_query();
    void closed_link_still_removes_the_banner();
    void bezel_bounds_from_the_device();
    void refresh_over_tcp();
    void refresh_through_a_device_server_data();
    void refresh_through_a_device_server();

private:
    // Everything the refresh mirrors, compared with the device's state file.
    void compare_with_device(frm_main *f, const QJsonObject &st);
    void check_restored(frm_main *f);
};

void TestRefresh::check_restored(frm_main *f) {
    QVERIFY(f->switching().img_start->isHidden());
    QVERIFY(!f->switching().cmd_keypad->isHidden());
    QVERIFY(f->switching().cmd_refresh->isEnabled());
    QCOMPARE(f->switching().cmd_refresh->backColor(), PanelStyle::face());
}

void TestRefresh::compare_with_device(frm_main *f, const QJsonObject &st) {
    // Version, audio, bezel, resolution, power, lock, mode layout, routing and (at full
    // height, where the refresh reads them) the picture values.
    const QStringList diff = mirror_mismatches(f, st, f->link().advanced_view() != 0);
    QVERIFY2(diff.isEmpty(), qPrintable(diff.join(QLatin1Char('\n'))));
    // map_refresh ends on output 4, so the device's selected output is 4.
    QCOMPARE(st["output"].toInt(), 4);
}

void TestRefresh::compact_refresh_mirrors_the_device_data() {
    QTest::addColumn<QStringList>("pace");
    QTest::addColumn<QString>("address");
    QTest::newRow("unpaced") << QStringList() << QStringLiteral("127.0.0.40");
    QTest::newRow("115200 baud") << QStringList{"--baud", "115200"} << QStringLiteral("127.0.0.47");
    QTest::newRow("USB latency 16 ms")
        << QStringList{"--usb-latency", "16"} << QStringLiteral("127.0.0.48");
}

void TestRefresh::compact_refresh_mirrors_the_device() {
    QFETCH(QStringList, pace);
    QFETCH(QString, address);
    PanelRig rig;
    QVERIFY(rig.start_pty(
        QStringList{"--version", "123", "--bezel-max-h", "200", "--bezel-max-v", "100"} + pace,
        false, address));
    // Another operator changes everything away from the factory state.
    QVERIFY(rig.device.set({"AUA002", "AUB001", "AUD000", "AUE003", "BEZ001", "BEH030", "BEV045",
                            "LCK001", "RES007", "MOD002", "OUT001", "INP004", "OUT002", "INP003",
                            "OUT003", "INP001", "OUT004", "INP002", "OUT002"}));
    frm_main *f = rig.f.get();
    QVERIFY(!f->switching().img_start->isHidden());
    QVERIFY(f->switching().cmd_keypad->isHidden());

    rig.sim.mark();
    const RefreshRun run = run_refresh(f);
    QVERIFY(run.disabled_meanwhile);
    QVERIFY(run.busy_colour_meanwhile);
    QCOMPARE(rig.sent_since_mark(), refresh_sequence(1, false));
    check_restored(f);
    compare_with_device(f, rig.sim.state());
    QVERIFY(rig.msgs.messages.isEmpty());
}

void TestRefresh::full_height_refresh_reads_pictures_back() {
    PanelRig rig;
    QVERIFY(rig.start_pty({}, true, QStringLiteral("127.0.0.41")));
    QVERIFY(rig.device.set({"BRI037", "CON061", "HUE045", "SAT070", "AUE001", "RES002"}));
    frm_main *f = rig.f.get();
    rig.sim.mark();
    f->switching().cmd_refresh_Click();
    QCOMPARE(rig.sent_since_mark(), (refresh_sequence(1, true)));
    check_restored(f);
    compare_with_device(f, rig.sim.state());
    QCOMPARE(f->adjust().hsr_bri[1]->value(), 37);
    QCOMPARE(f->adjust().hsr_con[1]->value(), 61);
    QCOMPARE(f->adjust().hsr_hue[1]->value(), 45);
    QCOMPARE(f->adjust().hsr_sat[1]->value(), 70);
}

void TestRefresh::two_by_two_skips_the_output_query() {
    PanelRig rig;
    QVERIFY(rig.start_pty({}, false, QStringLiteral("127.0.0.42")));
    QVERIFY(rig.device.set({"MOD003", "BEZ000", "BEH011", "BEV012", "OUT003", "INP004"}));
    frm_main *f = rig.f.get();
    rig.sim.mark();
    f->switching().cmd_refresh_Click();
    const QStringList sent = rig.sent_since_mark();
    QCOMPARE(sent, refresh_sequence(3, false));
    QVERIFY(!sent.contains("OUT999"));
    check_restored(f);
    compare_with_device(f, rig.sim.state());
}

void TestRefresh::unanswered_bez_query_ends_the_chain() {
    PanelRig rig;
    QVERIFY(rig.start_pty({"--drop-cmd", "BEZ999"}));
    frm_main *f = rig.f.get();
    rig.sim.mark();
    f->switching().cmd_refresh_Click();
    QCOMPARE(rig.sent_since_mark(300), (QStringList{"VER999", "AUA999", "AUB999", "AUD999",
                                                    "AUE999", "BEH999", "BEV999", "BEZ999"}));
    check_restored(f);
    // The queries before it were handled; the bounds and the mode layout were not read.
    QCOMPARE(checked_index(f->adjust().opt_audio), 0);
    QCOMPARE(checked_index(f->adjust().opt_bezel_onoff), -1);
    QCOMPARE(int(f->adjust().bezel_max_pending()), int(false));
    QCOMPARE(int(f->admin().power_state()), int(NOT_REPORTED));
    for (int m = 1; m <= 3; ++m)
        QCOMPARE(f->switching().cmd_mode[m]->backColor(), PanelStyle::face());
    QVERIFY(!f->frames().fra_btn->isEnabled());
}

void TestRefresh::unanswered_first_query() {
    PanelRig rig;
    QVERIFY(rig.start_pty({"--drop-cmd", "VER999"}));
    frm_main *f = rig.f.get();
    rig.sim.mark();
    f->switching().cmd_refresh_Click();
    QCOMPARE(rig.sent_since_mark(300), QStringList{"VER999"});
    check_restored(f);
    QVERIFY(f->admin().txt_ver->text().isEmpty());
}

void TestRefresh::closed_link_still_removes_the_banner() {
    // No device: COM1 leads nowhere, so the serial port stays closed.
    ProgramFolder folder(0, 1);
    MessageCatcher msgs;
    auto f = load_panel(folder);
    QVERIFY(f);
    QVERIFY(!f->connection().serial_open());
    msgs.clear();
    f->switching().cmd_refresh_Click();
    QCOMPARE(msgs.texts(), QStringList{"RS232 port is disconnected !"});
    QCOMPARE(msgs.messages[0].icon, QMessageBox::Critical);
    check_restored(f.get());
    QVERIFY(f->txt_cmd->text().isEmpty());
}

void TestRefresh::bezel_bounds_from_the_device() {
    // A horizontal bound above 254 is no bezel value: it is ignored, and the vertical
    // bound that follows is still taken as the vertical maximum.
    PanelRig rig;
    QVERIFY(rig.start_pty({"--bezel-max-h", "300", "--bezel-max-v", "40"}, false,
                          QStringLiteral("127.0.0.43")));
    QVERIFY(rig.device.set({"MOD003", "BEZ001", "BEH150", "BEV035"}));
    frm_main *f = rig.f.get();
    // The panel's vertical slider stands above the coming bound.
    QVERIFY(rig.inject("BEV100"));
    QCOMPARE(f->adjust().hsr_bezel_v->value(), 100);
    rig.sim.mark();
    f->switching().cmd_refresh_Click();
    QCOMPARE(rig.sent_since_mark(), refresh_sequence(3, false));
    QCOMPARE(f->adjust().hsr_bezel_h->maximum(), 254);
    QCOMPARE(f->adjust().hsr_bezel_h->value(), 150);
    QCOMPARE(f->adjust().hsr_bezel_v->maximum(), 40);
    QCOMPARE(f->adjust().hsr_bezel_v->value(), 35);
    QCOMPARE(f->adjust().txt_bezel_v->text(), QStringLiteral(" 35"));
    QCOMPARE(int(f->adjust().bezel_max_pending()), int(false));

    // A bound reply that comes on its own right after the refresh set the flag
    // (here: set by hand) becomes the maximum, below the present value: the value
    // drops with it, nothing is sent and the value box keeps its text.
    f->adjust().set_bezel_max_pending(true);
    rig.sim.mark();
    QVERIFY(rig.inject("BEV020"));
    QCOMPARE(f->adjust().hsr_bezel_v->maximum(), 20);
    QCOMPARE(f->adjust().hsr_bezel_v->value(), 20);
    QCOMPARE(f->adjust().txt_bezel_v->text(), QStringLiteral(" 35"));
    QCOMPARE(int(f->adjust().bezel_max_pending()), int(false));
    QCOMPARE(rig.sent_since_mark(), QStringList());
}

void TestRefresh::refresh_over_tcp() {
    PanelRig rig;
    QVERIFY(rig.start_tcp(QStringLiteral("127.0.0.44"),
                          {"MOD002", "AUE004", "AUA001", "AUB002", "RES004", "BEH010", "LCK000",
                           "OUT001", "INP002", "OUT004", "INP001", "OUT003"},
                          {"--version", "205"}));
    frm_main *f = rig.f.get();
    rig.sim.mark();
    f->switching().cmd_refresh_Click();
    QCOMPARE(rig.sent_since_mark(), refresh_sequence(1, false));
    check_restored(f);
    compare_with_device(f, rig.sim.state());
    QVERIFY(rig.msgs.messages.isEmpty());
}

void TestRefresh::refresh_through_a_device_server_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("address");
    QTest::newRow("raw") << int(Ser2netProcess::Mode::Raw) << QStringLiteral("127.0.0.194");
    QTest::newRow("raw with banner")
        << int(Ser2netProcess::Mode::RawBanner) << QStringLiteral("127.0.0.195");
    QTest::newRow("telnet") << int(Ser2netProcess::Mode::Telnet) << QStringLiteral("127.0.0.196");
    QTest::newRow("telnet rfc2217")
        << int(Ser2netProcess::Mode::Rfc2217) << QStringLiteral("127.0.0.197");
}

// Debian's ser2net between the panel and the device, in each mode integrators use;
// the RFC 2217 server starts the line at 9600, the panel sets it to 115200.
void TestRefresh::refresh_through_a_device_server() {
    QFETCH(int, mode);
    QFETCH(QString, address);
    const auto m = Ser2netProcess::Mode(mode);
    PanelRig rig;
    QVERIFY(rig.start_device_server(
        m, address, address.left(address.lastIndexOf('.') + 1) + QStringLiteral("198"),
        {"MOD002", "AUE004", "AUA001", "BEH010", "LCK001", "OUT001", "INP002", "OUT004", "INP001"},
        {"--version", "205"}, m == Ser2netProcess::Mode::Rfc2217 ? "9600n81" : "115200n81"));
    frm_main *f = rig.f.get();
    // The banner is in the log, and was not taken for a reply.
    QCOMPARE(f->txt_cmd->text().contains(QStringLiteral("ser2net port")),
             m == Ser2netProcess::Mode::RawBanner);
    QCOMPARE(f->connection().wsk_client()->telnet().telnet(), m >= Ser2netProcess::Mode::Telnet);
    rig.sim.mark();
    f->switching().cmd_refresh_Click();
    QCOMPARE(rig.sent_since_mark(), refresh_sequence(1, false));
    check_restored(f);
    compare_with_device(f, rig.sim.state());
    QVERIFY(rig.msgs.messages.isEmpty());
    if (m != Ser2netProcess::Mode::Rfc2217) return;
    // The line as ser2net set it up on the device, at the panel's request.
    const int fd = ::open(QFile::encodeName(rig.folder->file("ports/COM1")).constData(),
                          O_RDONLY | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    termios t{};
    const bool got = ::tcgetattr(fd, &t) == 0;
    ::close(fd);
    QVERIFY(got);
    QCOMPARE(cfgetospeed(&t), speed_t(B115200));
    QCOMPARE(int(t.c_cflag & CSIZE), int(CS8));
    QCOMPARE(int(t.c_cflag & (PARENB | CSTOPB | CRTSCTS)), 0);
}

QTEST_MAIN(TestRefresh)
#include "test_refresh.moc"
