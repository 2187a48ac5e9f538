#include "ui/panel_style.h"

QFont panel_font(const QString &family, double points, bool bold) {
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}
