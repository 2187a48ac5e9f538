// Placeholder bodies: this area is being built.
#include "app/frm_main.h"

void frm_main::build_mode_controls() {}
void frm_main::cmd_mode_Click(int) {}
void frm_main::rx_mod() {}
