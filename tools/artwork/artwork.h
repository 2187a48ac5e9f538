#pragma once
// The panel's artwork, drawn in code: the state pictures that the program loads from
// its bmp folder, the pictures its windows carry from construction, and the
// application icon. One palette, one set of stroke widths and one font for all.

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>
#include <functional>

namespace artwork {

struct Picture {
    QString file;                       // file name in the bmp folder, e.g. "power_on.bmp"
    QSize size;                         // exact pixel size
    std::function<void(QImage &)> draw; // paints the whole picture
};

// Every picture of the bmp folder, in a fixed order.
QList<Picture> pictures();

// Draws one picture as a 24-bit image (QImage::Format_RGB888).
QImage render(const Picture &picture);

// The application icon, `size` x `size` pixels with transparency: drawn on a 64-pixel
// grid and scaled, so every size shows the same picture.
QImage icon(int size = 64);

// The sizes installed into the icon theme (hicolor/NxN/apps).
const QList<int> ICON_SIZES = {48, 64, 256};

// Writes every picture as a 24-bit BMP into `folder` (created if missing). Returns false
// and says which file in `error` when a file cannot be written.
bool write_all(const QString &folder, QString *error);

} // namespace artwork
