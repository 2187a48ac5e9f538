// The venue file (names and scenes) and the scene logic, without a device: the file's
// format and its refusals, names in veldra-ctl's arguments, and what a scene captures,
// compares and sends in each display mode.
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "client/request.h"
#include "platform/venue.h"
#include "protocol/scene_plan.h"

namespace {

void feed(DeviceState &s, const QStringList &replies) {
    for (const QString &r : replies) QVERIFY2(s.apply(*parse_reply(r)), qPrintable(r));
}

// The device in `mode` with every setting reported: routing 1..4 from `routing`, picture
// levels from `base` upwards, bezel, audio and resolution.
QStringList all_settings(int mode, const QList<int> &routing, int base, int bezel, int side,
                         int res) {
    QStringList out{QStringLiteral("MOD00%1").arg(mode)};
    for (int o = 1; o <= 4; ++o)
        out << QStringLiteral("OUT00%1").arg(o) << QStringLiteral("INP00%1").arg(routing[o - 1]);
    const char *const m[4] = {"BRI", "CON", "HUE", "SAT"};
    for (int row = 1; row <= (mode == 1 ? 1 : 4); ++row)
        for (int p = 0; p < 4; ++p)
            out << QLatin1String(m[p]) +
                       QString::number(base + row * 4 + p + (mode == 1 ? 0 : 200 * (row - 1)))
                           .rightJustified(3, QLatin1Char('0'));
    out << QStringLiteral("BEZ00%1").arg(bezel % 2)
        << QStringLiteral("BEH%1").arg(bezel, 3, 10, QLatin1Char('0'))
        << QStringLiteral("BEV%1").arg(bezel + 1, 3, 10, QLatin1Char('0'))
        << QStringLiteral("AUE00%1").arg(side + 1) << QStringLiteral("AUA00%1").arg(side)
        << QStringLiteral("AUB00%1").arg(3 - side)
        << QStringLiteral("RES%1").arg(res, 3, 10, QLatin1Char('0'));
    return out;
}

QStringList set_commands(const QList<SceneStep> &steps) {
    QStringList out;
    for (const SceneStep &s : steps) out << s.set;
    return out;
}

} // namespace

class VenueFile : public QObject {
    Q_OBJECT
private slots:
    void a_venue_survives_its_file() {
        Venue v;
        v.device = QStringLiteral("Room 101 \u2014 \"main\"");
        v.inputs = {QStringLiteral("Lectern PC"), QStringLiteral("Cam\u00e9ra 2 \U0001F4F7"),
                    QStringLiteral("<script>alert(1)</script>"), QString()};
        v.outputs = {QStringLiteral("Projector"), QStringLiteral("'; rm -rf ~ #"), QString(),
                     QStringLiteral("a/b/+/#")};
        DeviceState s;
        feed(s, all_settings(2, {4, 3, 2, 1}, 10, 7, 2, 4));
        QString missing;
        const std::optional<Scene> dual = capture_scene(s, QStringLiteral("Lecture"), &missing);
        QVERIFY2(dual, qPrintable(missing));
        Scene partial; // a hand-written scene: the mode and one route only
        partial.name = QStringLiteral("Only projector");
        partial.routing[0] = 3;
        v.scenes << *dual << partial;

        Venue back;
        QString error;
        QVERIFY2(parse_venue(format_venue(v), &back, &error), qPrintable(error));
        QCOMPARE(format_venue(back), format_venue(v));
        QCOMPARE(back.inputs[1], v.inputs[1]);
        QCOMPARE(back.scenes.size(), 2);
        QVERIFY(scene_differences(back.scenes[0], s).isEmpty());
        QCOMPARE(back.scene_index(QStringLiteral("LECTURE")), 0);
        QCOMPARE(back.scene_index(QStringLiteral("Lectur")), -1);

        // Written and read again; a second write replaces it whole.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/venue.json"));
        QVERIFY2(write_venue_file(path, v, &error), qPrintable(error));
        back.scenes.removeFirst();
        QVERIFY2(write_venue_file(path, back, &error), qPrintable(error));
        Venue read;
        QVERIFY2(load_venue(path, &read, &error), qPrintable(error));
        QCOMPARE(format_venue(read), format_venue(back));
        // A given file that is not there yet is an empty venue, not a fault.
        QVERIFY(load_venue(dir.filePath(QStringLiteral("none.json")), &read, &error));
        QVERIFY(read.scenes.isEmpty());
    }

