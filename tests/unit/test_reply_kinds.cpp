// One row per reply kind, read through its description: the state it leaves (status
// JSON key and value), what watch says of it (applied, changed keys, words), its Home
// Assistant entity in the discovery message, and what that entity's set topic asks of
// veldra-ctl.
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

#include "client/request.h"
#include "mqtt/topics.h"
#include "protocol/device_state.h"
#include "protocol/reply_kinds.h"
#include "protocol/status_read.h"

namespace {

const QStringList RESOLUTIONS = {"640x480@60",   "800x600@60",   "1024x768@60", "1280x720@60",
                                 "1920x1080@60", "1920x1200@60", "1280x1024@60"};

// The value at a status key ("rows[2].bri").
QJsonValue at(const QJsonObject &o, const QString &key) {
    QJsonValue v = o;
    for (const QString &step : QString(key).replace('[', '.').remove(']').split('.')) {
        bool index = false;
        const int n = step.toInt(&index);
        v = index ? v.toArray().at(n) : v.toObject().value(step);
    }
    return v;
}

QJsonObject discovery(const DeviceState &s) {
    const Discovery d{"homeassistant", "t", "9.9", RESOLUTIONS, s.version(), {}, {}};
    return QJsonDocument::fromJson(discovery_message(d, s.display_mode()).second).object();
}

// The component whose value template reads `key`; none when no component does.
QJsonObject component_of(const QJsonObject &cmps, const QString &key) {
    const QRegularExpression reads("value_json\\." + QRegularExpression::escape(key) +
                                   "(?![\\w.\\[])");
    for (const QJsonValue &c : cmps)
        if (reads.match(c.toObject()["value_template"].toString()).hasMatch()) return c.toObject();
    return {};
}

} // namespace

class ReplyKinds : public QObject {
    Q_OBJECT
private slots:
    void every_kind_has_one_description() {
        QCOMPARE(reply_kinds().size(), REPLY_KINDS);
        for (int i = 0; i < REPLY_KINDS; ++i)
            QCOMPARE(reply_kind(Mnemonic(i)).mnemonic, Mnemonic(i));
    }

