#pragma once
// Test support: a program folder for the panel, the simulated device on a real
// link, and a catcher for the panel's modal messages.

#include <QJsonArray>
#include <QJsonObject>
#include <QMessageBox>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

#include "sim_process.h"

class frm_main;

// The value at "a/b/2" in a JSON object such as the simulator's state (a number steps
// into an array).
inline QJsonValue json_at(const QJsonObject &o, const QString &path) {
    QJsonValue v = o;
    for (const QString &k : path.split(QLatin1Char('/'))) {
        bool index = false;
        const int i = k.toInt(&index);
        v = index ? v.toArray().at(i) : v.toObject().value(k);
    }
    return v;
}

// A temporary program folder holding what the panel expects beside itself.
class ProgramFolder {
public:
    // link_type 0 RS-232 / 1 Ethernet; the resolution list defaults to twelve names.
    ProgramFolder(int link_type = 0, int port = 1, bool advanced = false,
                  const QString &address = QStringLiteral("127.0.0.1"));
    QString path() const { return dir_.path(); }
    QString file(const QString &name) const { return dir_.path() + QLatin1Char('/') + name; }
    void write_settings(int link_type, int port, bool advanced, const QString &address);
    void write_raw(const QString &name, const QByteArray &bytes);
    QByteArray read_raw(const QString &name) const;
    static QStringList default_resolutions();

private:
    QTemporaryDir dir_;
};

// veldra-sim running as a child process with its state, command and inject files
// in a folder of its own.
class SimDevice {
public:
    SimDevice();
    ~SimDevice();
    // --pty <folder>/ports/COM<com>
    bool start_pty(const ProgramFolder &folder, int com = 1, const QStringList &extra = {});
    // --tcp <address>:<port>
    bool start_tcp(const QString &address, int port = 23, const QStringList &extra = {});
    bool start(const QStringList &link_args, const QStringList &extra);
    void stop();
    bool running() const;
    // Freezes (SIGSTOP) or continues (SIGCONT) the simulator: a device that stops answering.
    void freeze(bool on);

    // Every complete line the device has received, in order.
    QStringList commands() const;
    // Lines received since the last mark.
    QStringList commands_since_mark() const;
    void mark();
    // Waits (pumping events) until the device has received `n` lines since the mark.
    bool wait_commands(int n, int timeout_ms = 5000) const;
    QJsonObject state() const;
    // Sends a line to the panel as if the device had sent it ("BEV040" goes out with CR;
    // "raw:..." goes out as given).
    bool inject(const QString &line);
    QString stderr_text();

private:
    QTemporaryDir dir_;
    std::unique_ptr<SimProcess> proc_;
    int mark_ = 0;
};

// Closes every modal message box the panel opens and records what it said.
class MessageCatcher : public QObject {
    Q_OBJECT
public:
    MessageCatcher();
    struct Message {
        QString text;
        QMessageBox::Icon icon;
        qint64 shown_ms; // clock_ms() when it was found open
        QString informative;
    };
    QList<Message> messages;
    QStringList texts() const;
    void clear() { messages.clear(); }
    // While paused, boxes stay open for the test to handle.
    void set_paused(bool on) { paused_ = on; }

private:
    void poll();
    QTimer timer_;
    bool paused_ = false;
};

// Pumps events for `ms` milliseconds.
void pump_ms(int ms);
// Pumps events until `pred` holds or the time is up; returns pred().
bool pump_until(const std::function<bool()> &pred, int timeout_ms = 5000);

// Sends `sig` to a process `count` times, `gap_ms` apart, as an impatient operator or
// a session manager repeats a stop request.
void send_signals(qint64 pid, int sig, int count = 1, int gap_ms = 2);

// Starts the panel from a folder (Form_Load); nullptr when start-up failed.
std::unique_ptr<frm_main> load_panel(const ProgramFolder &folder);
