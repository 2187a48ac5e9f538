// Bezel correction, audio and output resolution against the simulated device: what
// each control sends, and what each reply does to the controls (and never sends).

#include <QJsonObject>
#include <QTest>
#include <QTimer>

#include "panel_rig.h"

namespace {

// Clicks an option button where an operator would: on its indicator.
void click_option(QRadioButton *b) {
    QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, QPoint(8, b->height() / 2));
}

QJsonObject bezel_state(const SimDevice &sim) { return sim.state()["bezel"].toObject(); }
QJsonObject audio_state_of(const SimDevice &sim) { return sim.state()["audio"].toObject(); }

} // namespace

class TestBezelAudioRes : public QObject {
    Q_OBJECT
private slots:
    void bezel_sliders_send_their_amount();
    void bezel_amount_and_bound_replies();
    void bezel_on_off();
    void audio_options_send();
    void audio_replies_select_without_sending();
    void mute_button_and_speaker_picture();
    void mute_without_answer();
    void options_send_nothing_while_not_ready();
    void resolution_choice();
    void resolution_refused_in_dual_and_2x2();
    void resolution_replies();
    void audio_over_tcp();
};

void TestBezelAudioRes::bezel_sliders_send_their_amount() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    QVERIFY(rig.power_on());
    rig.sim.mark();
    TextHistory shown(f->adjust().txt_bezel_h);
    f->adjust().hsr_bezel_h->setValue(12);
    QVERIFY(rig.sim.wait_commands(1));
    QCOMPARE(rig.sim.commands_since_mark(), QStringList{"BEH012"});
    // The device's answer comes back through the reception and is shown as a reply.
    QVERIFY(pump_until([&] { return f->adjust().txt_bezel_h->text() == QLatin1String(" 12"); }));
    // First the operator's own value, without a blank.
    QCOMPARE(shown.texts, (QStringList{"12", " 12"}));
    QCOMPARE(bezel_state(rig.sim)["h"].toInt(), 12);
    QVERIFY(!f->txt_cmd->text().contains(QStringLiteral("BEH012 "))); // sent without a log entry

    // Track click steps 10, arrow click 1.
    rig.sim.mark();
    f->adjust().hsr_bezel_v->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QVERIFY(rig.sim.wait_commands(1));
    QVERIFY(pump_until([&] { return f->adjust().txt_bezel_v->text() == QLatin1String(" 10"); }));
    f->adjust().hsr_bezel_v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QVERIFY(rig.sim.wait_commands(2));
    QVERIFY(pump_until([&] { return f->adjust().txt_bezel_v->text() == QLatin1String(" 11"); }));
    QCOMPARE(rig.sent_since_mark(), (QStringList{"BEV010", "BEV011"}));
    QCOMPARE(bezel_state(rig.sim)["v"].toInt(), 11);

    // Moved while ui_ready is clear: nothing is sent and the box is not written.
    rig.sim.mark();
    TestProbe::set_ui_ready(*f, false);
    f->adjust().hsr_bezel_h->setValue(77);
    TestProbe::set_ui_ready(*f, true);
    QCOMPARE(rig.sent_since_mark(), QStringList());
    QCOMPARE(f->adjust().txt_bezel_h->text(), QStringLiteral(" 12"));
}

void TestBezelAudioRes::bezel_amount_and_bound_replies() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    rig.sim.mark();

    // No bound query pending: the reply is the amount.
    QVERIFY(rig.inject("BEV040"));
    QCOMPARE(f->adjust().hsr_bezel_v->value(), 40);
    QCOMPARE(f->adjust().hsr_bezel_v->maximum(), 254);
    QCOMPARE(f->adjust().txt_bezel_v->text(), QStringLiteral(" 40"));
    QCOMPARE(int(f->ui_ready()), int(true));

    // With the bound query pending, the same reply sets the maximum instead.
    QVERIFY(rig.inject("BEV100"));
    f->adjust().set_bezel_max_pending(true);
    QVERIFY(rig.inject("BEV040"));
    QCOMPARE(f->adjust().hsr_bezel_v->maximum(), 40);
    QCOMPARE(f->adjust().hsr_bezel_v->value(), 40);                    // dropped with the bound
    QCOMPARE(f->adjust().txt_bezel_v->text(), QStringLiteral(" 100")); // box keeps its text
    QCOMPARE(int(f->adjust().bezel_max_pending()), int(false));

    // Above 254: ignored entirely, the pending bound query stays pending.
    QVERIFY(rig.inject("BEH255"));
    QCOMPARE(f->adjust().hsr_bezel_h->value(), 0);
    QCOMPARE(f->adjust().hsr_bezel_h->maximum(), 254);
    QVERIFY(f->adjust().txt_bezel_h->text().isEmpty());
    f->adjust().set_bezel_max_pending(true);
    QVERIFY(rig.inject("BEH999"));
    QCOMPARE(f->adjust().hsr_bezel_h->maximum(), 254);
    QCOMPARE(int(f->adjust().bezel_max_pending()), int(true));
    QVERIFY(rig.inject("BEH120"));
    QCOMPARE(f->adjust().hsr_bezel_h->maximum(), 120);
    QCOMPARE(f->adjust().hsr_bezel_h->value(), 0);
    QCOMPARE(int(f->adjust().bezel_max_pending()), int(false));

    // No reply ever made the panel send.
    QCOMPARE(rig.sent_since_mark(), QStringList());
}

