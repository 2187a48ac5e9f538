#include "app/command_line.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <cstdio>

QString version_text(const QString &build) {
    return QStringLiteral("TEVRAL-QX %1 (build %2)").arg(QStringLiteral(TEVRAL_VERSION), build);
}

bool display_available(const QString &platform, bool has_x11, bool has_wayland) {
    if (platform.isEmpty()) return has_x11 || has_wayland;
    const QStringList names = platform.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &entry : names) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (name == QLatin1String("xcb")) {
            if (has_x11) return true;
        } else if (name.startsWith(QLatin1String("wayland"))) {
            if (has_wayland) return true;
        } else {
            // offscreen, vnc, eglfs, ...: no display server needed, or one we do not
            // know of; the window system decides.
            return true;
        }
    }
    return names.isEmpty() && (has_x11 || has_wayland);
}

StartChoice start_choice(const QStringList &arguments, const QString &build) {
    QCommandLineParser parser;
    // Qt's own options are written with one dash (-platform offscreen, -style fusion).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Control panel for the VELDRA video matrix switcher."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    // The window system's options, passed on to it untouched.
    QCommandLineOption platform(QStringLiteral("platform"), QString(), QStringLiteral("name"));
    platform.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(platform);
    for (const char *name : {"platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                             "qwindowicon", "qwindowtitle", "session", "display", "geometry",
                             "name", "style", "stylesheet", "qmljsdebugger"}) {
        QCommandLineOption o(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }
    for (const char *name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption o(QString::fromLatin1(name));
        o.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(o);
    }

    StartChoice c;
    const QString program = QFileInfo(arguments.value(0, QStringLiteral("tevral-qx"))).fileName();
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(help)) {
        c.run = false;
        QString text = parser.helpText();
        // Without an application object the parser cannot name the program.
        text.replace(QLatin1String("<executable_name>"), program);
        c.out = text;
        return c;
    }
    if (parser.isSet(version)) {
        c.run = false;
        c.out = version_text(build) + QLatin1Char('\n');
        return c;
    }
    QString fault;
    if (!parsed) {
        fault = parser.errorText();
        if (fault.endsWith(QLatin1Char('.'))) fault.chop(1);
    } else if (!parser.positionalArguments().isEmpty()) {
        fault = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
    }
    if (!fault.isEmpty()) {
        c.run = false;
        c.exit_code = 2;
        c.err = QStringLiteral("%1: %2; see %1 --help\n").arg(program, fault);
        return c;
    }
    const QString chosen =
        parser.isSet(platform) ? parser.value(platform) : qEnvironmentVariable("QT_QPA_PLATFORM");
    const bool x11 =
        !qEnvironmentVariableIsEmpty("DISPLAY") || parser.isSet(QStringLiteral("display"));
    if (!display_available(chosen, x11, !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))) {
        c.run = false;
        c.exit_code = 1;
        c.err = QStringLiteral("%1 needs a graphical session (an X11 or Wayland display) "
                               "and found none; start it from the desktop.\n")
                    .arg(program);
    }
    return c;
}

bool prepare_start(int argc, char **argv, const char *build, int *exit_code) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const StartChoice c = start_choice(arguments, QString::fromUtf8(build));
    if (!c.out.isEmpty()) std::fputs(c.out.toLocal8Bit().constData(), stdout);
    if (!c.err.isEmpty()) std::fputs(c.err.toLocal8Bit().constData(), stderr);
    *exit_code = c.exit_code;
    return c.run;
}

QIcon program_icon() {
    // The resource lives in a static library: register it explicitly, once.
    static const bool registered = [] {
        Q_INIT_RESOURCE(tevral_icon);
        return true;
    }();
    Q_UNUSED(registered);
    return QIcon(QStringLiteral(":/tevral-qx.png"));
}

void set_application_identity() {
    QCoreApplication::setApplicationName(QStringLiteral("tevral-qx"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TEVRAL_VERSION));
    // Wayland shows the icon of the desktop entry of this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("tevral-qx"));
    // Also for message boxes shown before the main window.
    QApplication::setWindowIcon(program_icon());
}
