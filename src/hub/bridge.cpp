#include "hub/bridge.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <cstdio>

#include "link/reconnect.h"
#include "platform/stop_signals.h"
#include "platform/venue.h"
#include "protocol/command.h"

namespace {
// Between two attempts to reach a device that went away.
constexpr int DEVICE_RETRY_MS = 2000;
// After a client's OUT, its INP comes before anybody else's command (the device routes
// the output selected last).
constexpr int HOLD_MS = 300;
// Time to have the last messages acknowledged before leaving the broker.
constexpr int FINISH_MS = 2000;
// A device that does not answer is asked again this often.
constexpr int REREAD_MS = 2000;
// The longest command payload: far above any real command, so a flood is refused whole
// (never cut into something that runs), and quoted back only in part.
constexpr int PAYLOAD_MAX = 256;
constexpr int QUOTE_MAX = 64;

QString quoted(const QByteArray &payload) {
    if (payload.size() <= QUOTE_MAX) return QString::fromUtf8(payload);
    return QString::fromUtf8(payload.left(QUOTE_MAX)) +
           QStringLiteral("... (%1 bytes)").arg(payload.size());
}

QByteArray compact(const QJsonObject &o) { return QJsonDocument(o).toJson(QJsonDocument::Compact); }

} // namespace

Bridge::Bridge(const QString &program_folder, const BridgeOptions &options,
               const QStringList &resolutions, const QString &list_fault)
    : opt_(options), resolutions_(resolutions), list_fault_(list_fault), topics_(options.id),
      session_(program_folder, resolutions) {
    retry_.setSingleShot(true);
    retry_.setInterval(DEVICE_RETRY_MS);
    connect(&retry_, &QTimer::timeout, this, &Bridge::device_connect);
    poll_.setInterval(qMax(1, opt_.poll_s) * 1000);
    connect(&poll_, &QTimer::timeout, this, &Bridge::request_read);
    // Replies that come together are published together.
    state_soon_.setSingleShot(true);
    state_soon_.setInterval(0);
    connect(&state_soon_, &QTimer::timeout, this, [this] { publish_state(false); });
    reread_.setSingleShot(true);
    reread_.setInterval(REREAD_MS);
    connect(&reread_, &QTimer::timeout, this, [this] {
        if (link_up_ && !answering_ && !read_queued())
            enqueue({Job::Kind::Read, {}, {}, !read_done_});
    });
    hold_.setSingleShot(true);
    connect(&hold_, &QTimer::timeout, this, [this] {
        hold_client_.clear();
        drain();
    });

    session_.use_venue(opt_.venue_file);
    if (!session_.venue_fault().isEmpty())
        log(session_.venue_fault() + QStringLiteral(" (going on without its names and scenes)"));
    // New names or scenes change the entities: Home Assistant reads the discovery again.
    connect(&session_, &Session::venue_changed, this, [this] {
        if (mqtt_.is_connected()) publish_discovery();
        state_changed();
    });
    connect(&session_, &Session::reply_seen, this, &Bridge::reply_seen);
    connect(&session_.state(), &DeviceState::changed, this, &Bridge::state_changed);
    connect(&session_, &Session::link_down, this, &Bridge::device_lost);
    connect(&session_, &Session::link_back, this, &Bridge::device_up);
    connect(&mqtt_, &MqttClient::connected, this, &Bridge::broker_connected);
    connect(&mqtt_, &MqttClient::disconnected, this, [this](const QString &why) {
        if (!stopping_) log(QStringLiteral("broker connection lost: ") + why);
    });
    connect(&mqtt_, &MqttClient::message, this, &Bridge::broker_message);
    // Said once, not at every retry.
    connect(&mqtt_, &MqttClient::attempt_failed, this, [this](const QString &why) {
        if (why == broker_failure_) return;
        broker_failure_ = why;
        log(QStringLiteral("broker %1:%2 not reached (%3); trying every 2 s")
                .arg(opt_.broker_host)
                .arg(opt_.broker_port)
                .arg(why));
    });
    connect(&share_, &SharePort::line, this, [this](QTcpSocket *c, const QString &text) {
        enqueue({Job::Kind::Share, text, c, false});
    });
    web_.set_runner([this](const QStringList &words, const WebServer::Done &done) {
        enqueue({Job::Kind::Command, words.join(QLatin1Char(' ')), {}, false, words, done});
    });
    connect(&share_, &SharePort::client_gone, this, [this](QTcpSocket *c) {
        if (hold_client_ == c) hold_client_.clear();
    });
}

Bridge::~Bridge() = default;

