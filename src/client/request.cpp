#include "client/request.h"

#include <QHostAddress>
#include <QRegularExpression>

#include "link/address.h"
#include "platform/value_list.h"
#include "platform/venue.h"
#include "protocol/command.h"
#include "protocol/reply_kinds.h"
#include "protocol/status_read.h"

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

// One word out of a list, in any case; its index is the device's argument (plus `base`).
bool choice(const QString &text, const char *what, const QStringList &words, int base, int *out,
            QString *error) {
    const QString word = text.toLower();
    const int i = words.indexOf(word);
    if (i < 0) {
        *error = QStringLiteral("%1 must be %2, not \"%3\"")
                     .arg(QLatin1String(what), words.join(QLatin1Char('|')), word);
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

bool parse_link_option(const QString &name, const QString &value, LinkChoice *link,
                       QString *error) {
    return name == QLatin1String("--port") ? parse_port(value, link, error)
                                           : parse_host(value, link, error);
}

bool well_formed_host(const QString &host) {
    if (QHostAddress().setAddress(host)) return true;
    // A host name: dot-separated labels of letters, digits and inner hyphens, the last
    // one not all digits (so 999.1.1.1 is a bad address, not a name).
    static const QRegularExpression name(
        QStringLiteral("^(?=.{1,253}\\.?$)([A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.)*"
                       "(?![0-9]+\\.?$)[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?\\.?$"));
    return name.match(host).hasMatch();
}

namespace {

// The options; the other words go to `words`. False (and why) for a bad option; a
// request for help ends the reading (`help` set).
bool parse_options(const QStringList &args, Request *r, QStringList *words, bool *help,
                   QString *error) {
    bool have_port = false, have_host = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (!a.startsWith(QLatin1String("--")) && a != QLatin1String("-h") &&
            a != QLatin1String("-q")) {
            *words << a;
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
            if (!parse_link_option(name, value, &r->link, error)) return false;
            (port ? have_port : have_host) = true;
        } else if (name == QLatin1String("--venue")) {
            if (!inline_value) {
                if (i + 1 >= args.size()) {
                    *error = name + QStringLiteral(" needs a value");
                    return false;
                }
                value = args[++i];
            }
            r->venue_file = value;
        } else if (inline_value) {
            *error = QStringLiteral("%1 takes no value").arg(name);
            return false;
        } else if (name == QLatin1String("--json")) {
            r->json = true;
        } else if (name == QLatin1String("--quiet") || name == QLatin1String("-q")) {
            r->quiet = true;
        } else if (name == QLatin1String("--reconnect")) {
            r->reconnect = true;
        } else if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            *help = true;
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
    return true;
}

// What a command's arguments are checked against besides their own ranges.
struct Limits {
    int resolution_count;
    const QString &list_fault;
};

// One function per command: its arguments (already counted) into the request.
using CommandParser = bool (*)(const QStringList &w, const Limits &, Request *r, QString *error);

bool no_arguments(const QStringList &, const Limits &, Request *, QString *) { return true; }

// A number, or a venue name that the session resolves (nothing is sent before it has).
bool number_or_name(const QString &text, const char *what, int *n, QString *name, QString *error) {
    // Anything that reads as a number is one ("+2" too, which is no name either).
    bool numeric = false;
    text.toInt(&numeric);
    if (numeric) return number(text, what, 1, 4, n, error);
    *name = text;
    return true;
}

bool parse_route(const QStringList &w, const Limits &, Request *r, QString *error) {
    return number_or_name(w[0], "output", &r->a, &r->out_name, error) &&
           number_or_name(w[1], "input", &r->b, &r->in_name, error);
}

// A name given as several words (from a command line without quotes) is one name.
bool venue_text(const QStringList &w, const char *what, QString *out, QString *error) {
    const QString text = w.join(QLatin1Char(' '));
    const QString fault = name_fault(text);
    if (!fault.isEmpty()) {
        *error = QStringLiteral("%1: %2").arg(QLatin1String(what), fault);
        return false;
    }
    *out = text;
    return true;
}

bool parse_scene(const QStringList &w, const Limits &, Request *r, QString *error) {
    int which = 0;
    if (w.isEmpty() ||
        !choice(w[0], "scene", {"save", "recall", "list", "delete", "show"}, 0, &which, error)) {
        if (w.isEmpty()) *error = QStringLiteral("scene takes save|recall|list|delete|show");
        return false;
    }
    static const Verb verbs[5] = {Verb::SceneSave, Verb::SceneRecall, Verb::SceneList,
                                  Verb::SceneDelete, Verb::SceneShow};
    r->verb = verbs[which];
    if (r->verb == Verb::SceneList) {
        if (w.size() == 1) return true;
        *error = QStringLiteral("scene list takes no name");
        return false;
    }
    if (w.size() < 2) {
        *error = QStringLiteral("scene %1 takes a scene name").arg(w[0].toLower());
        return false;
    }
    return venue_text(w.mid(1), "scene name", &r->text, error);
}

bool parse_name(const QStringList &w, const Limits &, Request *r, QString *error) {
    if (w.size() < 2) {
        *error = QStringLiteral("name takes input|output N [TEXT] (no text: the name is cleared)");
        return false;
    }
    if (!choice(w[0], "name", {"input", "output"}, 0, &r->a, error) ||
        !number(w[1], w[0].toLower() == QLatin1String("input") ? "input" : "output", 1, 4, &r->b,
                error))
        return false;
    return w.size() == 2 || venue_text(w.mid(2), "name", &r->text, error);
}

bool parse_mode(const QStringList &w, const Limits &, Request *r, QString *error) {
    return choice(w[0], "mode", {"matrix", "dual", "2x2"}, 1, &r->a, error);
}

bool parse_preset(const QStringList &w, const Limits &, Request *r, QString *error) {
    int which = 0;
    if (!choice(w[0], "preset", {"save", "recall"}, 0, &which, error)) return false;
    if (which == 1) r->verb = Verb::PresetRecall;
    return number(w[1], "preset", 1, 4, &r->a, error);
}

bool parse_power(const QStringList &w, const Limits &, Request *r, QString *error) {
    return choice(w[0], "power", {"standby", "on"}, 0, &r->a, error);
}

bool parse_lock(const QStringList &w, const Limits &, Request *r, QString *error) {
    return choice(w[0], "lock", ON_OFF, 0, &r->a, error);
}

bool parse_mute(const QStringList &w, const Limits &, Request *r, QString *error) {
    // Muting switches the audio off: "mute on" is AUD000.
    if (!choice(w[0], "mute", ON_OFF, 0, &r->a, error)) return false;
    r->a = 1 - r->a;
    return true;
}

bool parse_output(const QStringList &w, const Limits &, Request *r, QString *error) {
    return number(w[0], "output", 1, 4, &r->a, error);
}

bool parse_picture(const QStringList &w, const Limits &, Request *r, QString *error) {
    // The words of the picture reply kinds: brightness, contrast, hue, saturation.
    const QList<const ReplyKind *> kinds = picture_kinds();
    QStringList words;
    for (const ReplyKind *k : kinds) words << QLatin1String(k->words);
    int p = 0;
    if (!choice(w[0], "picture", words, 0, &p, error)) return false;
    r->part = kinds[p]->part;
    return number(w[1], "row", 1, 4, &r->a, error) &&
           number(w[2], "level", 0, PICTURE_MAX, &r->b, error);
}

// "bezel on|off" or "bezel h|v N".
int bezel_arguments(const QStringList &w) {
    const QString what = w.value(0).toLower();
    return (what == QLatin1String("h") || what == QLatin1String("v")) ? 2 : 1;
}

bool parse_bezel(const QStringList &w, const Limits &, Request *r, QString *error) {
    if (w.size() == 1) return choice(w[0], "bezel", ON_OFF, 0, &r->a, error);
    r->verb = w[0].toLower() == QLatin1String("h") ? Verb::BezelH : Verb::BezelV;
    return number(w[1], "bezel amount", 0, BEZEL_MAX, &r->a, error);
}

bool parse_audio(const QStringList &w, const Limits &, Request *r, QString *error) {
    int which = 0;
    if (!choice(w[0], "audio", {"edid", "dual-a", "dual-b"}, 0, &which, error)) return false;
    if (which == 0)
        return choice(w[1], "audio edid", {"2ch", "6ch", "8ch", "bitstream", "hd"}, 0, &r->a,
                      error);
    r->verb = which == 1 ? Verb::AudioDualA : Verb::AudioDualB;
    return choice(w[1], which == 1 ? "audio dual-a" : "audio dual-b", {"left", "right"}, 1, &r->a,
                  error);
}

bool parse_resolution(const QStringList &w, const Limits &l, Request *r, QString *error) {
    if (l.resolution_count < 1) {
        *error = QStringLiteral("resolution numbers are checked against the resolution "
                                "list: %1")
                     .arg(l.list_fault.isEmpty() ? QStringLiteral("there is none") : l.list_fault);
        return false;
    }
    return number(w[0], "resolution", 1, qBound(1, l.resolution_count, RESOLUTION_LIMIT), &r->a,
                  error);
}

bool parse_menu(const QStringList &w, const Limits &, Request *r, QString *error) {
    return choice(w[0], "menu", {"up", "down", "left", "right", "ok", "menu", "exit"}, 0, &r->a,
                  error);
}

bool parse_send(const QStringList &w, const Limits &, Request *r, QString *error) {
    static const QRegularExpression shape6(QStringLiteral("\\A[A-Z]{3}[0-9]{3}\\z"));
    if (!shape6.match(w[0]).hasMatch()) {
        QString shown = w[0];
        shown.replace(QLatin1Char('\n'), QLatin1String("\\n"))
            .replace(QLatin1Char('\r'), QLatin1String("\\r"));
        *error = QStringLiteral("a command is three upper-case letters and three digits, "
                                "such as %1, not \"%2\"")
                     .arg(version_query(), shown);
        return false;
    }
    r->mnemonic = w[0];
    return true;
}

struct Command {
    const char *name;
    Verb verb;
    int arguments; // -1: bezel_arguments decides; -2: the parser counts them
    CommandParser parse;
};
const Command COMMANDS[] = {
    {"help", Verb::Help, 0, no_arguments},
    {"status", Verb::Status, 0, no_arguments},
    {"route", Verb::Route, 2, parse_route},
    {"output", Verb::Output, 1, parse_output},
    {"mode", Verb::Mode, 1, parse_mode},
    {"preset", Verb::PresetSave, 2, parse_preset},
    {"power", Verb::Power, 1, parse_power},
    {"lock", Verb::Lock, 1, parse_lock},
    {"mute", Verb::Mute, 1, parse_mute},
    {"picture", Verb::Picture, 3, parse_picture},
    {"bezel", Verb::Bezel, -1, parse_bezel},
    {"audio", Verb::AudioEdid, 2, parse_audio},
    {"resolution", Verb::Resolution, 1, parse_resolution},
    {"menu", Verb::Menu, 1, parse_menu},
    {"version", Verb::Version, 0, no_arguments},
    {"network", Verb::Network, 0, no_arguments},
    {"send", Verb::Send, 1, parse_send},
    {"watch", Verb::Watch, 0, no_arguments},
    {"ports", Verb::Ports, 0, no_arguments},
    {"scene", Verb::SceneList, -2, parse_scene},
    {"name", Verb::Name, -2, parse_name},
};

} // namespace

bool parse_request(const QStringList &args, int resolution_count, Request *r, QString *error,
                   const QString &list_fault) {
    *r = Request();
    QStringList words;
    bool help = false;
    if (!parse_options(args, r, &words, &help, error)) return false;
    if (help) {
        r->verb = Verb::Help;
        return true;
    }
    if (words.isEmpty()) {
        *error = QStringLiteral("no command given");
        return false;
    }

    const QString cmd = words.takeFirst().toLower();
    const Command *command = nullptr;
    for (const Command &c : COMMANDS)
        if (cmd == QLatin1String(c.name)) command = &c;
    if (!command) {
        *error = QStringLiteral("unknown command \"%1\"").arg(cmd);
        return false;
    }
    const int wanted = command->arguments == -1 ? bezel_arguments(words) : command->arguments;
    if (command->arguments != -2 && words.size() != wanted) {
        *error = QStringLiteral("%1 takes %2 argument%3 (see --help)")
                     .arg(cmd)
                     .arg(wanted)
                     .arg(wanted == 1 ? "" : "s");
        return false;
    }
    r->verb = command->verb;
    if (r->reconnect && r->verb != Verb::Watch) {
        *error = QStringLiteral("--reconnect goes with watch only");
        return false;
    }
    return command->parse(words, Limits{resolution_count, list_fault}, r, error);
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
    switch (r.verb) {
    case Verb::Route: return {select_output(r.a), route_input(r.b)};
    // As the panel's output buttons: the input of the output selected is read with it.
    case Verb::Output: return {select_output(r.a), input_query()};
    case Verb::Mode:
        // The wall is driven through output 1: the panel selects it after the change.
        if (r.a == 3) return {mode_command(DisplayMode::Wall), select_output(1)};
        return {mode_command(static_cast<DisplayMode>(r.a))};
    case Verb::PresetSave: return {preset_save_command(r.a)};
    case Verb::PresetRecall: return {preset_recall_command(r.a)};
    case Verb::Power: return {power_command(r.a == 1)};
    case Verb::Lock: return {lock_command(r.a == 1)};
    case Verb::Mute: return {audio_command(r.a == 1)};
    case Verb::Bezel: return {bezel_command(r.a == 1)};
    case Verb::BezelH: return {bezel_amount_command(0, r.a)};
    case Verb::BezelV: return {bezel_amount_command(1, r.a)};
    case Verb::AudioEdid: return {audio_edid_command(r.a)};
    case Verb::AudioDualA: return {dual_audio_command(false, r.a)};
    case Verb::AudioDualB: return {dual_audio_command(true, r.a)};
    case Verb::Menu: return {menu_command(static_cast<MenuKey>(r.a))};
    case Verb::Send: return {r.mnemonic};
    default: return {};
    }
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

QString usage_text() {
    return QStringLiteral(
        "Usage: veldra-ctl [--port COMn|DEVICE | --host HOST[:PORT]] [--json] [--quiet] COMMAND "
        "[ARGS]\n"
        "Drives a VELDRA matrix switcher as the TEVRAL-QX panel does.\n"
        "\n"
        "Commands:\n"
        "  status                          everything the panel's full refresh reads\n"
        "  route OUT IN                    route input IN (1-4) to output OUT (1-4)\n"
        "  output OUT                      select output OUT (1-4), as its panel button does\n"
        "  mode matrix|dual|2x2            the display mode\n"
        "  preset save N | preset recall N\n"
        "                                  store or recall preset N (1-4)\n"
        "  power on|standby                power on, or standby\n"
        "  lock on|off                     lock or unlock the front panel\n"
        "  mute on|off                     mute the audio, or sound it again\n"
        "  picture brightness|contrast|hue|saturation ROW LEVEL\n"
        "                                  ROW 1-4 (1 in Matrix mode), LEVEL 0-100\n"
        "  bezel on|off | bezel h N | bezel v N\n"
        "                                  bezel correction; amounts N 0-254\n"
        "  audio edid 2ch|6ch|8ch|bitstream|hd\n"
        "                                  the audio EDID format\n"
        "  audio dual-a left|right | audio dual-b left|right\n"
        "                                  the audio side of the Dual pair A or B\n"
        "  resolution N                    N as in output_reso.txt (5 and 6: Matrix only)\n"
        "  menu up|down|left|right|ok|menu|exit\n"
        "                                  a key of the device's on-screen menu\n"
        "  version                         the firmware version\n"
        "  network                         IP address, mask, gateway (serial link only)\n"
        "  send CMD                        one raw 6-character command; prints the reply\n"
        "  watch                           prints every reply the device sends on its own,\n"
        "                                  until interrupted; a lost link ends it (exit 4)\n"
        "  route OUT IN                    also by the venue's names: route Projector Laptop\n"
        "  scene save|recall|delete|show NAME | scene list\n"
        "                                  the venue's scenes (recall sends only what differs)\n"
        "  name input|output N [TEXT]      name an input or output in the venue (no TEXT: clear)\n"
        "  ports                           COM1-COM9: the device each opens, an adapter's\n"
        "                                  stable name, whether it can be opened (nothing\n"
        "                                  is opened; no link needed)\n"
        "\n"
        "Options:\n"
        "  --port COMn|DEVICE  serial link: COM1-COM9 mapped as the panel maps them (its\n"
        "                      ports/COMn links), or a device path such as /dev/ttyUSB0\n"
        "  --host HOST[:PORT]  Ethernet link (port 23 unless given)\n"
        "                      Without either: the link saved by the panel (TEVRAL_QX.ini)\n"
        "  --venue FILE        the venue file (names, scenes) instead of\n"
        "                      ~/.config/tevral-qx/venue.json or /etc/tevral-qx/venue.json\n"
        "  --json              one JSON object (watch: one per line)\n"
        "  --quiet             nothing on standard output; errors still on standard error\n"
        "  --reconnect         watch: across link loss, print \"link down\" and \"link up\"\n"
        "                      and watch on (the link is tried again: TCP every 2 s,\n"
        "                      serial once its device is back)\n"
        "  --help              this text\n"
        "\n"
        "Exit status: 0 done, 1 the device answered ERR, 2 bad usage (nothing sent, but\n"
        "the mode query for a picture row or resolution the mode rules out), 3 no reply\n"
        "in time, 4 the link could not be opened (watch: or was lost), 5 the venue file\n"
        "could not be written or is broken.\n");
}

QStringList program_resolutions(const QString &folder, QString *fault) {
    const QString list = folder + QStringLiteral("/output_reso.txt");
    QStringList names;
    if (!read_resolution_file(list, &names, fault)) return {};
    if (names.isEmpty()) *fault = QStringLiteral("%1 lists no resolution").arg(list);
    return names;
}

namespace {

// The number of the one name that matches `text` (any case), or why there is none.
int venue_number(const QString &text, const std::array<QString, 4> &names, const char *what,
                 QString *error) {
    QList<int> found;
    QStringList known;
    for (int i = 0; i < 4; ++i) {
        if (names[i].compare(text, Qt::CaseInsensitive) == 0) found << i + 1;
        known << (names[i].isEmpty() ? QString::number(i + 1)
                                     : QStringLiteral("%1 \"%2\"").arg(i + 1).arg(names[i]));
    }
    if (found.size() == 1) return found[0];
    *error = QStringLiteral("%1 \"%2\" %3; the %1s are %4")
                 .arg(QLatin1String(what), text,
                      found.isEmpty() ? QStringLiteral("is not a name of the venue")
                                      : QStringLiteral("names %1 of them").arg(found.size()),
                      known.join(QStringLiteral(", ")));
    return 0;
}

} // namespace

bool resolve_route_names(Request *r, const Venue &v, QString *error) {
    if (r->verb != Verb::Route) return true;
    if (!r->out_name.isEmpty() && !(r->a = venue_number(r->out_name, v.outputs, "output", error)))
        return false;
    if (!r->in_name.isEmpty() && !(r->b = venue_number(r->in_name, v.inputs, "input", error)))
        return false;
    return true;
}

bool venue_only(const Request &r) {
    return r.verb == Verb::SceneList || r.verb == Verb::SceneDelete || r.verb == Verb::SceneShow ||
           r.verb == Verb::Name;
}
