#pragma once
// Colours and fonts of the panel.

#include <QColor>
#include <QFont>
#include <QString>

#include "ui/widgets.h"

struct PanelStyle {
    // 0x00BBGGRR in the design, as QColor here.
    static QColor selection_colour() { return QColor(0x50, 0xC0, 0xFF); }
    static QColor busy_colour() { return QColor(0xC0, 0xC0, 0x00); }
    static QColor green_colour() { return QColor(0, 192, 0); }
    static QColor red_colour() { return QColor(255, 0, 0); }
    static QColor amber_colour() { return QColor(192, 192, 0); }
    static QColor grey_colour() { return QColor(192, 192, 192); }
    static QColor face() { return ColorButton::button_face(); }
};

// Font helper: family and size in points, optionally bold.
QFont panel_font(const QString &family, double points, bool bold = false);