void Bridge::log(const QString &text) const {
    std::fputs(
        (opt_.program + QStringLiteral(": ") + text + QLatin1Char('\n')).toUtf8().constData(),
        stderr);
    std::fflush(stderr);
}

int Bridge::run() {
    StopSignals stop;
    if (!stop.active()) {
        log(QStringLiteral("cannot catch the stop signals"));
        return EXIT_NO_LINK;
    }
    MqttSettings s;
    s.host = opt_.broker_host;
    s.port = opt_.broker_port;
    s.client_id = QStringLiteral("veldra-mqtt-") + opt_.id;
    s.username = opt_.username;
    s.cafile = opt_.cafile;
    if (!opt_.password_file.isEmpty()) {
        QFile f(opt_.password_file);
        if (!f.open(QIODevice::ReadOnly)) {
            log(QStringLiteral("cannot read the password file %1: %2")
                    .arg(opt_.password_file, f.errorString()));
            return EXIT_USAGE;
        }
        s.password = QString::fromUtf8(f.readLine()).remove(QRegularExpression("[\r\n]+$"));
    }
    if (opt_.remove_discovery) {
        QString error;
        if (!mqtt_.start(s, &error)) {
            log(error);
            return EXIT_USAGE;
        }
        return remove_discovery();
    }
    s.will_topic = topics_.availability();
    s.will_payload = "offline";
    QString error;
    if (!opt_.share_host.isEmpty() && !share_.listen(opt_.share_host, opt_.share_port, &error)) {
        log(error);
        return EXIT_NO_LINK;
    }
    if (!opt_.http_host.isEmpty()) {
        QString token;
        if (!opt_.http_token_file.isEmpty()) {
            QFile f(opt_.http_token_file);
            if (!f.open(QIODevice::ReadOnly)) {
                log(QStringLiteral("cannot read the token file %1: %2")
                        .arg(opt_.http_token_file, f.errorString()));
                return EXIT_USAGE;
            }
            token = QString::fromUtf8(f.readLine()).trimmed();
            if (token.size() < 16) {
                log(QStringLiteral("the token in %1 is shorter than 16 characters")
                        .arg(opt_.http_token_file));
                return EXIT_USAGE;
            }
        }
        if (!web_.start(opt_.http_host, opt_.http_port, token, &error)) {
            log(error);
            return EXIT_NO_LINK;
        }
    }
    if (opt_.broker_given && !mqtt_.start(s, &error)) {
        log(error);
        return EXIT_USAGE;
    }

    QEventLoop loop;
    loop_ = &loop;
    connect(&stop, &StopSignals::arrived, &loop, [this, &loop] { stop_now(loop); });
    QTimer::singleShot(0, this, &Bridge::device_connect);
    if (opt_.poll_s > 0) poll_.start();
    const int code = loop.exec();
    loop_ = nullptr;
    stopping_ = true;
    retry_.stop();
    poll_.stop();
    reread_.stop();
    // Said before leaving: a clean disconnect makes the broker drop the last will.
    mqtt_.publish(topics_.availability(), "offline", true);
    mqtt_.finish(FINISH_MS);
    share_.set_open(false);
    return code;
}

// Whatever runs ends now: the exchange chain at its next wait, and every wait under way
// (a connection attempt, a status read) returns to this loop at once.
void Bridge::stop_now(QEventLoop &loop) {
    stopping_ = true;
    session_.exchange().stop();
    QCoreApplication::exit(EXIT_DONE);
    loop.exit(EXIT_DONE);
}

int Bridge::remove_discovery() {
    QEventLoop loop;
    connect(&mqtt_, &MqttClient::connected, &loop, [&] {
        for (const QString &topic : discovery_topics(opt_.discovery_prefix, opt_.id))
            mqtt_.publish(topic, QByteArray(), true);
        mqtt_.publish(topics_.state(), QByteArray(), true);
        mqtt_.publish(topics_.availability(), QByteArray(), true);
        loop.exit(EXIT_DONE);
    });
    QTimer::singleShot(10000, &loop, [&] { loop.exit(EXIT_NO_LINK); });
    const int code = loop.exec();
    if (code != EXIT_DONE) {
        log(QStringLiteral("the broker %1:%2 did not answer")
                .arg(opt_.broker_host)
                .arg(opt_.broker_port));
        return code;
    }
    mqtt_.finish(FINISH_MS);
    return EXIT_DONE;
}

// --- the device link -------------------------------------------------------------------

