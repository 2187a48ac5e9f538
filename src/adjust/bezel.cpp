// Placeholder bodies: this area is being built.
#include "app/frm_main.h"

void frm_main::build_bezel_controls() {}
void frm_main::hsr_bezel_h_Change() {}
void frm_main::hsr_bezel_v_Change() {}
void frm_main::opt_bezel_onoff_Click(int) {}
void frm_main::rx_beh() {}
void frm_main::rx_bev() {}
void frm_main::rx_bez() {}
