// veldra-mqtt as a real process between veldra-sim (TCP) and Debian's mosquitto: the
// discovery configurations, commands and set topics reaching the device, the device's own
// changes reaching the state topic, losing and finding the device, the last will, the
// shared port with veldra-ctl and the panel on it; retained commands, silent peers and
// stop signals in the middle of a read.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include "broker.h"
#include "device_client.h"
#include "hub/options.h"
#include "panel_access.h"
#include "sim_fixture.h"

namespace {
// This file's loopback addresses.
const QString ADDR_BROKER = QStringLiteral("127.0.0.170");
const QString ADDR_DEVICE = QStringLiteral("127.0.0.171");
const QString ADDR_SHARE = QStringLiteral("127.0.0.172");
const QString ADDR_MUTE = QStringLiteral("127.0.0.173");
const QString ADDR_SLOW = QStringLiteral("127.0.0.174");
const QString DEVICE = QStringLiteral("127.0.0.171:2323");
const QString SHARE = QStringLiteral("127.0.0.172:2324");
const QString BASE = QStringLiteral("veldra/hall/");
const QString DISCOVERY = QStringLiteral("homeassistant/device/hall/config");
const QString ADDR_VENUE = QStringLiteral("127.0.0.227"); // the device of the venue's bridge

QJsonObject object(const QByteArray &json) { return QJsonDocument::fromJson(json).object(); }

// Every key of a state with a value of its own: "audio.edid", "routing[2]", "rows[1].bri".
QStringList leaf_keys(const QJsonValue &v, const QString &at = QString()) {
    QStringList keys;
    if (v.isObject()) {
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            keys << leaf_keys(it.value(), at.isEmpty() ? it.key() : at + '.' + it.key());
    } else if (v.isArray()) {
        const QJsonArray a = v.toArray();
        for (int i = 0; i < a.size(); ++i)
            keys << leaf_keys(a[i], QStringLiteral("%1[%2]").arg(at).arg(i));
    } else {
        keys << at;
    }
    return keys;
}

// The discovered entity whose value template reads `key`.
QJsonObject entity_reading(const QJsonObject &cmps, const QString &key) {
    const QRegularExpression reads("value_json\\." + QRegularExpression::escape(key) +
                                   "(?![\\w.\\[])");
    for (const QJsonValue &c : cmps)
        if (reads.match(c.toObject()["value_template"].toString()).hasMatch()) return c.toObject();
    return {};
}

struct Run {
    int code = -1;
    QByteArray out;
};
Run ctl(const QStringList &args) {
    QProcess p;
    p.start(qEnvironmentVariable("VELDRA_CTL"), args);
    if (!p.waitForFinished(20000)) p.kill();
    p.waitForFinished(2000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput()};
}
} // namespace

class MqttBridge : public QObject {
    Q_OBJECT
    BrokerProcess broker_;
    BrokerWatch watch_;
    SimDevice sim_;
    BridgeProcess bridge_;

