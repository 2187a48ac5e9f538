#include "admin/frm_keypad.h"
#include "app/frm_main.h"
frm_keypad::frm_keypad(frm_main *owner) : QWidget(owner, Qt::Tool) { setObjectName("frm_keypad"); }
