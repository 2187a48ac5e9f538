// veldra-ctl without a device: the command line into device commands, the checks
// that refuse bad input, and how the device state prints.
#include <QJsonArray>
#include <QRegularExpression>
#include <QTest>

#include "client/report.h"
#include "client/request.h"
#include "protocol/command.h"

class CtlRequest : public QObject {
    Q_OBJECT
private slots:
    // The device tests check every command on the wire; these are the forms they skip.
    void commands_of_a_request_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("commands");
        const auto row = [](const char *line, QStringList c) {
            QTest::newRow(line) << QString::fromLatin1(line) << c;
        };
        row("mode 2x2", {"MOD003", "OUT001"});
        row("mute on", {"AUD000"});
        row("bezel v 0", {"BEV000"});
        row("audio edid hd", {"AUE004"});
        row("audio edid 2ch", {"AUE000"});
        row("menu exit", {"MNE001"});
        row("--json MODE Dual --quiet", {"MOD002"}); // words in any case, options anywhere
        row("status", {});
        row("picture hue 2 30", {}); // depends on the mode
    }
    void commands_of_a_request() {
        QFETCH(QString, line);
        QFETCH(QStringList, commands);
        Request r;
        QString error;
        QVERIFY2(parse_request(line.split(QLatin1Char(' ')), 12, &r, &error), qPrintable(error));
        QCOMPARE(fixed_commands(r), commands);
    }

    void bad_usage_is_refused_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("reason");
        const auto row = [](const char *line, const char *reason) {
            QTest::newRow(line) << QString::fromLatin1(line) << QString::fromLatin1(reason);
        };
        row("route 1 0", "input must be 1..4");
        row("route 1 +2", "input must be 1..4");
        row("route 1", "route takes 2 arguments");
        row("picture brightness 5 10", "row must be 1..4");
        row("picture tint 1 10", "picture must be brightness|contrast|hue|saturation");
        row("preset load 1", "preset must be save|recall");
        row("resolution 0", "resolution must be 1..12");
        row("bezel up", "bezel must be off|on");
        row("audio edid 7ch", "audio edid must be 2ch|6ch|8ch|bitstream|hd");
        row("send VER9999", "three upper-case letters and three digits");
        // A final line feed is not the end of the text: it would go to the device.
        row("send VER999\n", "three upper-case letters and three digits");
        row("status now", "status takes 0 arguments");
        row("--port COM10 status", "--port takes COM1..COM9 or a device path");
        row("--port COM1 --host 10.0.0.2 status", "not both");
        row("--host status", "unknown command \"10.0.0.2\"");
        row("--verbose status", "unknown option --verbose");
        row("--reconnect status", "--reconnect goes with watch only");
        row("--json", "no command given");
        row("reboot", "unknown command \"reboot\"");
        // refused before any name look-up
        row("--host 127.0.0.1:0 status", "--host takes HOST or HOST:PORT");
        row("--host 999.1.1.1:99999 status", "--host takes HOST or HOST:PORT");
        row("--host 999.1.1.1 status", "--host takes HOST or HOST:PORT");
        row("--host a:b:c status", "--host takes HOST or HOST:PORT");
        row("--host [::1 status", "--host takes HOST or HOST:PORT");
    }
    void bad_usage_is_refused() {
        QFETCH(QString, line);
        QFETCH(QString, reason);
        QStringList args = line.split(QLatin1Char(' '));
        if (line == QLatin1String("--host status")) args << QStringLiteral("10.0.0.2");
        Request r;
        QString error;
        QVERIFY(!parse_request(args, 12, &r, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QVERIFY(!error.contains(QLatin1Char('\n')));
    }

    void links_and_help() {
        Request r;
        QString e;
        QVERIFY(parse_request({"--port", "com3", "version"}, 12, &r, &e));
        QCOMPARE(link_name(r.link), QStringLiteral("COM3"));
        QVERIFY(parse_request({"--port=/dev/ttyUSB0", "version"}, 12, &r, &e));
        QCOMPARE(r.link.kind, LinkChoice::Kind::Device);
        QCOMPARE(link_name(r.link), QStringLiteral("/dev/ttyUSB0"));
        // the address forms the panel's address box takes
        QVERIFY(parse_request({"--host", " 10.1.2.3:2323 ", "version"}, 12, &r, &e));
        QCOMPARE(link_name(r.link), QStringLiteral("10.1.2.3:2323"));
        QVERIFY(parse_request({"--host", "veldra.local", "version"}, 12, &r, &e));
        QCOMPARE(link_name(r.link), QStringLiteral("veldra.local:23"));
        QVERIFY(parse_request({"status"}, 12, &r, &e));
        QCOMPARE(r.link.kind, LinkChoice::Kind::Saved);
        QVERIFY(parse_request({"route", "9", "--help"}, 12, &r, &e));
        QCOMPARE(r.verb, Verb::Help);
        QVERIFY(parse_request({"--host", "[::1]:2325", "version"}, 12, &r, &e));
        QCOMPARE(link_name(r.link), QStringLiteral("::1:2325"));
        QVERIFY(parse_request({"--host", "::1", "version"}, 12, &r, &e));
        // a list of more names than a RES reply's two digits can carry
        QVERIFY(parse_request({"resolution", "99"}, 500, &r, &e));
        QVERIFY(!parse_request({"resolution", "100"}, 500, &r, &e));
        // without a resolution list, resolution is refused naming the fault; the rest works
        QVERIFY(
            !parse_request({"resolution", "1"}, 0, &r, &e, "File not found: /p/output_reso.txt"));
        QVERIFY2(e.contains("File not found: /p/output_reso.txt"), qPrintable(e));
        QVERIFY(parse_request({"version"}, 0, &r, &e));
    }

    void mode_decides_picture_and_resolution() {
        const int bri = int(PictureParam::Bri), sat = int(PictureParam::Sat);
        QCOMPARE(picture_command(bri, 3, 37, DisplayMode::Dual), QStringLiteral("BRI437"));
        QCOMPARE(picture_command(sat, 4, 100, DisplayMode::Wall), QStringLiteral("SAT700"));
        QCOMPARE(picture_command(bri, 1, 37, DisplayMode::Matrix), QStringLiteral("BRI037"));
        Request r;
        QString e;
        QVERIFY(parse_request({"picture", "hue", "2", "10"}, 12, &r, &e));
        QVERIFY(!mode_refusal(r, 1).isEmpty());
        QVERIFY(mode_refusal(r, 2).isEmpty());
        QVERIFY(parse_request({"resolution", "6"}, 12, &r, &e));
        QVERIFY(mode_refusal(r, 1).isEmpty());
        QVERIFY(!mode_refusal(r, 3).isEmpty());
        QVERIFY(parse_request({"resolution", "7"}, 12, &r, &e));
        QVERIFY(mode_refusal(r, 3).isEmpty());
    }

    // How a state prints; how replies make the state is DeviceState's own test.
    void status_printed() {
        DeviceState s;
        for (const char *r : {"VER160", "AUA002", "AUB001", "AUD000", "AUE003", "BEH012", "BEV034",
                              "BEZ001", "LCK001", "PWR000", "RES107", "OUT001", "INP003"})
            s.apply(*parse_reply(QLatin1String(r)));
        s.set_bezel_max_pending(true);
        s.apply(*parse_reply(QStringLiteral("BEH200")));
        s.apply(*parse_reply(QStringLiteral("BRI077")));
        QJsonObject j = status_json(s);
        QCOMPARE(j["version"].toInt(), 160);
        QCOMPARE(j["audio"].toObject(),
                 (QJsonObject{{"edid", 3}, {"dual_a", 2}, {"dual_b", 1}, {"on", 0}}));
        QCOMPARE(j["bezel"].toObject(),
                 (QJsonObject{
                     {"on", 1}, {"h", 12}, {"v", 34}, {"max_h", 200}, {"max_v", QJsonValue()}}));
        QCOMPARE(j["lock"].toInt(), 1);
        QCOMPARE(j["power"].toInt(), 0);
        QCOMPARE(j["resolution"].toInt(), 7);
        QVERIFY(j["mode"].isNull()); // not reported; pictures read as in Matrix meanwhile
        QCOMPARE(j["output"].toInt(), 1);
        QCOMPARE(j["routing"].toArray(), (QJsonArray{3, QJsonValue(), QJsonValue(), QJsonValue()}));
        QCOMPARE(j["matrix"].toObject()["bri"].toInt(), 77);
        QVERIFY(j["matrix"].toObject()["hue"].isNull());
        QVERIFY(!j.contains("rows"));
        const QString text = status_text(s, {"A", "B", "C", "D", "E", "F", "1920x1080@60"});
        QVERIFY2(text.contains("resolution  7 (1920x1080@60)"), qPrintable(text));
        QVERIFY2(text.contains("audio       edid bitstream  dual-a right  dual-b left  mute on"),
                 qPrintable(text));
        QVERIFY2(text.contains("bezel       on  h 12  v 34  max h 200  max v unknown"),
                 qPrintable(text));
        QVERIFY2(text.contains("routing     OUT1<-IN3  OUT2<-unknown"), qPrintable(text));
        QVERIFY2(text.startsWith("version     1.60\npower       standby\nlock        on\n"),
                 qPrintable(text));

        s.apply(*parse_reply(QStringLiteral("MOD002")));
        s.apply(*parse_reply(QStringLiteral("BRI437")));
        j = status_json(s);
        QCOMPARE(j["mode"].toInt(), 2);
        QVERIFY(!j.contains("matrix"));
        QCOMPARE(j["rows"].toArray()[2].toObject()["bri"].toInt(), 37);
        QVERIFY2(status_text(s, {}).contains("picture 3   brightness 37"),
                 qPrintable(status_text(s, {})));
    }

    // A value the panel's handler does not take leaves its control as it was: unreported
    // (null, "unknown") from a fresh start, and the last good value after one.
    void values_the_panel_ignores_are_not_reported_data() {
        QTest::addColumn<QString>("good");
        QTest::addColumn<QString>("odd");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *good, const char *odd, const char *key, const char *text) {
            QTest::newRow(odd) << good << odd << key << text;
        };
        row("PWR001", "PWR009", "power", "^power +unknown$");
        row("LCK001", "LCK009", "lock", "^lock +unknown$");
        row("AUD000", "AUD009", "audio/on", "mute unknown$");
        row("MOD002", "MOD009", "mode", "^mode +unknown$");
        row("BEZ001", "BEZ009", "bezel/on", "^bezel +unknown ");
        row("RES004", "RES009", "resolution", "^resolution +unknown$"); // a list of 4
    }
    void values_the_panel_ignores_are_not_reported() {
        QFETCH(QString, good);
        QFETCH(QString, odd);
        QFETCH(QString, key);
        QFETCH(QString, text);
        const auto value = [&key](const DeviceState &s) {
            QJsonValue v = status_json(s);
            for (const QString &k : key.split('/')) v = v.toObject().value(k);
            return v;
        };
        const auto apply = [](DeviceState &s, const QString &reply) {
            s.apply(*parse_reply(reply));
        };
        DeviceState fresh;
        fresh.set_resolution_count(4);
        apply(fresh, odd);
        QVERIFY(value(fresh).isNull());
        const QString shown = status_text(fresh, {"A", "B", "C", "D"});
        QVERIFY2(
            QRegularExpression(text, QRegularExpression::MultilineOption).match(shown).hasMatch(),
            qPrintable(shown));
        DeviceState known;
        known.set_resolution_count(4);
        apply(known, good);
        const QJsonValue before = value(known);
        QVERIFY(!before.isNull());
        apply(known, odd);
        QCOMPARE(value(known), before);
    }

    // watch: what each reply did, in words, by the state's own reading.
    void replies_described() {
        DeviceState s;
        const auto said = [&s](const char *reply) {
            return apply_reply(s, *parse_reply(QLatin1String(reply))).words;
        };
        QCOMPARE(said("MOD003"), QStringLiteral("mode 2x2"));
        QCOMPARE(said("AUD000"), QStringLiteral("mute on"));
        QCOMPARE(said("BRI437"), QStringLiteral("brightness row 3 37"));
        QCOMPARE(said("VER007"), QStringLiteral("version 0.07"));
        QCOMPARE(said("PWR009"), QStringLiteral("not applied"));
        const Reply res = *parse_reply("RES012");
        QCOMPARE(effect_json(res, apply_reply(s, res)),
                 (QJsonObject{{"reply", "RES012"},
                              {"mnemonic", "RES"},
                              {"value", 12},
                              {"applied", true},
                              {"changed", QJsonArray{"resolution"}}}));
    }

    void link_failures() {
        QCOMPARE(open_failure_text("COM1", "/x/COM1", "locked", PortProblem::Busy),
                 QStringLiteral("COM1 is in use \u2014 is the panel open?"));
        QVERIFY(open_failure_text("COM2", "/dev/ttyUSB0", "denied", PortProblem::PermissionDenied)
                    .contains("dialout"));
        QCOMPARE(open_failure_text("/dev/x", "/dev/x", "odd", PortProblem::Other),
                 QStringLiteral("/dev/x: cannot open /dev/x (odd)"));
    }
};

QTEST_GUILESS_MAIN(CtlRequest)
#include "test_ctl_request.moc"
