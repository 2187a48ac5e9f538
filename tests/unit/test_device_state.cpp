// The reading of replies, once for the panel and veldra-ctl: parse_reply, and a table of
// replies -> the state they leave (what a reader would draw or print).
#include <QTest>

#include "protocol/device_state.h"
#include "protocol/reply.h"

namespace {

// One field of the state by name; -1 for "not reported".
int field_of(const DeviceState &s, const QString &name) {
    const auto v = [](std::optional<int> o) { return o.value_or(-1); };
    const QStringList p = name.split(QLatin1Char(' '));
    const int n = p.size() > 1 ? p[1].toInt() : 0;
    static const QStringList pictures = {"con", "bri", "sat", "hue"};
    if (pictures.contains(p[0])) return v(s.picture(PictureParam(pictures.indexOf(p[0])), n));
    if (p[0] == "power") return v(s.power());
    if (p[0] == "lock") return v(s.lock());
    if (p[0] == "mode") return s.mode() ? int(*s.mode()) : -1;
    if (p[0] == "output") return v(s.output());
    if (p[0] == "input") return v(s.input());
    if (p[0] == "routing") return v(s.routing(n));
    if (p[0] == "bezel") return v(s.bezel_on());
    if (p[0] == "h") return v(s.bezel_h());
    if (p[0] == "v") return v(s.bezel_v());
    if (p[0] == "max_h") return v(s.bezel_max_h());
    if (p[0] == "max_v") return v(s.bezel_max_v());
    if (p[0] == "pending") return s.bezel_max_pending();
    if (p[0] == "audio") return v(s.audio_on());
    if (p[0] == "edid") return v(s.edid());
    if (p[0] == "dual_a") return v(s.dual_a());
    if (p[0] == "dual_b") return v(s.dual_b());
    if (p[0] == "resolution") return v(s.resolution());
    if (p[0] == "version") return v(s.version());
    qFatal("no field %s", qPrintable(name));
}

} // namespace

class DeviceStateTest : public QObject {
    Q_OBJECT
private slots:
    void reply_is_parsed_once() {
        const std::optional<Reply> r = parse_reply(QStringLiteral("BRI437\r"));
        QVERIFY(r);
        QCOMPARE(r->mnemonic, Mnemonic::BRI);
        QCOMPARE(r->digits, QStringLiteral("437"));
        QCOMPARE(r->text, QStringLiteral("BRI437"));
        QCOMPARE(r->value(), 437);
        QCOMPARE(r->value(2), 37);
        QCOMPARE(r->digit(), 7);
        // cut short by a time-out: a reply of its kind, with no value
        QCOMPARE(parse_reply(QStringLiteral("PWR00"))->digit(), -1);
        QVERIFY(!parse_reply(QStringLiteral("ERR001")));
        QVERIFY(!parse_reply(QStringLiteral("MNU001")));
        QVERIFY(!parse_reply(QStringLiteral("pw")));
        // every kind's letters name that kind
        for (int i = 0; i < REPLY_KINDS; ++i) {
            const auto m = static_cast<Mnemonic>(i);
            QCOMPARE(mnemonic_of(mnemonic_text(m)), std::optional<Mnemonic>(m));
            QCOMPARE(mnemonic_text(m).size(), 3);
        }
    }

