// Placeholder bodies: this area is being built.
#include "app/frm_main.h"

void frm_main::build_power_controls() {}
void frm_main::cmd_pwr_Click() {}
void frm_main::cmd_lock_Click() {}
void frm_main::cmd_fact_reset_Click() {}
void frm_main::cmd_ver_Click() {}
void frm_main::rx_pwr() {}
void frm_main::rx_lck() {}
void frm_main::rx_rst() {}
void frm_main::rx_ver() {}
