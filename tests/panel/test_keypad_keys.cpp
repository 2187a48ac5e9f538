// The keypad window's key mapping: Qt key events to virtual-key codes, and codes to
// the actions of the main window.

#include <QTest>

#include "admin/frm_keypad.h"

class TestKeypadKeys : public QObject {
    Q_OBJECT
private slots:
    void virtual_key_codes_data();
    void virtual_key_codes();
    void modifiers_do_not_change_the_code();
    void unknown_keys_give_no_code();
    void actions_data();
    void actions();
    void only_the_table_has_actions();
};

Q_DECLARE_METATYPE(Qt::KeyboardModifiers)

void TestKeypadKeys::virtual_key_codes_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("mods");
    QTest::addColumn<int>("vk");
    const Qt::KeyboardModifiers none = Qt::NoModifier;
    const Qt::KeyboardModifiers pad = Qt::KeypadModifier;
    // main keyboard
    QTest::newRow("1") << int(Qt::Key_1) << none << 49;
    QTest::newRow("2") << int(Qt::Key_2) << none << 50;
    QTest::newRow("3") << int(Qt::Key_3) << none << 51;
    QTest::newRow("0") << int(Qt::Key_0) << none << 48;
    QTest::newRow("A") << int(Qt::Key_A) << none << 65;
    QTest::newRow("S") << int(Qt::Key_S) << none << 83;
    QTest::newRow("D") << int(Qt::Key_D) << none << 68;
    QTest::newRow("F") << int(Qt::Key_F) << none << 70;
    QTest::newRow("J") << int(Qt::Key_J) << none << 74;
    QTest::newRow("K") << int(Qt::Key_K) << none << 75;
    QTest::newRow("L") << int(Qt::Key_L) << none << 76;
    QTest::newRow("Z") << int(Qt::Key_Z) << none << 90;
    QTest::newRow(";") << int(Qt::Key_Semicolon) << none << 186;
    // numeric keypad, Num Lock on
    for (int d = 0; d <= 9; ++d)
        QTest::newRow(qPrintable(QStringLiteral("keypad %1").arg(d)))
            << int(Qt::Key_0 + d) << pad << 96 + d;
    // numeric keypad, Num Lock off
    QTest::newRow("keypad Home") << int(Qt::Key_Home) << pad << 36;
    QTest::newRow("keypad Up") << int(Qt::Key_Up) << pad << 38;
    QTest::newRow("keypad PageUp") << int(Qt::Key_PageUp) << pad << 33;
    QTest::newRow("keypad Left") << int(Qt::Key_Left) << pad << 37;
    QTest::newRow("keypad Clear") << int(Qt::Key_Clear) << pad << 12;
    QTest::newRow("keypad Right") << int(Qt::Key_Right) << pad << 39;
    QTest::newRow("keypad End") << int(Qt::Key_End) << pad << 35;
    QTest::newRow("keypad Down") << int(Qt::Key_Down) << pad << 40;
    QTest::newRow("keypad PageDown") << int(Qt::Key_PageDown) << pad << 34;
    // the plain navigation keys give the same codes
    QTest::newRow("Home") << int(Qt::Key_Home) << none << 36;
    QTest::newRow("Up") << int(Qt::Key_Up) << none << 38;
    QTest::newRow("PageUp") << int(Qt::Key_PageUp) << none << 33;
    QTest::newRow("Left") << int(Qt::Key_Left) << none << 37;
    QTest::newRow("Right") << int(Qt::Key_Right) << none << 39;
    QTest::newRow("End") << int(Qt::Key_End) << none << 35;
    QTest::newRow("Down") << int(Qt::Key_Down) << none << 40;
    QTest::newRow("PageDown") << int(Qt::Key_PageDown) << none << 34;
    // shifted characters of the same keys (US layout)
    QTest::newRow("Shift+1") << int(Qt::Key_Exclam) << Qt::KeyboardModifiers(Qt::ShiftModifier)
                             << 49;
    QTest::newRow("Shift+;") << int(Qt::Key_Colon) << Qt::KeyboardModifiers(Qt::ShiftModifier)
                             << 186;
}

void TestKeypadKeys::virtual_key_codes() {
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, mods);
    QFETCH(int, vk);
    QCOMPARE(virtual_key(key, mods), vk);
}