    bool start_bridge() {
        return bridge_.start({"--host", DEVICE, "--broker", broker_.url(), "--id", "hall", "--poll",
                              "0", "--share", SHARE});
    }
    bool online_after(int from) {
        return watch_.wait_for(
            BASE + "availability", [](auto &p) { return p == "online"; }, from);
    }
    // Publishes and returns the result the bridge gave.
    QJsonObject command(const QString &topic, const QByteArray &payload) {
        const int from = watch_.all().size();
        watch_.publish(BASE + topic, payload);
        MqttMessage m;
        if (!watch_.wait_for(
                BASE + "result", [](auto &) { return true; }, from, 15000, &m))
            return {};
        return object(m.payload);
    }
    // The state topic agrees with the device at `key` (and so its state file).
    bool state_follows(const QString &key) {
        return QTest::qWaitFor(
            [&] {
                return json_at(object(watch_.last(BASE + "state")), key) ==
                       json_at(sim_.state(), key);
            },
            5000);
    }

private slots:
    // The command line, without a process: what is refused and what the defaults become.
    void options_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("parsed"); // empty: refused
        QTest::newRow("defaults") << QStringList{} << "127.0.0.1:1883 veldra homeassistant 30 -";
        QTest::newRow("tls port") << QStringList{"--cafile", "ca.pem", "--broker", "mq"}
                                  << "mq:8883 veldra homeassistant 30 -";
        QTest::newRow("share port only") << QStringList{"--share", "2324", "--poll=0"}
                                         << "127.0.0.1:1883 veldra homeassistant 0 127.0.0.1:2324";
        QTest::newRow("v6 broker") << QStringList{"--broker", "[::1]:1884", "--id", "hall_2"}
                                   << "::1:1884 hall_2 homeassistant 30 -";
        QTest::newRow("id with a level") << QStringList{"--id", "a/b"} << "";
        QTest::newRow("id with a wildcard") << QStringList{"--id", "a+"} << "";
        QTest::newRow("prefix with a wildcard") << QStringList{"--discovery-prefix", "ha/#"} << "";
        QTest::newRow("share by name") << QStringList{"--share", "localhost:2324"} << "";
        QTest::newRow("password alone") << QStringList{"--password-file", "p"} << "";
        QTest::newRow("two links") << QStringList{"--port", "COM1", "--host", "h"} << "";
        QTest::newRow("a command") << QStringList{"status"} << "";
    }
    void options() {
        QFETCH(QStringList, args);
        QFETCH(QString, parsed);
        BridgeOptions o;
        QString error;
        const bool ok = parse_bridge_options(args, &o, &error);
        QCOMPARE(ok ? QStringLiteral("%1:%2 %3 %4 %5 %6")
                          .arg(o.broker_host)
                          .arg(o.broker_port)
                          .arg(o.id, o.discovery_prefix)
                          .arg(o.poll_s)
                          .arg(o.share_host.isEmpty()
                                   ? QStringLiteral("-")
                                   : QStringLiteral("%1:%2").arg(o.share_host).arg(o.share_port))
                    : QString(),
                 parsed);
        QCOMPARE(error.isEmpty(), ok);
    }

    void initTestCase() {
        QVERIFY(broker_.start(ADDR_BROKER));
        QVERIFY(watch_.start(broker_));
        QVERIFY(sim_.start_tcp(ADDR_DEVICE, 2323, {"--reboot-drop", "50"}));
        QVERIFY(start_bridge());
        QVERIFY(online_after(0));
    }

    // The one device-based discovery message: an entity for every key of the retained
    // state, each its own; the state is what veldra-ctl status --json says, read through
    // the shared port.
    void discovery_and_state() {
        const Run r = ctl({"--host", SHARE, "--json", "status"});
        QCOMPARE(r.code, 0);
        QVERIFY(state_follows("routing"));
        const QJsonObject state = object(watch_.last(BASE + "state"));
        QCOMPARE(state, object(r.out));

        // Published again once the firmware is known.
        QJsonObject d;
        QVERIFY(QTest::qWaitFor(
            [&] {
                d = object(watch_.last(DISCOVERY));
                return d["dev"].toObject().contains("sw_version");
            },
            5000));
        QCOMPARE(d["dev"].toObject()["identifiers"].toArray().first().toString(),
                 QStringLiteral("veldra_hall"));
        QCOMPARE(d["dev"].toObject()["sw_version"].toString(),
                 QStringLiteral("%1.%2")
                     .arg(state["version"].toInt() / 100)
                     .arg(state["version"].toInt() % 100, 2, 10, QLatin1Char('0')));
        for (const char *k : {"manufacturer", "model"})
            QVERIFY(!d["dev"].toObject()[k].toString().isEmpty());
        const QJsonObject origin = d["o"].toObject();
        QCOMPARE(origin["name"].toString(), QStringLiteral("veldra-mqtt"));
        QVERIFY(!origin["sw_version"].toString().isEmpty());
        QVERIFY(origin["support_url"].toString().startsWith("https://"));

        const QJsonObject cmps = d["cmps"].toObject();
        QStringList ids;
        for (const QJsonValue &c : cmps) {
            if (c.toObject().size() == 1) continue; // a removal
            ids << c.toObject()["unique_id"].toString();
            QCOMPARE(c.toObject()["availability_topic"].toString(), BASE + "availability");
            if (c.toObject()["p"] != "button")
                QCOMPARE(c.toObject()["state_topic"].toString(), BASE + "state");
        }
        QCOMPARE(QSet<QString>(ids.begin(), ids.end()).size(), ids.size());
        const QStringList keys = leaf_keys(state);
        QVERIFY(keys.size() >= 20);
        QVERIFY(keys.contains("scene"));
        QVERIFY(keys.contains("names.inputs[3]"));
        for (const QString &key : keys) {
            // The venue's names are no device value: they name the device and the output
            // selects and their options (venue_names_and_scenes).
            if (key.startsWith("names.")) continue;
            QVERIFY2(!entity_reading(cmps, key).isEmpty(), qPrintable(key));
        }
        // The per-component configurations of earlier versions are not published.
        QVERIFY(!watch_.has(QStringLiteral("homeassistant/switch/hall/power/config")));
    }

    void commands_and_set_topics_data() {
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("exit");
        QTest::addColumn<QStringList>("received");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("value");
        QTest::newRow("command route") << "command" << QByteArray("route 2 3") << 0
                                       << QStringList{"OUT002", "INP003"} << "routing/1" << 3;
        QTest::newRow("output set") << "output/4/set" << QByteArray("1") << 0
                                    << QStringList{"OUT004", "INP001"} << "routing/3" << 1;
        QTest::newRow("lock set") << "lock/set" << QByteArray("ON") << 0 << QStringList{"LCK001"}
                                  << "lock" << 1;
        QTest::newRow("mute set") << "mute/set" << QByteArray("ON") << 0 << QStringList{"AUD000"}
                                  << "audio/on" << 0;
        QTest::newRow("power set")
            << "power/set" << QByteArray("OFF") << 0 << QStringList{"PWR000"} << "power" << 0;
        // A mode change is followed by a full read, as the panel re-reads after one.
        QTest::newRow("mode set") << "mode/set" << QByteArray("dual") << 0 << QStringList{"MOD002"}
                                  << "mode" << 2;
        QTest::newRow("preset recall")
            << "preset/recall" << QByteArray("2") << 0 << QStringList{"CAL002"} << "" << 0;
        QTest::newRow("device refuses")
            << "command" << QByteArray("send ABC123") << 1 << QStringList{"ABC123"} << "" << 0;
        QTest::newRow("bad value")
            << "command" << QByteArray("route 9 1") << 2 << QStringList{} << "" << 0;
        QTest::newRow("no options")
            << "command" << QByteArray("--json status") << 2 << QStringList{} << "" << 0;
        QTest::newRow("no watch") << "command" << QByteArray("watch") << 2 << QStringList{} << ""
                                  << 0;
        QTest::newRow("bad switch")
            << "power/set" << QByteArray("maybe") << 2 << QStringList{} << "" << 0;
        // Topic numbers as written: a blank or a leading zero is no output.
        QTest::newRow("output with a blank")
            << "output/ 2/set" << QByteArray("3") << 2 << QStringList{} << "" << 0;
        QTest::newRow("output with a zero")
            << "output/02/set" << QByteArray("3") << 2 << QStringList{} << "" << 0;
        QTest::newRow("no such output")
            << "output/5/set" << QByteArray("3") << 2 << QStringList{} << "" << 0;
        QTest::newRow("no such picture row")
            << "brightness/7/set" << QByteArray("30") << 2 << QStringList{} << "" << 0;
        // Refused whole, never cut into a command that runs; quoted back in part.
        QTest::newRow("long command")
            << "command" << ("lock on" + QByteArray(1 << 20, ' ')) << 2 << QStringList{} << "" << 0;
        QTest::newRow("long switch")
            << "lock/set" << QByteArray(1 << 20, 'O') << 2 << QStringList{} << "" << 0;
    }
    void commands_and_set_topics() {
        QFETCH(QString, topic);
        QFETCH(QByteArray, payload);
        QFETCH(int, exit);
        QFETCH(QStringList, received);
        QFETCH(QString, key);
        QFETCH(int, value);
        // The bridge runs one job at a time, in order: once this is answered, the full read
        // that follows a mode change or a preset has ended.
        QCOMPARE(command("command", "send VER999")["exit"].toInt(-1), 0);
        sim_.mark();
        const QJsonObject result = command(topic, payload);
        QCOMPARE(result["exit"].toInt(-1), exit);
        QVERIFY(result["command"].toString().size() < 200);
        if (exit == 2)
            QCOMPARE(result["command"].toString().left(5), QString::fromUtf8(payload.left(5)));
        QCOMPARE(result["sent"].toArray().toVariantList(), QVariant(received).toList());
        if (exit == 0) QCOMPARE(result["replies"].toArray().size(), received.size());
        QCOMPARE(sim_.commands_since_mark().mid(0, received.size()), received);
        if (exit == 2) QVERIFY(sim_.commands_since_mark().isEmpty());
        if (key.isEmpty()) return;
        QCOMPARE(json_at(sim_.state(), key).toInt(-1), value);
        QVERIFY(state_follows(key));
    }

    // A number entity's set topic, as the discovery message gives it, sets the device: a
    // bezel amount, and a picture level of a row the mode has.
    void number_entities_set_the_device() {
        for (int n = -1; n != sim_.commands().size(); QTest::qWait(300)) n = sim_.commands().size();
        const QJsonObject state = object(watch_.last(BASE + "state"));
        const bool matrix = state.contains("matrix");
        const QJsonObject cmps = object(watch_.last(DISCOVERY))["cmps"].toObject();
        const QList<QPair<QString, int>> cases = {{"bezel.h", 37},
                                                  {matrix ? "matrix.con" : "rows[1].con", 61}};
        for (const auto &[key, level] : cases) {
            const QJsonObject c = entity_reading(cmps, key);
            QCOMPARE(c["p"].toString(), QStringLiteral("number"));
            QVERIFY(c["max"].toInt() >= level);
            const QString topic = c["command_topic"].toString();
            QVERIFY2(topic.startsWith(BASE), qPrintable(topic));
            const QJsonObject result = command(topic.mid(BASE.size()), QByteArray::number(level));
            QCOMPARE(result["exit"].toInt(-1), 0);
            const QString sim_key = QString(key).replace('.', '/').replace('[', '/').remove(']');
            QCOMPARE(json_at(sim_.state(), sim_key).toInt(-1), level);
            QVERIFY(state_follows(sim_key));
        }
    }

    // What the device says by itself reaches the state topic, and every client of the
    // shared port.
    void front_panel_change() {
        DeviceClient client;
        QVERIFY(client.connectTo(ADDR_SHARE, 2324));
        // A reply proves the bridge has taken the client in, so the injection reaches it.
        QCOMPARE(client.exchange(QStringLiteral("VER999")).left(3), QStringLiteral("VER"));
        const int from = watch_.all().size();
        const qint64 sent = watch_.now_ms();
        QVERIFY(sim_.inject("AUE004"));
        MqttMessage m;
        QVERIFY(watch_.wait_for(
            BASE + "state", [](auto &p) { return json_at(object(p), "audio/edid") == 4; }, from,
            5000, &m));
        // Well within the second the bridge promises, with room for a loaded machine.
        QVERIFY2(m.at_ms - sent < 3000, qPrintable(QString::number(m.at_ms - sent)));
        QCOMPARE(client.readLine(), QByteArray("AUE004\r"));
    }

    // veldra-ctl and the panel through the shared port while the bridge holds the device;
    // their changes reach the state topic too.
    void shared_port() {
        QCOMPARE(ctl({"--host", SHARE, "route", "3", "1"}).code, 0);
        QCOMPARE(json_at(sim_.state(), "routing/2").toInt(), 1);
        QVERIFY(state_follows("routing"));

        MessageCatcher msgs;
        ProgramFolder folder(1, 1, false, SHARE);
        std::unique_ptr<frm_main> f = load_panel(folder);
        QVERIFY(f);
        f->link().cmd_conn_eth_Click();
        QVERIFY(pump_until([&] { return f->connection().eth_connected(); }));
        f->exchange().send_cmd(QStringLiteral("LCK000"));
        QVERIFY(f->exchange().reply_ok());
        QCOMPARE(f->admin().lock_state(), 0);
        QCOMPARE(json_at(sim_.state(), "lock").toInt(), 0);
        QVERIFY(state_follows("lock"));
        QVERIFY2(msgs.texts().isEmpty(), qPrintable(msgs.texts().join("; ")));
    }

    // A retained command is the past: it runs neither at the bridge's start nor when the
    // bridge comes back to the broker.
    void retained_commands_ignored() {
        QCOMPARE(command("lock/set", "OFF")["exit"].toInt(-1), 0);
        QCOMPARE(bridge_.stop(), 0);
        watch_.publish(BASE + "lock/set", "ON", true);
        QVERIFY(QTest::qWaitFor([&] { return watch_.last(BASE + "lock/set") == "ON"; }, 5000));
        sim_.mark();
        int from = watch_.all().size();
        QVERIFY(start_bridge());
        QVERIFY(online_after(from));
        // Published after the bridge subscribed, so it reaches the bridge after anything
        // retained did.
        QCOMPARE(command("command", "send LCK999")["exit"].toInt(-1), 0);
        QCOMPARE(sim_.commands_since_mark().filter("LCK00"), QStringList());
        QCOMPARE(json_at(sim_.state(), "lock").toInt(-1), 0);

        // Another client with the bridge's name takes its broker session for a moment.
        from = watch_.all().size();
        {
            MqttClient usurper;
            MqttSettings s;
            s.host = broker_.address();
            s.port = broker_.port();
            s.client_id = QStringLiteral("veldra-mqtt-hall");
            QString error;
            QVERIFY(usurper.start(s, &error));
            QVERIFY(QTest::qWaitFor([&] { return usurper.is_connected(); }, 5000));
            usurper.finish(1000);
        }
        // Back on the broker, the bridge says so.
        QVERIFY(watch_.wait_for(
            BASE + "availability", [](auto &p) { return p == "online"; }, from, 20000));
        QCOMPARE(command("command", "send LCK999")["exit"].toInt(-1), 0);
        QCOMPARE(sim_.commands_since_mark().filter("LCK00"), QStringList());
        QCOMPARE(json_at(sim_.state(), "lock").toInt(-1), 0);

        // Cleared: the empty message comes live, and is a bad switch value.
        from = watch_.all().size();
        watch_.publish(BASE + "lock/set", QByteArray(), true);
        QVERIFY(watch_.wait_for(
            BASE + "result", [](auto &p) { return object(p)["exit"].toInt() == 2; }, from));
    }

    // A device that stops answering is not online; once it answers again it is.
    void silent_device_offline() {
        int from = watch_.all().size();
        sim_.freeze(true);
        QCOMPARE(command("command", "send LCK999")["exit"].toInt(-1), 3);
        QVERIFY(watch_.wait_for(
            BASE + "availability", [](auto &p) { return p == "offline"; }, from));
        from = watch_.all().size();
        sim_.freeze(false);
        QVERIFY(watch_.wait_for(
            BASE + "availability", [](auto &p) { return p == "online"; }, from, 20000));
    }

    // A peer that accepts and never answers is no device: never online, no state of nulls.
    void silent_peer_never_online() {
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress(ADDR_MUTE), 2325));
        QByteArray heard;
        connect(&peer, &QTcpServer::newConnection, &peer, [&] {
            while (QTcpSocket *c = peer.nextPendingConnection())
                connect(c, &QTcpSocket::readyRead, &peer, [&heard, c] { heard += c->readAll(); });
        });
        const int from = watch_.all().size();
        BridgeProcess mute;
        QVERIFY(mute.start({"--host", ADDR_MUTE + ":2325", "--broker", broker_.url(), "--id",
                            "mute", "--poll", "0"}));
        QVERIFY(QTest::qWaitFor(
            [&] { return watch_.last("veldra/mute/availability") == "offline"; }, 10000));
        // Asked again: the first read is over and was judged.
        QVERIFY(QTest::qWaitFor([&] { return heard.count("VER999\r") >= 2; }, 20000));
        for (const MqttMessage &m : watch_.all().mid(from)) {
            QVERIFY2(m.topic != "veldra/mute/state", m.payload.constData());
            QVERIFY(!(m.topic == "veldra/mute/availability" && m.payload == "online"));
        }
        QCOMPARE(mute.stop(), 0);
    }

    // A stop signal in the middle of a status read of some 30 slow exchanges.
    void stop_during_a_slow_read() {
        SimDevice slow;
        QVERIFY(slow.start_tcp(ADDR_SLOW, 2326, {"--latency", "250"}));
        BridgeProcess bridge;
        QVERIFY(bridge.start({"--host", ADDR_SLOW + ":2326", "--broker", broker_.url(), "--id",
                              "slow", "--poll", "0"}));
        QVERIFY(QTest::qWaitFor([&] { return slow.commands().contains("AUB999"); }, 20000));
        QElapsedTimer t;
        t.start();
        QCOMPARE(bridge.stop(), 0);
        QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(!slow.commands().contains("OUT999"));
    }

    // Killing the device: offline, and commands answered with exit 4; back: online and a
    // fresh state read from the new device.
    void device_lost_and_found() {
        int from = watch_.all().size();
        sim_.stop();
        QVERIFY(watch_.wait_for(
            BASE + "availability", [](auto &p) { return p == "offline"; }, from));
        QCOMPARE(command("command", "lock on")["exit"].toInt(), 4);
        // The shared port refuses meanwhile, as a device that is off.
        DeviceClient client;
        QVERIFY(!client.connectTo(ADDR_SHARE, 2324));
        from = watch_.all().size();
        QVERIFY(sim_.start_tcp(ADDR_DEVICE, 2323, {"--reboot-drop", "50"}));
        QVERIFY(online_after(from));
        MqttMessage m;
        QVERIFY(watch_.wait_for(
            BASE + "state", [](auto &) { return true; }, from, 1000, &m));
        QJsonObject device = sim_.state();
        QCOMPARE(json_at(object(m.payload), "routing"), json_at(device, "routing"));
        QCOMPARE(json_at(object(m.payload), "mode"), json_at(device, "mode"));
    }

    // A stop signal: "offline" and exit 0. A killed bridge: the broker's last will.
    void stop_and_last_will() {
        int from = watch_.all().size();
        QCOMPARE(bridge_.stop(), 0);
        QVERIFY(watch_.wait_for(
            BASE + "availability", [](auto &p) { return p == "offline"; }, from, 3000));
        from = watch_.all().size();
        QVERIFY(start_bridge());
        QVERIFY(online_after(from));
        from = watch_.all().size();
        bridge_.kill();
        QVERIFY(watch_.wait_for(
            BASE + "availability", [](auto &p) { return p == "offline"; }, from, 5000));
    }

    // A venue's bridge: the output selects offer the input names and route by them, the
    // Scene select appears with the first scene, follows the device (a front-panel change
    // included) and recalls; new names publish the discovery again.
    void venue_names_and_scenes() {
        QTemporaryDir dir;
        const QString venue = dir.filePath(QStringLiteral("venue.json"));
        QFile f(venue);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"device": "Room 101", "inputs": ["Lectern PC", "Document camera"],
                   "outputs": ["Projector", "Confidence monitor"]})");
        f.close();
        SimDevice dev;
        QVERIFY(dev.start_tcp(ADDR_VENUE, 2323));
        BridgeProcess bridge;
        const QString base = QStringLiteral("veldra/room/");
        const int start = watch_.all().size();
        QVERIFY(bridge.start({"--host", ADDR_VENUE + ":2323", "--broker", broker_.url(), "--id",
                              "room", "--poll", "0", "--venue", venue}));
        QVERIFY(watch_.wait_for(
            base + "availability", [](auto &p) { return p == "online"; }, start, 10000));
        const QString discovery = QStringLiteral("homeassistant/device/room/config");
        const auto cmp = [](const QByteArray &message, const char *id) {
            return object(message)["cmps"].toObject()[id].toObject();
        };
        QVERIFY(QTest::qWaitFor([&] { return !watch_.last(discovery).isEmpty(); }, 10000));
        const QByteArray first = watch_.last(discovery);
        const QJsonObject select1 = cmp(first, "output1");
        QCOMPARE(select1["name"].toString(), QStringLiteral("Projector"));
        QCOMPARE(cmp(first, "output3")["name"].toString(), QStringLiteral("Output 3"));
        QCOMPARE(object(first)["dev"].toObject()["name"].toString(), QStringLiteral("Room 101"));
        QCOMPARE(select1["options"].toArray().toVariantList(),
                 (QVariantList{"Lectern PC", "Document camera", "Input 3", "Input 4"}));
        // No scene yet: no select (Home Assistant refuses one without options), a sensor.
        QCOMPARE(cmp(first, "scene").keys(), QStringList{"p"});
        QCOMPARE(cmp(first, "scene_active")["p"].toString(), QStringLiteral("sensor"));
        const auto state = [&] { return object(watch_.last(base + "state")); };
        QCOMPARE(json_at(state(), "names/outputs/1").toString(),
                 QStringLiteral("Confidence monitor"));
        QVERIFY(json_at(state(), "scene").isNull());

        const auto result = [&](const QString &topic, const QByteArray &payload) {
            const int from = watch_.all().size();
            watch_.publish(base + topic, payload);
            MqttMessage m;
            return watch_.wait_for(
                       base + "result", [](auto &) { return true; }, from, 15000, &m)
                       ? object(m.payload)
                       : QJsonObject();
        };
        // The select's option, as Home Assistant sends it.
        QCOMPARE(result("output/1/set", "Document camera")["sent"].toArray().toVariantList(),
                 (QVariantList{"OUT001", "INP002"}));
        QCOMPARE(json_at(dev.state(), "routing/0").toInt(), 2);
        QCOMPARE(result("output/2/set", "Laptop")["exit"].toInt(), 2);

        int from = watch_.all().size();
        QCOMPARE(result("scene/save", "Lecture")["exit"].toInt(), 0);
        QVERIFY(watch_.wait_for(
            discovery,
            [&](auto &p) {
                return cmp(p, "scene")["options"].toArray() == QJsonArray{"Lecture"} &&
                       cmp(p, "scene")["command_topic"] == base + "scene/recall" &&
                       cmp(p, "scene_active").keys() == QStringList{"p"};
            },
            from));
        QVERIFY(watch_.wait_for(
            base + "state", [](auto &p) { return object(p)["scene"] == "Lecture"; }, from));
        // What veldra-ctl would print is the answer of a command that reads the venue.
        QCOMPARE(result("command", "scene list")["output"].toString(),
                 QStringLiteral("Lecture  (matrix)\n"));

        // The front panel: out of the scene, and back into it.
        from = watch_.all().size();
        QVERIFY(dev.inject("AUE004"));
        QVERIFY(watch_.wait_for(
            base + "state", [](auto &p) { return object(p)["scene"].isNull(); }, from));
        from = watch_.all().size();
        QVERIFY(dev.inject("AUE000"));
        QVERIFY(watch_.wait_for(
            base + "state", [](auto &p) { return object(p)["scene"] == "Lecture"; }, from));

        // Away by a command, back by the Scene select.
        QCOMPARE(result("command", "route projector 4")["exit"].toInt(), 0);
        QVERIFY(QTest::qWaitFor([&] { return state()["scene"].isNull(); }, 5000));
        from = watch_.all().size();
        const QJsonObject recalled = result("scene/recall", "Lecture");
        QCOMPARE(recalled["exit"].toInt(), 0);
        QCOMPARE(recalled["command"].toString(), QStringLiteral("scene recall Lecture"));
        QCOMPARE(json_at(dev.state(), "routing/0").toInt(), 2);
        QVERIFY(watch_.wait_for(
            base + "state", [](auto &p) { return object(p)["scene"] == "Lecture"; }, from));

        from = watch_.all().size();
        QCOMPARE(result("command", "name input 4 Guest laptop")["exit"].toInt(), 0);
        QVERIFY(watch_.wait_for(
            discovery,
            [&](auto &p) {
                return cmp(p, "output1")["options"].toArray().last() == "Guest laptop";
            },
            from));
        QCOMPARE(bridge.stop(), 0);
    }

    // The device's message and the per-component ones an earlier version left are cleared.
    void remove_discovery() {
        QVERIFY(!watch_.last(DISCOVERY).isEmpty());
        const QString earlier = QStringLiteral("homeassistant/switch/hall/power/config");
        const int from = watch_.all().size();
        BridgeProcess remover;
        QVERIFY(remover.start({"--broker", broker_.url(), "--id", "hall", "--remove-discovery"}));
        QVERIFY(remover.process().waitForFinished(15000));
        QCOMPARE(remover.process().exitCode(), 0);
        QVERIFY(QTest::qWaitFor([&] { return watch_.last(DISCOVERY).isEmpty(); }, 5000));
        QVERIFY(watch_.wait_for(
            earlier, [](auto &p) { return p.isEmpty(); }, from, 5000));
        QVERIFY(QTest::qWaitFor([&] { return watch_.last(BASE + "state").isEmpty(); }, 5000));
    }
};

QTEST_MAIN(MqttBridge)
#include "test_mqtt_bridge.moc"