    void a_broken_file_is_refused_with_its_place_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("fault");
        QTest::newRow("comma") << QByteArray("{\n  \"inputs\": [\"a\",,]\n}")
                               << "line 2, column 18";
        QTest::newRow("after a wide character")
            << QByteArray("{\"device\": \"\xc3\xa9\xc3\xa9\" x}") << "line 1, column 17";
        QTest::newRow("cut short") << QByteArray("{\n\"scenes\": [\n") << "line 3, column 1";
        QTest::newRow("not an object") << QByteArray("[1]") << "the venue is a JSON object";
        QTest::newRow("too long") << QByteArray("{\"inputs\": [\"" + QByteArray(33, 'x') + "\"]}")
                                  << "inputs[0]: a name has at most 32 characters, not 33";
        QTest::newRow("control") << QByteArray("{\"outputs\": [\"a\\u0007b\"]}")
                                 << "outputs[0]: a name holds no control characters (U+0007)";
        QTest::newRow("line separator") << QByteArray("{\"device\": \"a\\u2028b\"}")
                                        << "device: a name holds no control characters (U+2028)";
        QTest::newRow("number") << QByteArray("{\"inputs\": [\"2\"]}") << "not a bare number";
        QTest::newRow("route") << QByteArray("{\"scenes\": [{\"name\": \"s\", \"mode\": 1, "
                                             "\"routing\": [1, 2, 5, 1]}]}")
                               << "scenes[0].routing[2].input must be a whole number 1..4";
        QTest::newRow("level") << QByteArray("{\"scenes\": [{\"name\": \"s\", \"mode\": 2, "
                                             "\"rows\": [{\"bri\": 101}]}]}")
                               << "scenes[0].rows[0].bri must be a whole number 0..100";
        QTest::newRow("no mode") << QByteArray("{\"scenes\": [{\"name\": \"s\"}]}")
                                 << "scenes[0].mode must be 1 (Matrix)";
        QTest::newRow("twice") << QByteArray("{\"scenes\": [{\"name\": \"S\", \"mode\": 1}, "
                                             "{\"name\": \"s\", \"mode\": 2}]}")
                               << "scenes[1]: a second scene named \"s\"";
    }
    void a_broken_file_is_refused_with_its_place() {
        QFETCH(QByteArray, text);
        QFETCH(QString, fault);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("venue.json"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        Venue v;
        v.device = QStringLiteral("left from before");
        QString error;
        QVERIFY(!load_venue(path, &v, &error));
        QVERIFY2(error.startsWith(path + QStringLiteral(": ")) && error.contains(fault),
                 qPrintable(error));
        // The program goes on with numbers.
        QVERIFY(v.device.isEmpty() && v.scenes.isEmpty());
    }

    void names_in_route_arguments_data() {
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("in");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<QString>("fault");
        QTest::newRow("numbers") << "2"
                                 << "3" << 2 << 3 << "";
        QTest::newRow("names, any case") << "PROJECTOR"
                                         << "lectern pc" << 1 << 1 << "";
        QTest::newRow("unicode case") << "\u00c9cran"
                                      << "cam\u00e9ra" << 4 << 2 << "";
        QTest::newRow("name and number") << "3"
                                         << "Cam\u00c9ra" << 3 << 2 << "";
        QTest::newRow("unknown output")
            << "Beamer"
            << "1" << 0 << 0
            << "output \"Beamer\" is not a name of the venue; the outputs are 1 \"Projector\", "
               "2 \"Screen\", 3 \"SCREEN\", 4 \"\u00e9cran\"";
        QTest::newRow("ambiguous output") << "screen"
                                          << "1" << 0 << 0 << "output \"screen\" names 2 of them";
        QTest::newRow("unknown input")
            << "1"
            << "Laptop" << 0 << 0 << "the inputs are 1 \"Lectern PC\", 2 \"Cam\u00e9ra\", 3, 4";
        QTest::newRow("out of range") << "5"
                                      << "1" << 0 << 0 << "output must be 1..4, not \"5\"";
    }
    void names_in_route_arguments() {
        QFETCH(QString, out);
        QFETCH(QString, in);
        QFETCH(int, a);
        QFETCH(int, b);
        QFETCH(QString, fault);
        Venue v;
        v.inputs = {QStringLiteral("Lectern PC"), QStringLiteral("Cam\u00e9ra"), QString(),
                    QString()};
        // A hand-written file may name two outputs alike; routing by that name is refused.
        v.outputs = {QStringLiteral("Projector"), QStringLiteral("Screen"),
                     QStringLiteral("SCREEN"), QStringLiteral("\u00e9cran")};
        Request r;
        QString error;
        const bool ok =
            parse_request({"route", out, in}, 12, &r, &error) && resolve_route_names(&r, v, &error);
        QCOMPARE(ok, fault.isEmpty());
        if (!ok) {
            QVERIFY2(error.contains(fault), qPrintable(error));
            return;
        }
        QCOMPARE(r.a, a);
        QCOMPARE(r.b, b);
        QCOMPARE(fixed_commands(r),
                 (QStringList{QStringLiteral("OUT00%1").arg(a), QStringLiteral("INP00%1").arg(b)}));
    }

    void venue_commands_parse() {
        Request r;
        QString error;
        QVERIFY(parse_request({"name", "input", "2", "Document", "camera"}, 0, &r, &error));
        QCOMPARE(r.verb, Verb::Name);
        QCOMPARE(r.a, 0);
        QCOMPARE(r.b, 2);
        QCOMPARE(r.text, QStringLiteral("Document camera"));
        QVERIFY(parse_request({"name", "OUTPUT", "4"}, 0, &r, &error));
        QVERIFY(r.a == 1 && r.b == 4 && r.text.isEmpty());
        QVERIFY(
            parse_request({"--venue", "/x/v.json", "scene", "recall", "Lecture"}, 0, &r, &error));
        QVERIFY(r.verb == Verb::SceneRecall && r.text == QLatin1String("Lecture") &&
                r.venue_file == QLatin1String("/x/v.json"));
        QVERIFY(parse_request({"scene", "list"}, 0, &r, &error) && r.verb == Verb::SceneList);
        QVERIFY(venue_only(r));
        for (const QStringList &bad :
             {QStringList{"scene", "save"}, QStringList{"scene", "list", "x"},
              QStringList{"scene", "keep", "x"}, QStringList{"name", "input", "5", "x"},
              QStringList{"name", "input", "1", QString(33, QLatin1Char('n'))},
              QStringList{"name", "input", "1", "a\tb"}, QStringList{"scene", "save", "42"}}) {
            QVERIFY2(!parse_request(bad, 0, &r, &error), qPrintable(bad.join(' ')));
            QVERIFY(!error.isEmpty());
        }
    }

    // Per mode: what a scene holds, the commands that recall it from a device that differs
    // in everything (mode first, then only the mode's settings), and the active scene.
    void scene_plan_by_mode_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("matrix") << 1
                                << QStringList{"MOD001", "OUT001", "INP004", "OUT002", "INP003",
                                               "OUT003", "INP002", "BRI014", "CON015", "HUE016",
                                               "SAT017", "AUE003", "RES004"};
        // Output 4 is fed by input 1 on both sides: not sent.
        QStringList dual{"MOD002", "OUT001", "INP004", "OUT002", "INP003", "OUT003", "INP002"};
        QStringList wall{"MOD003", "OUT001", "OUT001", "INP004"};
        const char *const m[4] = {"BRI", "CON", "HUE", "SAT"};
        for (int row = 1; row <= 4; ++row)
            for (int p = 0; p < 4; ++p) {
                const QString c =
                    QLatin1String(m[p]) + QString::number(10 + row * 4 + p + 200 * (row - 1))
                                              .rightJustified(3, QLatin1Char('0'));
                dual << c;
                wall << c;
            }
        dual << "AUE003"
             << "AUA002"
             << "AUB001"
             << "RES004";
        wall << "BEZ001"
             << "BEH007"
             << "BEV008"
             << "AUE003"
             << "RES004";
        QTest::newRow("dual") << 2 << dual;
        QTest::newRow("2x2") << 3 << wall;
    }
    void scene_plan_by_mode() {
        QFETCH(int, mode);
        QFETCH(QStringList, expected);
        DeviceState s;
        feed(s, all_settings(mode, {4, 3, 2, 1}, 10, 7, 2, 4));
        QString missing;
        const std::optional<Scene> scene = capture_scene(s, QStringLiteral("S"), &missing);
        QVERIFY2(scene, qPrintable(missing));
        Venue v;
        v.scenes << *scene;
        QCOMPARE(active_scene(v, s), QStringLiteral("S"));
        QVERIFY(set_commands(scene_setting_steps(*scene, s)).isEmpty());

        // Everything else, in another mode.
        DeviceState other;
        const int elsewhere = mode % 3 + 1;
        feed(other, all_settings(mode, {1, 1, 1, 1}, 40, 2, 1, 9));
        feed(other, {QStringLiteral("MOD00%1").arg(elsewhere)});
        QVERIFY(active_scene(v, other).isEmpty());
        QCOMPARE(scene_differences(*scene, other), QStringList{"mode"});
        QList<SceneStep> steps = scene_mode_steps(*scene, other);
        QCOMPARE(steps.size(), 1);
        QCOMPARE(steps[0].query, QStringLiteral("MOD999"));
        feed(other, {QStringLiteral("MOD00%1").arg(mode)});
        steps += scene_setting_steps(*scene, other);
        QCOMPARE(set_commands(steps), expected);
        // Each change is read back by its query.
        static const QRegularExpression query(QStringLiteral("^[A-Z]{3}99[0-9]$"));
        for (const SceneStep &st : steps)
            QVERIFY2(query.match(st.query).hasMatch(), qPrintable(st.query));
        // What the device answers to those commands puts it into the scene.
        for (const SceneStep &st : steps.mid(1))
            for (const QString &c : st.set) feed(other, {c});
        QCOMPARE(active_scene(v, other), QStringLiteral("S"));
        QVERIFY(scene_differences(*scene, other).isEmpty());

        // A setting of another mode is no part of the scene: Matrix and 2X2 ignore the pair
        // sides, Matrix and Dual the bezel.
        feed(other, {QStringLiteral("AUA001"), QStringLiteral("BEH100")});
        QCOMPARE(active_scene(v, other).isEmpty(), mode == 2 || mode == 3);
        // A setting the device has not reported is no scene.
        QVERIFY(!capture_scene(DeviceState(), QStringLiteral("x"), &missing));
        QCOMPARE(missing, QStringLiteral("mode"));
        DeviceState half;
        feed(half, {QStringLiteral("MOD002"), QStringLiteral("AUE001")});
        QVERIFY(!capture_scene(half, QStringLiteral("x"), &missing));
        QVERIFY2(missing.startsWith(QLatin1String("routing 1, routing 2")) &&
                     missing.contains(QLatin1String("row 4 saturation")) &&
                     !missing.contains(QLatin1String("audio edid")),
                 qPrintable(missing));
    }
};

QTEST_GUILESS_MAIN(VenueFile)
#include "test_venue.moc"
