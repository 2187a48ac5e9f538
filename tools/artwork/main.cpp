// tevral-artwork: writes the panel's pictures into a folder, as the build does for the
// program's bmp folder, and the application icon at every size into an icon theme
// folder (ICON_FOLDER/NxN/apps/tevral-qx.png).
//   tevral-artwork BMP_FOLDER [ICON_FOLDER]

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <cstdio>

#include "artwork.h"

int main(int argc, char *argv[]) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: tevral-artwork BMP_FOLDER [ICON_FOLDER]\n");
        return 2;
    }
    // Text needs a font database, which needs a GUI application; no display is used.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString error;
    if (!artwork::write_all(QString::fromLocal8Bit(argv[1]), &error)) {
        std::fprintf(stderr, "tevral-artwork: %s\n", qPrintable(error));
        return 1;
    }
    for (int size : artwork::ICON_SIZES) {
        if (argc < 3) break;
        const QString icon = QStringLiteral("%1/%2x%2/apps/tevral-qx.png")
                                 .arg(QString::fromLocal8Bit(argv[2]))
                                 .arg(size);
        QDir().mkpath(QFileInfo(icon).absolutePath());
        if (!artwork::icon(size).save(icon, "PNG")) {
            std::fprintf(stderr, "tevral-artwork: cannot write %s\n", qPrintable(icon));
            return 1;
        }
    }
    return 0;
}
