// Soak: a long, seeded run of random operator actions on the real panel while two
// simulated devices (one on a pseudo-terminal, one on TCP) drop, garble, split and
// delay their replies, change settings from their front panel, and are killed and
// restarted now and then. Some actions are fired from timers so that they run nested
// inside the wait of another action's exchange.
//
// It asserts that the panel never crashes or hangs, that every action returns within a
// bound, that event pumps nest only to a bounded depth and that every message box gets
// closed. Then the faults stop: both devices are restarted without faults (and given
// back the state they had), the panel connects to each in turn, and one full refresh at
// full height must bring every mirrored control in line with the device.
//
// Environment:
//   SOAK_SEED             seed of the run (default 1)
//   SOAK_ACTIONS          top-level operator actions (default 180, under a minute)
//   SOAK_ACTION_LIMIT_MS  bound on one action, nested actions included (default 20000)
//   SOAK_HANG_MS          a watchdog aborts the run after this long in one action (120000)
//   SOAK_LOG=1            print every action as it starts
//   SOAK_TCP_ADDR, SOAK_SETUP_ADDR  loopback addresses (127.0.0.70, 127.0.0.71)
//
// The same seed makes the same choices; what the devices and the panel's timers do in
// between depends on timing, so a run is close to, not exactly, repeatable.
//
// A crash or a hang prints the seed and the last actions before the process dies.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeySequence>
#include <QMap>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <dlfcn.h>
#include <execinfo.h>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <thread>
#include <time.h>
#include <unistd.h>

#include "admin/frm_keypad.h"
#include "panel_mirror.h"
#include "panel_rig.h"
#include "run_probes.h"

