#include "hub/options.h"

#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>

bool parse_host_port(const QString &text, const QString &default_host, int default_port,
                     QString *host, int *port) {
    const QString t = text.trimmed();
    static const QRegularExpression shape(
        QStringLiteral("^(?:\\[([0-9A-Fa-f:.]+)\\]|([^:\\[\\]]*))(?::([0-9]{1,5}))?$"));
    QRegularExpressionMatch m = shape.match(t);
    QString h, p;
    if (m.hasMatch()) {
        h = m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
        p = m.captured(3);
    } else if (QHostAddress(t).protocol() == QAbstractSocket::IPv6Protocol) {
        h = t; // a bare IPv6 address
    } else {
        return false;
    }
    // A bare number is a port on the default host.
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (p.isEmpty() && digits.match(h).hasMatch()) {
        p = h;
        h.clear();
    }
    *host = h.isEmpty() ? default_host : h;
    *port = p.isEmpty() ? default_port : p.toInt();
    return p.isEmpty() || (*port >= 1 && *port <= 65535);
}

bool parse_bridge_options(const QStringList &args, BridgeOptions *o, QString *error) {
    *o = BridgeOptions();
    bool have_port = false, have_host = false, broker_port_given = false;
    static const QRegularExpression topic_safe(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    static const QRegularExpression prefix_safe(
        QStringLiteral("^[A-Za-z0-9_-]+(/[A-Za-z0-9_-]+)*$"));
    for (int i = 0; i < args.size(); ++i) {
        QString name = args[i], value;
        const int eq = name.indexOf(QLatin1Char('='));
        const bool inline_value = name.startsWith(QLatin1String("--")) && eq > 0;
        if (inline_value) {
            value = name.mid(eq + 1);
            name = name.left(eq);
        }
        static const QStringList flags = {"--help", "-h", "--version", "--remove-discovery"};
        if (flags.contains(name)) {
            if (inline_value) {
                *error = name + QStringLiteral(" takes no value");
                return false;
            }
            if (name == QLatin1String("--remove-discovery"))
                o->remove_discovery = true;
            else if (name == QLatin1String("--version"))
                o->version = true;
            else
                o->help = true;
            continue;
        }
        static const QStringList valued = {
            "--port",          "--host",   "--broker", "--username",
            "--password-file", "--cafile", "--id",     "--discovery-prefix",
            "--poll",          "--share",  "--http",   "--http-token-file",
            "--venue"};
        if (!valued.contains(name)) {
            *error = name.startsWith(QLatin1Char('-'))
                         ? QStringLiteral("unknown option %1").arg(name)
                         : QStringLiteral("unexpected argument \"%1\"").arg(name);
            return false;
        }
        if (!inline_value) {
            if (i + 1 >= args.size()) {
                *error = name + QStringLiteral(" needs a value");
                return false;
            }
            value = args[++i];
        }
        if (name == QLatin1String("--port") || name == QLatin1String("--host")) {
            bool &seen = name == QLatin1String("--port") ? have_port : have_host;
            if (seen) {
                *error = name + QStringLiteral(" is given twice");
                return false;
            }
            seen = true;
            if (!parse_link_option(name, value, &o->link, error)) return false;
        } else if (name == QLatin1String("--broker")) {
            int port = 0;
            if (!parse_host_port(value, QStringLiteral("127.0.0.1"), 0, &o->broker_host, &port) ||
                !well_formed_host(o->broker_host)) {
                *error = QStringLiteral("--broker takes HOST or HOST:PORT, not \"%1\"").arg(value);
                return false;
            }
            broker_port_given = port != 0;
            o->broker_given = true;
            if (broker_port_given) o->broker_port = port;
        } else if (name == QLatin1String("--venue")) {
            o->venue_file = value;
        } else if (name == QLatin1String("--username")) {
            o->username = value;
        } else if (name == QLatin1String("--password-file")) {
            o->password_file = value;
        } else if (name == QLatin1String("--cafile")) {
            o->cafile = value;
        } else if (name == QLatin1String("--id")) {
            if (!topic_safe.match(value).hasMatch()) {
                *error = QStringLiteral("--id takes 1 to 64 letters, digits, '-' or '_', not "
                                        "\"%1\"")
                             .arg(value);
                return false;
            }
            o->id = value;
        } else if (name == QLatin1String("--discovery-prefix")) {
            if (!prefix_safe.match(value).hasMatch()) {
                *error = QStringLiteral("--discovery-prefix takes topic levels of letters, digits, "
                                        "'-' or '_', not \"%1\"")
                             .arg(value);
                return false;
            }
            o->discovery_prefix = value;
        } else if (name == QLatin1String("--poll")) {
            static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
            if (!digits.match(value).hasMatch() || value.toInt() > 86400) {
                *error = QStringLiteral("--poll takes 0..86400 seconds, not \"%1\"").arg(value);
                return false;
            }
            o->poll_s = value.toInt();
        } else if (name == QLatin1String("--share")) {
            int port = 0;
            if (!parse_host_port(value, QStringLiteral("127.0.0.1"), 0, &o->share_host, &port) ||
                port == 0 || QHostAddress(o->share_host).isNull()) {
                *error = QStringLiteral("--share takes ADDR:PORT or PORT (an IP address of this "
                                        "machine), not \"%1\"")
                             .arg(value);
                return false;
            }
            o->share_port = quint16(port);
        } else if (name == QLatin1String("--http")) {
            int port = 0;
            if (!parse_host_port(value, QStringLiteral("127.0.0.1"), 0, &o->http_host, &port) ||
                port == 0 || QHostAddress(o->http_host).isNull()) {
                *error = QStringLiteral("--http takes ADDR:PORT or PORT (an IP address of this "
                                        "machine), not \"%1\"")
                             .arg(value);
                return false;
            }
            o->http_port = quint16(port);
        } else if (name == QLatin1String("--http-token-file")) {
            o->http_token_file = value;
        }
    }
    if (!o->http_host.isEmpty() && o->http_token_file.isEmpty() &&
        !QHostAddress(o->http_host).isLoopback()) {
        *error = QStringLiteral("--http on %1, beyond this machine, needs --http-token-file")
                     .arg(o->http_host);
        return false;
    }
    if (have_port && have_host) {
        *error = QStringLiteral("give --port or --host, not both");
        return false;
    }
    if (!o->password_file.isEmpty() && o->username.isEmpty()) {
        *error = QStringLiteral("--password-file needs --username");
        return false;
    }
    if (!o->cafile.isEmpty() && !broker_port_given) o->broker_port = 8883;
    return true;
}

bool expand_config(const QStringList &args, QStringList *out, QString *error) {
    out->clear();
    for (int i = 0; i < args.size(); ++i) {
        QString file;
        if (args[i] == QLatin1String("--config") && i + 1 < args.size())
            file = args[++i];
        else if (args[i].startsWith(QLatin1String("--config=")))
            file = args[i].mid(9);
        else if (args[i] == QLatin1String("--config")) {
            *error = QStringLiteral("--config needs a value");
            return false;
        } else {
            out->append(args[i]);
            continue;
        }
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
            *error = QStringLiteral("cannot read %1: %2").arg(file, f.errorString());
            return false;
        }
        int n = 0;
        while (!f.atEnd()) {
            ++n;
            const QString line = QString::fromUtf8(f.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
            static const QRegularExpression shape(
                QStringLiteral("^(?:--)?([a-z-]+)\\s*(?:[=\\s]\\s*(.*))?$"));
            const QRegularExpressionMatch m = shape.match(line);
            if (!m.hasMatch()) {
                *error = QStringLiteral("%1:%2: not an option: %3").arg(file).arg(n).arg(line);
                return false;
            }
            out->append(QStringLiteral("--") + m.captured(1));
            if (m.capturedLength(2) > 0) out->append(m.captured(2).trimmed());
        }
    }
    return true;
}

bool names_device(const BridgeOptions &o) { return o.link.kind != LinkChoice::Kind::Saved; }

QString bridge_usage(const QString &program) {
    const bool hub = program == QLatin1String("veldra-hub");
    return QStringLiteral("Usage: %1 (--port COMn|DEVICE | --host HOST[:PORT]) %2[OPTION]...\n")
               .arg(program, hub ? QString() : QStringLiteral("--broker HOST[:PORT] ")) +
           QStringLiteral(
               "Shares a VELDRA matrix switcher with the panel, MQTT and a web page.\n"
               "It holds the device's one connection and serves it: the shared port for the\n"
               "panel and veldra-ctl (--share), MQTT for Home Assistant and others (--broker:\n"
               "state, availability, command results and discovery under veldra/NAME/,\n"
               "commands on veldra/NAME/command) and a web page with a REST API (--http).\n"
               "veldra-mqtt is the same program and needs --broker.\n"
               "\n"
               "Options:\n"
               "  --port COMn|DEVICE      serial link, as veldra-ctl\n"
               "  --host HOST[:PORT]      Ethernet link (port 23 unless given); one of the two\n"
               "                          is needed (the panel's saved link is not used)\n"
               "  --broker HOST[:PORT]    the MQTT broker (127.0.0.1:1883; 8883 with --cafile)\n"
               "  --username NAME         log in to the broker as NAME\n"
               "  --password-file FILE    the password: the first line of FILE\n"
               "  --cafile FILE           TLS to the broker, trusting the certificates in FILE\n"
               "  --id NAME               topics under veldra/NAME/ (veldra); letters, digits, - "
               "_\n"
               "  --discovery-prefix P    Home Assistant's discovery prefix (homeassistant)\n"
               "  --poll SECONDS          a full status read this often (30; 0 never)\n"
               "  --share [ADDR:]PORT     a device port for the panel and veldra-ctl while the\n"
               "                          bridge runs (address 127.0.0.1 unless given)\n"
               "  --venue FILE            the venue's names and scenes (venue.json; default\n"
               "                          ~/.config/tevral-qx/venue.json, "
               "/etc/tevral-qx/venue.json)\n"
               "  --http [ADDR:]PORT      the web page, /api/v1/ and /healthz/ (address 127.0.0.1\n"
               "                          unless given; any address but loopback needs a token)\n"
               "  --http-token-file FILE  the web asks for the first line of FILE as a bearer "
               "token\n"
               "  --config FILE           options from FILE, one a line (\"host = "
               "192.168.1.100\")\n"
               "  --remove-discovery      clear this device's discovery, state and availability\n"
               "                          from the broker, then exit\n"
               "  --help, --version\n"
               "\n"
               "Exit status: 0 stopped by SIGTERM, SIGINT or SIGHUP (or done), 2 bad usage,\n"
               "4 the broker could not be reached (--remove-discovery).\n");
}
