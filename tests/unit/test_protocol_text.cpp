// Command text and reply tests: pad3, framing, the digit test and reply values.
#include <QTest>

#include "protocol/command.h"

class ProtocolText : public QObject {
    Q_OBJECT
private slots:
    void pad3_pads_to_three_digits() {
        QCOMPARE(pad3(0), QStringLiteral("000"));
        QCOMPARE(pad3(7), QStringLiteral("007"));
        QCOMPARE(pad3(42), QStringLiteral("042"));
        QCOMPARE(pad3(254), QStringLiteral("254"));
        QCOMPARE(pad3(437), QStringLiteral("437"));
    }
    void frame_is_six_characters_and_cr() {
        const QByteArray b = frame_command(QStringLiteral("INP003"));
        QCOMPARE(b, QByteArray("\x49\x4e\x50\x30\x30\x33\x0d"));
        QCOMPARE(b.size(), 7);
    }
    void digit_test_looks_at_characters_4_to_6() {
        QVERIFY(reply_digits_ok(QStringLiteral("BRI050\r")));
        QVERIFY(!reply_digits_ok(QStringLiteral("BRI05A\r")));
        QVERIFY(reply_digits_ok(QStringLiteral("BR/050\r"))); // the mnemonic is not examined
        QVERIFY(reply_digits_ok(QStringLiteral("BR1234\r")));
        QVERIFY(!reply_digits_ok(QStringLiteral("ABC:00\r")));
        QVERIFY(!reply_digits_ok(QStringLiteral("ABC")));
    }
    void reply_value_reads_the_last_digits() {
        QCOMPARE(reply_value(QStringLiteral("OUT003"), 1), 3);
        QCOMPARE(reply_value(QStringLiteral("RES112"), 2), 12);
        QCOMPARE(reply_value(QStringLiteral("BRI437"), 3), 437);
        // short or damaged text after a time-out is not a value
        QCOMPARE(reply_value(QStringLiteral("MOD"), 1), -1);
        QCOMPARE(reply_value(QStringLiteral("MO"), 3), -1);
        QCOMPARE(reply_value(QStringLiteral("PWR00"), 1), -1);
        QCOMPARE(reply_value(QStringLiteral("MOD002"), 1), 2); // whole but unterminated
        QCOMPARE(reply_value(QString(), 1), -1);
        QCOMPARE(reply_value(QStringLiteral("BRI4x7"), 3), -1);
    }
};

QTEST_APPLESS_MAIN(ProtocolText)
#include "test_protocol_text.moc"