void TestBezelAudioRes::bezel_on_off() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    QVERIFY(rig.power_on());
    rig.sim.mark();

    QVERIFY(rig.inject("BEZ000"));
    QCOMPARE(checked_index(f->adjust().opt_bezel_onoff), 0);
    QVERIFY(!f->adjust().hsr_bezel_h->isEnabled());
    QVERIFY(!f->adjust().hsr_bezel_v->isEnabled());
    QVERIFY(rig.inject("BEZ001"));
    QCOMPARE(checked_index(f->adjust().opt_bezel_onoff), 1);
    QVERIFY(f->adjust().hsr_bezel_h->isEnabled());
    QVERIFY(f->adjust().hsr_bezel_v->isEnabled());
    // A digit that names no option button changes nothing.
    QVERIFY(rig.inject("BEZ002"));
    QCOMPARE(checked_index(f->adjust().opt_bezel_onoff), 1);
    QVERIFY(f->adjust().hsr_bezel_h->isEnabled());
    QCOMPARE(rig.sent_since_mark(), QStringList());

    // The operator chooses Off: BEZ000 is exchanged and its answer disables the sliders.
    click_option(f->adjust().opt_bezel_onoff[0]);
    QCOMPARE(rig.sent_since_mark(), QStringList{"BEZ000"});
    QCOMPARE(bezel_state(rig.sim)["on"].toInt(), 0);
    QVERIFY(!f->adjust().hsr_bezel_h->isEnabled());
    QVERIFY(f->txt_cmd->text().contains(
        QStringLiteral("BEZ000 "))); // a f->exchange().waiting() exchange is logged

    // "On" chosen while ui_ready is clear sends nothing.
    rig.sim.mark();
    TestProbe::set_ui_ready(*f, false);
    f->adjust().opt_bezel_onoff[1]->setChecked(true);
    TestProbe::set_ui_ready(*f, true);
    QCOMPARE(rig.sent_since_mark(), QStringList());
    QCOMPARE(bezel_state(rig.sim)["on"].toInt(), 0);
}

void TestBezelAudioRes::audio_options_send() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    QVERIFY(rig.power_on());
    rig.sim.mark();
    click_option(f->adjust().opt_audio[3]); // "Bitstream"
    click_option(f->adjust().opt_da[2]);    // Dual A "Right"
    click_option(f->adjust().opt_db[2]);    // Dual B "Right"
    click_option(f->adjust().opt_audio[0]); // "2CH"
    click_option(f->adjust().opt_db[1]);
    QCOMPARE(rig.sent_since_mark(),
             (QStringList{"AUE003", "AUA002", "AUB002", "AUE000", "AUB001"}));
    const QJsonObject a = audio_state_of(rig.sim);
    QCOMPARE(a["edid"].toInt(), 0);
    QCOMPARE(a["dual_a"].toInt(), 2);
    QCOMPARE(a["dual_b"].toInt(), 1);
    QCOMPARE(checked_index(f->adjust().opt_audio), 0);
    QCOMPARE(checked_index(f->adjust().opt_da), 2);
    QCOMPARE(checked_index(f->adjust().opt_db), 1);
}

void TestBezelAudioRes::audio_replies_select_without_sending() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    rig.sim.mark();
    QVERIFY(rig.inject("AUE004"));
    QCOMPARE(checked_index(f->adjust().opt_audio), 4);
    QVERIFY(rig.inject("AUE002"));
    QCOMPARE(checked_index(f->adjust().opt_audio), 2);
    QVERIFY(rig.inject("AUE005")); // no such button
    QCOMPARE(checked_index(f->adjust().opt_audio), 2);
    QVERIFY(rig.inject("AUE009"));
    QCOMPARE(checked_index(f->adjust().opt_audio), 2);

    QVERIFY(rig.inject("AUA002"));
    QCOMPARE(checked_index(f->adjust().opt_da), 2);
    QVERIFY(rig.inject("AUA000"));
    QCOMPARE(checked_index(f->adjust().opt_da), 2);
    QVERIFY(rig.inject("AUA003"));
    QCOMPARE(checked_index(f->adjust().opt_da), 2);
    QVERIFY(rig.inject("AUA001"));
    QCOMPARE(checked_index(f->adjust().opt_da), 1);

    QVERIFY(rig.inject("AUB002"));
    QCOMPARE(checked_index(f->adjust().opt_db), 2);
    QVERIFY(rig.inject("AUB000"));
    QCOMPARE(checked_index(f->adjust().opt_db), 2);
    QCOMPARE(checked_index(f->adjust().opt_da), 1); // the groups are independent

    QCOMPARE(int(f->ui_ready()), int(true));
    QCOMPARE(rig.sent_since_mark(), QStringList());
}

