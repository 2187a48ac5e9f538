// Unit tests of the device model and the line framer, without any link.
#include "device_model.h"
#include "line_framer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using veldra::DeviceConfig;
using veldra::DeviceModel;
using veldra::LineFramer;

class SimModelTest : public QObject {
    Q_OBJECT

    static QByteArray run(DeviceModel &m, const QByteArray &cmd) { return m.execute(cmd).reply; }

private slots:
    void factoryDefaults() {
        DeviceModel m;
        const auto &s = m.state();
        QCOMPARE(s.power, 1);
        QCOMPARE(s.lock, 0);
        QCOMPARE(s.mode, 1);
        QCOMPARE(s.output, 1);
        QCOMPARE(s.routing, (std::array<int, 4>{{1, 2, 3, 4}}));
        QCOMPARE(s.matrix.bri, 50);
        QCOMPARE(s.rows[3].sat, 50);
        QCOMPARE(s.bezelOn, 0);
        QCOMPARE(s.bezelH, 0);
        QCOMPARE(s.bezelV, 0);
        QCOMPARE(s.audioEdid, 0);
        QCOMPARE(s.dualA, 1);
        QCOMPARE(s.dualB, 2);
        QCOMPARE(s.audioOn, 1);
        QCOMPARE(s.resolution, 1);
        QCOMPARE(run(m, "PWR999"), QByteArray("PWR001"));
        QCOMPARE(run(m, "LCK999"), QByteArray("LCK000"));
        QCOMPARE(run(m, "MOD999"), QByteArray("MOD001"));
        QCOMPARE(run(m, "AUB999"), QByteArray("AUB002"));
        QCOMPARE(run(m, "RES999"), QByteArray("RES001"));
    }

