#include "simulator.h"

#include "line_framer.h"
#include "links.h"
#include "session.h"
#include "traffic_log.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>

namespace veldra {

namespace {

const char kDescription[] =
    "Simulated VELDRA 4x4 matrix switcher for testing the TEVRAL-QX panel.\n"
    "\n"
    "Commands are 6 ASCII characters ended by CR (LF bytes are ignored). Every\n"
    "reply is 6 characters + CR, except EIP999/EMK999/EGW999 (15 characters +\n"
    "CR). ERR000 unknown mnemonic, ERR001 bad argument, ERR002 line not 6\n"
    "characters long (lines are capped at 64 bytes; the rest is discarded).\n"
    "\n"
    "Links (both may run at once on one shared device): --pty makes LINK a\n"
    "symlink to a raw pseudo-terminal slave; --tcp listens on ADDR:PORT. Without\n"
    "either, --tcp 127.0.0.1:23 is used. TCP serves one client at a time: a new\n"
    "client replaces the old one, which is closed. After PWR001 or RST001 over\n"
    "TCP the device \"reboots\": it replies and closes the connection 1500 ms later\n"
    "(--reboot-drop), ignoring input meanwhile; it keeps listening.\n"
    "\n"
    "Standby and the front-panel lock refuse no command. Presets (SAV/CAL) keep\n"
    "the routing and the selected output, never the mode; recalling a preset\n"
    "never saved restores routing 1-1 2-2 3-3 4-4 and output 1. RST001 resets\n"
    "every setting and clears the presets.\n"
    "\n"
    "Faults (--latency, --late, --drop, --drop-cmd, --garbage) apply to replies to\n"
    "commands; --split, --baud and --usb-latency apply to everything sent. Replies\n"
    "on a link keep their order. All randomness comes from one generator\n"
    "seeded by --seed.\n"
    "\n"
    "Prints \"veldra-sim ready\" on stdout once the links are up. Ends with exit\n"
    "code 0 on SIGINT/SIGTERM, removing the pty symlink and the inject socket.";

QString usageError(const QString &message) {
    std::fprintf(stderr, "veldra-sim: %s\n", qPrintable(message));
    return message;
}

bool printableAscii(const QString &s) {
    for (QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E || c == '"' || c == '\\') return false;
    return true;
}

} // namespace

int parseOptions(const QStringList &arguments, SimOptions *o) {
    QCommandLineParser p;
    p.setApplicationDescription(QString::fromLatin1(kDescription));
    p.addHelpOption();
    const QCommandLineOption pty(
        "pty", "Serve a pseudo-terminal; LINK becomes a symlink to its slave.", "LINK");
    const QCommandLineOption tcp("tcp", "Listen for one TCP client on ADDR:PORT.", "ADDR:PORT");
    const QCommandLineOption exitAfter(
        "exit-after", "Send EXT000 and close a TCP client idle for S seconds.", "S");
    const QCommandLineOption rebootDrop(
        "reboot-drop",
        "Milliseconds between the reply to PWR001/RST001 and the TCP drop (default 1500: the panel "
        "takes the link down itself after one second).",
        "MS");
    const QCommandLineOption state("state",
                                   "Rewrite FILE atomically with the device state as JSON at start "
                                   "and after every command or change.",
                                   "FILE");
    const QCommandLineOption commands(
        "commands", "Append every received line (escaped, without CR) to FILE.", "FILE");
    const QCommandLineOption replies(
        "replies", "Append every text sent (escaped, without its CR) to FILE.", "FILE");
    const QCommandLineOption log(
        "log", "Log every byte in and out on stderr with a time stamp and the link name.");
    const QCommandLineOption latency("latency", "Delay every reply by MS milliseconds.", "MS");
    const QCommandLineOption late(
        "late", "Hold a reply MS more milliseconds (with probability --late-p).", "MS");
    const QCommandLineOption lateP("late-p", "Probability of --late (default 1.0).", "P");
    const QCommandLineOption drop("drop", "Never send a reply, with probability P.", "P");
    const QCommandLineOption dropCmd("drop-cmd", "Never answer this exact command (repeatable).",
                                     "CMD");
    const QCommandLineOption garbage("garbage",
                                     "Replace a reply by 7 random bytes, with probability P.", "P");
    const QCommandLineOption split("split",
                                   "Send everything one byte at a time, about 1 ms apart.");
    const QCommandLineOption baud(
        "baud", "Send at the pace of an 8N1 line at N baud: one byte every 10/N s.", "N");
    const QCommandLineOption usbLatency(
        "usb-latency",
        "Hand paced bytes over in chunks every MS ms, like a USB serial adapter's latency timer "
        "(implies --baud 115200 unless given).",
        "MS");
    const QCommandLineOption seed("seed", "Seed of the random generator (reproducible faults).",
                                  "N");
    const QCommandLineOption frontPanel(
        "front-panel",
        "Every MS ms change one setting as the front panel would and announce it on every link.",
        "MS");
    const QCommandLineOption inject(
        "inject",
        "Local socket PATH: each line written there is sent to every link followed by CR ('raw:' "
        "lines: without CR, escapes \\r \\n \\t \\0 \\\\ \\xHH decoded).",
        "PATH");
    const QCommandLineOption resCount("res-count",
                                      "Number of output resolutions, 1..99 (default 12).", "N");
    const QCommandLineOption version(
        "version", "Firmware version answered to VER999, 0..999 (default 160).", "N");
    const QCommandLineOption maxH("bezel-max-h", "Upper bound of BEH, 0..997 (default 254).", "N");
    const QCommandLineOption maxV("bezel-max-v", "Upper bound of BEV, 0..997 (default 254).", "N");
    const QCommandLineOption ip("ip", "Answer to EIP999 (blank padded or cut to 15).", "S");
    const QCommandLineOption mask("mask", "Answer to EMK999 (blank padded or cut to 15).", "S");
    const QCommandLineOption gateway("gateway", "Answer to EGW999 (blank padded or cut to 15).",
                                     "S");
    p.addOptions({pty,     tcp,     exitAfter,  rebootDrop, state,      commands, replies,
                  log,     latency, late,       lateP,      drop,       dropCmd,  garbage,
                  split,   baud,    usbLatency, seed,       frontPanel, inject,   resCount,
                  version, maxH,    maxV,       ip,         mask,       gateway});

    if (!p.parse(arguments)) {
        usageError(p.errorText());
        return 2;
    }
    if (p.isSet("help")) {
        std::fputs(qPrintable(p.helpText()), stdout);
        std::fflush(stdout);
        return 0;
    }
    if (!p.positionalArguments().isEmpty()) {
        usageError("unexpected argument " + p.positionalArguments().first());
        return 2;
    }

    bool ok = true;
    auto integer = [&](const QCommandLineOption &opt, int lo, int hi, int fallback) {
        if (!p.isSet(opt)) return fallback;
        bool good = false;
        const int v = p.value(opt).toInt(&good);
        if (!good || v < lo || v > hi) {
            usageError(QStringLiteral("--%1 needs a whole number %2..%3")
                           .arg(opt.names().first())
                           .arg(lo)
                           .arg(hi));
            ok = false;
        }
        return v;
    };
    auto real = [&](const QCommandLineOption &opt, double lo, double hi, double fallback) {
        if (!p.isSet(opt)) return fallback;
        bool good = false;
        const double v = p.value(opt).toDouble(&good);
        if (!good || v < lo || v > hi) {
            usageError(QStringLiteral("--%1 needs a number %2..%3")
                           .arg(opt.names().first())
                           .arg(lo)
                           .arg(hi));
            ok = false;
        }
        return v;
    };
    auto text = [&](const QCommandLineOption &opt, const QByteArray &fallback) {
        if (!p.isSet(opt)) return fallback;
        if (!printableAscii(p.value(opt))) {
            usageError(QStringLiteral("--%1 takes printable ASCII without quotes or backslashes")
                           .arg(opt.names().first()));
            ok = false;
        }
        return p.value(opt).toLatin1();
    };

    o->device.resCount = integer(resCount, 1, 99, 12);
    o->device.version = integer(version, 0, 999, 160);
    o->device.bezelMaxH = integer(maxH, 0, 997, 254);
    o->device.bezelMaxV = integer(maxV, 0, 997, 254);
    o->device.ip = text(ip, o->device.ip);
    o->device.mask = text(mask, o->device.mask);
    o->device.gateway = text(gateway, o->device.gateway);
    o->ptyPath = p.value(pty);
    o->exitAfterSec = real(exitAfter, 0, 86400, 0);
    o->rebootDropMs = integer(rebootDrop, 0, 600000, 1500);
    o->stateFile = p.value(state);
    o->commandsFile = p.value(commands);
    o->repliesFile = p.value(replies);
    o->log = p.isSet(log);
    o->latencyMs = integer(latency, 0, 600000, 0);
    o->lateMs = integer(late, 0, 600000, 0);
    o->lateP = real(lateP, 0, 1, 1.0);
    o->dropP = real(drop, 0, 1, 0);
    o->garbageP = real(garbage, 0, 1, 0);
    o->split = p.isSet(split);
    o->pace.usbLatencyMs = integer(usbLatency, 1, 255, 0);
    o->pace.baud = integer(baud, 50, 4000000, o->pace.usbLatencyMs > 0 ? 115200 : 0);
    o->frontPanelMs = integer(frontPanel, 1, 86400000, 0);
    o->injectPath = p.value(inject);
    for (const QString &c : p.values(dropCmd)) o->dropCommands.insert(c.toLatin1());
    if (p.isSet(seed)) {
        bool good = false;
        o->seed = p.value(seed).toULongLong(&good);
        if (!good) {
            usageError("--seed needs a non-negative whole number");
            ok = false;
        }
    }

    if (p.isSet(tcp) || o->ptyPath.isEmpty()) {
        const QString where = p.isSet(tcp) ? p.value(tcp) : QStringLiteral("127.0.0.1:23");
        const int colon = where.lastIndexOf(':');
        bool good = colon > 0;
        const uint port = good ? where.mid(colon + 1).toUInt(&good) : 0;
        const QHostAddress addr(colon > 0 ? where.left(colon) : QString());
        if (!good || port > 65535 || addr.isNull()) {
            usageError("--tcp needs ADDR:PORT, for example 127.0.0.1:23");
            ok = false;
        }
        o->tcp = true;
        o->tcpAddress = addr;
        o->tcpPort = quint16(port);
    }
    return ok ? -1 : 2;
}

Simulator::Simulator(const SimOptions &options, QObject *parent)
    : QObject(parent), m_opt(options), m_model(options.device) {
    if (m_opt.seed)
        m_rng.seed(*m_opt.seed);
    else
        m_rng.seed(std::random_device{}());
    setTrafficLogging(m_opt.log);
}

Simulator::~Simulator() {
    shutdown();
    // Sessions go before the links they use.
    delete m_ptySession;
    delete m_tcpSession;
    m_ptySession = m_tcpSession = nullptr;
}

bool Simulator::start(QString *error) {
    auto openLog = [error](const QString &path, std::unique_ptr<QFile> *file) {
        if (path.isEmpty()) return true;
        QDir().mkpath(QFileInfo(path).absolutePath());
        file->reset(new QFile(path));
        if (!(*file)->open(QIODevice::WriteOnly | QIODevice::Append)) {
            *error = QStringLiteral("cannot open %1: %2").arg(path, (*file)->errorString());
            return false;
        }
        return true;
    };
    if (!openLog(m_opt.commandsFile, &m_commandsOut) || !openLog(m_opt.repliesFile, &m_repliesOut))
        return false;

    if (!m_opt.stateFile.isEmpty()) {
        QDir().mkpath(QFileInfo(m_opt.stateFile).absolutePath());
        writeState();
    }

    if (!m_opt.ptyPath.isEmpty()) {
        m_pty = PtyLink::create(m_opt.ptyPath, error, this);
        if (!m_pty) return false;
        m_ptySession = new Session(m_pty, m_opt.split, this, m_opt.pace);
        addSession(m_ptySession);
        std::fprintf(stderr, "veldra-sim: pty %s -> %s\n", qPrintable(m_opt.ptyPath),
                     qPrintable(m_pty->slavePath()));
    }

    if (m_opt.tcp) {
        m_server = new QTcpServer(this);
        if (!m_server->listen(m_opt.tcpAddress, m_opt.tcpPort)) {
            *error = QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(m_opt.tcpAddress.toString())
                         .arg(m_opt.tcpPort)
                         .arg(m_server->errorString());
            return false;
        }
        connect(m_server, &QTcpServer::newConnection, this, &Simulator::onNewTcpClient);
        std::fprintf(stderr, "veldra-sim: tcp %s:%u\n", qPrintable(m_opt.tcpAddress.toString()),
                     unsigned(m_server->serverPort()));
    }

    if (!m_opt.injectPath.isEmpty()) {
        QDir().mkpath(QFileInfo(m_opt.injectPath).absolutePath());
        QLocalServer::removeServer(m_opt.injectPath);
        m_inject = new QLocalServer(this);
        if (!m_inject->listen(m_opt.injectPath)) {
            *error = QStringLiteral("cannot listen on %1: %2")
                         .arg(m_opt.injectPath, m_inject->errorString());
            return false;
        }
        connect(m_inject, &QLocalServer::newConnection, this, &Simulator::onInjectClient);
    }

    if (m_opt.frontPanelMs > 0) {
        m_frontPanel = new QTimer(this);
        connect(m_frontPanel, &QTimer::timeout, this, &Simulator::frontPanelTick);
        m_frontPanel->start(m_opt.frontPanelMs);
    }
    std::fflush(stderr);
    return true;
}

void Simulator::shutdown() {
    if (m_pty) m_pty->removeLink();
    if (m_inject) {
        m_inject->close(); // also removes the socket file
        delete m_inject;
        m_inject = nullptr;
    }
}

void Simulator::addSession(Session *session) {
    connect(session, &Session::lineReceived, this, &Simulator::onLine);
    connect(session, &Session::sent, this,
            [this](Session *, const QByteArray &text) { appendLine(m_repliesOut.get(), text); });
}

void Simulator::onNewTcpClient() {
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        if (m_tcpSession) {
            // One client at a time: the newcomer wins, the old one is closed.
            Session *old = m_tcpSession;
            m_tcpSession = nullptr;
            old->link()->closeLink();
            old->deleteLater();
        }
        auto *link = new TcpLink(socket, nullptr);
        auto *session = new Session(link, m_opt.split, this, m_opt.pace);
        link->setParent(session);
        addSession(session);
        if (m_opt.exitAfterSec > 0) session->setIdleLimit(int(m_opt.exitAfterSec * 1000.0 + 0.5));
        connect(session, &Session::finished, this, [this](Session *s) {
            if (m_tcpSession == s) m_tcpSession = nullptr;
            s->deleteLater();
        });
        m_tcpSession = session;
    }
}