void TestBezelAudioRes::mute_button_and_speaker_picture() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    QVERIFY(rig.power_on());
    QCOMPARE(int(f->adjust().audio_state()), int(NOT_REPORTED));
    QVERIFY(f->adjust().cmd_mute->picture().isEmpty()); // the built-in picture until a reply

    rig.sim.mark();
    QTest::mouseClick(f->adjust().cmd_mute, Qt::LeftButton);
    QCOMPARE(rig.sent_since_mark(), QStringList{"AUD001"});
    QCOMPARE(int(f->adjust().audio_state()), 1);
    QVERIFY(f->adjust().cmd_mute->picture().endsWith(QStringLiteral("bmp/speaker_on.bmp")));
    QVERIFY(f->adjust().cmd_mute->picture().startsWith(rig.folder->path()));

    rig.sim.mark();
    QTest::mouseClick(f->adjust().cmd_mute, Qt::LeftButton);
    QCOMPARE(rig.sent_since_mark(), QStringList{"AUD000"});
    QCOMPARE(audio_state_of(rig.sim)["on"].toInt(), 0);
    QCOMPARE(int(f->adjust().audio_state()), 0);
    QVERIFY(f->adjust().cmd_mute->picture().endsWith(QStringLiteral("bmp/speaker_off.bmp")));

    // Replies on their own set the state and the picture; the next press follows them.
    QVERIFY(rig.inject("AUD001"));
    QCOMPARE(int(f->adjust().audio_state()), 1);
    QVERIFY(f->adjust().cmd_mute->picture().endsWith(QStringLiteral("bmp/speaker_on.bmp")));
    QVERIFY(rig.inject("AUD000"));
    QCOMPARE(int(f->adjust().audio_state()), 0);
    QVERIFY(f->adjust().cmd_mute->picture().endsWith(QStringLiteral("bmp/speaker_off.bmp")));
    rig.sim.mark();
    f->adjust().cmd_mute_Click();
    QCOMPARE(rig.sent_since_mark(), QStringList{"AUD001"});
}

void TestBezelAudioRes::mute_without_answer() {
    // No answer: the flipped state stays and the next press sends the opposite.
    PanelRig rig;
    QVERIFY(rig.start_pty({"--drop-cmd", "AUD001"}));
    frm_main *f = rig.f.get();
    rig.sim.mark();
    f->adjust().cmd_mute_Click();
    QCOMPARE(int(f->exchange().reply_ok()), int(false));
    QCOMPARE(int(f->adjust().audio_state()), 1);
    QVERIFY(f->adjust().cmd_mute->picture().isEmpty());
    f->adjust().cmd_mute_Click();
    QCOMPARE(rig.sent_since_mark(), (QStringList{"AUD001", "AUD000"}));
    QCOMPARE(int(f->adjust().audio_state()), 0);
    QVERIFY(f->adjust().cmd_mute->picture().endsWith(QStringLiteral("bmp/speaker_off.bmp")));
}

void TestBezelAudioRes::options_send_nothing_while_not_ready() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    QVERIFY(rig.power_on());
    rig.sim.mark();
    TestProbe::set_ui_ready(*f, false);
    f->adjust().opt_audio[1]->setChecked(true);
    f->adjust().opt_da[2]->setChecked(true);
    f->adjust().opt_db[2]->setChecked(true);
    f->adjust().cbo_output->setCurrentIndex(3);
    // The mute button is a button, not a selection: it acts all the same.
    f->adjust().cmd_mute_Click();
    TestProbe::set_ui_ready(*f, true);
    QCOMPARE(rig.sent_since_mark(), QStringList{"AUD001"});
}

