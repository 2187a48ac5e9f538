// Picture adjustment and presets, through the main window against veldra-sim.
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>

#include "panel_rig.h"

namespace {
const QString TCP_ADDR = QStringLiteral("127.0.0.21");

// The four picture families in the left-to-right order of their frames.
QList<PictureFamily> families(frm_main *f) {
    QList<PictureFamily> all;
    for (int i = 0; i < 4; ++i) all << f->adjust().picture_family(static_cast<PictureParam>(i));
    return all;
}

// Sets every row of the panel to an empty box and slider 0 without sending.
void blank_picture(frm_main *f) {
    TestProbe::set_ui_ready(*f, false);
    for (const PictureFamily &fam : families(f))
        for (int row = 1; row <= 4; ++row) {
            (*fam.txt)[row]->clear();
            (*fam.hsr)[row]->setValue(0);
        }
    TestProbe::set_ui_ready(*f, true);
}
} // namespace

class PicturePresets : public QObject {
    Q_OBJECT
private slots:
    void slider_moves_send_packed_values() {
        PanelRig r;
        QVERIFY(r.start({"--latency", "250"}));
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        QVERIFY(r.set_mode(2));

        f->cmd_clear_Click();
        r.sim.mark();
        const int before = f->exchange().dispatch_count();
        TextHistory shown(f->adjust().txt_bri[3]);
        f->adjust().hsr_bri[3]->setValue(37);
        QVERIFY(r.sim.wait_commands(1));
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"BRI437"});
        QVERIFY(pump_until([&] { return f->exchange().dispatch_count() > before; }));
        // Slider commands are not logged; the reply is.
        QCOMPARE(f->txt_cmd->text(), QStringLiteral("BRI437\r "));
        // The operator's value first, then the device's.
        QCOMPARE(shown.texts, (QStringList{"37", " 37"}));
        QCOMPARE(r.sim.state().value("rows").toArray().at(2).toObject().value("bri").toInt(), 37);

        // the device's own value moves the slider back and sends nothing
        QVERIFY(r.inject("BRI412"));
        QCOMPARE(f->adjust().hsr_bri[3]->value(), 12);
        QCOMPARE(f->adjust().txt_bri[3]->text(), QStringLiteral(" 12"));
        QCOMPARE(f->ui_ready(), true);
        pump_ms(150);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"BRI437"});

        // row 1 at 100 in Dual
        r.sim.mark();
        f->adjust().hsr_bri[1]->setValue(100);
        QVERIFY(r.sim.wait_commands(1));
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"BRI100"});
        QVERIFY(pump_until([&] { return f->adjust().txt_bri[1]->text() == " 100"; }));

        // 2X2: contrast row 3 at 40
        QVERIFY(r.set_mode(3));
        r.sim.mark();
        f->adjust().hsr_con[3]->setValue(40);
        QVERIFY(r.sim.wait_commands(1));
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"CON440"});
        QVERIFY(pump_until([&] { return f->adjust().txt_con[3]->text() == " 40"; }));

        // Matrix: row 1 at 7
        QVERIFY(r.set_mode(1));
        r.sim.mark();
        TextHistory shown_matrix(f->adjust().txt_bri[1]);
        f->adjust().hsr_bri[1]->setValue(7);
        QVERIFY(r.sim.wait_commands(1));
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"BRI007"});
        QVERIFY(pump_until([&] { return f->adjust().txt_bri[1]->text() == " 7"; }));
        QCOMPARE(shown_matrix.texts, (QStringList{"7", " 7"}));
        QCOMPARE(r.sim.state().value("matrix").toObject().value("bri").toInt(), 7);

        // while ui_ready is clear a move sends nothing and writes no box
        r.sim.mark();
        TestProbe::set_ui_ready(*f, false);
        f->adjust().hsr_hue[1]->setValue(60);
        TestProbe::set_ui_ready(*f, true);
        pump_ms(100);
        QVERIFY(r.sim.commands_since_mark().isEmpty());
        QCOMPARE(f->adjust().txt_hue[1]->text(), QString());
    }

    void arrow_click_of_a_slider() {
        PanelRig r;
        QVERIFY(r.start({}, QString(), true)); // full height: the picture panel is shown
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        r.sim.mark();
        // the operator's click on the right arrow, hit-tested through the window
        HSlider *hsr = f->adjust().hsr_con[1];
        const QPoint at = hsr->mapTo(f, QPoint(hsr->width() - 3, hsr->height() / 2));
        QTest::mouseClick(f->windowHandle(), Qt::LeftButton, {}, at);
        QVERIFY(r.sim.wait_commands(1));
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"CON001"});
        QCOMPARE(hsr->value(), 1);
        // a click on the value box is not a slider move
        QLineEdit *box = f->adjust().txt_con[1];
        QTest::mouseClick(f->windowHandle(), Qt::LeftButton, {},
                          box->mapTo(f, box->rect().center()));
        pump_ms(100);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"CON001"});
        QCOMPARE(hsr->value(), 1);
    }

    // With the link down, one operator action on a picture or bezel slider gives one
    // message and one step, also when the release of the press lands under the message.
    void link_down_one_message_one_step_data() {
        QTest::addColumn<QString>("row"); // slider, action, whether the message stays up
        for (const char *row :
             {"hsr_bri_2 arrow held", "hsr_con_1 arrow answered", "hsr_sat_3 track held",
              "hsr_hue_4 key answered", "hsr_bri_1 wheel answered", "hsr_bezel_h arrow held",
              "hsr_bezel_v track answered", "hsr_bezel_v key answered",
              "hsr_bezel_h wheel answered"})
            QTest::newRow(row) << row;
    }
    void link_down_one_message_one_step() {
        QFETCH(QString, row);
        const QString slider = row.section(' ', 0, 0), action = row.section(' ', 1, 1);
        const bool hold = row.endsWith(QLatin1String("held")); // past the auto-repeat delay
        const bool mouse = action == QLatin1String("arrow") || action == QLatin1String("track");
        ProgramFolder folder(1, 1, true); // Ethernet, never connected, full height
        auto f = load_panel(folder);
        QVERIFY(f);
        f->frames().fra_pic->setEnabled(true); // as after a refresh
        f->frames().fra_bezel->setEnabled(true);
        auto *hsr = f->findChild<HSlider *>(slider);
        auto *box = f->findChild<QLineEdit *>(QStringLiteral("txt_") + slider.mid(4));
        // Hit-tested through the window: the arrow, or the track just beside the value box.
        const int x = action == QLatin1String("arrow") ? hsr->width() - 3
                                                       : box->geometry().right() - hsr->x() + 2;
        const QPoint at = hsr->mapTo(f.get(), QPoint(x, hsr->height() / 2));
        QVERIFY(!mouse || f->childAt(at) == hsr);
        const auto act = [&](bool release) {
            QWheelEvent wheel(QPointF(5, 5), hsr->mapToGlobal(QPointF(5, 5)), QPoint(),
                              QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            if (action == QLatin1String("key")) QTest::keyClick(hsr, Qt::Key_Right);
            if (action == QLatin1String("wheel")) QCoreApplication::sendEvent(hsr, &wheel);
            if (mouse) QTest::mousePress(f->windowHandle(), Qt::LeftButton, {}, at);
            if (mouse && release) QTest::mouseRelease(f->windowHandle(), Qt::LeftButton, {}, at);
        };
        // The step one such action gives when nothing is sent (the Right key steps a scroll
        // bar down: Qt's inverted controls).
        TestProbe::set_ui_ready(*f, false);
        hsr->setValue(50);
        act(true);
        const int step = hsr->value() - 50;
        hsr->setValue(50);
        TestProbe::set_ui_ready(*f, true);
        if (action != QLatin1String("wheel"))
            QCOMPARE(qAbs(step), action == QLatin1String("track") ? hsr->pageStep() : 1);
        QVERIFY(step != 0);

        // The operator answers each message, letting a mouse button go while it is up, so
        // the window never sees the release.
        QStringList texts;
        qint64 first_seen = -1;
        QTimer operator_hand;
        connect(&operator_hand, &QTimer::timeout, [&] {
            auto *m = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!m) return;
            if (first_seen < 0 && mouse)
                QTest::mouseRelease(f->windowHandle(), Qt::LeftButton, {}, at);
            if (first_seen < 0) first_seen = clock_ms();
            if (hold && clock_ms() - first_seen < 800) return;
            texts << m->text();
            m->button(QMessageBox::Ok)->click();
        });
        operator_hand.start(10);
        act(false);
        pump_ms(800); // past the auto-repeat delay of a press
        QCOMPARE(texts, QStringList{"Ethernet port is disconnected !"});
        QCOMPARE(hsr->value(), 50 + step);
        QCOMPARE(box->text(), QString::number(50 + step));
    }

    void picture_replies_per_mode() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        QVERIFY(r.set_mode(3));
        r.sim.mark();
        QVERIFY(r.inject("SAT650"));
        QCOMPARE(f->adjust().hsr_sat[4]->value(), 50);
        QCOMPARE(f->adjust().txt_sat[4]->text(), QStringLiteral(" 50"));
        QVERIFY(r.inject("HUE000"));
        QCOMPARE(f->adjust().txt_hue[1]->text(), QStringLiteral(" 0"));

        // values that fit no slider or row change nothing
        QVERIFY(r.set_mode(2));
        blank_picture(f);
        r.sim.mark();
        for (const char *reply : {"BRI950", "BRI350", "CON101", "HUE899", "SAT750"}) {
            QVERIFY2(r.inject(reply), reply);
            QCOMPARE(f->ui_ready(), true);
            for (const PictureFamily &fam : families(f))
                for (int row = 1; row <= 4; ++row) {
                    QCOMPARE((*fam.hsr)[row]->value(), 0);
                    QCOMPARE((*fam.txt)[row]->text(), QString());
                }
        }
        QVERIFY(r.set_mode(1));
        r.sim.mark();
        QVERIFY(r.inject("BRI101"));
        QCOMPARE(f->adjust().hsr_bri[1]->value(), 0);
        QCOMPARE(f->adjust().txt_bri[1]->text(), QString());
        QVERIFY(r.inject("SAT050"));
        QCOMPARE(f->adjust().hsr_sat[1]->value(), 50);
        QCOMPARE(f->adjust().txt_sat[1]->text(), QStringLiteral(" 50"));
        // a Matrix reply never lands in another row
        QVERIFY(r.inject("SAT450"));
        QCOMPARE(f->adjust().hsr_sat[3]->value(), 0);
        pump_ms(100);
        QVERIFY(r.sim.commands_since_mark().isEmpty());
    }

    void read_back_in_matrix() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        for (const char *c : {"BRI030", "CON031", "HUE032", "SAT033"}) f->exchange().send_cmd(c);
        blank_picture(f);
        r.sim.mark();
        QTest::mouseClick(f->adjust().cmd_pic_refresh, Qt::LeftButton);
        QCOMPARE(r.sim.commands_since_mark(),
                 (QStringList{"BRI999", "CON999", "HUE999", "SAT999"}));
        QCOMPARE(f->adjust().txt_bri[1]->text(), QStringLiteral(" 30"));
        QCOMPARE(f->adjust().hsr_con[1]->value(), 31);
        QCOMPARE(f->adjust().txt_hue[1]->text(), QStringLiteral(" 32"));
        QCOMPARE(f->adjust().hsr_sat[1]->value(), 33);
        QCOMPARE(f->adjust().txt_bri[2]->text(), QString());
    }

    void read_back_in_matrix_stops_at_first_failure() {
        PanelRig r;
        QVERIFY(r.start({"--drop-cmd", "CON999"}));
        frm_main *f = r.f.get();
        r.sim.mark();
        f->adjust().cmd_pic_refresh_Click();
        QCOMPARE(r.sim.commands_since_mark(), (QStringList{"BRI999", "CON999"}));
        QCOMPARE(f->adjust().txt_bri[1]->text(), QStringLiteral(" 50"));
    }

    void read_back_per_row() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.set_mode(2));
        // row n's brightness 10 n, contrast 10 n + 1, ...
        for (int row = 1; row <= 4; ++row) {
            int k = 0;
            for (const char *mn : {"BRI", "CON", "HUE", "SAT"})
                f->exchange().send_cmd(
                    QStringLiteral("%1%2")
                        .arg(QLatin1String(mn))
                        .arg(200 * (row - 1) + 10 * row + k++, 3, 10, QLatin1Char('0')));
        }
        blank_picture(f);
        r.sim.mark();
        f->adjust().cmd_pic_refresh_Click();
        QCOMPARE(r.sim.commands_since_mark(), row_picture_queries());
        for (int row = 1; row <= 4; ++row) {
            QCOMPARE(f->adjust().txt_bri[row]->text(), QStringLiteral(" %1").arg(10 * row));
            QCOMPARE(f->adjust().hsr_con[row]->value(), 10 * row + 1);
            QCOMPARE(f->adjust().hsr_hue[row]->value(), 10 * row + 2);
            QCOMPARE(f->adjust().txt_sat[row]->text(), QStringLiteral(" %1").arg(10 * row + 3));
        }
    }

    void read_back_per_row_stop_rules() {
        PanelRig r;
        QVERIFY(r.start({"--drop-cmd", "SAT991", "--drop-cmd", "HUE992"}));
        frm_main *f = r.f.get();
        QVERIFY(r.set_mode(3));
        r.sim.mark();
        f->adjust().cmd_pic_refresh_Click();
        // an unanswered saturation goes on with the next row; an unanswered hue ends it
        QCOMPARE(r.sim.commands_since_mark(), row_picture_queries().mid(0, 7));
        QCOMPARE(f->adjust().txt_con[2]->text(), QStringLiteral(" 50"));
        QCOMPARE(f->adjust().txt_sat[1]->text(), QString());
        QCOMPARE(f->adjust().txt_bri[3]->text(), QString());
    }

    void picture_reset_button() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        f->exchange().send_cmd("BRI020");
        QCOMPARE(f->adjust().txt_bri[1]->text(), QStringLiteral(" 20"));
        r.sim.mark();
        QTest::mouseClick(f->adjust().cmd_pic_reset, Qt::LeftButton);
        pump_ms(100);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"RST002"});
        QCOMPARE(r.sim.state().value("matrix").toObject().value("bri").toInt(), 50);
        QCOMPARE(f->adjust().txt_bri[1]->text(), QStringLiteral("50"));
        QCOMPARE(f->adjust().hsr_bri[1]->value(), 50);
    }

    // ---- presets

    void save_marks_the_confirmed_preset() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        QVERIFY(r.inject("CAL001"));
        r.sim.mark();
        Watch save_enabled([&] {
            return f->switching().cmd_save[1]->isEnabled() ||
                   f->switching().cmd_save[4]->isEnabled();
        });
        QTest::mouseClick(f->switching().cmd_save[3], Qt::LeftButton);
        save_enabled.stop();
        QVERIFY(!save_enabled.ever);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"SAV003"});
        QCOMPARE(PanelRig::selected(f->switching().cmd_save), QList<int>{3});
        QCOMPARE(PanelRig::selected(f->switching().cmd_recall), QList<int>{1});
        for (int i = 1; i <= 4; ++i) QVERIFY(f->switching().cmd_save[i]->isEnabled());

        // replies naming no preset change nothing
        for (const char *reply : {"SAV009", "SAV000", "SAV005", "CAL000", "CAL007"}) {
            QVERIFY2(r.inject(reply), reply);
            QCOMPARE(PanelRig::selected(f->switching().cmd_save), QList<int>{3});
            QCOMPARE(PanelRig::selected(f->switching().cmd_recall), QList<int>{1});
        }
        // a CAL reply alone moves the highlight and re-reads nothing
        QVERIFY(r.inject("CAL004"));
        QCOMPARE(PanelRig::selected(f->switching().cmd_recall), QList<int>{4});
        pump_ms(100);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"SAV003"});
    }

    void recall_rereads_the_map() {
        PanelRig r;
        QVERIFY(r.start());
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        QVERIFY(r.route({2, 4, 1, 3}));
        f->exchange().send_cmd("SAV002");
        QVERIFY(r.route({1, 1, 1, 1}));
        f->switching().map_refresh();
        QCOMPARE(r.shown_lines(), (QStringList{"line_a_1", "line_b_1", "line_c_1", "line_d_1"}));
        r.sim.mark();
        Watch recall_enabled([&] {
            for (int i = 1; i <= 4; ++i)
                if (f->switching().cmd_recall[i]->isEnabled()) return true;
            return false;
        });
        QTest::mouseClick(f->switching().cmd_recall[2], Qt::LeftButton);
        recall_enabled.stop();
        QVERIFY(!recall_enabled.ever);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"CAL002"} + map_refresh_commands());
        QCOMPARE(r.shown_lines(), (QStringList{"line_a_2", "line_b_4", "line_c_1", "line_d_3"}));
        QCOMPARE(PanelRig::selected(f->switching().cmd_recall), QList<int>{2});
        QCOMPARE(PanelRig::selected(f->switching().cmd_out), QList<int>{4});
        for (int i = 1; i <= 4; ++i) QVERIFY(f->switching().cmd_recall[i]->isEnabled());
    }

    void unanswered_recall_reads_nothing() {
        PanelRig r;
        QVERIFY(r.start({"--drop-cmd", "CAL003"}));
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        QVERIFY(r.inject("CAL001"));
        r.sim.mark();
        Watch recall_enabled([&] { return f->switching().cmd_recall[3]->isEnabled(); });
        f->switching().cmd_recall_Click(3);
        recall_enabled.stop();
        QVERIFY(recall_enabled.samples > 100); // the late-reply wait ran
        QVERIFY(!recall_enabled.ever);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"CAL003"});
        QVERIFY(PanelRig::selected(f->switching().cmd_recall).isEmpty());
        for (int i = 1; i <= 4; ++i) QVERIFY(f->switching().cmd_recall[i]->isEnabled());
    }

    void recall_over_tcp() {
        PanelRig r;
        QVERIFY(r.start({}, TCP_ADDR));
        frm_main *f = r.f.get();
        QVERIFY(r.power_on());
        QVERIFY(r.route({4, 3, 2, 1}));
        f->exchange().send_cmd("SAV004");
        QCOMPARE(PanelRig::selected(f->switching().cmd_save), QList<int>{4});
        QVERIFY(r.route({1, 2, 3, 4}));
        r.sim.mark();
        f->switching().cmd_recall_Click(4);
        QCOMPARE(r.sim.commands_since_mark(), QStringList{"CAL004"} + map_refresh_commands());
        QCOMPARE(r.shown_lines(), (QStringList{"line_a_4", "line_b_3", "line_c_2", "line_d_1"}));
        QCOMPARE(PanelRig::selected(f->switching().cmd_recall), QList<int>{4});
        QVERIFY(r.msgs.texts().isEmpty());
    }
};

QTEST_MAIN(PicturePresets)
#include "test_picture_presets.moc"
