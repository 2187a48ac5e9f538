// The menu remote block and the keypad window against the simulated device: what
// each button and key sends, the window's placement and life, and keys that arrive
// while an exchange or a pause runs.

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "admin/frm_keypad.h"
#include "app/command_line.h"
#include "panel_rig.h"

namespace {

frm_keypad *open_keypad(frm_main *f) {
    if (!f->admin().keypad_open()) f->admin().cmd_keypad_Click();
    return f->admin().keypad.data();
}

} // namespace

class TestKeypadRemote : public QObject {
    Q_OBJECT
private slots:
    void remote_buttons_send();
    void keypad_window_opens_and_closes();
    void keypad_placed_above_main_window();
    void keys_drive_routing_and_menu();
    void key_during_exchange_is_dropped();
    void held_arrow_key_pauses();
    void keypad_over_tcp();
};

void TestKeypadRemote::remote_buttons_send() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    QVERIFY(rig.power_on());
    rig.sim.mark();
    for (ColorButton *b :
         {f->admin().cmd_menu_up, f->admin().cmd_menu_down, f->admin().cmd_menu_left,
          f->admin().cmd_menu_right, f->admin().cmd_menu_ok, f->admin().cmd_menu_menu,
          f->admin().cmd_menu_exit, f->admin().cmd_lock, f->adjust().cmd_mute})
        QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(rig.sent_since_mark(), (QStringList{"MNU001", "MND001", "MNL001", "MNR001", "MNO001",
                                                 "MNX001", "MNE001", "LCK001", "AUD001"}));
    // The menu replies run no handler and are logged like any exchange.
    QVERIFY(f->txt_cmd->text().contains(QStringLiteral("MNX001 MNX001\r ")));
    QCOMPARE(rig.sim.state()["lock"].toInt(), 1);
}

