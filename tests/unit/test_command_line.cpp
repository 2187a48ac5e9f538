// The command line and the display check: the program run without any display.
#include <QImage>
#include <QProcess>
#include <QTest>

#include "app/command_line.h"

class CommandLine : public QObject {
    Q_OBJECT
private slots:
    void display_check_data() {
        QTest::addColumn<QString>("platform");
        QTest::addColumn<bool>("x11");
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<bool>("available");
        QTest::newRow("nothing") << "" << false << false << false;
        QTest::newRow("x11") << "" << true << false << true;
        QTest::newRow("wayland") << "" << false << true << true;
        QTest::newRow("xcb without DISPLAY") << "xcb" << false << true << false;
        QTest::newRow("xcb with arguments") << "xcb:nomitshm" << true << false << true;
        QTest::newRow("wayland list falls back") << "wayland;xcb" << true << false << true;
        QTest::newRow("wayland-egl without socket") << "wayland-egl" << true << false << false;
        QTest::newRow("offscreen") << "offscreen" << false << false << true;
        QTest::newRow("vnc with port") << "vnc:size=800x600" << false << false << true;
    }
    void display_check() {
        QFETCH(QString, platform);
        QFETCH(bool, x11);
        QFETCH(bool, wayland);
        QFETCH(bool, available);
        QCOMPARE(display_available(platform, x11, wayland), available);
    }

    void display_named_on_the_command_line() {
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        qunsetenv("QT_QPA_PLATFORM");
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        const StartChoice none = start_choice({"tevral-qx"}, "b");
        const StartChoice named = start_choice({"tevral-qx", "-display", ":5"}, "b");
        const StartChoice offscreen = start_choice({"tevral-qx", "-platform", "offscreen"}, "b");
        qputenv("QT_QPA_PLATFORM", platform);
        QVERIFY(!none.run);
        QCOMPARE(none.exit_code, 1);
        QVERIFY(named.run);
        QVERIFY(offscreen.run);
    }

    void without_display_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "--version"
                                << "";
        QTest::newRow("-h") << QStringList{"-h"} << 0 << "Usage: tevral-qx"
                            << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "TEVRAL-QX 1.6 (build "
                                   << "";
        QTest::newRow("-v among others")
            << QStringList{"-style", "fusion", "-v"} << 0 << "TEVRAL-QX 1.6 (build "
            << "";
        QTest::newRow("no display") << QStringList{} << 1 << ""
                                    << "needs a graphical session";
        QTest::newRow("forced xcb") << QStringList{"-platform", "xcb"} << 1 << ""
                                    << "needs a graphical session";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << ""
                                        << "'bogus'";
        QTest::newRow("stray argument") << QStringList{"file.txt"} << 2 << ""
                                        << "file.txt";
    }
    void without_display() {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TEVRAL_PROGRAM), args);
        QVERIFY(p.waitForFinished(20000));
        const QString stdout_text = QString::fromLocal8Bit(p.readAllStandardOutput());
        const QString stderr_text = QString::fromLocal8Bit(p.readAllStandardError());
        // A crash (the window system's abort) is not an exit.
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), code);
        QVERIFY2(stdout_text.contains(out), qPrintable(stdout_text));
        if (err.isEmpty()) {
            QVERIFY2(stderr_text.isEmpty(), qPrintable(stderr_text));
        } else {
            QVERIFY2(stderr_text.contains(err), qPrintable(stderr_text));
            QCOMPARE(stderr_text.count(QLatin1Char('\n')), 1); // one line
        }
    }

    void icon_is_the_artwork() {
        const QImage drawn(qEnvironmentVariable("TEVRAL_RUNTIME_DIR") +
                           QStringLiteral("/packaging/icons/64x64/apps/tevral-qx.png"));
        QVERIFY(!drawn.isNull());
        QCOMPARE(program_icon().pixmap(64).toImage().convertToFormat(drawn.format()), drawn);
    }
};

QTEST_MAIN(CommandLine)
#include "test_command_line.moc"