void Bridge::device_connect() {
    if (stopping_ || link_up_) return;
    // Not in the middle of a command's wait: try again when it has ended.
    if (working_) {
        retry_.start();
        return;
    }
    connecting_ = true;
    const int code = session_.open_link(opt_.link);
    connecting_ = false;
    if (stopping_) return;
    if (code == EXIT_USAGE && first_attempt_ && loop_) {
        // No link given and none saved: nothing to retry.
        log(session_.complaints().join(QStringLiteral("; ")));
        loop_->exit(EXIT_USAGE);
        return;
    }
    if (code != EXIT_DONE) {
        if (first_attempt_ || retry_.interval() != DEVICE_RETRY_MS)
            log(QStringLiteral("device not reached (%1); trying every %2 s")
                    .arg(session_.complaints().join(QStringLiteral("; ")))
                    .arg(DEVICE_RETRY_MS / 1000));
        first_attempt_ = false;
        retry_.start(DEVICE_RETRY_MS);
        return;
    }
    first_attempt_ = false;
    device_up();
}

void Bridge::device_up() {
    if (link_up_ || stopping_) return;
    link_up_ = true;
    read_done_ = answering_ = silence_told_ = false;
    log(QStringLiteral("device link up"));
    share_.set_open(true);
    jobs_.prepend({Job::Kind::Read, {}, {}, true});
    drain();
}

void Bridge::device_lost(const QString &why, bool retrying) {
    if (!link_up_) return;
    link_up_ = false;
    read_done_ = answering_ = silence_told_ = false;
    reread_.stop();
    share_.set_open(false);
    publish_availability();
    // `why` already says what follows: reconnecting, retrying a server with no device
    // behind it, or another program taking the link.
    if (retrying) {
        // The link layer's policy (the panel's) tries again: TCP every 2 s, serial as
        // soon as the device is back.
        log(QStringLiteral("device link down: %1").arg(why));
        return;
    }
    log(QStringLiteral("device link down: %1; trying again in a minute").arg(why));
    if (!stopping_) retry_.start(Reconnect::TAKEN_WINDOW_MS);
}

// --- jobs, one at a time ---------------------------------------------------------------

void Bridge::enqueue(const Job &job) {
    jobs_.append(job);
    // Never from inside the caller (a library callback, a socket's signal): the job's
    // exchanges run the event loop.
    QMetaObject::invokeMethod(this, &Bridge::drain, Qt::QueuedConnection);
}

int Bridge::next_job() const {
    if (!hold_client_) return jobs_.isEmpty() ? -1 : 0;
    for (int i = 0; i < jobs_.size(); ++i)
        if (jobs_[i].kind == Job::Kind::Share && jobs_[i].client == hold_client_) return i;
    return -1;
}

void Bridge::drain() {
    if (working_ || connecting_) return;
    working_ = true;
    for (int i = next_job(); i >= 0 && !stopping_; i = next_job()) {
        const Job job = jobs_.takeAt(i);
        run_job(job);
        // A read to come would only complete what this state says.
        if (!read_queued()) publish_state(false);
    }
    working_ = false;
}

void Bridge::run_job(const Job &job) {
    switch (job.kind) {
    case Job::Kind::Command: run_command(job); break;
    case Job::Kind::Share: run_share(job); break;
    case Job::Kind::Read: run_read(job.fresh); break;
    }
}

void Bridge::run_read(bool fresh) {
    if (!link_up_) return;
    if (fresh) {
        read_done_ = false;
        session_.state().reset();
    }
    Request r;
    r.verb = Verb::Status;
    const int code = session_.execute(r);
    if (!link_up_ || stopping_) return;
    if (code != EXIT_DONE && code != EXIT_REFUSED) {
        // A link that accepts is not a device that answers: nothing is online, and no
        // state of nulls goes out. A poll spoilt by one odd reply changes nothing.
        const QString why = session_.complaints().join(QStringLiteral("; "));
        if (fresh || !answering_ || session_.exchange().unanswered() > 0)
            device_silent(why);
        else
            log(QStringLiteral("status read: ") + why);
        return;
    }
    if (!answering_ && silence_told_) log(QStringLiteral("the device answers again"));
    answering_ = true;
    silence_told_ = false;
    reread_.stop();
    const bool first = !read_done_;
    read_done_ = true;
    if (first) publish_state(true);
    publish_availability();
}

void Bridge::device_silent(const QString &why) {
    if (!silence_told_)
        log(QStringLiteral("no full answer from the device (%1); offline until it answers, "
                           "asking every %2 s")
                .arg(why)
                .arg(REREAD_MS / 1000));
    silence_told_ = true;
    answering_ = false;
    publish_availability();
    if (!reread_.isActive() && !stopping_) reread_.start();
}

