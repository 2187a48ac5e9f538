#pragma once
// One run of veldra-ctl: opens the link, makes the request's exchanges through the
// panel's own Exchange and prints the outcome. No widgets. A program that holds the
// link for long (veldra-mqtt) keeps one Session and executes request after request.

#include <QHash>
#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>

#include "client/report.h"
#include "client/request.h"
#include "platform/venue.h"
#include "protocol/device_state.h"
#include "protocol/exchange.h"
#include "protocol/scene_plan.h"

class Connection;
class QEventLoop;
class QTimer;

class Session : public QObject, public ExchangeHost {
    Q_OBJECT
public:
    Session(const QString &program_folder, const Request &request, const QStringList &resolutions);
    // A session that holds its link for many requests; it prints nothing (its owner reads
    // complaints()).
    Session(const QString &program_folder, const QStringList &resolutions);
    ~Session() override;
    // The exit status of the run.
    int run();

    // Opens `link` (Saved: the panel's settings file); EXIT_DONE, EXIT_USAGE or EXIT_NO_LINK.
    int open_link(const LinkChoice &link);
    bool link_up() const;
    // Carries out one request on the open link (its link and output options are ignored
    // when the session holds its link); the outcome is in sent(), replies(), complaints(),
    // and what veldra-ctl would have printed in output().
    int execute(const Request &request);
    const QStringList &sent() const { return sent_; }
    const QString &output() const { return output_; }
    const QStringList &replies() const { return replies_; }
    const QStringList &complaints() const { return complaints_; }
    // Reads the venue file (`given`, else the per-user or system one); a broken one leaves
    // the venue empty and says why in venue_fault(). A session that holds its link reads
    // it again before a request when the file changed.
    void use_venue(const QString &given);
    const Venue &venue() const { return venue_; }
    const QString &venue_fault() const { return venue_fault_; }
    // What the replies so far say about the device (its `changed` signal follows them).
    DeviceState &state() { return state_; }
    Exchange &exchange() { return *x_; }

    void clear_log() override {}
    void append_log(const QString &) override {}
    void show_message(const QString &text, Icon icon) override;
    void device_rebooting() override;

signals:
    // A reply was dispatched; `unsolicited` when no command of ours was waiting for it.
    void reply_seen(const QString &reply, bool unsolicited);
    // The link went down (closed by the device, the cable, a reboot) while the session
    // holds it; `retrying` unless another client took it too often (see Reconnect).
    void link_down(const QString &why, bool retrying);
    // The link layer brought it back.
    void link_back();
    // The venue's names or scenes changed (a request here, or the file read again).
    void venue_changed();

private:
    int resolve_link();
    int open_serial();
    int open_tcp();
    // One exchange as the panel makes it, judged: EXIT_DONE, EXIT_REFUSED (ERR),
    // EXIT_NO_REPLY or EXIT_NO_LINK. Reasons go to standard error.
    int exchange(const QString &cmd);
    int run_commands(const QStringList &cmds);
    int run_mode_dependent();
    int run_status();
    // The full status read into state_; `refused` when an ERR answered a query.
    int read_state(bool *refused);
    // Requests on the venue: refusals before anything is sent, then the requests.
    int check_venue_request();
    int run_venue_only();
    int run_scene_save();
    int run_scene_recall();
    int run_scene_steps(const QList<SceneStep> &steps);
    // Writes `changed` as the venue; EXIT_DONE, or EXIT_VENUE with the reason told.
    int store_venue(const Venue &changed);
    void reload_venue_if_changed();
    int run_network();
    int run_watch();
    int run_ports();
    void on_reply(const Reply &reply);
    void link_lost(const QString &why);
    void link_restored();
    void print(const QString &text);
    void complain(const QString &text);
    void print_replies(int code);

    QString folder_;
    bool holds_link_ = false;
    QStringList complaints_;
    Request req_;
    QStringList resolutions_;
    LinkChoice link_choice_;
    std::unique_ptr<Connection> link_;
    std::unique_ptr<Exchange> x_;
    // What the device reported, read by the panel's own rules.
    DeviceState state_;
    QString link_down_;      // the message of a send refused because the link is down
    QString lost_why_;       // why the link was last lost, as the link told it
    bool device_up_ = false; // the device answered since the link last came up
    QString last_told_;      // the last loss told while the device stays away
    bool probing_ = false;   // the query that tells a link back is the device's
    QStringList sent_, replies_;
    QString output_; // the printout of a request, kept by a session that holds its link
    // What each reply did, in words, for the printout of a command's replies.
    QHash<QString, QString> described_;
    QEventLoop *watch_loop_ = nullptr;
    Venue venue_;
    QString venue_given_, venue_fault_;
    QByteArray venue_stamp_; // the read file's time and size when it was read
};
