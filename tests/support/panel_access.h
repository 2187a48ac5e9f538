#pragma once
// The panel with every part a test may reach through its accessors.

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

#include "adjust/adjust_panel.h"
#include "admin/admin_panel.h"
#include "admin/frm_keypad.h"
#include "app/frm_main.h"
#include "interface/link_panel.h"
#include "link/connection.h"
#include "link/poll_timer.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"
#include "protocol/command.h"
#include "protocol/device_state.h"
#include "protocol/exchange.h"
#include "switching/switching_panel.h"
#include "ui/panel_style.h"
#include "ui/widgets.h"

// Puts the panel into states that tests need and a device cannot produce directly.
struct TestProbe {
    static void set_busy(frm_main &f, bool on) { f.exchange_->busy_ = on; }
    static void set_reception(frm_main &f, const QString &text, int count) {
        f.exchange_->rx_buffer_ = text;
        f.exchange_->rx_count_ = count;
    }
    static void set_mode(frm_main &f, int m) { f.state_.slot(Mnemonic::MOD) = m; }
    static void set_ui_ready(frm_main &f, bool on) { f.ui_.ready_ = on; }
};
