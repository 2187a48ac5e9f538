// Pure text and timing rules: pad3, framing, the digit test, reply values, when a
// serial burst is examined, the device address and the serial failure detail.
#include <QTest>

#include "link/address.h"
#include "link/device_link.h"
#include "link/poll_timer.h"
#include "link/port_failure.h"
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
    void burst_is_examined_when_complete_data() {
        QTest::addColumn<qint64>("now");
        QTest::addColumn<qint64>("last");
        QTest::addColumn<qint64>("waiting");
        QTest::addColumn<bool>("short_of_answer");
        QTest::addColumn<qint64>("wait");
        // first byte at 0 in every row
        QTest::newRow("byte just in")
            << qint64(100) << qint64(100) << qint64(3) << false << BURST_GAP_US;
        QTest::newRow("gap partly over")
            << qint64(400) << qint64(100) << qint64(7) << false << BURST_GAP_US - 300;
        QTest::newRow("quiet") << qint64(700) << qint64(100) << qint64(7) << false << qint64(0);
        QTest::newRow("never pausing, bound")
            << BURST_BOUND_US << BURST_BOUND_US << qint64(40) << false << qint64(0);
        QTest::newRow("gap cut by the bound")
            << BURST_BOUND_US - 100 << BURST_BOUND_US - 200 << qint64(9) << false << qint64(100);
        QTest::newRow("64 characters")
            << qint64(100) << qint64(100) << BURST_MAX_CHARS << false << qint64(0);
        QTest::newRow("answer short, quiet")
            << qint64(2000) << qint64(1000) << qint64(10) << true << BURST_BOUND_US - 2000;
        QTest::newRow("answer short, bound")
            << BURST_BOUND_US << qint64(1000) << qint64(10) << true << qint64(0);
    }
    void burst_is_examined_when_complete() {
        QFETCH(qint64, now);
        QFETCH(qint64, last);
        QFETCH(qint64, waiting);
        QFETCH(bool, short_of_answer);
        QFETCH(qint64, wait);
        QCOMPARE(burst_wait_us(now, 0, last, waiting, short_of_answer), wait);
    }

    void device_address_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("plain") << "192.168.1.100"
                               << "192.168.1.100" << 23;
        QTest::newRow("as the device shows it") << "192.168.001.100"
                                                << "192.168.1.100" << 23;
        QTest::newRow("061 is decimal") << "127.000.000.061"
                                        << "127.0.0.61" << 23;
        QTest::newRow("padded with port") << "010.000.000.008:2325"
                                          << "10.0.0.8" << 2325;
        QTest::newRow("octet too big") << "300.1.1.1"
                                       << "300.1.1.1" << 23;
        QTest::newRow("host name") << "switcher.local"
                                   << "switcher.local" << 23;
        QTest::newRow("host name with port") << "switcher:2323"
                                             << "switcher" << 2323;
        QTest::newRow("bare IPv6") << "::1"
                                   << "::1" << 23;
        QTest::newRow("bare IPv6, no port taken") << "fe80::1:2325"
                                                  << "fe80::1:2325" << 23;
        QTest::newRow("bracketed IPv6") << "[::1]"
                                        << "::1" << 23;
        QTest::newRow("bracketed IPv6 with port") << "[::1]:2325"
                                                  << "::1" << 2325;
        QTest::newRow("port 0 is no port") << "10.0.0.1:0"
                                           << "10.0.0.1:0" << 23;
        QTest::newRow("port too big") << "[::1]:65536"
                                      << "[::1]:65536" << 23;
        QTest::newRow("port not a number") << "10.0.0.1:ab"
                                           << "10.0.0.1:ab" << 23;
    }
    void device_address() {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        const DeviceAddress a = parse_device_address(text);
        QCOMPARE(a.host, host);
        QCOMPARE(int(a.port), port);
    }

    // The panel test of a denied port cannot run as root; the hint is checked here.
    void serial_failure_detail_names_path_and_hint() {
        PortFacts denied;
        denied.exists = denied.char_device = denied.permission_error = true;
        const QString d = port_failure_detail(5, QStringLiteral("/dev/ttyUSB0"),
                                              classify_port_failure(denied), QString());
        QVERIFY(d.startsWith(QStringLiteral("COM5 opens /dev/ttyUSB0.\nPermission denied")));
        QVERIFY(d.contains(QStringLiteral("dialout")));
    }
};

QTEST_APPLESS_MAIN(ProtocolText)
#include "test_protocol_text.moc"