void TestBezelAudioRes::resolution_choice() {
    PanelRig rig;
    QVERIFY(rig.start_pty({"--latency", "150"}));
    frm_main *f = rig.f.get();
    QVERIFY(rig.power_on());
    rig.sim.mark();
    // The list is disabled while its own command is exchanged.
    bool disabled_meanwhile = false;
    QTimer::singleShot(60, [&] { disabled_meanwhile = !f->adjust().cbo_output->isEnabled(); });
    f->adjust().cbo_output->setCurrentIndex(2);
    QCOMPARE(rig.sent_since_mark(), QStringList{"RES003"});
    QVERIFY(disabled_meanwhile);
    QVERIFY(f->adjust().cbo_output->isEnabled());
    QCOMPARE(rig.sim.state()["resolution"].toInt(), 3);
    QCOMPARE(f->adjust().cbo_output->currentIndex(), 2);

    rig.sim.mark();
    f->adjust().cbo_output->setCurrentIndex(0);
    f->adjust().cbo_output->setCurrentIndex(11);
    QCOMPARE(rig.sent_since_mark(), (QStringList{"RES001", "RES012"}));
    QCOMPARE(rig.sim.state()["resolution"].toInt(), 12);
}

void TestBezelAudioRes::resolution_refused_in_dual_and_2x2() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    QVERIFY(rig.power_on());
    f->exchange().send_cmd(QStringLiteral("MOD002"));
    QCOMPARE(int(f->switching().mode_digit()), 2);
    rig.sim.mark();
    f->adjust().cbo_output->setCurrentIndex(4); // fifth entry
    QCOMPARE(f->adjust().cbo_output->currentIndex(), 4);
    f->adjust().cbo_output->setCurrentIndex(5); // sixth entry
    QCOMPARE(f->adjust().cbo_output->currentIndex(), 5);
    QVERIFY(f->adjust().cbo_output->isEnabled());
    QCOMPARE(rig.sent_since_mark(), QStringList());
    f->adjust().cbo_output->setCurrentIndex(6); // seventh is allowed
    QCOMPARE(rig.sent_since_mark(), QStringList{"RES007"});

    f->exchange().send_cmd(QStringLiteral("MOD003"));
    QCOMPARE(int(f->switching().mode_digit()), 3);
    rig.sim.mark();
    f->adjust().cbo_output->setCurrentIndex(5);
    f->adjust().cbo_output->setCurrentIndex(4);
    QCOMPARE(rig.sent_since_mark(), QStringList());

    f->exchange().send_cmd(QStringLiteral("MOD001"));
    QCOMPARE(int(f->switching().mode_digit()), 1);
    rig.sim.mark();
    f->adjust().cbo_output->setCurrentIndex(5);
    f->adjust().cbo_output->setCurrentIndex(4);
    QCOMPARE(rig.sent_since_mark(), (QStringList{"RES006", "RES005"}));
    QCOMPARE(rig.sim.state()["resolution"].toInt(), 5);
}

void TestBezelAudioRes::resolution_replies() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    rig.sim.mark();
    QVERIFY(rig.inject("RES003"));
    QCOMPARE(f->adjust().cbo_output->currentIndex(), 2);
    QVERIFY(rig.inject("RES112")); // only the last two digits count
    QCOMPARE(f->adjust().cbo_output->currentIndex(), 11);
    QVERIFY(rig.inject("RES000"));
    QCOMPARE(f->adjust().cbo_output->currentIndex(), -1);
    QVERIFY(rig.inject("RES005"));
    QCOMPARE(f->adjust().cbo_output->currentIndex(), 4);
    QVERIFY(rig.inject("RES013")); // beyond the twelve entries: ignored
    QCOMPARE(f->adjust().cbo_output->currentIndex(), 4);
    QVERIFY(rig.inject("RES099"));
    QCOMPARE(f->adjust().cbo_output->currentIndex(), 4);
    QCOMPARE(int(f->ui_ready()), int(true));
    QCOMPARE(rig.sent_since_mark(), QStringList());
}

void TestBezelAudioRes::audio_over_tcp() {
    PanelRig rig;
    QVERIFY(rig.start_tcp(QStringLiteral("127.0.0.46")));
    frm_main *f = rig.f.get();
    QVERIFY(rig.power_on());
    rig.sim.mark();
    click_option(f->adjust().opt_audio[3]);
    QTest::mouseClick(f->adjust().cmd_mute, Qt::LeftButton);
    QTest::mouseClick(f->adjust().cmd_mute, Qt::LeftButton);
    QCOMPARE(rig.sent_since_mark(), (QStringList{"AUE003", "AUD001", "AUD000"}));
    QCOMPARE(audio_state_of(rig.sim)["edid"].toInt(), 3);
    QCOMPARE(int(f->adjust().audio_state()), 0);
    QVERIFY(f->adjust().cmd_mute->picture().endsWith(QStringLiteral("bmp/speaker_off.bmp")));
    QVERIFY(rig.inject("BEZ000"));
    QCOMPARE(checked_index(f->adjust().opt_bezel_onoff), 0);
    QVERIFY(!f->adjust().hsr_bezel_v->isEnabled());
    QCOMPARE(rig.sent_since_mark(), (QStringList{"AUE003", "AUD001", "AUD000"}));
}

QTEST_MAIN(TestBezelAudioRes)
#include "test_bezel_audio_res.moc"
