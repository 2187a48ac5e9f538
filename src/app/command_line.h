#pragma once
// The command line and the display check, both done before the application object
// exists: --help and --version must work without a display, and without one the
// program ends with a plain message instead of the window system's abort.

#include <QIcon>
#include <QString>
#include <QStringList>

// "1.6", and the build (git describe of the source tree, or the project version).
QString version_text(const QString &build);

// Whether the window system can be reached: `platform` is the -platform argument or
// QT_QPA_PLATFORM (possibly a ';' list, each name optionally followed by ':' and
// arguments); the flags say whether DISPLAY and WAYLAND_DISPLAY are set.
bool display_available(const QString &platform, bool has_x11, bool has_wayland);

struct StartChoice {
    bool run = true;   // go on and make the application
    int exit_code = 0; // else end with this code
    QString out;       // printed on stdout
    QString err;       // printed on stderr
};

// Decides from the arguments (argv[0] first) and the environment what to do; `build`
// is what --version names as the build.
StartChoice start_choice(const QStringList &arguments, const QString &build);

// Prints what start_choice says; false when main should return `*exit_code` at once.
bool prepare_start(int argc, char **argv, const char *build, int *exit_code);

// The program's icon (compiled in).
QIcon program_icon();

// Name, version, icon and desktop entry of the application object just made.
void set_application_identity();
