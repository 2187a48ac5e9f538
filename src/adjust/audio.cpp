// Placeholder bodies: this area is being built.
#include "app/frm_main.h"

void frm_main::build_audio_controls() {}
void frm_main::opt_audio_Click(int) {}
void frm_main::opt_da_Click(int) {}
void frm_main::opt_db_Click(int) {}
void frm_main::cmd_mute_Click() {}
void frm_main::rx_aua() {}
void frm_main::rx_aub() {}
void frm_main::rx_aud() {}
void frm_main::rx_aue() {}
