// Placeholder bodies: this area is being built.
#include "app/frm_main.h"

void frm_main::build_preset_controls() {}
void frm_main::cmd_save_Click(int) {}
void frm_main::cmd_recall_Click(int) {}
void frm_main::rx_sav() {}
void frm_main::rx_cal() {}
