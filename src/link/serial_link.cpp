// The RS-232 link: opening the chosen port and showing its state.

#include <QCoreApplication>

#include "app/frm_main.h"
#include "link/serial_port.h"

void frm_main::set_comm() {
    if (serial_open) MSComm1->close();
    cbo_com->setToolTip(SerialPort::device_shown(program_folder(), port_number));
    QString why;
    if (!MSComm1->open(port_number, &why)) {
        show_message(QStringLiteral("COM") + QLatin1Char(' ') + QString::number(port_number) +
                         QStringLiteral(": Fail !"),
                     QMessageBox::NoIcon, why);
        cmd_conn->setBackColor(face());
        cmd_disconn->setBackColor(red_colour());
        serial_open = FLAG_FALSE;
        QCoreApplication::processEvents();
        return;
    }
    MSComm1->discard_input();
    MSComm1->discard_output();
    serial_open = FLAG_TRUE;
    cmd_conn->setBackColor(green_colour());
    cmd_disconn->setBackColor(face());
    QCoreApplication::processEvents();
    busy = FLAG_FALSE;
    rx_count = 0;
    rx_buffer.clear();
    reply_ok = FLAG_FALSE;
}

void frm_main::cbo_com_Click() {
    if (cbo_com->currentIndex() < 0) return;
    port_number = static_cast<qint16>(cbo_com->currentIndex() + 1);
    cbo_com->setToolTip(SerialPort::device_shown(program_folder(), port_number));
    if (ui_ready) set_comm();
}

void frm_main::cmd_conn_Click() { set_comm(); }

void frm_main::cmd_disconn_Click() {
    if (!serial_open) return;
    cmd_conn->setBackColor(face());
    cmd_disconn->setBackColor(red_colour());
    MSComm1->close();
    serial_open = FLAG_FALSE;
}
