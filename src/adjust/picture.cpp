// Placeholder bodies: this area is being built.
#include "app/frm_main.h"

void frm_main::build_picture_controls() {}
void frm_main::hsr_bri_Change(int) {}
void frm_main::hsr_con_Change(int) {}
void frm_main::hsr_hue_Change(int) {}
void frm_main::hsr_sat_Change(int) {}
void frm_main::rx_bri() {}
void frm_main::rx_con() {}
void frm_main::rx_hue() {}
void frm_main::rx_sat() {}
void frm_main::cmd_pic_refresh_Click() {}
void frm_main::cmd_pic_reset_Click() {}
PictureFamily frm_main::picture_family(const QString &) { return PictureFamily{"BRI", fra_bri, &lab_bri, &hsr_bri, &txt_bri}; }