    void a_reply_through_its_description_data() {
        QTest::addColumn<QString>("replies"); // the last is the one described; "max": a bound
        QTest::addColumn<bool>("applied");
        QTest::addColumn<QString>("key"); // empty: an acknowledgement
        QTest::addColumn<int>("value");   // -1: null
        QTest::addColumn<QString>("words");
        QTest::addColumn<QString>("platform"); // the entity that shows the key
        QTest::addColumn<QString>("payload");  // on the entity's set topic
        QTest::addColumn<QString>("command");  // what veldra-ctl is asked
        const auto row = [](const char *name, const char *replies, bool applied, const char *key,
                            int value, const char *words, const char *platform, const char *payload,
                            const char *command) {
            QTest::newRow(name) << replies << applied << key << value << words << platform
                                << payload << command;
        };
        row("VER", "VER160", true, "version", 160, "version 1.60", "sensor", "", "");
        row("PWR", "PWR001", true, "power", 1, "power on", "switch", "OFF", "power standby");
        row("LCK", "LCK001", true, "lock", 1, "lock on", "switch", "ON", "lock on");
        row("MOD", "MOD002", true, "mode", 2, "mode dual", "select", "2X2", "mode 2x2");
        row("OUT", "OUT003", true, "output", 3, "output 3", "select", "Output 3", "output 3");
        row("INP", "OUT002 INP004", true, "routing[1]", 4, "OUT2<-IN4", "select", "Input 4",
            "route 2 4");
        row("BRI", "MOD002 BRI437", true, "rows[2].bri", 37, "brightness row 3 37", "number", "37",
            "picture brightness 3 37");
        row("CON", "CON077", true, "matrix.con", 77, "contrast 77", "number", "77.0",
            "picture contrast 1 77");
        row("HUE", "MOD003 HUE600", true, "rows[3].hue", 0, "hue row 4 0", "number", "0",
            "picture hue 4 0");
        row("SAT", "MOD002 SAT250", true, "rows[1].sat", 50, "saturation row 2 50", "number", "50",
            "picture saturation 2 50");
        row("BEZ", "BEZ001", true, "bezel.on", 1, "bezel on", "switch", "OFF", "bezel off");
        row("BEH", "BEH012", true, "bezel.h", 12, "bezel h 12", "number", "12", "bezel h 12");
        row("BEV", "max BEV200", true, "bezel.max_v", 200, "bezel max v 200", "sensor", "", "");
        row("AUE", "AUE003", true, "audio.edid", 3, "audio edid bitstream", "select", "Bitstream",
            "audio edid bitstream");
        row("AUA", "AUA002", true, "audio.dual_a", 2, "audio dual-a right", "select", "Right",
            "audio dual-a right");
        row("AUB", "AUB001", true, "audio.dual_b", 1, "audio dual-b left", "select", "Left",
            "audio dual-b left");
        row("AUD", "AUD000", true, "audio.on", 0, "mute on", "switch", "ON", "mute on");
        row("RES", "RES105", true, "resolution", 5, "resolution 5 (1920x1080@60)", "select",
            "1920x1200@60", "resolution 6");
        row("SAV", "SAV002", true, "", -1, "preset 2 saved", "", "", "");
        row("CAL", "CAL004", true, "", -1, "preset 4 recalled", "button", "4", "preset recall 4");
        row("RST", "MOD002 BRI437 RST002", true, "rows[2].bri", 50, "picture reset", "number", "",
            "");
        row("EXT", "EXT000", true, "", -1, "the device ends the connection", "", "", "");
        // Replies the state refuses: nothing changes, and watch says so.
        row("BRI150 in Matrix", "BRI150", false, "matrix.bri", -1, "not applied", "number", "", "");
        row("PWR009", "PWR001 PWR009", false, "power", 1, "not applied", "switch", "", "");
        row("row 2 in Matrix", "BRI237", false, "matrix.bri", -1, "not applied", "number", "", "");
    }
    void a_reply_through_its_description() {
        QFETCH(QString, replies);
        QFETCH(bool, applied);
        QFETCH(QString, key);
        QFETCH(int, value);
        QFETCH(QString, words);
        QFETCH(QString, platform);
        QFETCH(QString, payload);
        QFETCH(QString, command);
        DeviceState s;
        s.set_resolution_count(int(RESOLUTIONS.size()));
        ReplyEffect e;
        QJsonObject before;
        for (const QString &text : replies.split(' ')) {
            if (text == "max") {
                s.set_bezel_max_pending(true);
                continue;
            }
            before = status_json(s);
            e = apply_reply(s, *parse_reply(text), RESOLUTIONS);
        }
        const QJsonObject json = status_json(s);
        QCOMPARE(e.applied, applied);
        QVERIFY2(e.words.startsWith(words), qPrintable(e.words));
        if (!key.isEmpty()) {
            QCOMPARE(at(json, key), value < 0 ? QJsonValue() : QJsonValue(value));
            // Watch names the key when its value changed, and only keys that did.
            QCOMPARE(e.changed.contains(key), at(before, key) != at(json, key));
        }
        for (const QString &k : e.changed) QVERIFY2(at(before, k) != at(json, k), qPrintable(k));
        if (!applied) QVERIFY(e.changed.isEmpty());
        QCOMPARE(effect_json(*parse_reply(replies.section(' ', -1)), e)["applied"].toBool(),
                 applied);

        const QJsonObject cmps = discovery(s)["cmps"].toObject();
        QJsonObject c = key.isEmpty() ? QJsonObject() : component_of(cmps, key);
        if (key.isEmpty() && !platform.isEmpty())
            c = cmps[QStringLiteral("preset%1").arg(replies.right(1))].toObject();
        QCOMPARE(c["p"].toString(), platform);
        if (command.isEmpty()) return;
        const Topics t("t");
        const QString topic = c["command_topic"].toString();
        QString got, error;
        QVERIFY2(set_topic_command(t, topic, payload.toUtf8(), RESOLUTIONS, &got, &error),
                 qPrintable(topic));
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(got, command);
        Request r;
        QVERIFY2(parse_request(got.split(' '), int(RESOLUTIONS.size()), &r, &error),
                 qPrintable(error));
        // What Home Assistant offers is what the entity says.
        if (c["p"] == "select") QVERIFY(c["options"].toArray().contains(payload));
        if (c["p"] == "number") {
            QCOMPARE(c["min"].toInt(), 0);
            QVERIFY(c["max"].toInt() >= 100);
        }
    }

