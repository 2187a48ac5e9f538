#include "client/session.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>
#include <cstdio>

#include "client/ports.h"
#include "link/address.h"
#include "link/connection.h"
#include "link/port_info.h"
#include "link/reconnect.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"
#include "platform/settings_place.h"
#include "platform/stop_signals.h"
#include "platform/value_list.h"
#include "protocol/command.h"
#include "protocol/status_read.h"

namespace {

// The panel's connect time-out.
constexpr int CONNECT_TIMEOUT_MS = 7000;

QString printable(const QString &text) {
    QString t;
    for (QChar c : text) t += (c.unicode() >= 32 && c.unicode() < 127) ? c : QLatin1Char('?');
    return t;
}

QString compact(const QJsonObject &o) {
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

} // namespace

Session::Session(const QString &program_folder, const QStringList &resolutions)
    : Session(program_folder, Request(), resolutions) {
    holds_link_ = true;
    req_.quiet = true;
}

Session::Session(const QString &program_folder, const Request &request,
                 const QStringList &resolutions)
    : folder_(program_folder), req_(request), resolutions_(resolutions),
      link_(std::make_unique<Connection>(program_folder)),
      x_(std::make_unique<Exchange>(*link_, *this)) {
    // Every reply the panel has a handler for is recorded (and printed while watching).
    for (int i = 0; i < REPLY_KINDS; ++i)
        x_->set_handler(static_cast<Mnemonic>(i), [this](const Reply &r) { on_reply(r); });
    // The device ends the TCP connection: the panel drops the link, so do we.
    x_->set_handler(Mnemonic::EXT, [this](const Reply &r) {
        on_reply(r);
        link_lost(QStringLiteral("the device ended the connection (%1)").arg(printable(r.text)));
    });
    // As the panel's list bounds the resolution a reply may name.
    if (!resolutions_.isEmpty()) state_.set_resolution_count(static_cast<int>(resolutions_.size()));
    // The device announcing a change while we wait is applied, not taken for our reply.
    x_->set_apply_announcements(true);
    connect(link_.get(), &Connection::lost, this, [this](const QString &why) {
        lost_why_ = why;
        if (link_->selected_link_up()) link_lost(why);
    });
    connect(link_->reconnect(), &Reconnect::restored, this, &Session::link_restored);
}

Session::~Session() {
    x_.reset();
    link_.reset();
}

void Session::print(const QString &text) {
    // Its owner answers with it (a scene list asked over MQTT or the web).
    if (holds_link_) output_ += text;
    if (req_.quiet) return;
    std::fputs(text.toUtf8().constData(), stdout);
    std::fflush(stdout);
}

void Session::complain(const QString &text) {
    complaints_ << text;
    // A program that holds the link reports for itself.
    if (holds_link_) return;
    std::fputs(("veldra-ctl: " + text + QLatin1Char('\n')).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

void Session::show_message(const QString &text, Icon) {
    // Only the exchange's refusals to send on a link that is down reach here.
    link_down_ = text;
}

void Session::device_rebooting() {
    if (!req_.quiet)
        complain(QStringLiteral("Need to re-connect Ethernet after VELDRA re-boots ready !"));
    if (holds_link_) {
        link_lost(QStringLiteral("the device reboots"));
        return;
    }
    link_->wsk_client()->close();
    link_->set_eth_connected(false);
}

void Session::link_lost(const QString &why) {
    if (holds_link_ || (watch_loop_ && req_.reconnect)) {
        // The program keeps the device: the link layer's policy (the panel's) brings the
        // link back, unless another client keeps taking it.
        const Reconnect::Loss loss = link_->reconnect()->lost();
        // A watch that never asked the device has not heard it either, yet its first loss
        // is of a link that was up.
        const bool was_up = std::exchange(device_up_, false);
        const QString told =
            loss == Reconnect::Loss::NoDevice && !was_up
                ? why + QStringLiteral(" before the device answered (a device server with no "
                                       "device behind it?); retrying every %1 s")
                            .arg(Reconnect::TCP_RETRY_MS / 1000)
            : loss == Reconnect::Loss::Taken
                ? why + QStringLiteral("; the link was taken away %1 times within a minute: "
                                       "another program may be using the device")
                            .arg(Reconnect::TAKEN_LOSSES)
                : why + QStringLiteral("; reconnecting");
        if (holds_link_) {
            emit link_down(told, loss != Reconnect::Loss::Taken);
            return;
        }
        // A server that keeps closing while the device is away is told once, not at
        // every retry.
        if (!req_.quiet && told != last_told_) complain(told);
        last_told_ = told;
        if (was_up)
            print(req_.json ? QStringLiteral("{\"link\":\"down\"}\n")
                            : QStringLiteral("link down\n"));
        if (loss == Reconnect::Loss::Taken) watch_loop_->exit(EXIT_NO_LINK);
        return;
    }
    if (link_->link_type() == LinkType::Ethernet) {
        link_->wsk_client()->close();
        link_->set_eth_connected(false);
    } else {
        link_->set_serial_open(false);
    }
    if (watch_loop_) {
        complain(why);
        watch_loop_->exit(EXIT_NO_LINK);
    }
}

void Session::link_restored() {
    x_->reset_reception();
    if (link_->link_type() == LinkType::Rs232) link_->MSComm1()->set_reception(true);
    // A server that accepts is not yet the device: the link is up once the device answers.
    probing_ = true;
    const Outcome o = x_->send_cmd(version_query());
    probing_ = false;
    if (o == Outcome::LinkDown) return; // lost again meanwhile: told by link_lost
    if (o == Outcome::NoReply) {
        link_lost(QStringLiteral("the device did not answer"));
        return;
    }
    device_up_ = true;
    last_told_.clear();
    print(req_.json ? QStringLiteral("{\"link\":\"up\"}\n") : QStringLiteral("link up\n"));
    emit link_back();
}

void Session::on_reply(const Reply &r) {
    const ReplyEffect e = apply_reply(state_, r, resolutions_);
    const QString &reply = r.text;
    described_.insert(reply, e.words);
    emit reply_seen(reply, !x_->busy() || x_->announcing());
    if (!watch_loop_ || probing_) return;
    if (req_.json)
        print(compact(effect_json(r, e)) + QLatin1Char('\n'));
    else
        print(reply + QStringLiteral("  ") + e.words + QLatin1Char('\n'));
}

int Session::resolve_link() {
    link_choice_ = req_.link;
    if (link_choice_.kind != LinkChoice::Kind::Saved) return EXIT_DONE;
    // The file the panel reads: its per-user one when that exists.
    const QString path = locate_settings_files(folder_).read;
    if (!QFileInfo::exists(path)) {
        complain(QStringLiteral("no link given: use --port or --host (the panel has saved no "
                                "settings at %1)")
                     .arg(path));
        return EXIT_USAGE;
    }
    Settings s;
    QString error;
    if (!read_settings_file(path, &s, &error)) {
        complain(error);
        return EXIT_NO_LINK;
    }
    s = with_fallbacks(s);
    if (s.link_type == 1) {
        link_choice_.kind = LinkChoice::Kind::Tcp;
        const DeviceAddress a = parse_device_address(s.address.trimmed());
        link_choice_.host = a.host;
        link_choice_.tcp_port = a.port;
        if (!well_formed_host(a.host)) {
            complain(QStringLiteral("the address the panel saved in %1 is not HOST or "
                                    "HOST:PORT: \"%2\"")
                         .arg(path, s.address));
            return EXIT_NO_LINK;
        }
    } else {
        link_choice_.kind = LinkChoice::Kind::Com;
        link_choice_.port_number = s.port_number;
    }
    return EXIT_DONE;
}

int Session::open_serial() {
    const bool by_path = link_choice_.kind == LinkChoice::Kind::Device;
    const QString device =
        by_path ? link_choice_.device : SerialPort::device_for(folder_, link_choice_.port_number);
    QString why;
    const bool ok = by_path ? link_->MSComm1()->open_device(device, &why)
                            : link_->MSComm1()->open(link_choice_.port_number, &why);
    if (!ok) {
        complain(open_failure_text(link_name(link_choice_), device, why,
                                   link_->MSComm1()->last_failure()));
        return EXIT_NO_LINK;
    }
    // As the panel's set_comm: whatever waited on the line is not a reply to us.
    link_->MSComm1()->discard_input();
    link_->MSComm1()->discard_output();
    link_->set_link_type(LinkType::Rs232);
    link_->set_serial_open(true);
    device_up_ = true;
    x_->reset_reception();
    link_->MSComm1()->set_reception(true);
    return EXIT_DONE;
}

int Session::open_tcp() {
    TcpClient *sock = link_->wsk_client();
    link_->set_link_type(LinkType::Ethernet);
    sock->set_remote(link_choice_.host, link_choice_.tcp_port);
    const QString failed = QStringLiteral("Client could not find Server. (%1: %2)");
    if (!sock->connect_to_host()) {
        complain(failed.arg(link_name(link_choice_), QStringLiteral("no address")));
        return EXIT_NO_LINK;
    }
    QEventLoop wait;
    connect(sock, &TcpClient::connected, &wait, &QEventLoop::quit);
    // A refused connection ends the attempt at once; no need to sit out the time-out.
    QTimer closed;
    connect(&closed, &QTimer::timeout, &wait, [&] {
        if (sock->is_closed()) wait.quit();
    });
    closed.start(1);
    QTimer::singleShot(CONNECT_TIMEOUT_MS, &wait, &QEventLoop::quit);
    if (!sock->is_connected()) wait.exec();
    if (!sock->is_connected()) {
        const QString why = sock->is_closed() ? sock->error_string() : QStringLiteral("time-out");
        sock->close();
        complain(failed.arg(link_name(link_choice_), why));
        return EXIT_NO_LINK;
    }
    // A banner or a refusal the server sends goes by inside the link; a loss comes as
    // the link's signal, with the server's words when it said any.
    link_->set_eth_connected(true);
    device_up_ = true;
    return EXIT_DONE;
}

int Session::exchange(const QString &cmd) {
    link_down_.clear();
    // The answer to a bound query is the bezel's maximum, whoever asked it.
    if (asks_bezel_bound(cmd)) state_.set_bezel_max_pending(true);
    Outcome o = x_->send_cmd(cmd);
    // A mode change or a preset may take the device a while: the panel waits up to
    // 5 s more for the late reply, which its reception then dispatches.
    if (slow_command(cmd) && o == Outcome::NoReply) {
        for (int i = 0; i < 10 && !x_->reply_ok() && link_->selected_link_up(); ++i)
            x_->wait_sec(0.5f);
        const QString late = x_->last_reply();
        if (x_->reply_ok() && late.size() == 6 && reply_digits_ok(late))
            o = refusal(late)                 ? Outcome::Refused
                : late.left(3) == cmd.left(3) ? Outcome::Answered
                                              : Outcome::Wrong;
    }
    if (o == Outcome::LinkDown && !link_down_.isEmpty()) {
        // Refused before sending: the link was down, for the reason the link gave.
        complain(lost_why_.isEmpty()
                     ? QStringLiteral("%1 (%2 not sent)").arg(link_down_, cmd)
                     : QStringLiteral("the link was lost: %1 (%2 not sent)").arg(lost_why_, cmd));
        return EXIT_NO_LINK;
    }
    sent_ << cmd;
    const QString reply = x_->last_reply();
    switch (o) {
    case Outcome::Answered: replies_ << reply.left(6); return EXIT_DONE;
    case Outcome::Refused:
        replies_ << reply.left(6);
        complain(QStringLiteral("the device refused %1: %2").arg(cmd, printable(reply)));
        return EXIT_REFUSED;
    case Outcome::Wrong:
        complain(QStringLiteral("wrong reply to %1: %2").arg(cmd, printable(reply)));
        return EXIT_NO_REPLY;
    case Outcome::LinkDown: {
        const QString why = x_->link_lost_reason().isEmpty() ? lost_why_ : x_->link_lost_reason();
        complain(
            reply.isEmpty()
                ? QStringLiteral("the link was lost waiting for the reply to %1: %2").arg(cmd, why)
                : QStringLiteral("the link was lost during the reply to %1 (only \"%2\" "
                                 "came): %3")
                      .arg(cmd, printable(reply), why));
        return EXIT_NO_LINK;
    }
    case Outcome::Busy:
        complain(QStringLiteral("%1 not sent: another exchange was running").arg(cmd));
        return EXIT_NO_REPLY;
    case Outcome::NoReply: break;
    }
    if (reply.isEmpty())
        complain(QStringLiteral("no reply to %1 in time: the device is silent").arg(cmd));
    else
        complain(QStringLiteral("no whole reply to %1 in time (only \"%2\" came)")
                     .arg(cmd, printable(reply)));
    return EXIT_NO_REPLY;
}

void Session::print_replies(int code) {
    if (code != EXIT_DONE && code != EXIT_REFUSED) return;
    if (req_.json) {
        print(compact({{"sent", QJsonArray::fromStringList(sent_)},
                       {"replies", QJsonArray::fromStringList(replies_)}}) +
              QLatin1Char('\n'));
        return;
    }
    for (const QString &r : replies_) {
        const QString what =
            req_.verb == Verb::Send ? QString() : described_.value(r, QStringLiteral("refused"));
        print(what.isEmpty() ? r + QLatin1Char('\n')
                             : r + QStringLiteral("  ") + what + QLatin1Char('\n'));
    }
}

int Session::run_commands(const QStringList &cmds) {
    int code = EXIT_DONE;
    // A refused step ends the chain too: an INP after a refused OUT would route
    // whatever output was selected before.
    for (const QString &c : cmds)
        if ((code = exchange(c)) != EXIT_DONE) break;
    print_replies(code);
    return code;
}

int Session::run_mode_dependent() {
    const int code = exchange(query(Mnemonic::MOD));
    if (code != EXIT_DONE) return code;
    const int mode = static_cast<int>(state_.display_mode());
    const QString refusal = mode_refusal(req_, mode);
    if (!refusal.isEmpty()) {
        complain(refusal);
        return EXIT_USAGE;
    }
    sent_.clear();
    replies_.clear();
    const QString cmd = req_.verb == Verb::Picture ? picture_command(req_.part, req_.a, req_.b,
                                                                     static_cast<DisplayMode>(mode))
                                                   : resolution_command(req_.a);
    return run_commands({cmd});
}

int Session::run_status() {
    bool refused = false;
    const int code = read_state(&refused);
    if (code != EXIT_DONE) return code;
    if (req_.json) {
        QJsonObject o = status_json(state_);
        add_venue_status(&o, venue_, state_);
        print(compact(o) + QLatin1Char('\n'));
    } else {
        print(status_text(state_, resolutions_) + venue_status_text(venue_, state_));
    }
    return refused ? EXIT_REFUSED : EXIT_DONE;
}

int Session::read_state(bool *refused_out) {
    bool &refused = *refused_out;
    refused = false;
    int code = EXIT_DONE;
    // Each query only after the previous one was answered (a refusal counts as answered).
    const Ask ask = [&](const QString &cmd, ReadStep step) {
        code = exchange(cmd);
        if (code == EXIT_REFUSED) refused = true;
        if (code == EXIT_REFUSED) code = EXIT_DONE;
        // A row's saturation may go unanswered without ending the read-back.
        if (step == ReadStep::MayFail && code == EXIT_NO_REPLY) code = EXIT_DONE;
        return code == EXIT_DONE;
    };
    state_.set_bezel_max_pending(false);
    std::optional<int> selected;
    const bool read = ask(version_query(), ReadStep::Plain) &&
                      read_settings(state_, ask, &selected) && read_routing(ask) &&
                      read_pictures(state_.display_mode(), ask);
    state_.set_bezel_max_pending(false);
    if (!read) return code;
    // Reading the routing moved the device's selected output; put it back.
    if (const std::optional<QString> back = selection_restore(state_, selected))
        if (!ask(*back, ReadStep::Plain)) return code;
    return EXIT_DONE;
}

int Session::run_network() {
    QStringList answers;
    int code = EXIT_DONE;
    for (int step = 0; step < 3 && code == EXIT_DONE; ++step) {
        link_down_.clear();
        link_->set_net_query_step(step);
        x_->send_cmd_nowait(network_query(step));
        if (!link_down_.isEmpty()) {
            complain(link_down_);
            code = EXIT_NO_LINK;
            break;
        }
        for (int i = 0; i < 51 && link_->net_query_step() != 3; ++i) x_->wait_sec(0.001f);
        if (link_->net_query_step() != 3) {
            complain(QStringLiteral("no answer to %1 in time").arg(network_query(step)));
            code = EXIT_NO_REPLY;
            break;
        }
        answers << network_text(x_->rx_buffer());
    }
    link_->set_net_query_step(std::nullopt);
    if (code != EXIT_DONE) return code;
    if (req_.json)
        print(compact({{"ip", answers[0]}, {"mask", answers[1]}, {"gateway", answers[2]}}) +
              QLatin1Char('\n'));
    else
        print(QStringLiteral("ip          %1\nmask        %2\ngateway     %3\n")
                  .arg(answers[0], answers[1], answers[2]));
    return EXIT_DONE;
}

int Session::run_watch() {
    // SIGINT, SIGTERM or SIGHUP end the watch through the event loop.
    StopSignals stop;
    if (!stop.active()) return EXIT_NO_LINK;
    QEventLoop loop;
    connect(&stop, &StopSignals::arrived, &loop, [&loop] { loop.exit(EXIT_DONE); });
    // Told on standard error, so standard output carries only replies.
    if (!req_.quiet)
        complain(QStringLiteral("watching %1; Ctrl+C ends").arg(link_name(link_choice_)));
    watch_loop_ = &loop;
    const int code = loop.exec();
    watch_loop_ = nullptr;
    return code;
}

int Session::run_ports() {
    QList<PortListing> ports;
    for (int n = 1; n <= 9; ++n) ports << list_port(folder_, n);
    print(req_.json ? compact(ports_json(ports)) + QLatin1Char('\n') : ports_text(ports));
    return EXIT_DONE;
}

int Session::run() {
    if (req_.verb == Verb::Ports) return run_ports();
    use_venue(req_.venue_file);
    if (!venue_fault_.isEmpty() && !req_.quiet)
        complain(venue_fault_ + QStringLiteral(" (going on without its names and scenes)"));
    int code = check_venue_request();
    if (code != EXIT_DONE || venue_only(req_)) return code == EXIT_DONE ? run_venue_only() : code;
    code = resolve_link();
    if (code != EXIT_DONE) return code;
    const bool tcp = link_choice_.kind == LinkChoice::Kind::Tcp;
    if (req_.verb == Verb::Network && tcp) {
        complain(QStringLiteral("network works over the serial link only (as in the panel)"));
        return EXIT_USAGE;
    }
    code = tcp ? open_tcp() : open_serial();
    if (code != EXIT_DONE) return code;
    return execute(req_);
}

int Session::open_link(const LinkChoice &link) {
    req_.link = link;
    const int code = resolve_link();
    if (code != EXIT_DONE) return code;
    return link_choice_.kind == LinkChoice::Kind::Tcp ? open_tcp() : open_serial();
}

bool Session::link_up() const { return link_->selected_link_up(); }

int Session::execute(const Request &request) {
    if (holds_link_) {
        const bool quiet = req_.quiet;
        req_ = request;
        req_.quiet = quiet;
        sent_.clear();
        replies_.clear();
        output_.clear();
        described_.clear();
        complaints_.clear();
        if (req_.verb == Verb::Network && link_->link_type() == LinkType::Ethernet) {
            complain(QStringLiteral("network works over the serial link only (as in the panel)"));
            return EXIT_USAGE;
        }
        reload_venue_if_changed();
        const int checked = check_venue_request();
        if (checked != EXIT_DONE) return checked;
        if (venue_only(req_)) return run_venue_only();
    }
    int code = EXIT_DONE;
    switch (req_.verb) {
    case Verb::SceneSave: return run_scene_save();
    case Verb::SceneRecall: return run_scene_recall();
    case Verb::Status: return run_status();
    case Verb::Network: return run_network();
    case Verb::Watch: return run_watch();
    case Verb::Picture:
    case Verb::Resolution: return run_mode_dependent();
    case Verb::Version: {
        code = exchange(version_query());
        if (code != EXIT_DONE) return code;
        if (req_.json)
            print(compact({{"version",
                            state_.version() ? QJsonValue(*state_.version()) : QJsonValue()}}) +
                  QLatin1Char('\n'));
        else
            print(shown_version(state_.version()) + QLatin1Char('\n'));
        return EXIT_DONE;
    }
    default: return run_commands(fixed_commands(req_));
    }
}

namespace {

QByteArray file_stamp(const QString &path) {
    const QFileInfo fi(path);
    if (!fi.exists()) return QByteArray();
    return QByteArray::number(fi.lastModified().toMSecsSinceEpoch()) + ' ' +
           QByteArray::number(fi.size()) + ' ' + path.toUtf8();
}

QString scene_names(const Venue &v) {
    QStringList names;
    for (const Scene &s : v.scenes) names << QLatin1Char('"') + s.name + QLatin1Char('"');
    return names.isEmpty() ? QStringLiteral("there is none") : names.join(QStringLiteral(", "));
}

} // namespace

void Session::use_venue(const QString &given) {
    venue_given_ = given;
    venue_fault_.clear();
    venue_stamp_ = file_stamp(venue_read_path(given));
    load_venue(given, &venue_, &venue_fault_);
}

void Session::reload_venue_if_changed() {
    if (file_stamp(venue_read_path(venue_given_)) == venue_stamp_) return;
    const QByteArray before = format_venue(venue_);
    use_venue(venue_given_);
    if (format_venue(venue_) != before) emit venue_changed();
}

int Session::check_venue_request() {
    QString error;
    if (!resolve_route_names(&req_, venue_, &error)) {
        complain(error);
        return EXIT_USAGE;
    }
    const bool named = req_.verb == Verb::SceneRecall || req_.verb == Verb::SceneShow ||
                       req_.verb == Verb::SceneDelete;
    if (named && venue_.scene_index(req_.text) < 0) {
        complain(QStringLiteral("no scene \"%1\" in the venue; the scenes: %2")
                     .arg(req_.text, scene_names(venue_)));
        return EXIT_USAGE;
    }
    const bool writes =
        req_.verb == Verb::SceneSave || req_.verb == Verb::SceneDelete || req_.verb == Verb::Name;
    if (writes && !venue_fault_.isEmpty()) {
        // Written over, the operator's file would be lost with whatever they meant in it.
        complain(venue_fault_ + QStringLiteral(": mend it first; nothing was changed"));
        return EXIT_VENUE;
    }
    return EXIT_DONE;
}

int Session::store_venue(const Venue &changed) {
    QString error;
    if (!write_venue_file(venue_write_path(venue_given_), changed, &error)) {
        complain(QStringLiteral("the venue file could not be written, it is as it was: ") + error);
        return EXIT_VENUE;
    }
    venue_ = changed;
    venue_stamp_ = file_stamp(venue_read_path(venue_given_));
    emit venue_changed();
    return EXIT_DONE;
}

int Session::run_venue_only() {
    Venue v = venue_;
    const int i = v.scene_index(req_.text);
    switch (req_.verb) {
    case Verb::SceneList: {
        static const char *const modes[3] = {"matrix", "dual", "2x2"};
        QJsonArray list;
        QString text;
        for (const Scene &s : v.scenes) {
            list.append(QJsonObject{{"name", s.name}, {"mode", s.mode}});
            text += QStringLiteral("%1  (%2)\n").arg(s.name, QLatin1String(modes[s.mode - 1]));
        }
        print(req_.json ? compact({{"scenes", list}}) + QLatin1Char('\n') : text);
        return EXIT_DONE;
    }
    case Verb::SceneShow:
        print(QString::fromUtf8(
                  QJsonDocument(scene_to_json(v.scenes[i]))
                      .toJson(req_.json ? QJsonDocument::Compact : QJsonDocument::Indented))
                  .trimmed() +
              QLatin1Char('\n'));
        return EXIT_DONE;
    case Verb::SceneDelete: {
        const QString name = v.scenes[i].name;
        v.scenes.removeAt(i);
        const int code = store_venue(v);
        if (code == EXIT_DONE)
            print(req_.json ? compact({{"scene", name}, {"deleted", true}}) + QLatin1Char('\n')
                            : QStringLiteral("scene \"%1\" deleted\n").arg(name));
        return code;
    }
    case Verb::Name: {
        auto &names = req_.a == 0 ? v.inputs : v.outputs;
        const QString what = req_.a == 0 ? QStringLiteral("input") : QStringLiteral("output");
        // Two ports of one name would make that name useless for routing.
        for (int n = 1; n <= 4; ++n)
            if (n != req_.b && !req_.text.isEmpty() &&
                names[n - 1].compare(req_.text, Qt::CaseInsensitive) == 0) {
                complain(QStringLiteral("%1 %2 is already named \"%3\"")
                             .arg(what)
                             .arg(n)
                             .arg(names[n - 1]));
                return EXIT_USAGE;
            }
        names[req_.b - 1] = req_.text;
        const int code = store_venue(v);
        if (code == EXIT_DONE)
            print(req_.json ? compact({{what, req_.b},
                                       {"name", req_.text.isEmpty() ? QJsonValue()
                                                                    : QJsonValue(req_.text)}}) +
                                  QLatin1Char('\n')
                            : QStringLiteral("%1 %2: %3\n")
                                  .arg(what)
                                  .arg(req_.b)
                                  .arg(req_.text.isEmpty()
                                           ? QStringLiteral("no name")
                                           : QLatin1Char('"') + req_.text + QLatin1Char('"')));
        return code;
    }
    default: return EXIT_USAGE;
    }
}

int Session::run_scene_save() {
    bool refused = false;
    const int code = read_state(&refused);
    if (code != EXIT_DONE) return code;
    QString missing;
    std::optional<Scene> scene = capture_scene(state_, req_.text, &missing);
    if (!scene) {
        complain(QStringLiteral("the device did not report %1: scene \"%2\" not saved")
                     .arg(missing, req_.text));
        return EXIT_NO_REPLY;
    }
    Venue v = venue_;
    const int i = v.scene_index(req_.text);
    if (i >= 0)
        v.scenes[i] = *scene; // saved again under the name as typed now
    else
        v.scenes << *scene;
    const int stored = store_venue(v);
    if (stored != EXIT_DONE) return stored;
    print(req_.json ? compact({{"scene", scene->name}, {"saved", scene_to_json(*scene)}}) +
                          QLatin1Char('\n')
                    : QStringLiteral("scene \"%1\" saved\n").arg(scene->name));
    return EXIT_DONE;
}

int Session::run_scene_steps(const QList<SceneStep> &steps) {
    for (const SceneStep &step : steps) {
        for (const QString &c : step.set)
            if (const int code = exchange(c); code != EXIT_DONE) return code;
        if (const int code = exchange(step.query); code != EXIT_DONE) return code;
    }
    return EXIT_DONE;
}

int Session::run_scene_recall() {
    const Scene scene = venue_.scenes[venue_.scene_index(req_.text)];
    bool refused = false;
    int code = read_state(&refused);
    if (code != EXIT_DONE) return code;
    sent_.clear();
    replies_.clear();
    const QList<SceneStep> mode = scene_mode_steps(scene, state_);
    if ((code = run_scene_steps(mode)) != EXIT_DONE) return code;
    // The rest is compared in the new mode, whose picture rows the first read may not have.
    if (!mode.isEmpty() && (code = read_state(&refused)) != EXIT_DONE) return code;
    const QStringList changed =
        (mode.isEmpty() ? QStringList() : QStringList{QStringLiteral("mode")}) +
        scene_differences(scene, state_);
    if ((code = run_scene_steps(scene_setting_steps(scene, state_))) != EXIT_DONE) return code;
    // What the read-back queries found, against what the scene holds.
    const QStringList left = scene_differences(scene, state_);
    if (!left.isEmpty()) {
        complain(QStringLiteral("the device did not take %1 of scene \"%2\"")
                     .arg(left.join(QStringLiteral(", ")), scene.name));
        code = EXIT_REFUSED;
    }
    if (req_.json)
        print(compact({{"scene", scene.name},
                       {"changed", QJsonArray::fromStringList(changed)},
                       {"sent", QJsonArray::fromStringList(sent_)},
                       {"replies", QJsonArray::fromStringList(replies_)}}) +
              QLatin1Char('\n'));
    else if (changed.isEmpty())
        print(QStringLiteral("scene \"%1\": the device is in it already\n").arg(scene.name));
    else
        print(QStringLiteral("scene \"%1\" recalled: %2\n")
                  .arg(scene.name, changed.join(QStringLiteral(", "))));
    return code;
}