void TestKeypadKeys::modifiers_do_not_change_the_code() {
    for (Qt::KeyboardModifiers m :
         {Qt::KeyboardModifiers(Qt::ShiftModifier), Qt::KeyboardModifiers(Qt::ControlModifier),
          Qt::KeyboardModifiers(Qt::AltModifier),
          Qt::KeyboardModifiers(Qt::ShiftModifier | Qt::ControlModifier)}) {
        QCOMPARE(virtual_key(Qt::Key_F, m), 70);
        QCOMPARE(virtual_key(Qt::Key_Semicolon, m), 186);
        QCOMPARE(virtual_key(Qt::Key_2, m), 50);
        QCOMPARE(virtual_key(Qt::Key_Up, m), 38);
        QCOMPARE(virtual_key(Qt::Key_5, m | Qt::KeypadModifier), 101);
    }
}

void TestKeypadKeys::unknown_keys_give_no_code() {
    for (int k : {int(Qt::Key_Escape), int(Qt::Key_Return), int(Qt::Key_Enter), int(Qt::Key_Space),
                  int(Qt::Key_Tab), int(Qt::Key_F1), int(Qt::Key_Insert), int(Qt::Key_Delete),
                  int(Qt::Key_Comma), int(Qt::Key_Shift), int(Qt::Key_Control)})
        QCOMPARE(virtual_key(k, Qt::NoModifier), 0);
}

void TestKeypadKeys::actions_data() {
    QTest::addColumn<int>("vk");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("pause");
    using K = KeypadAction;
    QTest::newRow("1 Matrix") << 49 << int(K::Mode) << 1 << false;
    QTest::newRow("2 Dual") << 50 << int(K::Mode) << 2 << false;
    QTest::newRow("3 2X2") << 51 << int(K::Mode) << 3 << false;
    QTest::newRow("A") << 65 << int(K::Output) << 1 << false;
    QTest::newRow("S") << 83 << int(K::Output) << 2 << false;
    QTest::newRow("D") << 68 << int(K::Output) << 3 << false;
    QTest::newRow("F") << 70 << int(K::Output) << 4 << false;
    QTest::newRow("J") << 74 << int(K::Input) << 1 << false;
    QTest::newRow("K") << 75 << int(K::Input) << 2 << false;
    QTest::newRow("L") << 76 << int(K::Input) << 3 << false;
    QTest::newRow(";") << 186 << int(K::Input) << 4 << false;
    const struct {
        int num, nav;
        K::Kind kind;
        bool pause;
    } pad[] = {
        {103, 36, K::Mute, false},    {104, 38, K::MenuUp, true},  {105, 33, K::Lock, false},
        {100, 37, K::MenuLeft, true}, {101, 12, K::MenuOk, false}, {102, 39, K::MenuRight, true},
        {97, 35, K::MenuExit, false}, {98, 40, K::MenuDown, true}, {99, 34, K::MenuMenu, false}};
    for (const auto &p : pad) {
        QTest::newRow(qPrintable(QStringLiteral("num %1").arg(p.num)))
            << p.num << int(p.kind) << 0 << p.pause;
        QTest::newRow(qPrintable(QStringLiteral("nav %1").arg(p.nav)))
            << p.nav << int(p.kind) << 0 << p.pause;
    }
}

void TestKeypadKeys::actions() {
    QFETCH(int, vk);
    QFETCH(int, kind);
    QFETCH(int, index);
    QFETCH(bool, pause);
    const KeypadAction a = keypad_action(vk);
    QCOMPARE(int(a.kind), kind);
    QCOMPARE(a.index, index);
    QCOMPARE(a.pause, pause);
}

void TestKeypadKeys::only_the_table_has_actions() {
    const QList<int> table = {49,  50, 51,  65, 83,  68, 70,  74, 75, 76, 186, 103, 36, 104, 38,
                              105, 33, 100, 37, 101, 12, 102, 39, 97, 35, 98,  40,  99, 34};
    int with_action = 0;
    for (int vk = 0; vk < 256; ++vk) {
        const KeypadAction a = keypad_action(vk);
        if (a.kind != KeypadAction::None) {
            ++with_action;
            QVERIFY2(table.contains(vk), qPrintable(QStringLiteral("code %1 acts").arg(vk)));
        } else {
            QVERIFY(!a.pause);
        }
    }
    QCOMPARE(with_action, table.size());
    // Keypad 0 and the main keyboard's 4..9 do nothing.
    QCOMPARE(keypad_action(96).kind, KeypadAction::None);
    QCOMPARE(keypad_action(52).kind, KeypadAction::None);
}

QTEST_GUILESS_MAIN(TestKeypadKeys)
#include "test_keypad_keys.moc"