void Bridge::judge_answer(int code) {
    // The exchange counts commands that got no text at all; a wrong reply is still a
    // device talking.
    if (code == EXIT_NO_REPLY && session_.exchange().unanswered() > 0 && link_up_)
        device_silent(session_.complaints().join(QStringLiteral("; ")));
}

void Bridge::run_command(const Job &job) {
    const QString &text = job.text;
    const QStringList words =
        job.done ? job.words : text.split(QRegularExpression("\\s+"), Qt::SkipEmptyParts);
    Request r;
    QString error;
    int code = EXIT_USAGE;
    QStringList sent, replies;
    QString output;
    if (words.isEmpty()) {
        error = QStringLiteral("no command given");
    } else if (std::any_of(words.begin(), words.end(),
                           [](const QString &w) { return w.startsWith(QLatin1Char('-')); })) {
        error = QStringLiteral("a command here takes no options");
    } else if (parse_request(words, int(resolutions_.size()), &r, &error, list_fault_)) {
        if (r.verb == Verb::Help || r.verb == Verb::Watch || r.verb == Verb::Ports) {
            error = QStringLiteral("%1 is not a device command; the state topic follows the "
                                   "device")
                        .arg(words.first());
        } else if (!link_up_) {
            code = EXIT_NO_LINK;
            error = QStringLiteral("the device link is down (retrying)");
        } else {
            code = session_.execute(r);
            judge_answer(code);
            sent = session_.sent();
            if (std::any_of(sent.begin(), sent.end(), changes_much)) request_read();
            replies = session_.replies();
            output = session_.output();
            error = session_.complaints().join(QStringLiteral("; "));
            pass_on(sent, replies, nullptr);
        }
    }
    // Cut short by a stop: its outcome would be the stop's, not the device's.
    if (stopping_) return;
    const QByteArray result = result_json(text, code, sent, replies, error, output);
    if (job.done) {
        // The state this command made goes out before its answer.
        if (!read_queued()) publish_state(false);
        job.done(code, result);
    } else {
        mqtt_.publish(topics_.result(), result, false);
    }
}

void Bridge::pass_on(const QStringList &sent, const QStringList &replies, QTcpSocket *except) {
    // A setting is echoed by the device; a query's answer (9xx) changed nothing.
    static const QRegularExpression query(QStringLiteral("^[A-Z]{3}9[0-9]{2}$"));
    for (const QString &r : replies)
        if (sent.contains(r) && !query.match(r).hasMatch())
            share_.broadcast(r.toLatin1() + '\r', except);
}

void Bridge::run_share(const Job &job) {
    if (!link_up_ || !job.client) return;
    if (hold_client_ == job.client) hold_client_.clear();
    static const QRegularExpression shape(QStringLiteral("^[A-Z]{3}[0-9]{3}$"));
    // Anything else the device would refuse; the client hears nothing, as from a device
    // that did not understand.
    if (!shape.match(job.text).hasMatch()) return;
    Request r;
    r.verb = Verb::Send;
    r.mnemonic = job.text;
    judge_answer(session_.execute(r));
    if (changes_much(job.text)) request_read();
    pass_on(session_.sent(), session_.replies(), job.client);
    if (!session_.replies().isEmpty())
        share_.send(job.client, session_.replies().last().toLatin1() + '\r');
    if (selected_by(job.text)) {
        hold_client_ = job.client;
        hold_.start(HOLD_MS);
    }
}

bool Bridge::read_queued() const {
    return std::any_of(jobs_.begin(), jobs_.end(),
                       [](const Job &j) { return j.kind == Job::Kind::Read; });
}

void Bridge::request_read() {
    if (link_up_ && read_done_ && !read_queued()) enqueue({Job::Kind::Read, {}, {}, false});
}

void Bridge::reply_seen(const QString &reply, bool unsolicited) {
    if (unsolicited) share_.broadcast(reply.toLatin1() + '\r');
    // The front panel changed the mode or recalled a preset.
    if (unsolicited && changes_much(reply)) request_read();
}

void Bridge::state_changed() {
    // Within a job the state goes out when the job ends; a read to come would only
    // complete it.
    if (!working_ && !connecting_ && !read_queued()) state_soon_.start();
}

// --- the broker ------------------------------------------------------------------------

void Bridge::broker_connected() {
    log(QStringLiteral("broker %1:%2 connected").arg(opt_.broker_host).arg(opt_.broker_port));
    broker_failure_.clear();
    for (const QString &t : topics_.subscriptions()) mqtt_.subscribe(t);
    last_discovery_.clear();
    publish_discovery();
    publish_state(true);
    publish_availability(true);
}