    // The one status read: the selected output is asked except in 2X2, where the wall has
    // none, and what puts the selection back after the routing read moved it.
    void status_read_by_mode_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("asks_output");
        QTest::addColumn<QString>("restore"); // after the read left output 4 selected
        QTest::newRow("matrix") << "MOD001" << true << "OUT002";
        QTest::newRow("dual") << "MOD002" << true << "OUT002";
        QTest::newRow("2x2") << "MOD003" << false << "OUT001";
    }
    void status_read_by_mode() {
        QFETCH(QString, mode);
        QFETCH(bool, asks_output);
        QFETCH(QString, restore);
        DeviceState s;
        QStringList sent;
        // A device that answers every query: the mode asked, output 2 selected.
        const Ask ask = [&](const QString &cmd, ReadStep step) {
            sent << cmd;
            if (step == ReadStep::Bound) s.set_bezel_max_pending(true);
            const QString letters = cmd.left(3);
            const QString reply = letters == "MOD" ? mode
                                  : letters == "OUT" && cmd.endsWith("999")
                                      ? QStringLiteral("OUT002")
                                      : cmd;
            apply_reply(s, *parse_reply(reply));
            return true;
        };
        std::optional<int> selected;
        QVERIFY(read_settings(s, ask, &selected));
        QCOMPARE(sent.contains("OUT999"), asks_output);
        QCOMPARE(sent.last(), QStringLiteral("INP999"));
        QCOMPARE(selected, asks_output ? std::optional<int>(2) : std::nullopt);
        QVERIFY(read_routing(ask));
        QCOMPARE(s.output(), std::optional<int>(4));
        QCOMPARE(selection_restore(s, selected), std::optional<QString>(restore));
        const int before = int(sent.size());
        QVERIFY(read_pictures(s.display_mode(), ask));
        QCOMPARE(sent.size() - before, s.display_mode() == DisplayMode::Matrix ? 4 : 16);
    }

    // Every key of the status has an entity, in every mode; a value not reported reads
    // as None (unknown), never an empty string; the rows a mode lacks are removed.
    void discovery_covers_the_status() {
        for (const char *mode : {"MOD001", "MOD002", "MOD003"}) {
            DeviceState s;
            s.apply(*parse_reply(mode));
            const QJsonObject d = discovery(s);
            const QJsonObject cmps = d["cmps"].toObject();
            for (const StatusField &f : status_fields(s)) {
                const QJsonObject c = component_of(cmps, f.key);
                QVERIFY2(!c.isEmpty(), qPrintable(f.key));
                QVERIFY2(c["value_template"].toString().contains("None") ||
                             c["value_template"].toString() == "{{ value_json." + f.key + " }}",
                         qPrintable(c["value_template"].toString()));
                QVERIFY(!c["value_template"].toString().contains("''"));
            }
            const int rows = s.display_mode() == DisplayMode::Matrix ? 1 : 4;
            QCOMPARE(cmps["brightness4"].toObject().size() == 1, rows == 1);
            QCOMPARE(d["o"].toObject()["support_url"].toString(),
                     QStringLiteral("https://github.com/tevral/tevral-qx"));
            QVERIFY(d["dev"].toObject().contains("manufacturer"));
        }
        DeviceState s;
        s.apply(*parse_reply("VER160"));
        QCOMPARE(discovery(s)["dev"].toObject()["sw_version"].toString(), QStringLiteral("1.60"));
    }
};

QTEST_GUILESS_MAIN(ReplyKinds)
#include "test_reply_kinds.moc"