void TestKeypadRemote::keypad_window_opens_and_closes() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    QCOMPARE(int(f->admin().keypad_open()), int(false));
    QVERIFY(!f->admin().keypad);

    f->switching().cmd_keypad->setVisible(true);
    f->frames().fra_btn->setEnabled(true);
    QTest::mouseClick(f->switching().cmd_keypad, Qt::LeftButton);
    QPointer<frm_keypad> k = f->admin().keypad;
    QVERIFY(k);
    QCOMPARE(int(f->admin().keypad_open()), int(true));
    QVERIFY(k->isVisible());
    QVERIFY(k->isWindow());
    // Both windows show the program's icon, not the window system's generic one.
    const QImage icon = program_icon().pixmap(64).toImage();
    QVERIFY(!icon.isNull());
    for (QWidget *w : {static_cast<QWidget *>(f), static_cast<QWidget *>(k.data())})
        QCOMPARE(w->windowHandle()->icon().pixmap(64).toImage(), icon);
    QCOMPARE(k->objectName(), QStringLiteral("frm_keypad"));
    QCOMPARE(k->windowTitle(), QStringLiteral("Keyboard"));
    QCOMPARE(k->parentWidget(), static_cast<QWidget *>(f));
    QCOMPARE(k->windowType(), Qt::Tool);
    QVERIFY(!(k->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(k->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(k->size(), QSize(353, 112));
    QCOMPARE(k->minimumSize(), k->maximumSize());
    QVERIFY(k->testAttribute(Qt::WA_DeleteOnClose));
    QVERIFY(k->img_keypad);
    QCOMPARE(k->img_keypad->objectName(), QStringLiteral("img_keypad"));
    QCOMPARE(k->img_keypad->size(), QSize(339, 96));
    QCOMPARE(k->img_keypad->pixmap().size(), QSize(339, 96));
    QVERIFY(k->rect().contains(k->img_keypad->geometry()));

    // Pressed again: the window it opened closes and is gone.
    QTest::mouseClick(f->switching().cmd_keypad, Qt::LeftButton);
    QCOMPARE(int(f->admin().keypad_open()), int(false));
    QVERIFY(pump_until([&] { return k.isNull(); }));
    QVERIFY(!f->admin().keypad);

    // Every opening makes a new window; its close box unloads it the same way.
    f->admin().cmd_keypad_Click();
    QPointer<frm_keypad> k2 = f->admin().keypad;
    QVERIFY(k2);
    QCOMPARE(int(f->admin().keypad_open()), int(true));
    k2->close();
    QCOMPARE(int(f->admin().keypad_open()), int(false));
    QVERIFY(pump_until([&] { return k2.isNull(); }));
    QVERIFY(!f->admin().keypad);
    QVERIFY(f->isVisible()); // the main window is not affected

    // Closing the main window closes the keypad with it.
    f->admin().cmd_keypad_Click();
    QPointer<frm_keypad> k3 = f->admin().keypad;
    QVERIFY(k3);
    f->close();
    QCOMPARE(int(f->admin().keypad_open()), int(false));
    QVERIFY(pump_until([&] { return k3.isNull(); }));
}

void TestKeypadRemote::keypad_placed_above_main_window() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    f->move(120, 300);
    pump_ms(20);
    frm_keypad *k = open_keypad(f);
    QVERIFY(k);
    pump_ms(20);
    QCOMPARE(k->frameGeometry().left(), f->frameGeometry().left());
    QCOMPARE(k->frameGeometry().top(), f->frameGeometry().top() - k->frameGeometry().height());
    k->close();
    QVERIFY(pump_until([&] { return !f->admin().keypad; }));

    // Main window at the top of the screen: the keypad's top is negative and stays
    // so. (The offscreen platform itself nudges a window with a negative top down by
    // its 2-pixel frame margin, so only the sign is compared here; the exact rule is
    // checked on keypad_position.)
    f->move(40, 0);
    pump_ms(20);
    k = open_keypad(f);
    QVERIFY(k);
    pump_ms(20);
    QCOMPARE(k->frameGeometry().left(), f->frameGeometry().left());
    QVERIFY(k->frameGeometry().top() < -k->frameGeometry().height() / 2);
    QCOMPARE(keypad_position(QRect(40, 0, 831, 155), 116), QPoint(40, -116));
    QCOMPARE(keypad_position(QRect(-5, 30, 831, 155), 116), QPoint(-5, -86));
    QCOMPARE(keypad_position(QRect(100, 400, 831, 155), 140), QPoint(100, 260));
}

void TestKeypadRemote::keys_drive_routing_and_menu() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    frm_keypad *k = open_keypad(f);
    QVERIFY(k);

    // F: output 4 (the panel then asks its input).
    rig.sim.mark();
    QTest::keyClick(k, Qt::Key_F);
    QCOMPARE(rig.sent_since_mark(), (QStringList{"OUT004", "INP999"}));
    QCOMPARE(int(f->switching().cur_output()), 4);
    QCOMPARE(rig.sim.state()["output"].toInt(), 4);
    QCOMPARE(f->switching().cmd_out[4]->backColor(), PanelStyle::selection_colour());

    // ;: input 4 to the selected output.
    rig.sim.mark();
    QTest::keyClick(k, Qt::Key_Semicolon);
    QCOMPARE(rig.sent_since_mark(), QStringList{"INP004"});
    QCOMPARE(rig.sim.state()["routing"].toArray()[3].toInt(), 4);
    QCOMPARE(int(f->switching().cur_input()), 4);

    // Keypad 5, Num Lock off (Clear) and on (digit): OK.
    rig.sim.mark();
    QTest::keyClick(k, Qt::Key_Clear, Qt::KeypadModifier);
    QTest::keyClick(k, Qt::Key_5, Qt::KeypadModifier);
    QCOMPARE(rig.sent_since_mark(), (QStringList{"MNO001", "MNO001"}));

    // The rest of the keypad block, Num Lock off then on, and A/J on the main keyboard.
    rig.sim.mark();
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
    } keys[] = {{Qt::Key_Home, Qt::KeypadModifier}, {Qt::Key_PageUp, Qt::KeypadModifier},
                {Qt::Key_End, Qt::KeypadModifier},  {Qt::Key_PageDown, Qt::KeypadModifier},
                {Qt::Key_Left, Qt::KeypadModifier}, {Qt::Key_8, Qt::KeypadModifier},
                {Qt::Key_6, Qt::KeypadModifier},    {Qt::Key_2, Qt::KeypadModifier},
                {Qt::Key_1, Qt::KeypadModifier},    {Qt::Key_3, Qt::KeypadModifier},
                {Qt::Key_A, Qt::NoModifier},        {Qt::Key_J, Qt::ShiftModifier},
                {Qt::Key_Escape, Qt::NoModifier},   {Qt::Key_0, Qt::KeypadModifier}};
    for (const auto &kp : keys) QTest::keyClick(k, kp.key, kp.mods);
    QCOMPARE(rig.sent_since_mark(),
             (QStringList{"AUD001", "LCK001", "MNE001", "MNX001", "MNL001", "MNU001", "MNR001",
                          "MND001", "MNE001", "MNX001", "OUT001", "INP999", "INP001"}));
    QVERIFY(rig.msgs.messages.isEmpty());
}