void Bridge::refuse(const QString &quoted, const QString &error) {
    mqtt_.publish(topics_.result(), result_json(quoted, EXIT_USAGE, {}, {}, error), false);
}

void Bridge::broker_message(const QString &topic, const QByteArray &payload, bool retained) {
    // A retained command would run again at every start and broker reconnection, undoing
    // whatever happened since.
    if (retained) {
        if (!retained_told_)
            log(QStringLiteral("ignoring retained messages on the command topics (first on %1); "
                               "a command runs only when published. Clear one with: "
                               "mosquitto_pub -r -n -t %1")
                    .arg(topic));
        retained_told_ = true;
        return;
    }
    if (payload.size() > PAYLOAD_MAX) {
        refuse(quoted(payload), QStringLiteral("a command is at most %1 bytes, this one has %2")
                                    .arg(PAYLOAD_MAX)
                                    .arg(payload.size()));
        return;
    }
    // Numbers in a topic are written plainly: no blank, sign or leading zero.
    static const QRegularExpression output_topic(QStringLiteral("^output/([^/]*)/set$"));
    static const QRegularExpression plain(QStringLiteral("^[1-9][0-9]{0,2}$"));
    const QRegularExpressionMatch m = output_topic.match(topic.mid(topics_.base().size()));
    if (topic.startsWith(topics_.base()) && m.hasMatch() &&
        !plain.match(m.captured(1)).hasMatch()) {
        refuse(
            quoted(payload),
            QStringLiteral("the output in %1 must be 1..4, not \"%2\"").arg(topic, m.captured(1)));
        return;
    }
    QString command, error;
    if (topic == topics_.command()) {
        command = QString::fromUtf8(payload).trimmed();
    } else if (!venue_topic_command(topics_, topic, payload, session_.venue(), &command, &error) &&
               !set_topic_command(topics_, topic, payload, resolutions_, &command, &error)) {
        return;
    }
    if (!error.isEmpty()) {
        refuse(quoted(payload), error);
        return;
    }
    enqueue({Job::Kind::Command, command, {}, false});
}

// --- what is published -----------------------------------------------------------------

// The one place the published state is read from: the session's DeviceState through
// veldra-ctl's own JSON, so the state topic carries exactly what `veldra-ctl status --json`
// prints.
QJsonObject Bridge::state_json() {
    QJsonObject o = status_json(session_.state());
    add_venue_status(&o, session_.venue(), session_.state());
    return o;
}

void Bridge::publish_discovery() {
    const DeviceState &s = session_.state();
    Discovery d;
    d.prefix = opt_.discovery_prefix;
    d.id = opt_.id;
    d.origin_version = QStringLiteral(TEVRAL_VERSION);
    d.resolutions = resolutions_;
    d.firmware = s.version();
    d.venue = session_.venue();
    // The entities follow the mode (its picture rows), the device block the firmware, the
    // names and the scene select the venue.
    const QPair<QString, QByteArray> m = discovery_message(d, s.display_mode());
    if (m.second != last_discovery_ && !mqtt_.publish(m.first, m.second, true)) return;
    last_discovery_ = m.second;
    discovery_for_ = discovery_inputs();
}

// Of the device's values only the mode and the firmware shape the discovery (the venue
// publishes it on its own change): building it for every state costs more than all else.
QString Bridge::discovery_inputs() {
    const DeviceState &s = session_.state();
    return QStringLiteral("%1 %2").arg(int(s.display_mode())).arg(s.version().value_or(-1));
}

// The web's state: the status JSON and the venue's scene names, so the page can offer them.
void Bridge::update_web() {
    QJsonObject state = state_json();
    QJsonArray scenes;
    for (const Scene &scene : session_.venue().scenes) scenes.append(scene.name);
    state.insert(QStringLiteral("scenes"), scenes);
    web_.set_state(state, link_up_ && read_done_ && answering_);
}

void Bridge::publish_state(bool force) {
    if (!read_done_) return;
    update_web();
    if (discovery_inputs() != discovery_for_) publish_discovery();
    const QByteArray json = compact(state_json());
    if (!force && json == last_state_) return;
    if (mqtt_.publish(topics_.state(), json, true)) last_state_ = json;
}

void Bridge::publish_availability(bool force) {
    update_web();
    const QByteArray now = link_up_ && read_done_ && answering_ ? "online" : "offline";
    if (!force && now == availability_) return;
    if (mqtt_.publish(topics_.availability(), now, true)) availability_ = now;
}
