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
    if (!window.Form_Load()) return 1;
    new ShutdownSignals(&window, [&window] { window.save_settings(); });
    return app.exec();
}
