#include <QApplication>

#include "app/frm_main.h"
#include "app/shutdown_signals.h"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    frm_main window(QCoreApplication::applicationDirPath());
    if (!window.Form_Load()) return 1;
    new ShutdownSignals(&window, [&window] { window.save_settings(); });
    return app.exec();
}
