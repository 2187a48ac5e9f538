#include "sim_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QTest>
#include <QThread>
#include <csignal>

#include "panel_access.h"

#include <csignal>

namespace {
// No test may read or write a real user's settings or port map: every test process gets
// a per-user configuration folder of its own, before anything asks where it is.
struct PrivateConfigHome {
    QTemporaryDir dir;
    PrivateConfigHome() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path())); }
};
const PrivateConfigHome private_config_home;
} // namespace

QStringList ProgramFolder::default_resolutions() {
    return {"640x480@60",   "800x600@60",   "1024x768@60",  "1280x720@60",
            "1920x1080@60", "1920x1200@60", "1280x1024@60", "1360x768@60",
            "1366x768@60",  "1440x900@60",  "1600x1200@60", "1920x1080@50"};
}

ProgramFolder::ProgramFolder(int link_type, int port, bool advanced, const QString &address) {
    QByteArray reso;
    for (const QString &r : default_resolutions()) reso += '"' + r.toLatin1() + "\"\r\n";
    reso += "\"END\"\r\n";
    write_raw(QStringLiteral("output_reso.txt"), reso);
    QDir(dir_.path()).mkpath(QStringLiteral("bmp"));
    QDir(dir_.path()).mkpath(QStringLiteral("ports"));
    // Every COMn maps to a path that does not exist, so a test can never fall back to
    // the machine's own serial ports; a simulator replaces the link it serves.
    for (int n = 1; n <= 9; ++n)
        QFile::link(QStringLiteral("/nonexistent/tevral-test/COM%1").arg(n),
                    file(QStringLiteral("ports/COM%1").arg(n)));
    const QString built = qEnvironmentVariable("TEVRAL_RUNTIME_DIR") + QStringLiteral("/bmp");
    for (const QFileInfo &fi : QDir(built).entryInfoList({"*.bmp"}, QDir::Files))
        QFile::copy(fi.absoluteFilePath(), file(QStringLiteral("bmp/") + fi.fileName()));
    write_settings(link_type, port, advanced, address);
}

void ProgramFolder::write_settings(int link_type, int port, bool advanced, const QString &address) {
    QByteArray s = QByteArray::number(link_type) + "\r\n" + QByteArray::number(port) + "\r\n" +
                   (advanced ? "#TRUE#" : "#FALSE#") + "\r\n\"" + address.toLatin1() + "\"\r\n";
    write_raw(QStringLiteral("TEVRAL_QX.ini"), s);
}

void ProgramFolder::write_raw(const QString &name, const QByteArray &bytes) {
    QFile f(file(name));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(name));
    f.write(bytes);
}

QByteArray ProgramFolder::read_raw(const QString &name) const {
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

SimDevice::SimDevice() = default;

SimDevice::~SimDevice() { stop(); }

bool SimDevice::start_pty(const ProgramFolder &folder, int com, const QStringList &extra) {
    return start({QStringLiteral("--pty"), folder.file(QStringLiteral("ports/COM%1").arg(com))},
                 extra);
}

bool SimDevice::start_tcp(const QString &address, int port, const QStringList &extra) {
    return start({QStringLiteral("--tcp"), QStringLiteral("%1:%2").arg(address).arg(port)}, extra);
}

bool SimDevice::start(const QStringList &link_args, const QStringList &extra) {
    stop();
    QFile::remove(dir_.filePath(QStringLiteral("commands.txt")));
    mark_ = 0;
    proc_ = std::make_unique<SimProcess>();
    QStringList args = link_args;
    args << QStringLiteral("--state") << dir_.filePath(QStringLiteral("state.json"))
         << QStringLiteral("--commands") << dir_.filePath(QStringLiteral("commands.txt"))
         << QStringLiteral("--inject") << dir_.filePath(QStringLiteral("inject.sock")) << extra;
    QString why;
    if (proc_->start(args, &why)) return true;
    qWarning("veldra-sim did not start: %s", qPrintable(why));
    return false;
}

void SimDevice::stop() {
    if (!proc_) return;
    freeze(false); // a frozen simulator would sit on its SIGTERM
    proc_->stop();
    proc_.reset();
}

bool SimDevice::running() const { return proc_ && proc_->running(); }

void SimDevice::freeze(bool on) {
    if (running()) ::kill(static_cast<pid_t>(proc_->pid()), on ? SIGSTOP : SIGCONT);
}

QStringList SimDevice::commands() const {
    QFile f(dir_.filePath(QStringLiteral("commands.txt")));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

QStringList SimDevice::commands_since_mark() const { return commands().mid(mark_); }

void SimDevice::mark() { mark_ = commands().size(); }

bool SimDevice::wait_commands(int n, int timeout_ms) const {
    return pump_until([&] { return commands_since_mark().size() >= n; }, timeout_ms);
}

QJsonObject SimDevice::state() const {
    QFile f(dir_.filePath(QStringLiteral("state.json")));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QJsonDocument::fromJson(f.readAll()).object();
}

bool SimDevice::inject(const QString &line) {
    QLocalSocket s;
    s.connectToServer(dir_.filePath(QStringLiteral("inject.sock")));
    if (!s.waitForConnected(2000)) return false;
    s.write(line.toLatin1() + "\n");
    s.flush();
    s.waitForBytesWritten(2000);
    s.disconnectFromServer();
    if (s.state() != QLocalSocket::UnconnectedState) s.waitForDisconnected(1000);
    return true;
}

QString SimDevice::stderr_text() {
    return proc_ ? QString::fromLatin1(proc_->stderrSoFar()) : QString();
}

MessageCatcher::MessageCatcher() {
    timer_.setInterval(20);
    connect(&timer_, &QTimer::timeout, this, &MessageCatcher::poll);
    timer_.start();
}

void MessageCatcher::poll() {
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || paused_) return;
    messages.append({box->text(), box->icon(), clock_ms(), box->informativeText()});
    if (QAbstractButton *ok = box->button(QMessageBox::Ok))
        ok->click();
    else
        box->close();
}

QStringList MessageCatcher::texts() const {
    QStringList t;
    for (const Message &m : messages) t << m.text;
    return t;
}

void send_signals(qint64 pid, int sig, int count, int gap_ms) {
    for (int i = 0; i < count; ++i) {
        if (i > 0) QThread::msleep(gap_ms);
        ::kill(pid_t(pid), sig);
    }
}

void pump_ms(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool pump_until(const std::function<bool()> &pred, int timeout_ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeout_ms) return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QTest::qSleep(1);
    }
    return true;
}

std::unique_ptr<frm_main> load_panel(const ProgramFolder &folder) {
    auto f = std::make_unique<frm_main>(folder.path());
    if (!f->Form_Load()) return nullptr;
    return f;
}
