#include "ctl/request.h"

#include <QHostAddress>
#include <QRegularExpression>

#include "link/address.h"
#include "protocol/command.h"

namespace {

// A whole decimal number in lo..hi; the reason names the argument otherwise.
bool number(const QString &text, const char *what, int lo, int hi, int *out, QString *error) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,4}$"));
    const bool ok = digits.match(text).hasMatch() && text.toInt() >= lo && text.toInt() <= hi;
    if (!ok) {
        *error = QStringLiteral("%1 must be %2..%3, not \"%4\"")
                     .arg(QLatin1String(what))
                     .arg(lo)
                     .arg(hi)
                     .arg(text);
        return false;
    }
    *out = text.toInt();
    return true;
}

// One word out of a list; its index is the device's argument (plus `base`).
bool choice(const QString &text, const char *what, const QStringList &words, int base, int *out,
            QString *error) {
    const int i = words.indexOf(text.toLower());
    if (i < 0) {
        *error = QStringLiteral("%1 must be %2, not \"%3\"")
                     .arg(QLatin1String(what), words.join(QLatin1Char('|')), text);
        return false;
    }
    *out = base + i;
    return true;
}

bool parse_port(const QString &text, LinkChoice *link, QString *error) {
    static const QRegularExpression com(QStringLiteral("^COM([1-9])$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(text);
    if (m.hasMatch()) {
        link->kind = LinkChoice::Kind::Com;
        link->port_number = m.captured(1).toInt();
        return true;
    }
    if (text.startsWith(QLatin1Char('/'))) {
        link->kind = LinkChoice::Kind::Device;
        link->device = text;
        return true;
    }
    *error = QStringLiteral("--port takes COM1..COM9 or a device path such as /dev/ttyUSB0, not "
                            "\"%1\"")
                 .arg(text);
    return false;
}

bool parse_host(const QString &text, LinkChoice *link, QString *error) {
    const QString t = text.trimmed();
    const DeviceAddress a = parse_device_address(t);
    link->host = a.host;
    link->tcp_port = a.port;
    // Refused here, before the text could reach a name server as a host name.
    if (!well_formed_host(link->host)) {
        *error =
            QStringLiteral("--host takes HOST or HOST:PORT (port 1..65535), not \"%1\"").arg(text);
        return false;
    }
    link->kind = LinkChoice::Kind::Tcp;
    return true;
}

const QStringList ON_OFF = {QStringLiteral("off"), QStringLiteral("on")};

} // namespace

bool well_formed_host(const QString &host) {
    if (QHostAddress().setAddress(host)) return true;
    // A host name: dot-separated labels of letters, digits and inner hyphens, the last
    // one not all digits (so 999.1.1.1 is a bad address, not a name).
    static const QRegularExpression name(
        QStringLiteral("^(?=.{1,253}\\.?$)([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.)*"
                       "(?![0-9]+\\.?$)[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.?$"));
    return name.match(host).hasMatch();
}

bool parse_request(const QStringList &args, int resolution_count, Request *r, QString *error,
                   const QString &list_fault) {
    *r = Request();
    QStringList words;
    bool have_port = false, have_host = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (!a.startsWith(QLatin1String("--")) && a != QLatin1String("-h") &&
            a != QLatin1String("-q")) {
            words << a;
            continue;
        }
        QString name = a, value;
        const int eq = a.indexOf(QLatin1Char('='));
        const bool inline_value = eq > 0;
        if (inline_value) {
            name = a.left(eq);
            value = a.mid(eq + 1);
        }
        if (name == QLatin1String("--port") || name == QLatin1String("--host")) {
            if (!inline_value) {
                if (i + 1 >= args.size()) {
                    *error = name + QStringLiteral(" needs a value");
                    return false;
                }
                value = args[++i];
            }
            const bool port = name == QLatin1String("--port");
            if ((port && have_port) || (!port && have_host)) {
                *error = name + QStringLiteral(" is given twice");
                return false;
            }
            if (!(port ? parse_port(value, &r->link, error) : parse_host(value, &r->link, error)))
                return false;
            (port ? have_port : have_host) = true;
        } else if (inline_value) {
            *error = QStringLiteral("%1 takes no value").arg(name);
            return false;
        } else if (name == QLatin1String("--json")) {
            r->json = true;
        } else if (name == QLatin1String("--quiet") || name == QLatin1String("-q")) {
            r->quiet = true;
        } else if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            r->verb = Verb::Help;
            return true;
        } else {
            *error = QStringLiteral("unknown option %1").arg(a);
            return false;
        }
    }
    if (have_port && have_host) {
        *error = QStringLiteral("give --port or --host, not both");
        return false;
    }
    if (words.isEmpty()) {
        *error = QStringLiteral("no command given");
        return false;
    }

    const QString cmd = words.takeFirst().toLower();
    struct Shape {
        const char *name;
        Verb verb;
        int args;
    };
    static const Shape shapes[] = {
        {"help", Verb::Help, 0},         {"status", Verb::Status, 0},
        {"route", Verb::Route, 2},       {"mode", Verb::Mode, 1},
        {"preset", Verb::PresetSave, 2}, {"power", Verb::Power, 1},
        {"lock", Verb::Lock, 1},         {"mute", Verb::Mute, 1},
        {"picture", Verb::Picture, 3},   {"bezel", Verb::Bezel, -1},
        {"audio", Verb::AudioEdid, 2},   {"resolution", Verb::Resolution, 1},
        {"menu", Verb::Menu, 1},         {"version", Verb::Version, 0},
        {"network", Verb::Network, 0},   {"send", Verb::Send, 1},
        {"watch", Verb::Watch, 0},       {"ports", Verb::Ports, 0},
    };
    const Shape *shape = nullptr;
    for (const Shape &s : shapes)
        if (cmd == QLatin1String(s.name)) shape = &s;
    if (!shape) {
        *error = QStringLiteral("unknown command \"%1\"").arg(cmd);
        return false;
    }
    int wanted = shape->args;
    if (shape->verb == Verb::Bezel) {
        // "bezel on|off" or "bezel h|v N"
        const QString what = words.value(0).toLower();
        wanted = (what == QLatin1String("h") || what == QLatin1String("v")) ? 2 : 1;
    }
    if (words.size() != wanted) {
        *error = QStringLiteral("%1 takes %2 argument%3 (see --help)")
                     .arg(cmd)
                     .arg(wanted)
                     .arg(wanted == 1 ? "" : "s");
        return false;
    }
    r->verb = shape->verb;
    const QString w0 = words.value(0).toLower(), w1 = words.value(1).toLower();

    switch (shape->verb) {
    case Verb::Route:
        return number(words[0], "output", 1, 4, &r->a, error) &&
               number(words[1], "input", 1, 4, &r->b, error);
    case Verb::Mode: return choice(w0, "mode", {"matrix", "dual", "2x2"}, 1, &r->a, error);
    case Verb::PresetSave: {
        int which = 0;
        if (!choice(w0, "preset", {"save", "recall"}, 0, &which, error)) return false;
        if (which == 1) r->verb = Verb::PresetRecall;
        return number(words[1], "preset", 1, 4, &r->a, error);
    }
    case Verb::Power: return choice(w0, "power", {"standby", "on"}, 0, &r->a, error);
    case Verb::Lock: return choice(w0, "lock", ON_OFF, 0, &r->a, error);
    case Verb::Mute:
        // Muting switches the audio off: "mute on" is AUD000.
        if (!choice(w0, "mute", ON_OFF, 0, &r->a, error)) return false;
        r->a = 1 - r->a;
        return true;
    case Verb::Picture: {
        int p = 0;
        if (!choice(w0, "picture", {"brightness", "contrast", "hue", "saturation"}, 0, &p, error))
            return false;
        static const char *const mnemonics[4] = {"BRI", "CON", "HUE", "SAT"};
        r->mnemonic = QLatin1String(mnemonics[p]);
        return number(words[1], "row", 1, 4, &r->a, error) &&
               number(words[2], "level", 0, PICTURE_MAX, &r->b, error);
    }
    case Verb::Bezel:
        if (wanted == 1) return choice(w0, "bezel", ON_OFF, 0, &r->a, error);
        r->verb = w0 == QLatin1String("h") ? Verb::BezelH : Verb::BezelV;
        return number(words[1], "bezel amount", 0, BEZEL_MAX, &r->a, error);
    case Verb::AudioEdid: {
        int which = 0;
        if (!choice(w0, "audio", {"edid", "dual-a", "dual-b"}, 0, &which, error)) return false;
        if (which == 0)
            return choice(w1, "audio edid", {"2ch", "6ch", "8ch", "bitstream", "hd"}, 0, &r->a,
                          error);
        r->verb = which == 1 ? Verb::AudioDualA : Verb::AudioDualB;
        return choice(w1, which == 1 ? "audio dual-a" : "audio dual-b", {"left", "right"}, 1, &r->a,
                      error);
    }
    case Verb::Resolution:
        if (resolution_count < 1) {
            *error = QStringLiteral("resolution numbers are checked against the resolution "
                                    "list: %1")
                         .arg(list_fault.isEmpty() ? QStringLiteral("there is none") : list_fault);
            return false;
        }
        return number(words[0], "resolution", 1, qBound(1, resolution_count, RESOLUTION_LIMIT),
                      &r->a, error);
    case Verb::Menu:
        return choice(w0, "menu", {"up", "down", "left", "right", "ok", "menu", "exit"}, 0, &r->a,
                      error);
    case Verb::Send: {
        static const QRegularExpression shape6(QStringLiteral("^[A-Z]{3}[0-9]{3}$"));
        if (!shape6.match(words[0]).hasMatch()) {
            *error = QStringLiteral("a command is three upper-case letters and three digits, "
                                    "such as VER999, not \"%1\"")
                         .arg(words[0]);
            return false;
        }
        r->mnemonic = words[0];
        return true;
    }
    default: return true;
    }
}