    void replies_make_the_state_data() {
        QTest::addColumn<QString>(
            "replies"); // applied in order; "max" makes the next bezel a bound
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("value"); // -1: not reported
        QTest::addColumn<bool>("last_taken");
        const auto row = [](const char *name, const char *replies, const char *field, int value,
                            bool taken) {
            QTest::newRow(name) << QString::fromLatin1(replies) << QString::fromLatin1(field)
                                << value << taken;
        };
        row("power on", "PWR001", "power", 1, true);
        row("power standby", "PWR001 PWR000", "power", 0, true);
        row("power 9 names no state", "PWR001 PWR009", "power", 1, false);
        row("power cut short", "PWR0", "power", -1, false);
        row("lock 7 names no state", "LCK007", "lock", -1, false);
        row("lock on", "LCK001", "lock", 1, true);
        row("audio muted", "AUD000", "audio", 0, true);
        row("audio 2 names no state", "AUD002", "audio", -1, false);
        row("edid HD", "AUE004", "edid", 4, true);
        row("edid 5 names no button", "AUE002 AUE005", "edid", 2, false);
        row("dual A right", "AUA002", "dual_a", 2, true);
        row("dual A 0 names no side", "AUA000", "dual_a", -1, false);
        row("dual B 3 names no side", "AUB001 AUB003", "dual_b", 1, false);
        row("mode dual", "MOD002", "mode", 2, true);
        row("mode 0 names none", "MOD003 MOD000", "mode", 3, false);
        row("output 3", "OUT003", "output", 3, true);
        row("output 7 names none", "OUT002 OUT007", "output", 2, false);
        row("input routes the selected output", "OUT003 INP004", "routing 3", 4, true);
        row("input before any output: output 1", "INP002", "routing 1", 2, true);
        row("input after an output that names none", "OUT009 INP003", "routing 1", 3, true);
        row("input 0 names none", "OUT002 INP001 INP000", "routing 2", 1, false);
        row("last input", "INP001 INP004", "input", 4, true);
        row("bezel on", "BEZ001", "bezel", 1, true);
        row("bezel 2 names no button", "BEZ002", "bezel", -1, false);
        row("bezel amount", "BEH012", "h", 12, true);
        row("bezel bound", "max BEV100", "max_v", 100, true);
        row("bezel bound leaves the amount", "BEV020 max BEV100", "v", 20, true);
        row("bezel bound read clears pending", "max BEH200", "pending", 0, true);
        row("bezel above the limit: no value", "BEH255", "h", -1, false);
        row("bezel above the limit keeps a bound pending", "max BEH999", "pending", 1, false);
        row("bezel bound after a refused value", "max BEH999 BEH200", "max_h", 200, true);
        row("matrix level", "BRI077", "bri 1", 77, true);
        row("matrix level above 100", "BRI077 BRI101", "bri 1", 77, false);
        row("matrix knows no packed row", "BRI437", "bri 3", -1, false);
        row("dual row 3", "MOD002 BRI437", "bri 3", 37, true);
        row("dual row 1 plain", "MOD002 CON100", "con 1", 100, true);
        row("2x2 row 4", "MOD003 SAT700", "sat 4", 100, true);
        row("row beyond 4", "MOD002 HUE850", "hue 1", -1, false);
        row("packed level above 100", "MOD002 HUE399", "hue 2", -1, false);
        row("picture reset in matrix", "BRI077 RST002", "bri 1", 50, true);
        row("picture reset leaves dual rows in matrix", "RST002", "bri 2", -1, true);
        row("picture reset in dual", "MOD002 SAT299 RST002", "sat 2", 50, true);
        row("factory reset acknowledged", "RST001", "bri 1", -1, true);
        row("reset 3 names nothing", "RST003", "bri 1", -1, false);
        row("resolution", "RES107", "resolution", 7, true);
        row("resolution beyond the list", "RES103 RES113", "resolution", 3, false);
        row("resolution 0 selects none", "RES103 RES000", "resolution", -1, true);
        row("version", "VER160", "version", 160, true);
        row("version cut short", "VER16", "version", -1, false);
        row("preset saved", "SAV004", "power", -1, true);
        row("preset 5 names none", "CAL005", "power", -1, false);
    }
    void replies_make_the_state() {
        QFETCH(QString, replies);
        QFETCH(QString, field);
        QFETCH(int, value);
        QFETCH(bool, last_taken);
        DeviceState s;
        s.set_resolution_count(12);
        int changes = 0;
        connect(&s, &DeviceState::changed, this, [&changes] { ++changes; });
        bool taken = false;
        int expected_changes = 0;
        for (const QString &text : replies.split(QLatin1Char(' '))) {
            if (text == QLatin1String("max")) {
                s.set_bezel_max_pending(true);
                continue;
            }
            const std::optional<Reply> r = parse_reply(text);
            QVERIFY2(r, qPrintable(text));
            taken = bool(s.apply(*r));
            // acknowledgements change nothing a reader shows
            const bool stores = r->mnemonic != Mnemonic::SAV && r->mnemonic != Mnemonic::CAL &&
                                r->mnemonic != Mnemonic::EXT;
            if (taken && stores) ++expected_changes;
        }
        QCOMPARE(field_of(s, field), value);
        QCOMPARE(taken, last_taken);
        QCOMPARE(changes, expected_changes);
    }

    void toggles_and_reset() {
        DeviceState s;
        s.assume(Mnemonic::PWR, 1);
        s.assume(Mnemonic::AUD, 0);
        QCOMPARE(s.power(), std::optional<int>(1));
        QCOMPARE(s.audio_on(), std::optional<int>(0));
        s.apply(*parse_reply(QStringLiteral("MOD003")));
        s.set_network(0, QStringLiteral("192.168.001.100\r"));
        s.reset();
        QVERIFY(!s.power() && !s.audio_on() && !s.mode());
        QCOMPARE(s.display_mode(), DisplayMode::Matrix);
        QVERIFY(s.network(0).isEmpty());
        QCOMPARE(version_text(160), QStringLiteral("1.60"));
        QCOMPARE(version_text(7), QStringLiteral("0.07"));
    }
};

QTEST_GUILESS_MAIN(DeviceStateTest)
#include "test_device_state.moc"
