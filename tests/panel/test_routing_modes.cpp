// Routing map and display modes, through the main window against veldra-sim.
#include <QJsonArray>
#include <QTest>

#include "panel_rig.h"
#include "protocol/command.h"

namespace {
const QString TCP_ADDR = QStringLiteral("127.0.0.20");
}

class RoutingModes : public QObject {
    Q_OBJECT
private slots:
    void output_and_input_clicks() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        f->switching().map_refresh();
        QCOMPARE(r.shown_lines(), (QStringList{"line_a_1", "line_b_2", "line_c_3", "line_d_4"}));

        r.sim.mark();
        QTest::mouseClick(f->switching().cmd_out[3], Qt::LeftButton);
        QCOMPARE(r.sim.commands_since_mark(), (QStringList{"OUT003", "INP999"}));
        QCOMPARE(f->switching().cur_output(), qint16(3));
        QCOMPARE(PanelRig::selected(f->switching().cmd_out), QList<int>{3});
        QCOMPARE(PanelRig::selected(f->switching().cmd_inp), QList<int>{3});
        for (int i : {1, 2, 4})
            QCOMPARE(f->switching().cmd_out[i]->backColor(), PanelStyle::face());

        r.sim.mark();
        QTest::mouseClick(f->switching().cmd_inp[2], Qt::LeftButton);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"INP002"});
        QCOMPARE(r.sim.state().value("routing").toArray().at(2).toInt(), 2);
        QCOMPARE(f->switching().cur_input(), qint16(2));
        QCOMPARE(PanelRig::selected(f->switching().cmd_inp), QList<int>{2});
        // only output 3's lines were redrawn
        QCOMPARE(r.shown_lines(), (QStringList{"line_a_1", "line_b_2", "line_c_2", "line_d_4"}));
        // an OUT reply alone moves only the output highlight
        QVERIFY(r.inject("OUT001"));
        QCOMPARE(PanelRig::selected(f->switching().cmd_out), QList<int>{1});
        QCOMPARE(PanelRig::selected(f->switching().cmd_inp), QList<int>{2});
        QCOMPARE(r.shown_lines(), (QStringList{"line_a_1", "line_b_2", "line_c_2", "line_d_4"}));
        // INP004 for output 1 shows the slanted red line to the fourth input
        QVERIFY(r.inject("INP004"));
        QCOMPARE(r.shown_lines(), (QStringList{"line_a_4", "line_b_2", "line_c_2", "line_d_4"}));
    }

    void input_click_over_tcp() {
        PanelRig r;
        QVERIFY(r.start({}, TCP_ADDR));
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        r.sim.mark();
        f->switching().cmd_out_Click(3);
        f->switching().cmd_inp_Click(2);
        QCOMPARE(r.sim.commands_since_mark(), (QStringList{"OUT003", "INP999", "INP002"}));
        QCOMPARE(r.shown_lines(), QStringList{"line_c_2"});
        QCOMPARE(PanelRig::selected(f->switching().cmd_inp), QList<int>{2});
        QCOMPARE(PanelRig::selected(f->switching().cmd_out), QList<int>{3});
        QVERIFY(r.msgs.texts().isEmpty());
    }

    void map_refresh_reads_every_output() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.route({2, 4, 1, 3}));
        r.sim.mark();
        f->switching().map_refresh();
        QCOMPARE(r.sim.commands_since_mark(), map_refresh_commands());
        QCOMPARE(r.shown_lines(), (QStringList{"line_a_2", "line_b_4", "line_c_1", "line_d_3"}));
        QCOMPARE(PanelRig::selected(f->switching().cmd_out), QList<int>{4});
        QCOMPARE(PanelRig::selected(f->switching().cmd_inp), QList<int>{3});
    }

    void map_refresh_stops_at_first_unanswered() {
        PanelRig r;
        QVERIFY(r.start({"--drop-cmd", "OUT002"}));
        frm_main *f = r.f.get();
        f->exchange().send_cmd("OUT001");
        f->exchange().send_cmd("INP003");
        r.sim.mark();
        f->switching().map_refresh();
        QCOMPARE(r.sim.commands_since_mark(), (QStringList{"OUT001", "INP999", "OUT002"}));
        QCOMPARE(f->exchange().reply_ok(), false);
        QCOMPARE(r.shown_lines(), QStringList{"line_a_3"});
        QCOMPARE(f->switching().cur_output(), qint16(1));
    }

    void out_of_range_replies_change_nothing() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        QVERIFY(r.set_mode(2));
        f->switching().map_refresh();
        const QStringList lines = r.shown_lines();
        QCOMPARE(lines.size(), 4);
        const QColor mode2 = f->switching().cmd_mode[2]->backColor();
        QCOMPARE(mode2, PanelStyle::selection_colour());
        for (const char *reply :
             {"OUT007", "OUT000", "OUT005", "INP000", "INP009", "MOD004", "MOD000", "MOD009"}) {
            QVERIFY2(r.inject(reply), reply);
            QCOMPARE(f->switching().cur_output(), qint16(4));
            QCOMPARE(f->switching().cur_input(), qint16(4));
            QCOMPARE(f->switching().mode_digit(), qint16(2));
            QCOMPARE(PanelRig::selected(f->switching().cmd_out), QList<int>{4});
            QCOMPARE(PanelRig::selected(f->switching().cmd_inp), QList<int>{4});
            QCOMPARE(PanelRig::selected(f->switching().cmd_mode), QList<int>{2});
            QCOMPARE(r.shown_lines(), lines);
            QCOMPARE(f->switching().cmd_out[1]->text(), QStringLiteral("AL"));
            QVERIFY(f->frames().fra_dual_a->isEnabled());
        }
    }

    void two_by_two_selects_output_one_only() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        f->switching().map_refresh();
        f->switching().cmd_recall[2]->setBackColor(PanelStyle::selection_colour());
        f->switching().cmd_save[1]->setBackColor(PanelStyle::selection_colour());
        r.sim.mark();
        QTest::mouseClick(f->switching().cmd_mode[3], Qt::LeftButton);
        // MOD003, output 1 and its input, then the per-row picture read-back
        QCOMPARE(r.sim.commands_since_mark(),
                 (QStringList{"MOD003", "OUT001", "INP999"} + row_picture_queries()));
        QCOMPARE(f->switching().mode_digit(), qint16(3));
        QCOMPARE(r.sim.state().value("output").toInt(), 1);
        for (int i = 1; i <= 4; ++i) {
            QCOMPARE(f->switching().cmd_out[i]->text(), QString());
            QCOMPARE(f->switching().cmd_out[i]->backColor(), PanelStyle::face());
            QCOMPARE(f->switching().cmd_recall[i]->backColor(), PanelStyle::face());
            QCOMPARE(f->switching().cmd_save[i]->backColor(), PanelStyle::face());
        }
        QCOMPARE(PanelRig::selected(f->switching().cmd_mode), QList<int>{3});
        QCOMPARE(PanelRig::selected(f->switching().cmd_inp), QList<int>{1});
        QVERIFY(r.shown_lines().isEmpty());
        QVERIFY(f->frames().fra_bezel->isEnabled());
        QVERIFY(!f->frames().fra_dual_a->isEnabled());
        QVERIFY(!f->frames().fra_dual_b->isEnabled());
        for (int i = 1; i <= 3; ++i) QVERIFY(f->switching().cmd_mode[i]->isEnabled());
        for (int row = 1; row <= 4; ++row) {
            QCOMPARE(f->adjust().lab_hue[row]->text(), QStringLiteral("OUT %1").arg(row));
            QVERIFY(f->adjust().hsr_con[row]->isEnabled());
            QCOMPARE(f->adjust().txt_sat[row]->text(), QStringLiteral(" 50"));
        }

        // output clicks do nothing in 2X2; an INP reply moves the highlight, draws no line
        r.sim.mark();
        QTest::mouseClick(f->switching().cmd_out[2], Qt::LeftButton);
        f->switching().cmd_out_Click(4);
        pump_ms(100);
        QVERIFY(r.sim.commands_since_mark().isEmpty());
        QCOMPARE(f->switching().cur_output(), qint16(1));
        QVERIFY(r.inject("INP004"));
        QCOMPARE(PanelRig::selected(f->switching().cmd_inp), QList<int>{4});
        QVERIFY(r.shown_lines().isEmpty());
        // input clicks still work
        QTest::mouseClick(f->switching().cmd_inp[3], Qt::LeftButton);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"INP003"});
        QVERIFY(r.shown_lines().isEmpty());
        // map_refresh tests no mode: the selection moves across the blank buttons
        r.sim.mark();
        f->switching().map_refresh();
        QCOMPARE(r.sim.commands_since_mark(), map_refresh_commands());
        QCOMPARE(PanelRig::selected(f->switching().cmd_out), QList<int>{4});
        QVERIFY(r.shown_lines().isEmpty());
    }

    void dual_in_standby_keeps_audio_frames_disabled() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        f->admin().cmd_pwr_Click(); // on -> standby
        QCOMPARE(f->admin().power_state(), qint16(0));
        QVERIFY(!f->frames().fra_btn->isEnabled());
        r.sim.mark();
        f->switching().cmd_mode_Click(2); // as the keypad does: the frame is disabled
        QCOMPARE(r.sim.commands_since_mark(),
                 (QStringList{"MOD002"} + map_refresh_commands() + row_picture_queries()));
        const QStringList dual{"AL", "AR", "BL", "BR"};
        for (int i = 1; i <= 4; ++i) {
            QCOMPARE(f->switching().cmd_out[i]->text(), dual[i - 1]);
            QCOMPARE(f->adjust().lab_bri[i]->text(), dual[i - 1]);
        }
        QVERIFY(!f->frames().fra_dual_a->isEnabled());
        QVERIFY(!f->frames().fra_dual_b->isEnabled());
        QVERIFY(!f->frames().fra_bezel->isEnabled());
        QCOMPARE(PanelRig::selected(f->switching().cmd_out), QList<int>{4});
        QCOMPARE(r.shown_lines(), (QStringList{"line_a_1", "line_b_2", "line_c_3", "line_d_4"}));

        // powered on again, the next MOD reply enables the Dual frames
        f->exchange().send_cmd("PWR001");
        QVERIFY(f->frames().fra_bezel->isEnabled()); // a PWR reply enables all seven frames
        QVERIFY(r.inject("MOD002"));
        QVERIFY(f->frames().fra_dual_a->isEnabled());
        QVERIFY(f->frames().fra_dual_b->isEnabled());
        QVERIFY(!f->frames().fra_bezel->isEnabled());
        // a MOD reply for the current mode still hides every line
        QVERIFY(r.shown_lines().isEmpty());
    }

    void matrix_reply_empties_rows_two_to_four() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        QVERIFY(r.set_mode(2));
        f->adjust().cmd_pic_refresh_Click();
        QCOMPARE(f->adjust().txt_con[4]->text(), QStringLiteral(" 50"));
        QVERIFY(r.inject("MOD001"));
        for (const auto *labs : {&f->adjust().lab_con, &f->adjust().lab_bri, &f->adjust().lab_sat,
                                 &f->adjust().lab_hue})
            QCOMPARE((*labs)[1]->text(), QStringLiteral("ALL"));
        for (int row = 2; row <= 4; ++row) {
            for (const auto *labs : {&f->adjust().lab_con, &f->adjust().lab_bri,
                                     &f->adjust().lab_sat, &f->adjust().lab_hue})
                QCOMPARE((*labs)[row]->text(), QString());
            for (const auto *txts : {&f->adjust().txt_con, &f->adjust().txt_bri,
                                     &f->adjust().txt_sat, &f->adjust().txt_hue})
                QCOMPARE((*txts)[row]->text(), QString());
            for (const auto *hsrs : {&f->adjust().hsr_con, &f->adjust().hsr_bri,
                                     &f->adjust().hsr_sat, &f->adjust().hsr_hue})
                QVERIFY(!(*hsrs)[row]->isEnabled());
        }
        QVERIFY(f->adjust().hsr_bri[1]->isEnabled());
        QCOMPARE(f->adjust().txt_bri[1]->text(), QStringLiteral(" 50"));
        for (int i = 1; i <= 4; ++i)
            QCOMPARE(f->switching().cmd_out[i]->text(), QStringLiteral("OUT%1").arg(i));
        QVERIFY(!f->frames().fra_dual_a->isEnabled());
        QVERIFY(!f->frames().fra_bezel->isEnabled());

        QVERIFY(r.inject("MOD003"));
        for (int row = 2; row <= 4; ++row) {
            QVERIFY(f->adjust().hsr_sat[row]->isEnabled());
            QCOMPARE(f->adjust().lab_sat[row]->text(), QStringLiteral("OUT %1").arg(row));
            QCOMPARE(f->adjust().txt_sat[row]->text(), QString());
        }
        QVERIFY(f->frames().fra_bezel->isEnabled());
    }

    void mode_change_to_matrix_rereads_map() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        QVERIFY(r.set_mode(2));
        QVERIFY(r.route({3, 3, 2, 1}));
        f->exchange().send_cmd("OUT002");
        QCOMPARE(PanelRig::selected(f->switching().cmd_out), QList<int>{2});
        r.sim.mark();
        Watch any_mode_enabled([&] {
            return f->switching().cmd_mode[1]->isEnabled() ||
                   f->switching().cmd_mode[2]->isEnabled() ||
                   f->switching().cmd_mode[3]->isEnabled();
        });
        QTest::mouseClick(f->switching().cmd_mode[1], Qt::LeftButton);
        any_mode_enabled.stop();
        QVERIFY(any_mode_enabled.samples > 0);
        QVERIFY(!any_mode_enabled.ever);
        QCOMPARE(r.sim.commands_since_mark(),
                 (QStringList{"MOD001"} + map_refresh_commands() +
                  QStringList{"BRI999", "CON999", "HUE999", "SAT999"}));
        QCOMPARE(PanelRig::selected(f->switching().cmd_out), QList<int>{4});
        QCOMPARE(PanelRig::selected(f->switching().cmd_mode), QList<int>{1});
        QCOMPARE(r.shown_lines(), (QStringList{"line_a_3", "line_b_3", "line_c_2", "line_d_1"}));
        for (int i = 1; i <= 3; ++i) QVERIFY(f->switching().cmd_mode[i]->isEnabled());
    }

    void late_mode_reply_is_awaited_with_buttons_locked() {
        PanelRig r;
        QVERIFY(r.start({"--drop-cmd", "MOD002"}));
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        r.sim.mark();
        // the reply comes 1.5 s after the click, long after the exchange's own wait
        QTimer::singleShot(1500, [&] { r.sim.inject("MOD002"); });
        Watch any_mode_enabled([&] {
            return f->switching().cmd_mode[1]->isEnabled() ||
                   f->switching().cmd_mode[2]->isEnabled() ||
                   f->switching().cmd_mode[3]->isEnabled();
        });
        f->switching().cmd_mode_Click(2);
        any_mode_enabled.stop();
        QVERIFY(!any_mode_enabled.ever);
        QCOMPARE(f->switching().mode_digit(), qint16(2));
        QCOMPARE(r.sim.commands_since_mark(),
                 (QStringList{"MOD002"} + map_refresh_commands() + row_picture_queries()));
        QCOMPARE(PanelRig::selected(f->switching().cmd_mode), QList<int>{2});
        QCOMPARE(PanelRig::selected(f->switching().cmd_out), QList<int>{4});
    }

    void unanswered_mode_change_sends_nothing_more() {
        PanelRig r;
        QVERIFY(r.start({"--drop-cmd", "MOD003"}));
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        f->exchange().send_cmd("MOD001");
        f->exchange().send_cmd("OUT002");
        r.sim.mark();
        Watch any_mode_enabled([&] {
            return f->switching().cmd_mode[1]->isEnabled() ||
                   f->switching().cmd_mode[2]->isEnabled() ||
                   f->switching().cmd_mode[3]->isEnabled();
        });
        f->switching().cmd_mode_Click(3);
        any_mode_enabled.stop();
        QVERIFY(any_mode_enabled.samples > 100); // it really waited the 5 s
        QVERIFY(!any_mode_enabled.ever);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"MOD003"});
        QCOMPARE(f->switching().mode_digit(), qint16(1));
        QVERIFY(PanelRig::selected(f->switching().cmd_mode).isEmpty());
        for (int i = 1; i <= 3; ++i) QVERIFY(f->switching().cmd_mode[i]->isEnabled());
        QCOMPARE(f->switching().cmd_out[1]->text(), QStringLiteral("OUT1"));
    }
};

QTEST_MAIN(RoutingModes)
#include "test_routing_modes.moc"
