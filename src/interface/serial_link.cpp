// The RS-232 link: opening the chosen port and showing its state.

#include <QComboBox>
#include <QCoreApplication>

#include "interface/link_panel.h"
#include "link/connection.h"
#include "link/serial_port.h"
#include "protocol/exchange.h"
#include "ui/panel_style.h"
#include "ui/ui_ready.h"

void LinkPanel::set_comm() {
    if (link_.serial_open()) link_.MSComm1->close();
    cbo_com->setToolTip(SerialPort::device_shown(host_.program_folder(), link_.port_number()));
    QString why;
    if (!link_.MSComm1->open(link_.port_number(), &why)) {
        host_.show_message(QStringLiteral("COM") + QLatin1Char(' ') +
                               QString::number(link_.port_number()) + QStringLiteral(": Fail !"),
                           QMessageBox::NoIcon, why);
        cmd_conn->setBackColor(PanelStyle::face());
        cmd_disconn->setBackColor(PanelStyle::red_colour());
        link_.set_serial_open(false);
        QCoreApplication::processEvents();
        return;
    }
    link_.MSComm1->discard_input();
    link_.MSComm1->discard_output();
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
    if (!link_.serial_open()) return;
    cmd_conn->setBackColor(PanelStyle::face());
    cmd_disconn->setBackColor(PanelStyle::red_colour());
    link_.MSComm1->close();
    link_.set_serial_open(false);
}

// The adapter vanished under an open port: show it as closed.
void LinkPanel::serial_lost() {
    if (!link_.serial_open()) return;
    link_.set_serial_open(false);
    cmd_conn->setBackColor(PanelStyle::face());
    cmd_disconn->setBackColor(PanelStyle::red_colour());
}
