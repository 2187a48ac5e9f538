#pragma once
// What the area panels need of the main window.

#include <QGroupBox>
#include <QMessageBox>
#include <QString>

class PanelHost {
public:
    virtual ~PanelHost() = default;
    // Modal message with an OK button (exact text; icon as the caller says); the
    // informative text, when given, explains it below.
    virtual void show_message(const QString &text, QMessageBox::Icon icon,
                              const QString &informative = QString()) = 0;
    virtual QString program_folder() const = 0;
    // Path of a runtime file given as "\bmp\name.bmp" or "\file.txt".
    virtual QString program_path(const QString &backslash_name) const = 0;
};

// The frames the window builds; each area builds its controls into its own.
struct PanelFrames {
    QWidget *window = nullptr;
    QGroupBox *fra_btn = nullptr, *fra_rs232 = nullptr, *fra_dual_a = nullptr,
              *fra_dual_b = nullptr, *fra_audio = nullptr, *fra_bezel = nullptr, *fra_pic = nullptr,
              *fra_con = nullptr, *fra_bri = nullptr, *fra_sat = nullptr, *fra_hue = nullptr,
              *fra_recall_save = nullptr;
};
