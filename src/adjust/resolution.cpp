// Placeholder bodies: this area is being built.
#include "app/frm_main.h"

void frm_main::build_resolution_controls() {}
void frm_main::cbo_output_Click() {}
void frm_main::rx_res() {}
