// Power, lock, factory reset and firmware version, through the main window
// against veldra-sim.
#include <QJsonObject>
#include <QTest>

#include "panel_rig.h"
#include "protocol/command.h"

namespace {
const QString TCP_ADDR = QStringLiteral("127.0.0.22");

QList<QWidget *> power_frames(frm_main *f) {
    return {f->frames().fra_btn,    f->frames().fra_recall_save, f->frames().fra_dual_a,
            f->frames().fra_dual_b, f->frames().fra_bezel,       f->frames().fra_pic,
            f->frames().fra_audio};
}
} // namespace

class PowerAdmin : public QObject {
    Q_OBJECT
private slots:
    void power_button_cycle() {
        PanelRig r;
        // the device never answers the power-on itself
        QVERIFY(r.start({"--drop-cmd", "PWR001"}));
        frm_main *f = r.f.get();
        const QString none = r.folder->file("bmp/power_none.bmp");
        r.sim.mark();
        QTest::mouseClick(f->admin().cmd_pwr, Qt::LeftButton);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"PWR001"});
        QCOMPARE(f->admin().power_state(), qint16(1));
        QVERIFY(!f->admin().cmd_pwr->isEnabled());
        QCOMPARE(f->admin().cmd_pwr->picture(), none);
        QCOMPARE(f->adjust().cmd_mute->picture(), r.folder->file("bmp/speaker_on.bmp"));
        QCOMPARE(f->adjust().audio_state(), NOT_REPORTED);
        for (QWidget *w : power_frames(f)) QVERIFY(!w->isEnabled());

        // a power reply that reports on releases the button and the frames
        f->admin().cmd_fact_reset->setEnabled(false);
        QVERIFY(r.inject("PWR001"));
        QVERIFY(f->admin().cmd_pwr->isEnabled());
        QVERIFY(f->admin().cmd_fact_reset->isEnabled());
        QCOMPARE(f->admin().cmd_pwr->picture(), r.folder->file("bmp/power_on.bmp"));
        for (QWidget *w : power_frames(f)) QVERIFY(w->isEnabled());

        // on -> standby: PWR000; its reply disables the frames but not the button
        r.sim.mark();
        QTest::mouseClick(f->admin().cmd_pwr, Qt::LeftButton);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"PWR000"});
        QCOMPARE(r.sim.state().value("power").toInt(), 0);
        QCOMPARE(f->admin().power_state(), qint16(0));
        QCOMPARE(f->admin().cmd_pwr->picture(), r.folder->file("bmp/power_standby.bmp"));
        QVERIFY(f->admin().cmd_pwr->isEnabled());
        for (QWidget *w : power_frames(f)) QVERIFY(!w->isEnabled());

        // standby -> on again
        r.sim.mark();
        QTest::mouseClick(f->admin().cmd_pwr, Qt::LeftButton);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"PWR001"});
        QVERIFY(!f->admin().cmd_pwr->isEnabled());
        QCOMPARE(f->admin().cmd_pwr->picture(), none);
    }

    void lock_button_and_replies() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        r.sim.mark();
        f->admin().cmd_lock_Click();
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"LCK001"});
        QCOMPARE(f->admin().lock_state(), qint16(1));
        QCOMPARE(f->admin().cmd_lock->picture(), r.folder->file("bmp/lock.bmp"));
        f->admin().cmd_lock_Click();
        QCOMPARE(r.sim.commands_since_mark(), (QStringList{"LCK001", "LCK000"}));
        QCOMPARE(f->admin().lock_state(), qint16(0));
        QCOMPARE(f->admin().cmd_lock->picture(), r.folder->file("bmp/unlock.bmp"));
        QCOMPARE(r.sim.state().value("lock").toInt(), 0);
        // the device's front panel locks itself
        QVERIFY(r.inject("LCK001"));
        QCOMPARE(f->admin().lock_state(), qint16(1));
        QCOMPARE(f->admin().cmd_lock->picture(), r.folder->file("bmp/lock.bmp"));
    }

    void factory_reset_with_link_down() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        f->link().cmd_disconn_Click();
        QCOMPARE(f->connection().serial_open(), false);
        r.sim.mark();
        QTest::mouseClick(f->admin().cmd_fact_reset, Qt::LeftButton);
        QCOMPARE(r.msgs.texts(), QStringList{"RS232 port is disconnected !"});
        QCOMPARE(r.msgs.messages.first().icon, QMessageBox::Critical);
        QVERIFY(f->admin().cmd_fact_reset->isEnabled());
        pump_ms(100);
        QVERIFY(r.sim.commands_since_mark().isEmpty());
    }

    void factory_reset_waits_for_its_reply() {
        PanelRig r;
        QVERIFY(r.start({"--drop-cmd", "RST001"}));
        frm_main *f = r.f.get();
        r.sim.mark();
        f->admin().cmd_fact_reset_Click();
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"RST001"});
        QVERIFY(!f->admin().cmd_fact_reset->isEnabled());
        QVERIFY(r.msgs.texts().isEmpty());
        // digits other than 1 and 2 mean nothing
        QVERIFY(r.inject("RST005"));
        QVERIFY(!f->admin().cmd_fact_reset->isEnabled());
        QVERIFY(r.inject("RST001"));
        QVERIFY(f->admin().cmd_fact_reset->isEnabled());
    }

    void factory_reset_over_tcp_reconnect_notice() {
        PanelRig r;
        QVERIFY(r.start({}, TCP_ADDR));
        frm_main *f = r.f.get();
        r.sim.mark();
        f->admin().cmd_fact_reset_Click();
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"RST001"});
        QVERIFY2(
            r.msgs.texts().contains("Need to re-connect Ethernet after VELDRA re-boots ready !"),
            qPrintable(r.msgs.texts().join(" | ")));
        // the reply came within the second before the link was dropped
        QVERIFY(f->admin().cmd_fact_reset->isEnabled());
        QCOMPARE(f->connection().eth_connected(), false);
    }

    void firmware_version() {
        PanelRig r;
        QVERIFY(r.start({"--version", "105"}));
        frm_main *f = r.f.get();
        r.sim.mark();
        QTest::mouseClick(f->admin().cmd_ver, Qt::LeftButton);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"VER999"});
        QCOMPARE(f->admin().txt_ver->text(), QStringLiteral("1.05"));
        QVERIFY(r.inject("VER160"));
        QCOMPARE(f->admin().txt_ver->text(), QStringLiteral("1.60"));
    }

    void picture_reset_acknowledgement() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.set_mode(2));
        for (int row = 1; row <= 4; ++row)
            for (const char *mn : {"BRI", "CON", "HUE", "SAT"})
                QVERIFY(r.inject(QLatin1String(mn) + pad3(200 * (row - 1) + 7 + row)));
        QCOMPARE(f->adjust().txt_hue[4]->text(), QStringLiteral(" 11"));

        // Matrix: row 1 only
        QVERIFY(r.inject("MOD001"));
        r.sim.mark();
        QVERIFY(r.inject("RST002"));
        QCOMPARE(f->ui_ready(), true);
        for (auto txt : {&AdjustPanel::txt_bri, &AdjustPanel::txt_con, &AdjustPanel::txt_hue,
                         &AdjustPanel::txt_sat})
            QCOMPARE((f->adjust().*txt)[1]->text(), QStringLiteral("50"));
        for (auto hsr : {&AdjustPanel::hsr_bri, &AdjustPanel::hsr_con, &AdjustPanel::hsr_hue,
                         &AdjustPanel::hsr_sat}) {
            QCOMPARE((f->adjust().*hsr)[1]->value(), 50);
            QCOMPARE((f->adjust().*hsr)[2]->value(), 9);
            QCOMPARE((f->adjust().*hsr)[4]->value(), 11);
        }
        QCOMPARE(f->adjust().txt_bri[3]->text(), QString());

        // Dual: all four rows
        QVERIFY(r.inject("MOD002"));
        QVERIFY(r.inject("RST002"));
        for (auto txt : {&AdjustPanel::txt_bri, &AdjustPanel::txt_con, &AdjustPanel::txt_hue,
                         &AdjustPanel::txt_sat})
            for (int row = 1; row <= 4; ++row)
                QCOMPARE((f->adjust().*txt)[row]->text(), QStringLiteral("50"));
        for (auto hsr : {&AdjustPanel::hsr_bri, &AdjustPanel::hsr_con, &AdjustPanel::hsr_hue,
                         &AdjustPanel::hsr_sat})
            for (int row = 1; row <= 4; ++row) QCOMPARE((f->adjust().*hsr)[row]->value(), 50);
        pump_ms(150);
        QVERIFY(r.sim.commands_since_mark().isEmpty()); // no slider sent anything
    }
};

QTEST_MAIN(PowerAdmin)
#include "test_power_admin.moc"
