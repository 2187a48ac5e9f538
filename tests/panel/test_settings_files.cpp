// Where the settings go at close, what happens when they cannot be written, and the
// program's own shut-down on signals.
#include <QDir>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>
#include <csignal>
#include <sys/resource.h>

#include "app/shutdown_signals.h"
#include "panel_rig.h"
#include "scratch_fs.h"

namespace {
const QByteArray OLD_SETTINGS = "1\r\n2\r\n#FALSE#\r\n\"10.1.2.3\"\r\n";
const QByteArray CHANGED_SETTINGS = "1\r\n2\r\n#TRUE#\r\n\"10.9.9.9\"\r\n";
const QString ADDR_SLOW = QStringLiteral("127.0.0.170"); // this file's loopback address

// Points the per-user folder somewhere for one check.
struct ConfigHome {
    QByteArray old = qgetenv("XDG_CONFIG_HOME");
    explicit ConfigHome(const QString &path) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path));
    }
    ~ConfigHome() { qputenv("XDG_CONFIG_HOME", old); }
};
QString user_settings() {
    return qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/tevral-qx/TEVRAL_QX.ini");
}

QByteArray read_file(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A program folder with only the two text files (the scratch file system is small).
QString small_program_folder(const QString &parent) {
    const QString folder = parent + QStringLiteral("/program");
    QDir().mkpath(folder);
    QFile s(folder + QStringLiteral("/TEVRAL_QX.ini")),
        r(folder + QStringLiteral("/output_reso.txt"));
    if (!s.open(QIODevice::WriteOnly) || !r.open(QIODevice::WriteOnly)) return QString();
    s.write(OLD_SETTINGS);
    r.write("\"640x480\"\r\n\"END\"\r\n");
    return folder;
}

// Starts the panel, changes every setting and closes the window.
bool run_and_change(const QString &folder) {
    frm_main f(folder);
    if (!f.Form_Load()) return false;
    f.link().txt_ip->setText(QStringLiteral("  10.9.9.9 "));
    f.link().cmd_advance_Click();
    return f.close();
}
} // namespace