    void errors_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("unknown mnemonic") << QByteArray("XYZ001") << QByteArray("ERR000");
        QTest::newRow("lower case") << QByteArray("ver999") << QByteArray("ERR000");
        QTest::newRow("EXT is not a command") << QByteArray("EXT000") << QByteArray("ERR000");
        QTest::newRow("letter in argument") << QByteArray("INP00A") << QByteArray("ERR001");
        QTest::newRow("blank in argument") << QByteArray("OUT 01") << QByteArray("ERR001");
        QTest::newRow("sign in argument") << QByteArray("BRI-01") << QByteArray("ERR001");
        QTest::newRow("output 0") << QByteArray("OUT000") << QByteArray("ERR001");
        QTest::newRow("output 5") << QByteArray("OUT005") << QByteArray("ERR001");
        QTest::newRow("input 5") << QByteArray("INP005") << QByteArray("ERR001");
        QTest::newRow("mode 4") << QByteArray("MOD004") << QByteArray("ERR001");
        QTest::newRow("power 2") << QByteArray("PWR002") << QByteArray("ERR001");
        QTest::newRow("lock 2") << QByteArray("LCK002") << QByteArray("ERR001");
        QTest::newRow("edid 5") << QByteArray("AUE005") << QByteArray("ERR001");
        QTest::newRow("side 0") << QByteArray("AUA000") << QByteArray("ERR001");
        QTest::newRow("side 3") << QByteArray("AUB003") << QByteArray("ERR001");
        QTest::newRow("audio 2") << QByteArray("AUD002") << QByteArray("ERR001");
        QTest::newRow("resolution 0") << QByteArray("RES000") << QByteArray("ERR001");
        QTest::newRow("resolution 13") << QByteArray("RES013") << QByteArray("ERR001");
        QTest::newRow("preset 0") << QByteArray("SAV000") << QByteArray("ERR001");
        QTest::newRow("preset 5") << QByteArray("CAL005") << QByteArray("ERR001");
        QTest::newRow("reset 3") << QByteArray("RST003") << QByteArray("ERR001");
        QTest::newRow("version set") << QByteArray("VER001") << QByteArray("ERR001");
        QTest::newRow("menu key 2") << QByteArray("MNU002") << QByteArray("ERR001");
        QTest::newRow("ip not a query") << QByteArray("EIP001") << QByteArray("ERR001");
        QTest::newRow("picture 101") << QByteArray("BRI101") << QByteArray("ERR001");
        QTest::newRow("matrix packed") << QByteArray("CON437") << QByteArray("ERR001");
        QTest::newRow("bezel switch 2") << QByteArray("BEZ002") << QByteArray("ERR001");
        QTest::newRow("bezel 255") << QByteArray("BEH255") << QByteArray("ERR001");
        QTest::newRow("empty") << QByteArray("") << QByteArray("ERR002");
        QTest::newRow("five") << QByteArray("VER99") << QByteArray("ERR002");
        QTest::newRow("seven") << QByteArray("VER9999") << QByteArray("ERR002");
        QTest::newRow("binary") << QByteArray("\x00\xFF\x01VER", 6) << QByteArray("ERR000");
    }

    void errors() {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, reply);
        DeviceModel m;
        const QByteArray before = m.toJson();
        const auto r = m.execute(line);
        QCOMPARE(r.reply, reply);
        QVERIFY(!r.changed);
        QVERIFY(!r.reboot);
        // A refused command leaves everything but the command count alone.
        QJsonObject a = QJsonDocument::fromJson(before).object();
        QJsonObject b = QJsonDocument::fromJson(m.toJson()).object();
        QCOMPARE(b.value("commands").toInt(), a.value("commands").toInt() + 1);
        a.remove("commands");
        b.remove("commands");
        QCOMPARE(a, b);
    }

    void powerLockVersion() {
        DeviceModel m;
        auto r = m.execute("PWR000");
        QCOMPARE(r.reply, QByteArray("PWR000"));
        QVERIFY(r.changed);
        QVERIFY(!r.reboot);
        QCOMPARE(run(m, "PWR999"), QByteArray("PWR000"));
        // Standby refuses nothing.
        QCOMPARE(run(m, "OUT002"), QByteArray("OUT002"));
        r = m.execute("PWR001");
        QCOMPARE(r.reply, QByteArray("PWR001"));
        QVERIFY(r.reboot);
        QCOMPARE(m.state().power, 1);
        QCOMPARE(run(m, "LCK001"), QByteArray("LCK001"));
        QCOMPARE(run(m, "LCK999"), QByteArray("LCK001"));
        QCOMPARE(run(m, "INP003"), QByteArray("INP003")); // lock is the front panel's only
        QCOMPARE(run(m, "LCK000"), QByteArray("LCK000"));
        QCOMPARE(run(m, "VER999"), QByteArray("VER160"));

        DeviceConfig c;
        c.version = 7;
        DeviceModel other(c);
        QCOMPARE(run(other, "VER999"), QByteArray("VER007"));
    }

    void modeOutputRouting() {
        DeviceModel m;
        QCOMPARE(run(m, "MOD002"), QByteArray("MOD002"));
        QCOMPARE(run(m, "MOD999"), QByteArray("MOD002"));
        QCOMPARE(run(m, "MOD003"), QByteArray("MOD003"));
        QCOMPARE(run(m, "MOD001"), QByteArray("MOD001"));
        QCOMPARE(run(m, "OUT003"), QByteArray("OUT003"));
        QCOMPARE(run(m, "OUT999"), QByteArray("OUT003"));
        QCOMPARE(run(m, "INP999"), QByteArray("INP003"));
        QCOMPARE(run(m, "INP001"), QByteArray("INP001"));
        QCOMPARE(run(m, "INP999"), QByteArray("INP001"));
        QCOMPARE(m.state().routing, (std::array<int, 4>{{1, 2, 1, 4}}));
        // INP acts on the selected output only.
        QCOMPARE(run(m, "OUT004"), QByteArray("OUT004"));
        QCOMPARE(run(m, "INP999"), QByteArray("INP004"));
        QCOMPARE(run(m, "INP002"), QByteArray("INP002"));
        QCOMPARE(m.state().routing, (std::array<int, 4>{{1, 2, 1, 2}}));
        QCOMPARE(run(m, "OUT003"), QByteArray("OUT003"));
        QCOMPARE(run(m, "INP999"), QByteArray("INP001"));
    }

    void pictureMatrix() {
        DeviceModel m;
        QCOMPARE(run(m, "BRI037"), QByteArray("BRI037"));
        QCOMPARE(run(m, "BRI999"), QByteArray("BRI037"));
        // Matrix value drives all four rows.
        for (int row = 0; row < 4; ++row) QCOMPARE(m.state().rows[row].bri, 37);
        QCOMPARE(run(m, "BRI994"), QByteArray("BRI637"));
        QCOMPARE(run(m, "CON100"), QByteArray("CON100"));
        QCOMPARE(run(m, "HUE000"), QByteArray("HUE000"));
        QCOMPARE(run(m, "SAT071"), QByteArray("SAT071"));
        QCOMPARE(m.state().matrix.con, 100);
        QCOMPARE(m.state().matrix.hue, 0);
        QCOMPARE(m.state().rows[2].sat, 71);
        QCOMPARE(m.state().matrix.bri, 37); // the others left alone
        QCOMPARE(run(m, "HUE999"), QByteArray("HUE000"));
        QCOMPARE(run(m, "SAT992"), QByteArray("SAT271"));
    }

    void picturePacked_data() {
        QTest::addColumn<int>("mode");
        QTest::newRow("dual") << 2;
        QTest::newRow("2x2") << 3;
    }

    void picturePacked() {
        QFETCH(int, mode);
        DeviceModel m;
        QCOMPARE(run(m, "MOD00" + QByteArray::number(mode)), "MOD00" + QByteArray::number(mode));
        QCOMPARE(run(m, "BRI437"), QByteArray("BRI437"));
        QCOMPARE(m.state().rows[2].bri, 37);
        QCOMPARE(m.state().rows[0].bri, 50);
        QCOMPARE(m.state().rows[1].bri, 50);
        QCOMPARE(m.state().rows[3].bri, 50);
        QCOMPARE(m.state().matrix.bri, 50);
        QCOMPARE(run(m, "BRI993"), QByteArray("BRI437"));
        QCOMPARE(run(m, "BRI991"), QByteArray("BRI050"));
        QCOMPARE(run(m, "BRI992"), QByteArray("BRI250"));
        QCOMPARE(run(m, "BRI994"), QByteArray("BRI650"));
        QCOMPARE(run(m, "CON700"), QByteArray("CON700"));
        QCOMPARE(run(m, "CON994"), QByteArray("CON700"));
        QCOMPARE(run(m, "HUE200"), QByteArray("HUE200"));
        QCOMPARE(run(m, "HUE992"), QByteArray("HUE200"));
        QCOMPARE(run(m, "SAT012"), QByteArray("SAT012"));
        // 999 outside Matrix answers row 1, packed (row 1 has no offset).
        QCOMPARE(run(m, "SAT999"), QByteArray("SAT012"));
        QCOMPARE(run(m, "BRI999"), QByteArray("BRI050"));
        QCOMPARE(run(m, "BRI101"), QByteArray("ERR001"));
        QCOMPARE(run(m, "BRI150"), QByteArray("ERR001"));
        QCOMPARE(run(m, "BRI301"), QByteArray("ERR001"));
        QCOMPARE(run(m, "BRI701"), QByteArray("ERR001"));
        QCOMPARE(run(m, "BRI800"), QByteArray("ERR001"));
        QCOMPARE(run(m, "BRI990"), QByteArray("ERR001"));
        QCOMPARE(run(m, "BRI995"), QByteArray("ERR001"));
        QCOMPARE(m.state().rows[2].bri, 37);
        // Back in Matrix the per-row values are still queryable.
        QCOMPARE(run(m, "MOD001"), QByteArray("MOD001"));
        QCOMPARE(run(m, "BRI993"), QByteArray("BRI437"));
        QCOMPARE(run(m, "BRI999"), QByteArray("BRI050"));
    }

    void pictureReset() {
        DeviceModel m;
        run(m, "BRI010");
        run(m, "MOD002");
        run(m, "CON620");
        run(m, "HUE005");
        const auto r = m.execute("RST002");
        QCOMPARE(r.reply, QByteArray("RST002"));
        QVERIFY(!r.reboot);
        QCOMPARE(m.state().matrix, veldra::Picture());
        for (const auto &row : m.state().rows) QCOMPARE(row, veldra::Picture());
        QCOMPARE(m.state().mode, 2); // only the picture is reset
    }

    void bezel() {
        DeviceModel m;
        QCOMPARE(run(m, "BEZ001"), QByteArray("BEZ001"));
        QCOMPARE(run(m, "BEZ999"), QByteArray("BEZ001"));
        QCOMPARE(run(m, "BEZ000"), QByteArray("BEZ000"));
        QCOMPARE(run(m, "BEH998"), QByteArray("BEH254"));
        QCOMPARE(run(m, "BEV998"), QByteArray("BEV254"));
        QCOMPARE(run(m, "BEH254"), QByteArray("BEH254"));
        QCOMPARE(run(m, "BEH255"), QByteArray("ERR001"));
        QCOMPARE(run(m, "BEH999"), QByteArray("BEH254"));
        QCOMPARE(run(m, "BEV000"), QByteArray("BEV000"));
        QCOMPARE(run(m, "BEV017"), QByteArray("BEV017"));
        QCOMPARE(run(m, "BEV999"), QByteArray("BEV017"));

        DeviceConfig c;
        c.bezelMaxH = 200;
        c.bezelMaxV = 40;
        DeviceModel small(c);
        QCOMPARE(run(small, "BEH998"), QByteArray("BEH200"));
        QCOMPARE(run(small, "BEV998"), QByteArray("BEV040"));
        QCOMPARE(run(small, "BEH200"), QByteArray("BEH200"));
        QCOMPARE(run(small, "BEH201"), QByteArray("ERR001"));
        QCOMPARE(run(small, "BEV040"), QByteArray("BEV040"));
        QCOMPARE(run(small, "BEV041"), QByteArray("ERR001"));
        QCOMPARE(small.state().bezelH, 200);
        QCOMPARE(small.state().bezelV, 40);
    }

    void audio() {
        DeviceModel m;
        for (int e = 0; e <= 4; ++e)
            QCOMPARE(run(m, "AUE00" + QByteArray::number(e)), "AUE00" + QByteArray::number(e));
        QCOMPARE(run(m, "AUE999"), QByteArray("AUE004"));
        QCOMPARE(run(m, "AUA002"), QByteArray("AUA002"));
        QCOMPARE(run(m, "AUA999"), QByteArray("AUA002"));
        QCOMPARE(run(m, "AUB001"), QByteArray("AUB001"));
        QCOMPARE(run(m, "AUB999"), QByteArray("AUB001"));
        QCOMPARE(run(m, "AUD000"), QByteArray("AUD000"));
        QCOMPARE(run(m, "AUD999"), QByteArray("AUD000"));
        QCOMPARE(run(m, "AUD001"), QByteArray("AUD001"));
        QCOMPARE(m.state().dualA, 2);
        QCOMPARE(m.state().dualB, 1);
        QCOMPARE(m.state().audioOn, 1);
    }

    void resolution() {
        DeviceModel m;
        QCOMPARE(run(m, "RES012"), QByteArray("RES012"));
        QCOMPARE(run(m, "RES999"), QByteArray("RES012"));
        QCOMPARE(run(m, "RES013"), QByteArray("ERR001"));
        DeviceConfig c;
        c.resCount = 30;
        DeviceModel more(c);
        QCOMPARE(run(more, "RES030"), QByteArray("RES030"));
        QCOMPARE(run(more, "RES031"), QByteArray("ERR001"));
    }

    void presets() {
        DeviceModel m;
        run(m, "OUT001");
        run(m, "INP004");
        run(m, "OUT002");
        run(m, "INP003");
        QCOMPARE(run(m, "SAV002"), QByteArray("SAV002"));
        QVERIFY(m.preset(2).has_value());
        QVERIFY(!m.preset(1).has_value());

        run(m, "OUT001");
        run(m, "INP001");
        run(m, "OUT002");
        run(m, "INP001");
        run(m, "OUT004");
        run(m, "MOD003");
        QCOMPARE(m.state().routing, (std::array<int, 4>{{1, 1, 3, 4}}));

        const auto r = m.execute("CAL002");
        QCOMPARE(r.reply, QByteArray("CAL002"));
        QVERIFY(r.changed);
        QCOMPARE(m.state().routing, (std::array<int, 4>{{4, 3, 3, 4}}));
        QCOMPARE(m.state().output, 2);
        QCOMPARE(m.state().mode, 3); // a recall never touches the mode
        QCOMPARE(run(m, "INP999"), QByteArray("INP003"));

        // Never saved: the factory routing.
        QCOMPARE(run(m, "CAL004"), QByteArray("CAL004"));
        QCOMPARE(m.state().routing, (std::array<int, 4>{{1, 2, 3, 4}}));
        QCOMPARE(m.state().output, 1);

        // Overwriting a preset keeps only the newest.
        run(m, "OUT003");
        run(m, "INP002");
        QCOMPARE(run(m, "SAV002"), QByteArray("SAV002"));
        run(m, "INP004");
        QCOMPARE(run(m, "CAL002"), QByteArray("CAL002"));
        QCOMPARE(m.state().routing, (std::array<int, 4>{{1, 2, 2, 4}}));
        QCOMPARE(m.state().output, 3);
    }

    void factoryReset() {
        DeviceModel m;
        for (const char *c :
             {"PWR000", "LCK001", "MOD002", "OUT004", "INP001", "BRI437", "BEZ001", "BEH100",
              "BEV099", "AUE003", "AUA002", "AUB001", "AUD000", "RES009", "SAV001"})
            QVERIFY2(!run(m, c).startsWith("ERR"), c);
        const auto r = m.execute("RST001");
        QCOMPARE(r.reply, QByteArray("RST001"));
        QVERIFY(r.reboot);
        QVERIFY(r.changed);
        DeviceModel fresh;
        QJsonObject a = QJsonDocument::fromJson(m.toJson()).object();
        QJsonObject b = QJsonDocument::fromJson(fresh.toJson()).object();
        a.remove("commands");
        b.remove("commands");
        QCOMPARE(a, b);
        QVERIFY(!m.preset(1).has_value());
    }

    void menuKeys() {
        DeviceModel m;
        for (const char *k :
             {"MNU001", "MND001", "MNL001", "MNR001", "MNO001", "MNX001", "MNE001"}) {
            const auto r = m.execute(k);
            QCOMPARE(r.reply, QByteArray(k));
            QVERIFY(!r.changed);
        }
        QCOMPARE(run(m, "MNA001"), QByteArray("ERR000"));
    }

    void networkAnswers() {
        DeviceModel m;
        QCOMPARE(run(m, "EIP999"), QByteArray("192.168.001.100"));
        QCOMPARE(run(m, "EMK999"), QByteArray("255.255.255.000"));
        QCOMPARE(run(m, "EGW999"), QByteArray("192.168.001.001"));
        DeviceConfig c;
        c.ip = "10.0.0.5";
        c.mask = "255.255.255.000.123";
        DeviceModel other(c);
        QCOMPARE(run(other, "EIP999"), QByteArray("10.0.0.5       "));
        QCOMPARE(run(other, "EMK999"), QByteArray("255.255.255.000"));
        for (const char *q : {"EIP999", "EMK999", "EGW999"}) QCOMPARE(run(other, q).size(), 15);
    }

    void commandCountAndJson() {
        DeviceModel m;
        run(m, "OUT003");
        run(m, "INP002");
        run(m, "junk");
        run(m, "MOD002");
        run(m, "CON612");
        QCOMPARE(m.commandCount(), quint64(5));
        QJsonParseError err;
        const QJsonDocument doc = QJsonDocument::fromJson(m.toJson(), &err);
        QCOMPARE(err.error, QJsonParseError::NoError);
        const QJsonObject o = doc.object();
        QCOMPARE(o.value("commands").toInt(), 5);
        QCOMPARE(o.value("output").toInt(), 3);
        QCOMPARE(o.value("mode").toInt(), 2);
        QCOMPARE(o.value("routing").toArray(), QJsonArray({1, 2, 2, 4}));
        QCOMPARE(o.value("rows").toArray().at(3).toObject().value("con").toInt(), 12);
        QCOMPARE(o.value("matrix").toObject().value("con").toInt(), 50);
        QCOMPARE(o.value("bezel").toObject().value("max_h").toInt(), 254);
        QCOMPARE(o.value("audio").toObject().value("dual_b").toInt(), 2);
        QCOMPARE(o.value("res_count").toInt(), 12);
        QCOMPARE(o.value("version").toInt(), 160);
        QCOMPARE(o.value("gateway").toString(), QString("192.168.001.001"));
        const QStringList keys = {"power", "lock",  "mode",    "output",     "routing",   "matrix",
                                  "rows",  "bezel", "audio",   "resolution", "res_count", "version",
                                  "ip",    "mask",  "gateway", "commands"};
        QStringList actual = o.keys();
        QStringList expected = keys;
        actual.sort();
        expected.sort();
        QCOMPARE(actual, expected);
    }

    void frontPanelAnnouncesWhatItChanged() {
        DeviceModel m;
        std::mt19937_64 rng(42);
        QSet<QByteArray> seen;
        for (int i = 0; i < 300; ++i) {
            const QByteArray before = m.toJson();
            const QByteArray a = m.frontPanelChange(rng);
            QVERIFY2(a != "" && m.toJson() != before, a.constData());
            seen.insert(a.left(3));
            // The announcement is exactly what a query answers now.
            QByteArray query = a.left(3) + "999";
            QCOMPARE(run(m, query), a);
        }
        for (const char *mn :
             {"MOD", "AUE", "AUA", "AUB", "AUD", "LCK", "BEZ", "BRI", "RES", "INP"})
            QVERIFY2(seen.contains(mn), mn);
        // Same seed, same sequence.
        DeviceModel a1, a2;
        std::mt19937_64 r1(7), r2(7);
        for (int i = 0; i < 50; ++i) QCOMPARE(a1.frontPanelChange(r1), a2.frontPanelChange(r2));
    }

    void framer() {
        LineFramer f;
        QCOMPARE(f.feed("VER9"), QList<QByteArray>());
        QCOMPARE(f.pending(), 4);
        QCOMPARE(f.feed("99\r"), QList<QByteArray>{"VER999"});
        QCOMPARE(f.feed("OUT001\r\nINP002\r"), (QList<QByteArray>{"OUT001", "INP002"}));
        QCOMPARE(f.feed("\nMOD\n002\r"), QList<QByteArray>{"MOD002"});
        QCOMPARE(f.feed("\r"), QList<QByteArray>{""});
        QCOMPARE(f.feed(QByteArray("\x00\xFF"
                                   "A\r",
                                   4)),
                 QList<QByteArray>{QByteArray("\x00\xFF"
                                              "A",
                                              3)});
        // Overlong: capped, ends at its CR, and the next line is clean.
        const QList<QByteArray> lines = f.feed(QByteArray(5000, 'X') + "\rVER999\r");
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0], QByteArray(64, 'X'));
        QCOMPARE(lines[1], QByteArray("VER999"));
        DeviceModel m;
        QCOMPARE(m.execute(lines[0]).reply, QByteArray("ERR002"));
    }

    void escapes() {
        QCOMPARE(veldra::escapeBytes(QByteArray("A\r\n\t\\\x00\xFF", 7)),
                 QByteArray("A\\r\\n\\t\\\\\\x00\\xFF"));
        QCOMPARE(veldra::decodeEscapes("BEV040\\r"), QByteArray("BEV040\r"));
        QCOMPARE(veldra::decodeEscapes("\\x00\\xffZ\\n\\0\\\\"),
                 QByteArray("\x00\xFFZ\n\x00\\", 6));
        QCOMPARE(veldra::decodeEscapes("\\q\\x4"), QByteArray("\\q\\x4"));
        const QByteArray all = [] {
            QByteArray b;
            for (int i = 0; i < 256; ++i) b += char(i);
            return b;
        }();
        QCOMPARE(veldra::decodeEscapes(veldra::escapeBytes(all)), all);
    }
};

QTEST_APPLESS_MAIN(SimModelTest)
#include "tst_sim_model.moc"