QString link_name(const LinkChoice &link) {
    switch (link.kind) {
    case LinkChoice::Kind::Com: return QStringLiteral("COM%1").arg(link.port_number);
    case LinkChoice::Kind::Device: return link.device;
    case LinkChoice::Kind::Tcp: return QStringLiteral("%1:%2").arg(link.host).arg(link.tcp_port);
    case LinkChoice::Kind::Saved: break;
    }
    return QStringLiteral("the saved link");
}

QStringList fixed_commands(const Request &r) {
    static const char *const menu[7] = {"MNU001", "MND001", "MNL001", "MNR001",
                                        "MNO001", "MNX001", "MNE001"};
    switch (r.verb) {
    case Verb::Route: return {QStringLiteral("OUT") + pad3(r.a), QStringLiteral("INP") + pad3(r.b)};
    case Verb::Mode:
        // The wall is driven through output 1: the panel selects it after the change.
        if (r.a == 3) return {QStringLiteral("MOD003"), QStringLiteral("OUT001")};
        return {QStringLiteral("MOD") + pad3(r.a)};
    case Verb::PresetSave: return {QStringLiteral("SAV") + pad3(r.a)};
    case Verb::PresetRecall: return {QStringLiteral("CAL") + pad3(r.a)};
    case Verb::Power: return {QStringLiteral("PWR") + pad3(r.a)};
    case Verb::Lock: return {QStringLiteral("LCK") + pad3(r.a)};
    case Verb::Mute: return {QStringLiteral("AUD") + pad3(r.a)};
    case Verb::Bezel: return {QStringLiteral("BEZ") + pad3(r.a)};
    case Verb::BezelH: return {QStringLiteral("BEH") + pad3(r.a)};
    case Verb::BezelV: return {QStringLiteral("BEV") + pad3(r.a)};
    case Verb::AudioEdid: return {QStringLiteral("AUE") + pad3(r.a)};
    case Verb::AudioDualA: return {QStringLiteral("AUA") + pad3(r.a)};
    case Verb::AudioDualB: return {QStringLiteral("AUB") + pad3(r.a)};
    case Verb::Menu: return {QLatin1String(menu[r.a])};
    case Verb::Send: return {r.mnemonic};
    default: return {};
    }
}

