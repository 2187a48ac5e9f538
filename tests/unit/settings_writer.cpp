// Helper for the atomic-write test: rewrites the settings file in a loop, alternating
// two contents, until it is killed.
#include <QCoreApplication>

#include "platform/value_list.h"

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    const QString path = QString::fromLocal8Bit(argv[1]);
    Settings a{0, 1, false, QStringLiteral("first address, written in full")};
    Settings b{1, 9, true, QString(200, QLatin1Char('x'))};
    for (unsigned i = 0;; ++i) write_settings_file(path, (i & 1) ? b : a);
}