namespace {

// Loopback addresses of this test: the TCP device, and the set-up port of the
// pseudo-terminal device in the last phase (SOAK_TCP_ADDR / SOAK_SETUP_ADDR let
// parallel runs use others).
QString tcp_addr() { return qEnvironmentVariable("SOAK_TCP_ADDR", QStringLiteral("127.0.0.70")); }
QString setup_addr() {
    return qEnvironmentVariable("SOAK_SETUP_ADDR", QStringLiteral("127.0.0.71"));
}
// Bezel maxima of both devices: equal, so a maximum learned from one device never
// clips a value of the other.
const int BEZEL_MAX_H = 200, BEZEL_MAX_V = 120;

quint64 env_number(const char *name, quint64 fallback) {
    bool ok = false;
    const quint64 v = qEnvironmentVariable(name).toULongLong(&ok);
    return ok ? v : fallback;
}

History g_history;
std::atomic<qint64> g_action_since{0}; // monotonic ms at which the running action began
std::atomic<qint64> g_hang_ms{120000};

void crash_handler(int sig) {
    static const char msg[] = "\n*** soak: the panel crashed; last actions:\n";
    ssize_t ignored = ::write(2, msg, sizeof msg - 1);
    (void)ignored;
    g_history.dump(2);
    static const char where[] = "*** stack:\n";
    ignored = ::write(2, where, sizeof where - 1);
    void *frames[64];
    ::backtrace_symbols_fd(frames, ::backtrace(frames, 64), 2);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

// ---------------------------------------------------------------------------------

class Rng {
public:
    explicit Rng(quint64 seed) : g_(seed) {}
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(g_); }
    bool chance(double p) { return std::uniform_real_distribution<double>(0.0, 1.0)(g_) < p; }
    quint64 next() { return g_(); }

private:
    std::mt19937_64 g_;
};

// Runs the event loop (sleeping, not spinning) for `ms`.
void idle_ms(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Gives a device its settings over a TCP client of its own: each command must come
// back as sent.
bool set_device(const QString &address, const QStringList &cmds, QString *why) {
    QTcpSocket s;
    s.connectToHost(address, 23);
    if (!s.waitForConnected(3000)) {
        *why = QStringLiteral("cannot connect to ") + address;
        return false;
    }
    for (const QString &c : cmds) {
        s.write(c.toLatin1() + '\r');
        s.waitForBytesWritten(2000);
        QByteArray got;
        while (!got.contains('\r')) {
            if (!s.waitForReadyRead(3000)) break;
            got += s.readAll();
        }
        const QString reply = QString::fromLatin1(got.left(got.indexOf('\r')));
        if (reply != c) {
            *why = QStringLiteral("%1 answered %2").arg(c, reply);
            return false;
        }
    }
    s.disconnectFromHost();
    if (s.state() != QAbstractSocket::UnconnectedState) s.waitForDisconnected(1000);
    return true;
}

// The commands that give a factory-fresh device the state `st`. Picture values go in
// three passes: the Matrix values in Matrix mode (which also overwrites the rows),
// then the rows in Dual mode, then the mode itself.
QStringList commands_for_state(const QJsonObject &st) {
    auto p3 = [](int v) { return QString::number(v).rightJustified(3, QLatin1Char('0')); };
    QStringList c{QStringLiteral("MOD001")};
    const char *const fields[4] = {"bri", "con", "hue", "sat"};
    const QJsonObject matrix = st[QLatin1String("matrix")].toObject();
    for (const char *fld : fields)
        c << QString::fromLatin1(fld).toUpper() + p3(matrix[QLatin1String(fld)].toInt());
    c << QStringLiteral("MOD002");
    const QJsonArray rows = st[QLatin1String("rows")].toArray();
    for (int r = 0; r < 4; ++r)
        for (const char *fld : fields)
            c << QString::fromLatin1(fld).toUpper() +
                     p3(200 * r + rows[r].toObject()[QLatin1String(fld)].toInt());
    c << QStringLiteral("MOD") + p3(st[QLatin1String("mode")].toInt());
    const QJsonArray routing = st[QLatin1String("routing")].toArray();
    for (int o = 1; o <= 4; ++o)
        c << QStringLiteral("OUT") + p3(o) << QStringLiteral("INP") + p3(routing[o - 1].toInt());
    c << QStringLiteral("OUT") + p3(st[QLatin1String("output")].toInt());
    const QJsonObject bezel = st[QLatin1String("bezel")].toObject();
    c << QStringLiteral("BEZ") + p3(bezel[QLatin1String("on")].toInt())
      << QStringLiteral("BEH") + p3(bezel[QLatin1String("h")].toInt())
      << QStringLiteral("BEV") + p3(bezel[QLatin1String("v")].toInt());
    const QJsonObject audio = st[QLatin1String("audio")].toObject();
    c << QStringLiteral("AUE") + p3(audio[QLatin1String("edid")].toInt())
      << QStringLiteral("AUA") + p3(audio[QLatin1String("dual_a")].toInt())
      << QStringLiteral("AUB") + p3(audio[QLatin1String("dual_b")].toInt())
      << QStringLiteral("AUD") + p3(audio[QLatin1String("on")].toInt())
      << QStringLiteral("RES") + p3(st[QLatin1String("resolution")].toInt())
      << QStringLiteral("LCK") + p3(st[QLatin1String("lock")].toInt());
    // Standby last: the device takes every command in standby, but PWR001 would
    // make it drop the TCP client.
    if (st[QLatin1String("power")].toInt() == 0) c << QStringLiteral("PWR000");
    return c;
}

QJsonObject without_count(QJsonObject st) {
    st.remove(QStringLiteral("commands"));
    return st;
}

// ---------------------------------------------------------------------------------

// One simulated device and what it did over all its lives.
struct SimSlot {
    const char *name = "";
    bool tcp = false;
    int version = 160;
    SimDevice dev;
    bool up = false;
    bool faulty = false; // the running instance has faults (its figures count)
    int down_for = 0;    // top-level actions still to wait before the restart
    // the running instance
    bool split = false;
    int front_panel_ms = 0;
    QString replies_file;
    QElapsedTimer started;
    qint64 connected_ms = 0; // TCP: time the panel was connected to this instance
    QJsonObject last_state;
    // totals over all faulty instances
    int starts = 0, kills = 0, nested_kills = 0;
    long commands = 0, clean = 0, garbage = 0, announce_est = 0, split_texts = 0;
    double up_s = 0;
};

struct KindStats {
    long performed = 0, blocked = 0, nested = 0;
    qint64 max_ms = 0;
};

class SoakRun {
public:
    SoakRun(quint64 seed, int actions) : seed_(seed), actions_(actions), rng_(seed) {
        pty_.name = "pty";
        pty_.tcp = false;
        pty_.version = 160;
        tcp_.name = "tcp";
        tcp_.tcp = true;
        tcp_.version = 205;
        limit_ms_ = qint64(env_number("SOAK_ACTION_LIMIT_MS", 20000));
        log_ = qEnvironmentVariableIntValue("SOAK_LOG") != 0;
    }

    QStringList failures; // assertion failures, with what led to them
    QStringList report;   // the figures printed at the end

    void run();

private:
    // ---- the devices
    bool start_sim(SimSlot &s, bool faults);
    void stop_sim(SimSlot &s);
    void account(SimSlot &s, bool faults);
    void point_com1_nowhere();
    void kill_sim(SimSlot &s, bool nested);

    // ---- the operator
    struct ActionDef {
        QString kind;
        int weight;
        std::function<bool(QString &detail)> run; // false: the control cannot be reached
    };
    void build_actions();
    bool reachable(QWidget *w) const;
    bool click(QAbstractButton *b, QString &detail);
    const ActionDef &pick_action();
    const ActionDef *operator_fix();
    void run_top(int n, const ActionDef &a);
    void fire_nested();
    void boundary_checks(int n);

    // ---- the end
    void final_phase();
    void final_link(SimSlot &s);
    QString history_tail(int lines) const;
    void note(const QString &line);

    quint64 seed_;
    int actions_;
    Rng rng_;
    qint64 limit_ms_ = 20000;
    bool log_ = false;

    QTemporaryDir work_;
    std::unique_ptr<ProgramFolder> folder_;
    SimSlot pty_, tcp_;
    std::unique_ptr<MessageCatcher> msgs_;
    std::unique_ptr<frm_main> f_;
    PumpProbe probe_;

    std::vector<ActionDef> defs_;
    std::vector<ActionDef> fixes_;
    int total_weight_ = 0;
    QMap<QString, KindStats> stats_;
    QTimer nested_timer_;
    int nested_depth_ = 0, max_nested_depth_ = 0;
    long nested_scheduled_ = 0, nested_fired_ = 0, nested_in_wait_ = 0, nested_modal_skips_ = 0;
    int top_index_ = 0;
    qint64 max_action_ms_ = 0;
    QString max_action_what_;
    long poll_stalls_ = 0; // serial poll found stopped while no exchange runs
    bool was_stalled_ = false;
    long power_locked_ = 0; // actions after which standby is shown with the power button disabled
    bool was_power_locked_ = false;
    QStringList power_samples_;
    QStringList stall_samples_;
    long refreshes_ok_ = 0, recoveries_ = 0, extra_refreshes_ = 0;
    QStringList recent_;                          // readable history for failure messages
    QList<MessageCatcher::Message> all_messages_; // what the catcher closed before the last phase
};

// ---- devices ---------------------------------------------------------------------

void SoakRun::point_com1_nowhere() {
    // A stopped simulator removes its link; a missing ports/COM1 would make the panel
    // fall back to a machine port, so the link is put back, leading nowhere.
    const QString link = folder_->file(QStringLiteral("ports/COM1"));
    QFile::remove(link);
    QFile::link(QStringLiteral("/nonexistent/tevral-test/COM1"), link);
}

bool SoakRun::start_sim(SimSlot &s, bool faults) {
    s.replies_file = work_.filePath(
        QStringLiteral("%1-replies-%2.txt").arg(QLatin1String(s.name)).arg(s.starts));
    QStringList link;
    if (s.tcp) {
        link << QStringLiteral("--tcp") << tcp_addr() + QStringLiteral(":23");
    } else {
        link << QStringLiteral("--pty") << folder_->file(QStringLiteral("ports/COM1"));
        // Without faults the last phase gives the device its state back through TCP.
        if (!faults) link << QStringLiteral("--tcp") << setup_addr() + QStringLiteral(":23");
    }
    QStringList extra{QStringLiteral("--version"),     QString::number(s.version),
                      QStringLiteral("--bezel-max-h"), QString::number(BEZEL_MAX_H),
                      QStringLiteral("--bezel-max-v"), QString::number(BEZEL_MAX_V),
                      QStringLiteral("--replies"),     s.replies_file};
    s.split = false;
    s.front_panel_ms = 0;
    if (faults) {
        static const int lates[3] = {400, 900, 1600};
        extra << QStringLiteral("--seed") << QString::number(rng_.next() % 1000000000ULL)
              << QStringLiteral("--latency") << QString::number(rng_.pick(0, 25))
              << QStringLiteral("--late") << QString::number(lates[rng_.pick(0, 2)])
              << QStringLiteral("--late-p") << QStringLiteral("0.04") << QStringLiteral("--drop")
              << QStringLiteral("0.03") << QStringLiteral("--garbage") << QStringLiteral("0.03");
        // Each device's first round runs at the pace of a real line: the pty device as a
        // 115200 baud line, the TCP device behind a USB adapter's 16 ms latency timer.
        if (s.starts == 0)
            extra << (s.tcp ? QStringList{"--usb-latency", "16"} : QStringList{"--baud", "115200"});
        if (rng_.chance(0.4)) {
            s.split = true;
            extra << QStringLiteral("--split");
        }
        if (rng_.chance(0.7)) {
            s.front_panel_ms = rng_.pick(700, 3000);
            extra << QStringLiteral("--front-panel") << QString::number(s.front_panel_ms);
        }
    }
    const bool ok = s.dev.start(link, extra);
    s.up = ok;
    s.started.start();
    s.connected_ms = 0;
    s.faulty = faults;
    if (faults) ++s.starts;
    note(QStringLiteral("sim %1 %2 (%3)")
             .arg(QLatin1String(s.name), ok ? "started" : "FAILED TO START",
                  extra.join(QLatin1Char(' '))));
    if (!ok && !s.tcp) point_com1_nowhere();
    return ok;
}

// Adds what the instance did to the totals: commands received, replies sent clean or
// as garbage, and an estimate of the front-panel announcements among the replies.
void SoakRun::account(SimSlot &s, bool faults) {
    if (!faults) return;
    s.commands += s.dev.commands().size();
    QFile f(s.replies_file);
    long texts = 0;
    if (f.open(QIODevice::ReadOnly)) {
        static const QRegularExpression reply(QStringLiteral("^[A-Z]{3}[0-9]{3}$"));
        for (const QByteArray &raw : f.readAll().split('\n')) {
            if (raw.isEmpty()) continue;
            ++texts;
            const QString line = QString::fromLatin1(raw);
            // Clean: a 6-character reply or a 15-character network answer; garbage is
            // 7 random bytes, written escaped.
            if (reply.match(line).hasMatch() ||
                (line.size() == 15 && !line.contains(QLatin1Char('\\'))))
                ++s.clean;
            else
                ++s.garbage;
        }
    }
    if (s.split) s.split_texts += texts;
    const qint64 up_ms = s.started.elapsed();
    s.up_s += up_ms / 1000.0;
    if (s.front_panel_ms > 0) s.announce_est += (s.tcp ? s.connected_ms : up_ms) / s.front_panel_ms;
}

void SoakRun::stop_sim(SimSlot &s) {
    if (!s.up) return;
    s.last_state = s.dev.state();
    account(s, s.faulty);
    s.dev.stop();
    s.up = false;
    if (!s.tcp) point_com1_nowhere();
}

void SoakRun::kill_sim(SimSlot &s, bool nested) {
    if (!s.up) return;
    stop_sim(s);
    ++s.kills;
    if (nested) ++s.nested_kills;
    s.down_for = rng_.pick(0, 4);
    note(QStringLiteral("sim %1 killed%2, down for %3 actions")
             .arg(QLatin1String(s.name), nested ? " (inside an action)" : "")
             .arg(s.down_for));
}

// ---- operator ----------------------------------------------------------------------

bool SoakRun::reachable(QWidget *w) const {
    // What an operator can click: shown, enabled, and inside the window's visible height.
    if (!w || !w->isVisible() || !w->isEnabled()) return false;
    return w->mapTo(f_.get(), QPoint(0, 0)).y() < f_->height();
}

bool SoakRun::click(QAbstractButton *b, QString &detail) {
    detail = b->objectName();
    if (!reachable(b)) return false;
    b->click();
    return true;
}

void SoakRun::build_actions() {
    frm_main *f = f_.get();
    auto button = [this](const QString &kind, int weight,
                         std::function<QAbstractButton *()> which) {
        defs_.push_back({kind, weight, [this, which](QString &d) { return click(which(), d); }});
    };
    button(QStringLiteral("refresh"), 5, [f] { return f->switching().cmd_refresh; });
    button(QStringLiteral("pwr"), 2, [f] { return f->admin().cmd_pwr; });
    button(QStringLiteral("advance"), 3, [f] { return f->link().cmd_advance; });
    button(QStringLiteral("keypad_button"), 2, [f] { return f->switching().cmd_keypad; });
    button(QStringLiteral("mode"), 6,
           [this, f] { return f->switching().cmd_mode[rng_.pick(1, 3)]; });
    button(QStringLiteral("out"), 8, [this, f] { return f->switching().cmd_out[rng_.pick(1, 4)]; });
    button(QStringLiteral("inp"), 8, [this, f] { return f->switching().cmd_inp[rng_.pick(1, 4)]; });
    button(QStringLiteral("save"), 3,
           [this, f] { return f->switching().cmd_save[rng_.pick(1, 4)]; });
    button(QStringLiteral("recall"), 3,
           [this, f] { return f->switching().cmd_recall[rng_.pick(1, 4)]; });
    button(QStringLiteral("lock"), 2, [f] { return f->admin().cmd_lock; });
    button(QStringLiteral("mute"), 3, [f] { return f->adjust().cmd_mute; });
    button(QStringLiteral("menu"), 5, [this, f]() -> QAbstractButton * {
        ColorButton *const keys[7] = {f->admin().cmd_menu_up,   f->admin().cmd_menu_down,
                                      f->admin().cmd_menu_left, f->admin().cmd_menu_right,
                                      f->admin().cmd_menu_ok,   f->admin().cmd_menu_menu,
                                      f->admin().cmd_menu_exit};
        return keys[rng_.pick(0, 6)];
    });
    button(QStringLiteral("fact_reset"), 1, [f] { return f->admin().cmd_fact_reset; });
    button(QStringLiteral("ver"), 2, [f] { return f->admin().cmd_ver; });
    button(QStringLiteral("pic_refresh"), 3, [f] { return f->adjust().cmd_pic_refresh; });
    button(QStringLiteral("pic_reset"), 2, [f] { return f->adjust().cmd_pic_reset; });
    button(QStringLiteral("get_ip"), 2, [f] { return f->link().cmd_get_ip; });
    button(QStringLiteral("conn"), 3, [f] { return f->link().cmd_conn; });
    button(QStringLiteral("disconn"), 1, [f] { return f->link().cmd_disconn; });
    button(QStringLiteral("conn_eth"), 3, [f] { return f->link().cmd_conn_eth; });
    button(QStringLiteral("disconn_eth"), 1, [f] { return f->link().cmd_disconn_eth; });
    button(QStringLiteral("opt_interface"), 3,
           [this, f] { return f->link().opt_interface[rng_.pick(0, 1)]; });
    button(QStringLiteral("opt_audio"), 3,
           [this, f] { return f->adjust().opt_audio[rng_.pick(0, 4)]; });
    button(QStringLiteral("opt_da"), 2, [this, f] { return f->adjust().opt_da[rng_.pick(1, 2)]; });
    button(QStringLiteral("opt_db"), 2, [this, f] { return f->adjust().opt_db[rng_.pick(1, 2)]; });
    button(QStringLiteral("opt_bezel_onoff"), 3,
           [this, f] { return f->adjust().opt_bezel_onoff[rng_.pick(0, 1)]; });

    defs_.push_back(
        {QStringLiteral("slider"), 10, [this, f](QString &d) {
             std::vector<HSlider *> all{f->adjust().hsr_bezel_h, f->adjust().hsr_bezel_v};
             for (auto *arr : {&f->adjust().hsr_bri, &f->adjust().hsr_con, &f->adjust().hsr_hue,
                               &f->adjust().hsr_sat})
                 for (int r = 1; r <= 4; ++r) all.push_back((*arr)[r]);
             HSlider *s = all[size_t(rng_.pick(0, int(all.size()) - 1))];
             d = s->objectName();
             if (!reachable(s)) return false;
             if (rng_.chance(0.5)) {
                 const int v = rng_.pick(s->minimum(), s->maximum());
                 d += QStringLiteral(" setValue(%1)").arg(v);
                 s->setValue(v);
             } else {
                 static const QAbstractSlider::SliderAction acts[6] = {
                     QAbstractSlider::SliderSingleStepAdd, QAbstractSlider::SliderSingleStepSub,
                     QAbstractSlider::SliderPageStepAdd,   QAbstractSlider::SliderPageStepSub,
                     QAbstractSlider::SliderToMinimum,     QAbstractSlider::SliderToMaximum};
                 const int a = rng_.pick(0, 5);
                 d += QStringLiteral(" triggerAction(%1)").arg(int(acts[a]));
                 s->triggerAction(acts[a]);
             }
             return true;
         }});
    defs_.push_back({QStringLiteral("cbo_output"), 3, [this, f](QString &d) {
                         const int i = rng_.pick(0, f->adjust().cbo_output->count() - 1);
                         d = QStringLiteral("cbo_output %1").arg(i);
                         if (!reachable(f->adjust().cbo_output)) return false;
                         f->adjust().cbo_output->setCurrentIndex(i);
                         return true;
                     }});
    defs_.push_back({QStringLiteral("cbo_com"), 2, [this, f](QString &d) {
                         // Only COM1 leads to a device; the others fail to open.
                         const int i = rng_.chance(0.7) ? 0 : rng_.pick(1, 8);
                         d = QStringLiteral("cbo_com %1").arg(i);
                         if (!reachable(f->link().cbo_com)) return false;
                         f->link().cbo_com->setCurrentIndex(i);
                         return true;
                     }});
    defs_.push_back({QStringLiteral("key"), 10, [this, f](QString &d) {
                         struct Key {
                             int key;
                             Qt::KeyboardModifiers mods;
                         };
                         static const Key keys[] = {
                             {Qt::Key_1, Qt::NoModifier},         {Qt::Key_2, Qt::NoModifier},
                             {Qt::Key_3, Qt::NoModifier},         {Qt::Key_A, Qt::NoModifier},
                             {Qt::Key_S, Qt::NoModifier},         {Qt::Key_D, Qt::NoModifier},
                             {Qt::Key_F, Qt::NoModifier},         {Qt::Key_J, Qt::NoModifier},
                             {Qt::Key_K, Qt::NoModifier},         {Qt::Key_L, Qt::NoModifier},
                             {Qt::Key_Semicolon, Qt::NoModifier}, {Qt::Key_7, Qt::KeypadModifier},
                             {Qt::Key_8, Qt::KeypadModifier},     {Qt::Key_9, Qt::KeypadModifier},
                             {Qt::Key_4, Qt::KeypadModifier},     {Qt::Key_5, Qt::KeypadModifier},
                             {Qt::Key_6, Qt::KeypadModifier},     {Qt::Key_1, Qt::KeypadModifier},
                             {Qt::Key_2, Qt::KeypadModifier},     {Qt::Key_3, Qt::KeypadModifier},
                             {Qt::Key_Home, Qt::NoModifier},      {Qt::Key_Up, Qt::NoModifier},
                             {Qt::Key_PageUp, Qt::NoModifier},    {Qt::Key_Left, Qt::NoModifier},
                             {Qt::Key_Clear, Qt::KeypadModifier}, {Qt::Key_Right, Qt::NoModifier},
                             {Qt::Key_End, Qt::NoModifier},       {Qt::Key_Down, Qt::NoModifier},
                             {Qt::Key_PageDown, Qt::NoModifier},  {Qt::Key_Z, Qt::NoModifier},
                             {Qt::Key_Escape, Qt::NoModifier}};
                         if (!f->admin().keypad) {
                             // The operator opens the keypad window first.
                             f->admin().cmd_keypad_Click();
                             d = QStringLiteral("cmd_keypad_Click (open) + ");
                         }
                         QPointer<frm_keypad> k = f->admin().keypad;
                         if (!k) {
                             d += QStringLiteral("no keypad window");
                             return false;
                         }
                         const Key &key = keys[rng_.pick(0, int(std::size(keys)) - 1)];
                         d += QStringLiteral("key %1%2")
                                  .arg(QKeySequence(key.key).toString(),
                                       key.mods & Qt::KeypadModifier ? " (keypad)" : "");
                         // Press and release apart: the press may run long enough for a nested
                         // action to close the window.
                         QTest::keyPress(k.data(), Qt::Key(key.key), key.mods);
                         if (k) QTest::keyRelease(k.data(), Qt::Key(key.key), key.mods);
                         return true;
                     }});
    for (const ActionDef &a : defs_) total_weight_ += a.weight;

    // The operator's own remedies: reconnect the selected link, switch the device on.
    fixes_.push_back({QStringLiteral("conn"), 0, [this, f](QString &d) {
                          if (f->connection().port_number() != 1 && reachable(f->link().cbo_com)) {
                              d = QStringLiteral("cbo_com 0 (reconnect)");
                              f->link().cbo_com->setCurrentIndex(0);
                              return true;
                          }
                          return click(f->link().cmd_conn, d);
                      }});
    fixes_.push_back({QStringLiteral("conn_eth"), 0,
                      [this, f](QString &d) { return click(f->link().cmd_conn_eth, d); }});
    fixes_.push_back(
        {QStringLiteral("pwr"), 0, [this, f](QString &d) { return click(f->admin().cmd_pwr, d); }});
    fixes_.push_back({QStringLiteral("refresh"), 0,
                      [this, f](QString &d) { return click(f->switching().cmd_refresh, d); }});
}

const SoakRun::ActionDef &SoakRun::pick_action() {
    int r = rng_.pick(0, total_weight_ - 1);
    for (const ActionDef &a : defs_) {
        if (r < a.weight) return a;
        r -= a.weight;
    }
    return defs_.back();
}

const SoakRun::ActionDef *SoakRun::operator_fix() {
    frm_main *f = f_.get();
    if (f->connection().link_type() == LinkType::Rs232 && !f->connection().serial_open() &&
        rng_.chance(0.5))
        return &fixes_[0];
    if (f->connection().link_type() == LinkType::Ethernet && !f->connection().eth_connected() &&
        f->link().cmd_conn_eth->isEnabled() && rng_.chance(0.5))
        return &fixes_[1];
    if (f->admin().power_state() == 0 && rng_.chance(0.25)) return &fixes_[2];
    // Nothing is enabled before the device has reported its power: refresh first.
    if (f->admin().power_state() == NOT_REPORTED && rng_.chance(0.5)) return &fixes_[3];
    return nullptr;
}

void SoakRun::note(const QString &line) {
    const QString text = QStringLiteral("[%1] %2").arg(top_index_).arg(line);
    g_history.add(text.toLocal8Bit());
    recent_ << text;
    if (recent_.size() > 60) recent_.removeFirst();
    if (log_) fprintf(stderr, "%s\n", qPrintable(text));
}

QString SoakRun::history_tail(int lines) const {
    return recent_.mid(qMax(0, int(recent_.size()) - lines)).join(QLatin1Char('\n'));
}

void SoakRun::run_top(int n, const ActionDef &a) {
    top_index_ = n;
    // Now and then an action is scheduled to fire while this one waits for a reply.
    if (rng_.chance(0.3)) {
        ++nested_scheduled_;
        // Mostly at once, so it fires inside the first exchange's wait; sometimes later,
        // inside a time-out or a late-reply wait.
        const double r = rng_.pick(0, 99);
        nested_timer_.start(r < 50   ? rng_.pick(0, 2)
                            : r < 80 ? rng_.pick(3, 15)
                                     : rng_.pick(20, 1500));
    }
    QString detail;
    note(QStringLiteral("%1 ...").arg(a.kind));
    g_action_since = monotonic_ms();
    QElapsedTimer t;
    t.start();
    const bool done = a.run(detail);
    const qint64 ms = t.elapsed();
    g_action_since = 0;
    nested_timer_.stop();
    note(QStringLiteral("%1 %2 %3 (%4 ms)").arg(a.kind, detail, done ? "done" : "blocked").arg(ms));
    KindStats &k = stats_[a.kind];
    done ? ++k.performed : ++k.blocked;
    k.max_ms = qMax(k.max_ms, ms);
    if (ms > max_action_ms_) {
        max_action_ms_ = ms;
        max_action_what_ = a.kind + QLatin1Char(' ') + detail;
    }
    if (ms > limit_ms_)
        failures << QStringLiteral("action #%1 (%2 %3) took %4 ms (bound %5 ms); it followed:\n%6")
                        .arg(n)
                        .arg(a.kind, detail)
                        .arg(ms)
                        .arg(limit_ms_)
                        .arg(history_tail(20));
}

void SoakRun::fire_nested() {
    // An operator cannot reach the main window while a message box is up.
    if (QApplication::activeModalWidget()) {
        ++nested_modal_skips_;
        return;
    }
    ++nested_fired_;
    ++nested_depth_;
    max_nested_depth_ = qMax(max_nested_depth_, nested_depth_);
    const PumpProbe::Depth depth = probe_.now();
    if (depth.wait > 0) ++nested_in_wait_;
    // A nested action may in turn be interrupted by another, up to three deep.
    if (nested_depth_ < 3 && rng_.chance(0.35)) {
        ++nested_scheduled_;
        nested_timer_.start(rng_.pick(0, 3));
    }
    if (rng_.chance(0.04)) {
        SimSlot &s = rng_.chance(0.5) ? pty_ : tcp_;
        note(QStringLiteral("nested (wait depth %1): kill %2")
                 .arg(depth.wait)
                 .arg(QLatin1String(s.name)));
        kill_sim(s, true);
    } else {
        const ActionDef &a = pick_action();
        QString detail;
        note(QStringLiteral("nested (wait depth %1): %2 ...").arg(depth.wait).arg(a.kind));
        QElapsedTimer t;
        t.start();
        const bool done = a.run(detail);
        note(QStringLiteral("nested %1 %2 %3 (%4 ms)")
                 .arg(a.kind, detail, done ? "done" : "blocked")
                 .arg(t.elapsed()));
        KindStats &k = stats_[a.kind];
        done ? ++k.performed : ++k.blocked;
        if (done) ++k.nested;
    }
    --nested_depth_;
}

void SoakRun::boundary_checks(int n) {
    frm_main *f = f_.get();
    for (SimSlot *s : {&pty_, &tcp_}) {
        if (s->up && !s->dev.running()) {
            failures << QStringLiteral("simulator %1 died on its own before action #%2: %3")
                            .arg(QLatin1String(s->name))
                            .arg(n)
                            .arg(s->dev.stderr_text());
            s->up = false;
            if (!s->tcp) point_com1_nowhere();
        }
    }
    if (QApplication::activeModalWidget())
        failures << QStringLiteral("a modal window is still open after action #%1: %2")
                        .arg(n)
                        .arg(QApplication::activeModalWidget()->objectName());
    // At rest (no action, no wait) every sequence has restored what it holds.
    QStringList stuck;
    if (f->exchange().busy()) stuck << QStringLiteral("busy set");
    if (f->exchange().waiting()) stuck << QStringLiteral("waiting set");
    if (!f->ui_ready()) stuck << QStringLiteral("ui_ready clear");
    if (f->connection().net_query_step())
        stuck << QStringLiteral("net_query_step %1").arg(*f->connection().net_query_step());
    if (!f->switching().cmd_refresh->isEnabled() ||
        f->switching().cmd_refresh->backColor() != PanelStyle::face())
        stuck << QStringLiteral("cmd_refresh not restored");
    if (f->link().cmd_get_ip->backColor() != PanelStyle::face())
        stuck << QStringLiteral("cmd_get_ip not restored");
    for (int m = 1; m <= 3; ++m)
        if (!f->switching().cmd_mode[m]->isEnabledTo(f->frames().fra_btn))
            stuck << QStringLiteral("cmd_mode_%1 disabled").arg(m);
    for (int i = 1; i <= 4; ++i) {
        if (!f->switching().cmd_save[i]->isEnabledTo(f->frames().fra_recall_save))
            stuck << QStringLiteral("cmd_save_%1 disabled").arg(i);
        if (!f->switching().cmd_recall[i]->isEnabledTo(f->frames().fra_recall_save))
            stuck << QStringLiteral("cmd_recall_%1 disabled").arg(i);
    }
    if (!f->adjust().cbo_output->isEnabledTo(f->frames().fra_btn))
        stuck << QStringLiteral("cbo_output disabled");
    if (bool(f->admin().keypad_open()) != !f->admin().keypad.isNull())
        stuck << QStringLiteral("keypad_open %1 with window %2")
                     .arg(f->admin().keypad_open())
                     .arg(!f->admin().keypad.isNull());
    if (f->connection().eth_connected() &&
        (!f->link().tim_eth->isActive() || f->link().tim_eth->interval() != 100))
        stuck << QStringLiteral("connected without the 100 ms link watch");
    if (!stuck.isEmpty())
        failures << QStringLiteral(
                        "after action #%1 the panel is not at rest: %2; it followed:\n%3")
                        .arg(n)
                        .arg(stuck.join(QStringLiteral(", ")), history_tail(20));
    // The serial poll should tick whenever no exchange holds it. Found stopped, it
    // stays so until the next serial exchange has timed out: noted with what led to it.
    const bool stalled = f->connection().link_type() == LinkType::Rs232 && !f->exchange().busy() &&
                         !f->connection().MSComm1()->tim_rx()->isActive();
    if (stalled) {
        ++poll_stalls_;
        if (!was_stalled_ && stall_samples_.size() < 3)
            stall_samples_ << QStringLiteral(
                                  "serial poll stopped at rest after action #%1 (rx_buffer \"%2\", "
                                  "serial_open %3); it followed:\n      %4")
                                  .arg(n)
                                  .arg(QString(f->exchange().rx_buffer())
                                           .replace(QLatin1Char('\r'), QLatin1String("\\r")))
                                  .arg(f->connection().serial_open())
                                  .arg(history_tail(12).replace(QLatin1Char('\n'),
                                                                QLatin1String("\n      ")));
    }
    was_stalled_ = stalled;
    // The panel shows standby but its power button is disabled: it can no longer switch
    // the device on (a power-on press that never reached the device keeps it disabled).
    const bool power_locked = f->admin().power_state() == 0 && !f->admin().cmd_pwr->isEnabled();
    if (power_locked) {
        ++power_locked_;
        if (!was_power_locked_ && power_samples_.isEmpty())
            power_samples_
                << QStringLiteral(
                       "power button disabled in standby after action #%1; it followed:\n      %2")
                       .arg(n)
                       .arg(history_tail(8).replace(QLatin1Char('\n'), QLatin1String("\n      ")));
    }
    was_power_locked_ = power_locked;
}

// ---- the end -------------------------------------------------------------------------

void SoakRun::final_link(SimSlot &s) {
    frm_main *f = f_.get();
    note(QStringLiteral("final: %1 link").arg(QLatin1String(s.name)));
    // Select and connect the device's link as the operator would.
    if (s.tcp) {
        if (!f->link().opt_interface[1]->isChecked()) f->link().opt_interface[1]->click();
        // A pending attempt ends by itself within its 7 s.
        pump_until(
            [&] { return f->connection().eth_connected() || f->link().cmd_conn_eth->isEnabled(); },
            9000);
        if (f->connection().eth_connected()) f->link().cmd_disconn_eth->click();
        f->link().cmd_conn_eth->click();
        if (!pump_until([&] { return f->connection().eth_connected() != 0; }, 5000)) {
            failures << QStringLiteral("final: the panel did not connect to the TCP device");
            return;
        }
    } else {
        if (!f->link().opt_interface[0]->isChecked()) f->link().opt_interface[0]->click();
        if (f->connection().port_number() != 1)
            f->link().cbo_com->setCurrentIndex(0);
        else if (!f->connection().serial_open())
            f->link().cmd_conn->click();
        if (!f->connection().serial_open()) {
            failures << QStringLiteral("final: the serial port did not open");
            return;
        }
    }
    if (!f->link().advanced_view()) f->link().cmd_advance->click();
    pump_ms(100);

    const QJsonObject before = s.dev.state();
    const int mode = before[QLatin1String("mode")].toInt();
    const QJsonObject bezel = before[QLatin1String("bezel")].toObject();
    // One refresh must bring the panel in line, except where the design itself keeps
    // it from doing so; then (and only then) the operator's second refresh must:
    // - a bound query left pending by the soak: the first BEH/BEV reply of the refresh
    //   becomes a slider maximum instead of an amount;
    // - a slider maximum, learned earlier, below the device's amount: the amount is
    //   read before the bound, so the slider keeps the clipped value;
    // - the serial poll left stopped (a reply taken while a send_cmd_nowait held the
    //   link): the first exchange of the refresh times out and ends it.
    for (int attempt = 1; attempt <= 3; ++attempt) {
        const bool pending_before = f->adjust().bezel_max_pending() != 0;
        const bool clipped_before =
            f->adjust().hsr_bezel_h->maximum() < bezel[QLatin1String("h")].toInt() ||
            f->adjust().hsr_bezel_v->maximum() < bezel[QLatin1String("v")].toInt();
        const bool poll_stopped = !s.tcp && !f->connection().MSComm1()->tim_rx()->isActive();
        all_messages_ += msgs_->messages;
        msgs_->clear();
        s.dev.mark();
        f->switching().cmd_refresh->click();
        pump_ms(200);
        QStringList diff = mirror_mismatches(f, s.dev.state(), true);
        const QStringList sent = s.dev.commands_since_mark();
        if (sent != refresh_sequence(mode, true))
            diff << QStringLiteral("refresh sent: %1").arg(sent.join(QLatin1Char(' ')));
        if (!msgs_->messages.isEmpty())
            diff << QStringLiteral("messages during the refresh: %1")
                        .arg(msgs_->texts().join(QStringLiteral(" | ")));
        if (diff.isEmpty()) {
            if (attempt == 1) ++refreshes_ok_;
            ++recoveries_;
            note(QStringLiteral("final: %1 in line after %2 refresh(es)")
                     .arg(QLatin1String(s.name))
                     .arg(attempt));
            return;
        }
        const bool bezel_only = std::all_of(diff.begin(), diff.end(), [](const QString &l) {
            return l.contains(QLatin1String("bezel"));
        });
        const bool by_design = poll_stopped || ((pending_before || clipped_before) && bezel_only);
        if (!by_design || attempt == 3) {
            failures << QStringLiteral(
                            "final %1: out of line with the device after refresh %2 (bound query "
                            "pending before: %3, slider maximum below the amount: %4, serial poll "
                            "stopped before: %5):\n    %6\nlast actions:\n%7")
                            .arg(QLatin1String(s.name))
                            .arg(attempt)
                            .arg(QLatin1String(pending_before ? "yes" : "no"),
                                 QLatin1String(clipped_before ? "yes" : "no"),
                                 QLatin1String(poll_stopped ? "yes" : "no"),
                                 diff.join(QStringLiteral("\n    ")), history_tail(30));
            return;
        }
        ++extra_refreshes_;
        report
            << QStringLiteral(
                   "NOTE %1: refresh %2 left the panel out of line by design (bound query pending "
                   "before: %3, slider maximum below the amount: %4, serial poll stopped before: "
                   "%5):\n"
                   "      %6")
                   .arg(QLatin1String(s.name))
                   .arg(attempt)
                   .arg(QLatin1String(pending_before ? "yes" : "no"),
                        QLatin1String(clipped_before ? "yes" : "no"),
                        QLatin1String(poll_stopped ? "yes" : "no"),
                        diff.join(QStringLiteral("\n      ")));
    }
}

void SoakRun::final_phase() {
    frm_main *f = f_.get();
    nested_timer_.stop();
    if (f->admin().keypad) f->admin().keypad->close();
    idle_ms(300);

    // The faults stop: each device restarts without them and gets back the state it
    // had (a restarted device would start from factory settings).
    for (SimSlot *s : {&pty_, &tcp_}) {
        QJsonObject st = s->up ? s->dev.state() : s->last_state;
        stop_sim(*s);
        if (st.isEmpty()) st = s->last_state;
        if (!start_sim(*s, false)) {
            failures
                << QStringLiteral("final: simulator %1 did not start").arg(QLatin1String(s->name));
            return;
        }
        QString why;
        const QString setup = s->tcp ? tcp_addr() : setup_addr();
        if (st.isEmpty() || !set_device(setup, commands_for_state(st), &why)) {
            failures << QStringLiteral("final: could not give %1 its state back: %2")
                            .arg(QLatin1String(s->name), why);
            return;
        }
        if (without_count(s->dev.state()) != without_count(st)) {
            failures << QStringLiteral("final: %1 did not take its state back")
                            .arg(QLatin1String(s->name));
            return;
        }
        note(QStringLiteral("final: %1 restarted without faults, state %2")
                 .arg(QLatin1String(s->name))
                 .arg(QString::fromUtf8(
                     QJsonDocument(without_count(st)).toJson(QJsonDocument::Compact))));
    }
    // The panel learns of the restarts (the link watch reports the lost TCP link).
    idle_ms(400);
    if (rng_.chance(0.5)) {
        final_link(pty_);
        final_link(tcp_);
    } else {
        final_link(tcp_);
        final_link(pty_);
    }
}

void SoakRun::run() {
    const char base = 0;
    const int start_link = rng_.pick(0, 1);
    const bool start_full = rng_.chance(0.5);
    folder_ = std::make_unique<ProgramFolder>(start_link, 1, start_full, tcp_addr());
    snprintf(g_history.header, sizeof g_history.header,
             "soak seed %llu, %d actions (SOAK_SEED=%llu SOAK_ACTIONS=%d to repeat)\n",
             (unsigned long long)seed_, actions_, (unsigned long long)seed_, actions_);
    if (!start_sim(pty_, true) || !start_sim(tcp_, true)) {
        failures << QStringLiteral("the simulators did not start");
        return;
    }
    msgs_ = std::make_unique<MessageCatcher>();
    f_ = load_panel(*folder_);
    if (!f_) {
        failures << QStringLiteral("the panel did not start");
        return;
    }
    frm_main *f = f_.get();
    build_actions();
    nested_timer_.setSingleShot(true);
    QObject::connect(&nested_timer_, &QTimer::timeout, [this] { fire_nested(); });
    probe_.on_tick = [this, f](qint64 ms) {
        if (tcp_.up && f->connection().eth_connected()) tcp_.connected_ms += ms;
    };
    probe_.start(&base);

    QElapsedTimer clock;
    clock.start();
    for (int n = 1; n <= actions_; ++n) {
        top_index_ = n;
        // Devices come back after their time down; now and then one is killed.
        for (SimSlot *s : {&pty_, &tcp_})
            if (!s->up && s->down_for-- <= 0) start_sim(*s, true);
        if (rng_.chance(0.012)) kill_sim(rng_.chance(0.5) ? pty_ : tcp_, false);

        const ActionDef *fix = operator_fix();
        run_top(n, fix ? *fix : pick_action());
        idle_ms(rng_.pick(0, 30));
        boundary_checks(n);
        if (failures.size() > 20) break;
    }
    const qint64 soak_ms = clock.elapsed();

    all_messages_ = msgs_->messages;
    msgs_->clear();
    final_phase();
    probe_.stop();

    // Every message box was closed, and each said something the panel may say.
    static const QRegularExpression known(QStringLiteral(
        "^(RS232 port is disconnected !|Ethernet port is disconnected !|COM [1-9]: Fail !|"
        "Ethernet is disconnected !|Client could not find Server\\.|Ethernet is already connected!|"
        "Need to re-connect Ethernet after VELDRA re-boots ready !|The device does not answer !|"
        "Another program may be using the device !)$"));
    if (QApplication::activeModalWidget())
        failures << QStringLiteral("a modal window is still open at the end");
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox *>(w) && w->isVisible())
            failures << QStringLiteral("a message box is still shown: %1")
                            .arg(qobject_cast<QMessageBox *>(w)->text());

    // ---- figures
    long performed = 0, blocked = 0, nested_done = 0;
    QStringList kinds;
    for (auto it = stats_.cbegin(); it != stats_.cend(); ++it) {
        performed += it->performed;
        blocked += it->blocked;
        nested_done += it->nested;
        kinds << QStringLiteral("%1 %2/%3%4 (max %5 ms)")
                     .arg(it.key())
                     .arg(it->performed)
                     .arg(it->performed + it->blocked)
                     .arg(it->nested ? QStringLiteral(", %1 nested").arg(it->nested) : QString())
                     .arg(it->max_ms);
    }
    all_messages_ += msgs_->messages;
    QMap<QString, int> message_counts;
    for (const auto &m : all_messages_) message_counts[m.text]++;
    report.prepend(QStringLiteral("seed %1, %2 top-level actions in %3 s, then the final phase; "
                                  "started on %4 at %5 height")
                       .arg(seed_)
                       .arg(actions_)
                       .arg(soak_ms / 1000.0, 0, 'f', 1)
                       .arg(QLatin1String(start_link == 0 ? "RS-232" : "Ethernet"),
                            QLatin1String(start_full ? "full" : "compact")));
    report << QStringLiteral(
                  "actions performed %1, blocked (control not reachable) %2; nested %3 "
                  "(scheduled %4, fired %5, inside a wait %6, skipped under a message box %7)")
                  .arg(performed)
                  .arg(blocked)
                  .arg(nested_done)
                  .arg(nested_scheduled_)
                  .arg(nested_fired_)
                  .arg(nested_in_wait_)
                  .arg(nested_modal_skips_);
    report << QStringLiteral("per kind (performed/attempted): ") + kinds.join(QStringLiteral("; "));
    report << QStringLiteral("longest action %1 ms (%2); bound %3 ms")
                  .arg(max_action_ms_)
                  .arg(max_action_what_)
                  .arg(limit_ms_);
    report << QStringLiteral("pump nesting: wait_sec depth max %1, event-dispatcher passes max %2, "
                             "event loops max %3, scheduled-action depth max %4, stack max %5 KiB "
                             "/ %6 frames (%7 samples)")
                  .arg(probe_.max_wait)
                  .arg(probe_.max_pump)
                  .arg(probe_.max_loop)
                  .arg(max_nested_depth_)
                  .arg(probe_.max_stack / 1024)
                  .arg(probe_.max_frames)
                  .arg(probe_.samples);
    for (SimSlot *s : {&pty_, &tcp_})
        report << QStringLiteral(
                      "sim %1: %2 faulty starts, %3 kills (%4 inside an action), %5 s up; "
                      "commands %6, clean texts %7, garbage replies %8, texts sent split %9, "
                      "front-panel announcements ~%10, unanswered ~%11")
                      .arg(QLatin1String(s->name))
                      .arg(s->starts)
                      .arg(s->kills)
                      .arg(s->nested_kills)
                      .arg(s->up_s, 0, 'f', 1)
                      .arg(s->commands)
                      .arg(s->clean)
                      .arg(s->garbage)
                      .arg(s->split_texts)
                      .arg(s->announce_est)
                      .arg(qMax(0L, s->commands - (s->clean - s->announce_est) - s->garbage));
    QStringList mc;
    for (auto it = message_counts.cbegin(); it != message_counts.cend(); ++it)
        mc << QStringLiteral("\"%1\" x%2").arg(it.key()).arg(it.value());
    report << QStringLiteral("message boxes closed: %1 (%2)")
                  .arg(all_messages_.size())
                  .arg(mc.join(QStringLiteral(", ")));
    report << QStringLiteral("serial poll found stopped at rest: %1 times").arg(poll_stalls_);
    for (const QString &sample : stall_samples_) report << QStringLiteral("  ") + sample;
    report << QStringLiteral("standby shown with the power button disabled after %1 actions")
                  .arg(power_locked_);
    for (const QString &sample : power_samples_) report << QStringLiteral("  ") + sample;
    report << QStringLiteral(
                  "final refreshes in line at once %1 of 2; recoveries %2 of 2; extra refreshes "
                  "needed by design %3")
                  .arg(refreshes_ok_)
                  .arg(recoveries_)
                  .arg(extra_refreshes_);
    for (const auto &m : all_messages_)
        if (!known.match(m.text).hasMatch())
            failures << QStringLiteral("unexpected message: %1").arg(m.text);
    if (!probe_.names_found)
        failures << QStringLiteral("the pump probe never saw Exchange::wait_sec on the stack: %1")
                        .arg(PumpProbe::stack_names().join(QLatin1Char(' ')));
    // Nesting stays bounded: the test nests scheduled actions three deep at most, each
    // adding the wait it fires in and at most one wait of its own.
    if (probe_.max_wait > 8)
        failures << QStringLiteral("wait_sec nested %1 deep").arg(probe_.max_wait);
    if (probe_.max_stack > 4L * 1024 * 1024)
        failures << QStringLiteral("stack grew to %1 KiB").arg(probe_.max_stack / 1024);
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        for (int sig : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) ::signal(sig, crash_handler);
        // backtrace() loads its unwinder on first use; do that here, not in a handler.
        void *frames[4];
        ::backtrace(frames, 4);
        g_hang_ms = qint64(env_number("SOAK_HANG_MS", 120000));
    }

    void soak_with_faults_then_in_line() {
        const quint64 seed = env_number("SOAK_SEED", 1);
        const int actions = int(env_number("SOAK_ACTIONS", 180));
        Watchdog watchdog(g_history, g_action_since, g_hang_ms);
        SoakRun run(seed, actions);
        run.run();
        for (const QString &line : run.report) qInfo("%s", qPrintable(line));
        QVERIFY2(run.failures.isEmpty(), qPrintable(QStringLiteral("seed %1: ").arg(seed) +
                                                    run.failures.join(QStringLiteral("\n---\n"))));
    }
};

QTEST_MAIN(TestSoak)
#include "test_soak.moc"