QString picture_command(const QString &mnemonic, int row, int level, int mode) {
    return mnemonic + pad3(mode == 1 ? level : level + 200 * (row - 1));
}

bool needs_mode(const Request &r) { return r.verb == Verb::Picture || r.verb == Verb::Resolution; }

QString mode_refusal(const Request &r, int mode) {
    if (r.verb == Verb::Picture && mode == 1 && r.a != 1)
        return QStringLiteral("the device is in Matrix mode, where the picture has one row: use "
                              "row 1");
    if (r.verb == Verb::Resolution && mode != 1 && (r.a == 5 || r.a == 6))
        return QStringLiteral("resolutions 5 and 6 are for Matrix mode only");
    return QString();
}

bool slow_command(const QString &cmd) {
    const QString m = cmd.left(3);
    return m == QLatin1String("MOD") || m == QLatin1String("SAV") || m == QLatin1String("CAL");
}

QString usage_text() {
    return QStringLiteral(
        "Usage: veldra-ctl [--port COMn|DEVICE | --host HOST[:PORT]] [--json] [--quiet] COMMAND "
        "[ARGS]\n"
        "Drives a VELDRA matrix switcher as the TEVRAL-QX panel does.\n"
        "\n"
        "Commands:\n"
        "  status                          everything the panel's full refresh reads\n"
        "  route OUT IN                    route input IN (1-4) to output OUT (1-4)\n"
        "  mode matrix|dual|2x2\n"
        "  preset save N | preset recall N (N 1-4)\n"
        "  power on|standby    lock on|off    mute on|off\n"
        "  picture brightness|contrast|hue|saturation ROW LEVEL\n"
        "                                  ROW 1-4 (1 in Matrix mode), LEVEL 0-100\n"
        "  bezel on|off | bezel h N | bezel v N      (N 0-254)\n"
        "  audio edid 2ch|6ch|8ch|bitstream|hd | audio dual-a left|right | audio dual-b "
        "left|right\n"
        "  resolution N                    N as in output_reso.txt (5 and 6: Matrix only)\n"
        "  menu up|down|left|right|ok|menu|exit\n"
        "  version\n"
        "  network                         IP address, mask, gateway (serial link only)\n"
        "  send CMD                        one raw 6-character command; prints the reply\n"
        "  watch                           prints every reply the device sends on its own,\n"
        "                                  until interrupted\n"
        "  ports                           COM1-COM9: the device each opens, an adapter's\n"
        "                                  stable name, whether it can be opened (nothing\n"
        "                                  is opened; no link needed)\n"
        "\n"
        "Options:\n"
        "  --port COMn|DEVICE  serial link: COM1-COM9 mapped as the panel maps them (its\n"
        "                      ports/COMn links), or a device path such as /dev/ttyUSB0\n"
        "  --host HOST[:PORT]  Ethernet link (port 23 unless given)\n"
        "                      Without either: the link saved by the panel (TEVRAL_QX.ini)\n"
        "  --json              one JSON object (watch: one per line)\n"
        "  --quiet             nothing on standard output; errors still on standard error\n"
        "  --help              this text\n"
        "\n"
        "Exit status: 0 done, 1 the device answered ERR, 2 bad usage (nothing sent, but\n"
        "MOD999 for a picture row or resolution the device's mode rules out), 3 no reply\n"
        "in time, 4 the link could not be opened.\n");
}
