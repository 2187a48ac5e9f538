// Placeholder bodies: this area is being built.
#include "app/frm_main.h"

void frm_main::build_routing_controls() {}
void frm_main::cmd_out_Click(int) {}
void frm_main::cmd_inp_Click(int) {}
void frm_main::map_refresh() {}
void frm_main::rx_out() {}
void frm_main::rx_inp() {}
std::array<LineShape *, 5> &frm_main::lines_of(int output) { switch (output) { case 1: return line_a; case 2: return line_b; case 3: return line_c; default: return line_d; } }
