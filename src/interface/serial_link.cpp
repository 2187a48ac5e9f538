// The RS-232 link: opening the chosen port and showing its state.

#include <QComboBox>
#include <QCoreApplication>
#include <QTimer>

#include "interface/link_panel.h"
#include "link/connection.h"
#include "link/reconnect.h"
#include "link/serial_port.h"
#include "protocol/exchange.h"
#include "ui/panel_style.h"
#include "ui/ui_ready.h"

void LinkPanel::set_comm() {
    manual_connect();
    if (link_.serial_open()) link_.MSComm1()->close();
    cbo_com->setToolTip(SerialPort::device_shown(host_.program_folder(), link_.port_number()));
    QString why;
    if (!link_.MSComm1()->open(link_.port_number(), &why)) {
        host_.show_message(QStringLiteral("COM") + QLatin1Char(' ') +
                               QString::number(link_.port_number()) + QStringLiteral(": Fail !"),
                           QMessageBox::NoIcon, why);
        cmd_conn->setBackColor(PanelStyle::face());
        cmd_disconn->setBackColor(PanelStyle::red_colour());
        link_.set_serial_open(false);
        QCoreApplication::processEvents();
        return;
    }
    link_.MSComm1()->discard_input();
    link_.MSComm1()->discard_output();
    link_.set_serial_open(true);
    cmd_conn->setBackColor(PanelStyle::green_colour());
    cmd_disconn->setBackColor(PanelStyle::face());
    QCoreApplication::processEvents();
    exchange_.reset_reception();
}

void LinkPanel::cbo_com_Click() {
    if (cbo_com->currentIndex() < 0) return;
    link_.set_port_number(cbo_com->currentIndex() + 1);
    cbo_com->setToolTip(SerialPort::device_shown(host_.program_folder(), link_.port_number()));
    if (ui_.ui_ready()) set_comm();
}

void LinkPanel::cmd_conn_Click() { set_comm(); }

void LinkPanel::cmd_disconn_Click() {
    if (link_.reconnecting()) {
        link_.reconnect()->stop();
        cmd_conn->setBackColor(PanelStyle::face());
        cmd_disconn->setBackColor(PanelStyle::red_colour());
        return;
    }
    if (!link_.serial_open()) return;
    cmd_conn->setBackColor(PanelStyle::face());
    cmd_disconn->setBackColor(PanelStyle::red_colour());
    link_.MSComm1()->close();
    link_.set_serial_open(false);
}

// The device vanished under an open port (adapter unplugged, pseudo-terminal closed):
// said once, then the port is opened again as soon as its device is back.
void LinkPanel::serial_lost() {
    if (!link_.serial_open()) return;
    lost_ = true;
    link_.reconnect()->lost();
    cmd_conn->setBackColor(PanelStyle::busy_colour());
    cmd_disconn->setBackColor(PanelStyle::face());
    exchange_.log_entry(
        QStringLiteral("[COM%1 lost: reconnecting when it is back]").arg(link_.port_number()));
    host_.show_message(QStringLiteral("RS232 port is disconnected !"), QMessageBox::Critical);
}

void LinkPanel::manual_connect() {
    link_.reconnect()->stop();
    if (!lost_) return;
    lost_ = false;
    if (after_loss.show_start_look) after_loss.show_start_look();
}

void LinkPanel::link_restored() {
    if (link_.link_type() == LinkType::Ethernet) {
        wsk_client_Connect();
        tim_eth->start();
        exchange_.log_entry(QStringLiteral("[Ethernet back: refreshing]"));
    } else {
        cmd_conn->setBackColor(PanelStyle::green_colour());
        cmd_disconn->setBackColor(PanelStyle::face());
        exchange_.reset_reception();
        exchange_.log_entry(QStringLiteral("[COM%1 back: refreshing]").arg(link_.port_number()));
    }
    lost_ = false;
    QTimer::singleShot(0, this, &LinkPanel::refresh_if_idle);
}

// The refresh waits for a running exchange or wait to end: started inside one, its
// sends would be refused as a nested send.
void LinkPanel::refresh_if_idle() {
    if (!link_.selected_link_up() || !after_loss.refresh) return;
    if (exchange_.busy() || exchange_.waiting()) {
        QTimer::singleShot(20, this, &LinkPanel::refresh_if_idle);
        return;
    }
    after_loss.refresh();
}