bool Simulator::chance(double p) {
    if (p <= 0) return false;
    return std::uniform_real_distribution<double>(0.0, 1.0)(m_rng) < p;
}

void Simulator::onLine(Session *session, const QByteArray &line) {
    appendLine(m_commandsOut.get(), escapeBytes(line));
    const CommandResult result = m_model.execute(line);
    writeState();

    Outgoing out;
    bool answer = !m_opt.dropCommands.contains(line) && !chance(m_opt.dropP);
    if (answer) {
        out.bytes = result.reply + '\r';
        out.logText = escapeBytes(result.reply);
        if (chance(m_opt.garbageP)) {
            out.bytes.clear();
            for (int i = 0; i < 7; ++i)
                out.bytes += char(std::uniform_int_distribution<int>(0, 255)(m_rng));
            out.logText = escapeBytes(out.bytes);
        }
    }
    out.delayMs = m_opt.latencyMs + (m_opt.lateMs > 0 && chance(m_opt.lateP) ? m_opt.lateMs : 0);
    if (result.reboot && session->link()->isTcp()) out.closeAfterMs = m_opt.rebootDropMs;
    if (answer || out.closeAfterMs >= 0) session->send(out);
}

void Simulator::broadcast(const QByteArray &bytes, const QByteArray &logText) {
    for (Session *s : {m_ptySession, m_tcpSession})
        if (s) s->send({bytes, logText, 0, -1});
}

