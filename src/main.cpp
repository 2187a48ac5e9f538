#include <QApplication>

#include "app/frm_main.h"

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    frm_main window(QCoreApplication::applicationDirPath());
    if (!window.Form_Load()) return 1;
    return app.exec();
}
