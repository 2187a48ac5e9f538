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
#include "protocol/device_state.h"
#include "protocol/exchange.h"

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
    // when the session holds its link); the outcome is in sent(), replies(), complaints().
    int execute(const Request &request);
    const QStringList &sent() const { return sent_; }
    const QStringList &replies() const { return replies_; }
    const QStringList &complaints() const { return complaints_; }
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
    int run_network();
    int run_watch();
    int run_ports();
    void on_reply(const Reply &reply);
    void wait_for_greeting();
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
    QTimer *link_watch_ = nullptr;
    // What the device reported, read by the panel's own rules.
    DeviceState state_;
    QString link_down_; // the message of a send refused because the link is down
    QStringList sent_, replies_;
    // What each reply did, in words, for the printout of a command's replies.
    QHash<QString, QString> described_;
    QEventLoop *watch_loop_ = nullptr;
};
