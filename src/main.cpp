#include <QApplication>

#include "app/command_line.h"
#include "app/frm_main.h"
#include "app/shutdown_signals.h"
#include "build_version.h"

int main(int argc, char *argv[]) {
    int exit_code = 0;
    if (!prepare_start(argc, argv, TEVRAL_BUILD_VERSION, &exit_code)) return exit_code;
    QApplication app(argc, argv);
    set_application_identity();
    frm_main window(QCoreApplication::applicationDirPath());
    // In place before start-up: a signal over a start-up message saves and exits too.
    new ShutdownSignals(
        &window, [&window] { window.save_settings(); }, [&window] { window.close_unattended(); });
    if (!window.Form_Load()) return 1;
    // A stop request came during start-up: shut-down has already run.
    if (window.unloaded()) return 0;
    return app.exec();
}