void TestKeypadRemote::key_during_exchange_is_dropped() {
    PanelRig rig;
    QVERIFY(rig.start_pty({"--latency", "100"}));
    frm_main *f = rig.f.get();
    frm_keypad *k = open_keypad(f);
    QVERIFY(k);
    rig.sim.mark();
    bool waiting_seen = false;
    // Sent and posted keys arrive while the exchange waits for its answer.
    QTimer::singleShot(30, [&] {
        waiting_seen = f->exchange().waiting() != 0;
        QTest::keyClick(k, Qt::Key_F);
        QCoreApplication::postEvent(k, new QKeyEvent(QEvent::KeyPress, Qt::Key_S, Qt::NoModifier));
        QCoreApplication::postEvent(k, new QKeyEvent(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier));
        QTest::keyClick(k, Qt::Key_Home, Qt::KeypadModifier);
        QCoreApplication::postEvent(
            k, new QKeyEvent(QEvent::KeyPress, Qt::Key_PageUp, Qt::KeypadModifier));
    });
    f->admin().cmd_menu_ok_Click();
    QVERIFY(waiting_seen);
    QCOMPARE(int(f->exchange().reply_ok()), int(true));
    // Mute and lock flip their state before they send: a key that acted (its send
    // refused while the exchange runs) would have left the state flipped.
    QCOMPARE(int(f->adjust().audio_state()), int(NOT_REPORTED));
    QCOMPARE(int(f->admin().lock_state()), int(NOT_REPORTED));
    // Nothing for the dropped keys, then or later.
    QCOMPARE(rig.sent_since_mark(600), QStringList{"MNO001"});
    QCOMPARE(int(f->switching().cur_output()), 1);

    // Once nothing waits, the same key acts.
    rig.sim.mark();
    QTest::keyClick(k, Qt::Key_F);
    QCOMPARE(rig.sent_since_mark(), (QStringList{"OUT004", "INP999"}));
}

void TestKeypadRemote::held_arrow_key_pauses() {
    PanelRig rig;
    QVERIFY(rig.start_pty());
    frm_main *f = rig.f.get();
    frm_keypad *k = open_keypad(f);
    QVERIFY(k);

    // When each MNU001 leaves the panel (the log entry is written just before it is sent).
    QElapsedTimer clock;
    clock.start();
    QList<qint64> sent_at;
    QObject::connect(f->txt_cmd, &QPlainTextEdit::textChanged, [&] {
        if (f->txt_cmd->text().endsWith(QStringLiteral("MNU001 "))) sent_at << clock.elapsed();
    });
    // The keyboard's auto-repeat of the held key: one event every 5 ms, queued like
    // the window system's (so it also arrives inside the panel's waits).
    int repeats = 0;
    QTimer repeat;
    repeat.setInterval(5);
    QObject::connect(&repeat, &QTimer::timeout, [&] {
        ++repeats;
        QCoreApplication::postEvent(
            k, new QKeyEvent(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier, QString(), true));
    });

    rig.sim.mark();
    repeat.start();
    QKeyEvent first(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QCoreApplication::sendEvent(k, &first);
    // The first press has exchanged MNU001 and paused; only then does a repeat act.
    QCOMPARE(sent_at.size(), 1);
    const qint64 first_done = clock.elapsed();
    QVERIFY2(first_done - sent_at[0] >= 51, qPrintable(QString::number(first_done - sent_at[0])));
    pump_ms(400);
    repeat.stop();
    QVERIFY(pump_until([&] { return !f->exchange().waiting(); }));
    const QStringList sent = rig.sent_since_mark();

    QVERIFY(repeats > 40);
    QVERIFY(sent_at.size() >= 3);
    QCOMPARE(sent.size(), sent_at.size());
    for (const QString &c : sent) QCOMPARE(c, QStringLiteral("MNU001"));
    for (int i = 1; i < sent_at.size(); ++i)
        QVERIFY2(sent_at[i] - sent_at[i - 1] >= 51,
                 qPrintable(QStringLiteral("gap %1 ms").arg(sent_at[i] - sent_at[i - 1])));
    // Far fewer exchanges than repeats: the repeats during each exchange and pause were dropped.
    QVERIFY(sent_at.size() < repeats / 5);
}

void TestKeypadRemote::keypad_over_tcp() {
    PanelRig rig;
    QVERIFY(rig.start_tcp(QStringLiteral("127.0.0.50")));
    frm_main *f = rig.f.get();
    frm_keypad *k = open_keypad(f);
    QVERIFY(k);
    rig.sim.mark();
    QTest::keyClick(k, Qt::Key_D);
    QTest::keyClick(k, Qt::Key_K);
    QTest::keyClick(k, Qt::Key_Clear, Qt::KeypadModifier);
    QTest::keyClick(k, Qt::Key_Down);
    QCOMPARE(rig.sent_since_mark(),
             (QStringList{"OUT003", "INP999", "INP002", "MNO001", "MND001"}));
    QCOMPARE(rig.sim.state()["routing"].toArray()[2].toInt(), 2);
    QCOMPARE(int(f->switching().cur_output()), 3);
}

QTEST_MAIN(TestKeypadRemote)
#include "test_keypad_remote.moc"