void Simulator::onInjectClient() {
    while (QLocalSocket *client = m_inject->nextPendingConnection()) {
        connect(client, &QLocalSocket::readyRead, this,
                [this, client] { readInject(client, false); });
        // A client may write and hang up at once; what it wrote still goes out,
        // a last line without its newline included.
        connect(client, &QLocalSocket::disconnected, this, [this, client] {
            readInject(client, true);
            client->deleteLater();
        });
    }
}

void Simulator::readInject(QLocalSocket *client, bool final) {
    QList<QByteArray> lines;
    while (client->canReadLine()) lines << client->readLine();
    if (final && client->bytesAvailable() > 0) lines << client->readAll();
    for (QByteArray line : lines) {
        while (line.endsWith('\n') || line.endsWith('\r')) line.chop(1);
        if (line.isEmpty()) continue;
        if (line.startsWith("raw:")) {
            const QByteArray raw = decodeEscapes(line.mid(4));
            broadcast(raw, escapeBytes(raw));
        } else {
            broadcast(line + '\r', escapeBytes(line));
        }
    }
}

void Simulator::frontPanelTick() {
    const QByteArray announcement = m_model.frontPanelChange(m_rng);
    writeState();
    broadcast(announcement + '\r', announcement);
}

void Simulator::writeState() {
    if (m_opt.stateFile.isEmpty()) return;
    // A temporary file beside the target, renamed over it, so a reader never sees a
    // half-written state. Not synced to disk: it is written before every reply, and a
    // sync there (QSaveFile's) made each exchange wait for the disk.
    const QString temp = m_opt.stateFile + QStringLiteral(".new");
    QFile file(temp);
    const QByteArray json = m_model.toJson();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(json) != json.size() ||
        !file.flush()) {
        std::fprintf(stderr, "veldra-sim: cannot write %s: %s\n", qPrintable(m_opt.stateFile),
                     qPrintable(file.errorString()));
        return;
    }
    file.close();
    if (std::rename(QFile::encodeName(temp).constData(),
                    QFile::encodeName(m_opt.stateFile).constData()) != 0)
        std::fprintf(stderr, "veldra-sim: cannot write %s\n", qPrintable(m_opt.stateFile));
}

void Simulator::appendLine(QFile *file, const QByteArray &text) {
    if (!file) return;
    file->write(text + '\n');
    file->flush();
}

} // namespace veldra