class TestSettingsFiles : public QObject {
    Q_OBJECT
private slots:
    void nothing_writable_keeps_old_file_and_says_so_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("full disk") << "full";
        QTest::newRow("no free inodes") << "inodes";
        QTest::newRow("read-only folder") << "read-only";
    }
    void nothing_writable_keeps_old_file_and_says_so() {
        QFETCH(QString, fault);
        ScratchFs fs;
        const QString folder = small_program_folder(fs.path());
        QVERIFY(!folder.isEmpty());
        // The per-user folder lies on the same file system: nothing at all can be written.
        ConfigHome home(fs.path() + QStringLiteral("/config"));
        MessageCatcher msgs;
        frm_main f(folder);
        QVERIFY(f.Form_Load());
        f.link().cmd_advance_Click();
        const bool made = fault == QLatin1String("full")     ? fs.fill()
                          : fault == QLatin1String("inodes") ? fs.use_up_inodes()
                                                             : fs.make_read_only();
        if (!made) QSKIP(qPrintable(QStringLiteral("cannot make the fault: ") + fs.how));
        qInfo("fault made by: %s", qPrintable(fs.how));
        f.close();
        fs.release();
        QCOMPARE(read_file(folder + QStringLiteral("/TEVRAL_QX.ini")), OLD_SETTINGS);
        QCOMPARE(msgs.messages.size(), 1);
        QCOMPARE(msgs.messages[0].icon, QMessageBox::Critical);
        const QString text = msgs.messages[0].text;
        qInfo("message: %s", qPrintable(text));
        // Both places, each with its reason.
        QVERIFY(text.startsWith(QStringLiteral("The settings could not be saved.\n\n")));
        QVERIFY(text.contains(folder + QStringLiteral("/TEVRAL_QX.ini: ")));
        QVERIFY(text.contains(fs.path() + QStringLiteral("/config/tevral-qx")));
        QVERIFY(!QFile::exists(user_settings()));
        QCOMPARE(QDir(folder).entryList({"TEVRAL_QX.ini*"}, QDir::Files | QDir::Hidden),
                 QStringList{"TEVRAL_QX.ini"});
    }

    void stale_temporary_files_removed_at_start() {
        ProgramFolder folder(1, 1);
        // A name from Qt's own generator, the one QSaveFile names its temporary with.
        QTemporaryFile made(folder.file(QStringLiteral("TEVRAL_QX.ini.XXXXXX")));
        made.setAutoRemove(false);
        QVERIFY(made.open());
        const QString user_folder = QFileInfo(user_settings()).path();
        QDir().mkpath(user_folder);
        const QStringList stale{made.fileName(),
                                user_folder + QStringLiteral("/TEVRAL_QX.ini.zz09ZZ")};
        const QStringList kept{folder.file("TEVRAL_QX.ini.bak"),
                               folder.file("TEVRAL_QX.ini.Ab3dE9x"),
                               folder.file("output_reso.txt.Ab3dE9")};
        for (const QString &p : stale + kept) QFile(p).open(QIODevice::WriteOnly);
        QVERIFY(load_panel(folder));
        for (const QString &p : stale) QVERIFY2(!QFile::exists(p), qPrintable(p));
        for (const QString &p : kept) QVERIFY2(QFile::exists(p), qPrintable(p));
        QDir(user_folder).removeRecursively();
    }

    void portable_folder_kept_as_today() {
        ProgramFolder folder(1, 2, false, QStringLiteral("10.1.2.3"));
        QCOMPARE(folder.read_raw(QStringLiteral("TEVRAL_QX.ini")), OLD_SETTINGS);
        QVERIFY(run_and_change(folder.path()));
        QCOMPARE(folder.read_raw(QStringLiteral("TEVRAL_QX.ini")), CHANGED_SETTINGS);
        QVERIFY(!QFileInfo::exists(QFileInfo(user_settings()).path()));
    }

    // The Debian package's program folder links its settings file to /etc/tevral-qx: a
    // save by someone who may write it goes through the link, which stays a link, and
    // start-up clears a crashed save's temporary beside the target.
    void linked_settings_file_written_through_the_link() {
        ProgramFolder folder(1, 2, false, QStringLiteral("10.1.2.3"));
        QTemporaryDir etc;
        const QString shared = etc.filePath(QStringLiteral("TEVRAL_QX.ini"));
        const QString link = folder.file("TEVRAL_QX.ini");
        QVERIFY(QFile::rename(link, shared) && QFile::link(shared, link));
        // What a save killed during its rename leaves, beside the link's target.
        const QString stale = etc.filePath(QStringLiteral("TEVRAL_QX.ini.Ab3dE9"));
        QVERIFY(QFile(stale).open(QIODevice::WriteOnly));
        QVERIFY(run_and_change(folder.path()));
        QVERIFY(!QFile::exists(stale));
        QCOMPARE(read_file(shared), CHANGED_SETTINGS);
        QCOMPARE(QFileInfo(link).symLinkTarget(), shared);
        QVERIFY(!QFileInfo::exists(QFileInfo(user_settings()).path()));
    }

    void read_only_program_folder_uses_per_user_file() {
        ScratchFs fs;
        const QString folder = small_program_folder(fs.path());
        QTemporaryDir home_dir;
        ConfigHome home(home_dir.path());
        if (!fs.make_read_only())
            QSKIP(qPrintable(QStringLiteral("no read-only folder: ") + fs.how));
        qInfo("read-only program folder made by: %s", qPrintable(fs.how));
        MessageCatcher msgs;
        QVERIFY(run_and_change(folder));
        QCOMPARE(read_file(user_settings()), CHANGED_SETTINGS);
        {
            // read in place of the program folder's file, and written again
            frm_main f(folder);
            QVERIFY(f.Form_Load());
            QCOMPARE(f.link().txt_ip->text(), QStringLiteral("10.9.9.9"));
            f.link().cmd_advance_Click();
            f.close();
        }
        QCOMPARE(read_file(user_settings()), QByteArray("1\r\n2\r\n#FALSE#\r\n\"10.9.9.9\"\r\n"));
        QCOMPARE(read_file(folder + QStringLiteral("/TEVRAL_QX.ini")), OLD_SETTINGS);
        QVERIFY(msgs.messages.isEmpty());
    }

    void per_user_port_map_comes_first() {
        ProgramFolder folder(0, 3); // its ports/COM3 leads nowhere
        QTemporaryDir home_dir;
        ConfigHome home(home_dir.path());
        SimDevice sim;
        QVERIFY(
            sim.start({"--pty", home_dir.path() + QStringLiteral("/tevral-qx/ports/COM3")}, {}));
        auto f = load_panel(folder);
        QVERIFY(f && f->connection().serial_open());
        f->exchange().send_cmd(QStringLiteral("VER999"));
        QCOMPARE(f->exchange().reply_ok(), true);
    }

    // The per-user venue file's names become the routing buttons' tooltips; the captions
    // stay the device's, and a port without a name (or a broken file) has no tooltip.
    void venue_names_as_tooltips_data() {
        QTest::addColumn<QByteArray>("venue");
        QTest::addColumn<QStringList>("tips"); // IN1..IN4, OUT1..OUT4
        QTest::newRow("named") << QByteArray(R"({"inputs": ["Lectern PC", "", "<b>Cam</b>"],
                                                 "outputs": ["Projector"]})")
                               << QStringList{"Lectern PC", "", "<b>Cam</b>", "",
                                              "Projector",  "", "",           ""};
        QTest::newRow("broken") << QByteArray(R"({"inputs": ["Lectern PC",]})")
                                << QStringList(8, QString());
    }
    void venue_names_as_tooltips() {
        QFETCH(QByteArray, venue);
        QFETCH(QStringList, tips);
        ProgramFolder folder(1, 1);
        QTemporaryDir home_dir;
        ConfigHome home(home_dir.path());
        QVERIFY(QDir().mkpath(home_dir.path() + QStringLiteral("/tevral-qx")));
        QFile f(home_dir.path() + QStringLiteral("/tevral-qx/venue.json"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(venue);
        f.close();
        auto panel = load_panel(folder);
        QVERIFY(panel);
        QStringList seen;
        for (int n = 1; n <= 4; ++n) {
            seen << panel->switching().cmd_inp[n]->toolTip();
            QCOMPARE(panel->switching().cmd_inp[n]->text(), QStringLiteral("IN%1").arg(n));
        }
        for (int n = 1; n <= 4; ++n) seen << panel->switching().cmd_out[n]->toolTip();
        QCOMPARE(seen, tips);
    }

    // The real program, stopped by signals: after start-up, in a burst, over the start-up
    // message box, and with nowhere to write (message on standard error, old file whole).
    void signals_close_the_window_and_save_data() {
        QTest::addColumn<int>("sig");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<bool>("writable");
        const QByteArray eth = "1,2,#TRUE#,\"  10.9.9.9  \"\r\n";
        // COM5 leads nowhere: "COM 5: Fail !" stands before the window.
        const QByteArray com5 = "0,5,#TRUE#,\"10.9.9.9\"\r\n";
        const QByteArray com5_saved = "0\r\n5\r\n#TRUE#\r\n\"10.9.9.9\"\r\n";
        QTest::newRow("SIGTERM") << int(SIGTERM) << 1 << eth << CHANGED_SETTINGS << true;
        QTest::newRow("SIGINT") << int(SIGINT) << 1 << eth << CHANGED_SETTINGS << true;
        QTest::newRow("SIGHUP") << int(SIGHUP) << 1 << eth << CHANGED_SETTINGS << true;
        QTest::newRow("50 SIGTERMs") << int(SIGTERM) << 50 << eth << CHANGED_SETTINGS << true;
        QTest::newRow("SIGTERM over the start-up box")
            << int(SIGTERM) << 1 << com5 << com5_saved << true;
        QTest::newRow("SIGHUP over the start-up box")
            << int(SIGHUP) << 1 << com5 << com5_saved << true;
        QTest::newRow("SIGTERM, nothing writable") << int(SIGTERM) << 1 << eth << eth << false;
    }
    void signals_close_the_window_and_save() {
        QFETCH(int, sig);
        QFETCH(int, count);
        QFETCH(QByteArray, settings);
        QFETCH(QByteArray, saved);
        QFETCH(bool, writable);
        // The real program, from a program folder of its own (it finds its files beside its
        // executable, so the executable is copied there).
        ProgramFolder folder(1, 2);
        folder.write_raw(QStringLiteral("TEVRAL_QX.ini"), settings);
        const QString program = folder.file(QStringLiteral("tevral-qx"));
        QVERIFY(QFile::copy(qEnvironmentVariable("TEVRAL_QX"), program));
        QProcess p;
        // No file may grow beyond 0 bytes: every place fails at the save's flush.
        if (!writable)
            p.setChildProcessModifier([] {
                ::signal(SIGXFSZ, SIG_IGN);
                rlimit lim;
                ::getrlimit(RLIMIT_FSIZE, &lim);
                lim.rlim_cur = 0;
                ::setrlimit(RLIMIT_FSIZE, &lim);
            });
        p.start(program, {});
        QVERIFY(p.waitForStarted());
        // Ready once its handlers are in place (before start-up's first message).
        const auto catches = [&] {
            const QByteArray status =
                read_file(QStringLiteral("/proc/%1/status").arg(p.processId()));
            const int at = status.indexOf("SigCgt:");
            const quint64 mask = status.mid(at + 7, 17).trimmed().toULongLong(nullptr, 16);
            return at >= 0 && (mask >> (sig - 1)) & 1;
        };
        QVERIFY(pump_until(catches, 20000));
        pump_ms(300); // start-up runs on to its message box, or to the window
        send_signals(p.processId(), sig, count);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        // Saved as at a click on the close box: four lines, the address trimmed.
        QCOMPARE(folder.read_raw(QStringLiteral("TEVRAL_QX.ini")), saved);
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        QCOMPARE(err.contains(QStringLiteral("The settings could not be saved.")), !writable);
        QCOMPARE(QDir(folder.path()).entryList({"TEVRAL_QX.ini*"}, QDir::Files | QDir::Hidden),
                 QStringList{"TEVRAL_QX.ini"});
    }

    // A stop request while a refresh waits on a slow device (each reply just inside the
    // link's time-out): the refresh ends at its next exchange, settings saved, no box.
    void signal_ends_a_slow_refresh_data() {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QString>("latency");
        QTest::newRow("tcp") << true << "700";
        QTest::newRow("pty") << false << "400";
    }
    void signal_ends_a_slow_refresh() {
        QFETCH(bool, tcp);
        QFETCH(QString, latency);
        PanelRig rig;
        QVERIFY(tcp ? rig.start_tcp(ADDR_SLOW, {}, {"--latency", latency})
                    : rig.start_pty({"--latency", latency}));
        const QByteArray saved = rig.folder->read_raw(QStringLiteral("TEVRAL_QX.ini"));
        rig.folder->write_raw(QStringLiteral("TEVRAL_QX.ini"), "1,1,#FALSE#,\"x\"\r\n");
        new ShutdownSignals(rig.f.get(), {}, [&rig] { rig.f->close_unattended(); });
        QElapsedTimer clock;
        qint64 signalled = -1;
        QTimer stop; // owned here: never fires once the refresh is over
        stop.setSingleShot(true);
        QObject::connect(&stop, &QTimer::timeout, [&] {
            rig.sim.mark();
            signalled = clock.elapsed();
            ::kill(::getpid(), SIGTERM);
        });
        stop.start(1000);
        clock.start();
        rig.f->switching().cmd_refresh_Click();
        const qint64 after_signal = clock.elapsed() - signalled;
        stop.stop();
        rig.f.reset();
        ::signal(SIGTERM, SIG_DFL); // stop requests left ignored for the rest of the process
        QVERIFY(signalled > 0);
        qInfo("the refresh ended %lld ms after the signal", after_signal);
        QVERIFY2(after_signal < 2000, qPrintable(QString::number(after_signal)));
        QVERIFY(rig.sent_since_mark(300).size() <= 1);
        QCOMPARE(rig.folder->read_raw(QStringLiteral("TEVRAL_QX.ini")), saved);
        QVERIFY(rig.msgs.messages.isEmpty());
    }
};

QTEST_MAIN(TestSettingsFiles)
#include "test_settings_files.moc"
