#pragma once
#include <QWidget>
class frm_main;
// Keypad window: forwards keyboard keys to the main window's handlers.
class frm_keypad : public QWidget {
    Q_OBJECT
public:
    explicit frm_keypad(frm_main *owner);
};
