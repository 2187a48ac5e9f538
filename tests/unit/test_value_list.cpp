// The value-list format of the settings file and the resolution list.
#include <QTemporaryDir>
#include <QTest>

#include "platform/settings_place.h"
#include "platform/value_list.h"

Q_DECLARE_METATYPE(SettingsFacts)

class ValueList : public QObject {
    Q_OBJECT
private slots:
    void settings_round_trip_data() {
        QTest::addColumn<int>("link");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("advanced");
        QTest::addColumn<QString>("address");
        QTest::newRow("ethernet") << 1 << 3 << true << "192.168.1.100";
        QTest::newRow("rs232 empty address") << 0 << 9 << false << "";
        QTest::newRow("comma inside") << 1 << 1 << false << "10.0.0.1,23";
        QTest::newRow("blanks inside") << 0 << 2 << true << "my device";
    }
    void settings_round_trip() {
        QFETCH(int, link);
        QFETCH(int, port);
        QFETCH(bool, advanced);
        QFETCH(QString, address);
        Settings s{qint16(link), qint16(port), advanced, address};
        Settings back;
        QString err;
        QVERIFY2(parse_settings(format_settings(s), &back, &err), qPrintable(err));
        QCOMPARE(back.link_type, s.link_type);
        QCOMPARE(back.port_number, s.port_number);
        QCOMPARE(back.advanced_view, s.advanced_view);
        QCOMPARE(back.address, address);
    }
    void settings_written_as_four_lines() {
        Settings s{1, 4, true, QStringLiteral("  10.1.1.1 ")};
        QCOMPARE(format_settings(s), QByteArray("1\r\n4\r\n#TRUE#\r\n\"10.1.1.1\"\r\n"));
        s.address.clear();
        s.advanced_view = false;
        QCOMPARE(format_settings(s), QByteArray("1\r\n4\r\n#FALSE#\r\n\"\"\r\n"));
    }
    void double_quote_in_address_is_dropped() {
        Settings s{1, 1, 0, QStringLiteral("10.0\"0.1")};
        Settings back;
        QString err;
        QVERIFY(parse_settings(format_settings(s), &back, &err));
        QCOMPARE(back.address, QStringLiteral("10.00.1"));
    }
    void settings_on_one_line_with_commas() {
        Settings s;
        QString err;
        QVERIFY(parse_settings("1,5,#TRUE#,\"1.2.3.4\"\r\n", &s, &err));
        QCOMPARE(s.link_type, qint16(1));
        QCOMPARE(s.port_number, qint16(5));
        QCOMPARE(s.advanced_view, true);
        QCOMPARE(s.address, QStringLiteral("1.2.3.4"));
    }
    void settings_with_byte_order_mark() {
        const QByteArray bom("\xEF\xBB\xBF");
        Settings s;
        QString err;
        // The mark must not hide the first value (Ethernet read as RS-232).
        QVERIFY(parse_settings(bom + "1\r\n3\r\n#TRUE#\r\n\"10.0.0.1\"\r\n", &s, &err));
        QCOMPARE(s.link_type, qint16(1));
        QCOMPARE(s.port_number, qint16(3));
        QCOMPARE(s.address, QStringLiteral("10.0.0.1"));
        QVERIFY(!format_settings(s).startsWith(bom));
        // Only a leading mark is one; elsewhere the bytes are text.
        QVERIFY(parse_settings("1\r\n3\r\n#TRUE#\r\n" + bom + "\r\n", &s, &err));
        QCOMPARE(s.address, QString::fromLatin1(bom));
    }
    void resolution_list_encodings_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("names");
        const QByteArray bom("\xEF\xBB\xBF");
        const QStringList times{QString::fromUtf8("1920\u00D71080")};
        // U+00D7 is C3 97 in UTF-8 and D7 in Latin-1 (written in octal here).
        QTest::newRow("utf-8") << QByteArray("\"1920\303\2271080\"\r\nEND\r\n") << times;
        QTest::newRow("utf-8 with mark") << bom + "1920\303\2271080\r\n\"END\"\r\n" << times;
        QTest::newRow("mark before END") << bom + "END\r\n" << QStringList{};
        QTest::newRow("latin-1") << QByteArray("1920\3271080\r\nEND\r\n") << times;
        // One invalid sequence anywhere makes the whole file Latin-1.
        QTest::newRow("mixed is latin-1")
            << QByteArray("\xC3\x97\r\n\xD7\r\nEND\r\n")
            << QStringList{QString::fromLatin1("\xC3\x97"), QString(QChar(0xD7))};
        QTest::newRow("overlong form is latin-1")
            << QByteArray("\xC0\xAF\r\nEND\r\n") << QStringList{QString::fromLatin1("\xC0\xAF")};
        QTest::newRow("cut sequence at the end") << QByteArray("\xC3\x97\r\nEND\r\n\xC3")
                                                 << QStringList{QString::fromLatin1("\xC3\x97")};
    }
    void resolution_list_encodings() {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, names);
        QStringList got;
        QString err;
        QVERIFY2(parse_resolution_list(file, &got, &err), qPrintable(err));
        QCOMPARE(got, names);
    }
    void settings_lenient_forms() {
        Settings s;
        QString err;
        // blank line = empty value, non-number = 0, extra values ignored, LF-only lines
        QVERIFY(parse_settings("\nabc\n#FALSE#\n  unquoted text  \nextra\n", &s, &err));
        QCOMPARE(s.link_type, qint16(0));
        QCOMPARE(s.port_number, qint16(0));
        QCOMPARE(s.address, QStringLiteral("unquoted text"));
    }
    void settings_faults() {
        Settings s;
        QString err;
        QVERIFY(!parse_settings("1\r\n2\r\n#TRUE#\r\n", &s, &err)); // three values
        QVERIFY(err.contains("end of file"));
        QVERIFY(!parse_settings("", &s, &err));
        QVERIFY(!parse_settings("99999\r\n1\r\n#TRUE#\r\n\"\"\r\n", &s, &err)); // beyond 16 bits
        QVERIFY(!parse_settings("1\r\n1\r\nmaybe\r\n\"\"\r\n", &s, &err));
        QVERIFY(err.contains("flag"));
        // binary junk never crashes; it is read or refused
        QByteArray junk;
        for (int i = 0; i < 4096; ++i) junk.append(char((i * 7919) & 0xFF));
        parse_settings(junk, &s, &err);
    }
    void where_settings_live_data() {
        QTest::addColumn<SettingsFacts>("facts"); // user file, program file, file / folder writable
        QTest::addColumn<QString>("read");
        QTest::addColumn<QStringList>("write");
        const QStringList both{"P", "U"}, user{"U"};
        // portable folder: as always (the per-user file only if that write fails)
        QTest::newRow("writable file") << SettingsFacts{false, true, true, true} << "P" << both;
        QTest::newRow("no file, writable folder")
            << SettingsFacts{false, false, false, true} << "P" << both;
        // system-wide install; the file is replaced by a rename, so its folder counts too
        QTest::newRow("file not writable")
            << SettingsFacts{false, true, false, true} << "P" << user;
        QTest::newRow("folder not writable")
            << SettingsFacts{false, true, true, false} << "P" << user;
        // a user's own file is read and written from then on
        QTest::newRow("user file") << SettingsFacts{true, true, true, true} << "U" << user;
    }
    void where_settings_live() {
        QFETCH(SettingsFacts, facts);
        QFETCH(QString, read);
        QFETCH(QStringList, write);
        const SettingsFiles got = choose_settings_files("P", "U", facts);
        QCOMPARE(got.read, read);
        QCOMPARE(got.write, write);
        // No per-user place known: the program folder's file, when it can be written.
        if (!facts.user_file_exists)
            QCOMPARE(choose_settings_files("P", QString(), facts).write,
                     write.mid(0, write.size() - 1));
    }
    void resolution_list_rules() {
        QStringList names;
        QString err;
        QVERIFY(parse_resolution_list("A\r\nB\r\nEND\r\nC\r\n", &names, &err));
        QCOMPARE(names, (QStringList{"A", "B"}));
        QVERIFY(parse_resolution_list("end\r\n\"END\"\r\n", &names, &err));
        QCOMPARE(names, QStringList{"end"});
        QVERIFY(
            parse_resolution_list("1920x1080,60\r\n\"1024x768, 60\"\r\n\r\nEND\r\n", &names, &err));
        QCOMPARE(names, (QStringList{"1920x1080", "60", "1024x768, 60", ""}));
        QVERIFY(!parse_resolution_list("A\r\nB\r\n", &names, &err));
        QVERIFY(err.contains("END"));
        // Entry 1000 cannot be sent in three digits: the list is refused, not cut.
        QByteArray list;
        for (int i = 1; i <= RESOLUTION_LIST_MAX; ++i) list += "R" + QByteArray::number(i) + "\r\n";
        QVERIFY(parse_resolution_list(list + "END\r\n", &names, &err));
        QCOMPARE(names.size(), 999);
        QCOMPARE(names.last(), QStringLiteral("R999"));
        QVERIFY(!parse_resolution_list(list + "R1000\r\nEND\r\n", &names, &err));
        QVERIFY2(err.contains("more than 999 entries"), qPrintable(err));
    }
    void files_missing_huge_and_atomic() {
        QTemporaryDir dir;
        Settings s;
        QString err;
        QVERIFY(!read_settings_file(dir.filePath("TEVRAL_QX.ini"), &s, &err));
        QVERIFY(err.contains("TEVRAL_QX.ini"));
        QFile big(dir.filePath("output_reso.txt"));
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.write(QByteArray(VALUE_LIST_MAX_BYTES + 10, 'x'));
        big.close();
        QStringList names;
        QVERIFY(!read_resolution_file(big.fileName(), &names, &err));
        QVERIFY(err.contains("output_reso.txt"));
        QVERIFY(!read_settings_file(dir.path(), &s, &err)); // a folder is not a file

        Settings w{1, 2, true, QStringLiteral("x")};
        QVERIFY(write_settings_file(dir.filePath("TEVRAL_QX.ini"), w));
        QVERIFY(read_settings_file(dir.filePath("TEVRAL_QX.ini"), &s, &err));
        QCOMPARE(s.address, QStringLiteral("x"));
        QVERIFY(!write_settings_file(dir.filePath("no/such/dir/TEVRAL_QX.ini"), w));
    }
};

QTEST_APPLESS_MAIN(ValueList)
#include "test_value_list.moc"
