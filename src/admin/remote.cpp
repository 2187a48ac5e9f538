// Placeholder bodies: this area is being built.
#include "app/frm_main.h"

void frm_main::build_remote_controls() {}
void frm_main::cmd_menu_up_Click() {}
void frm_main::cmd_menu_down_Click() {}
void frm_main::cmd_menu_left_Click() {}
void frm_main::cmd_menu_right_Click() {}
void frm_main::cmd_menu_ok_Click() {}
void frm_main::cmd_menu_menu_Click() {}
void frm_main::cmd_menu_exit_Click() {}
void frm_main::cmd_keypad_Click() {}
void frm_main::keypad_closed() {}
