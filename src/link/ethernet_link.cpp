// The Ethernet link: a TCP client to the device with a connect time-out and a
// link watch.

#include <QCoreApplication>

#include "app/frm_main.h"
#include "link/address.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"

// "HOST:PORT" connects to PORT (device servers, a simulator without root);
// anything else is a host at the device's port 23.
static void split_address(const QString &text, QString *host, quint16 *port) {
    const DeviceAddress a = parse_device_address(text);
    *host = a.host;
    *port = a.port;
}

// The Idle state: no connection, Connect offered, Disconnect red.
static void to_idle(frm_main *f) {
    f->tim_eth->stop();
    f->wsk_client->close();
    f->eth_connected = FLAG_FALSE;
    f->tim_eth->setInterval(7000);
    f->lab_eth_state->setVisible(false);
    f->cmd_conn_eth->setEnabled(true);
    f->cmd_conn_eth->setBackColor(frm_main::face());
    f->cmd_disconn_eth->setEnabled(false);
    f->cmd_disconn_eth->setBackColor(frm_main::red_colour());
}

void frm_main::cmd_conn_eth_Click() {
    cmd_conn_eth->setEnabled(false);
    tim_eth->start();
    QString host;
    quint16 port;
    split_address(txt_ip->text().trimmed(), &host, &port);
    wsk_client->set_remote(host, port);
    if (!wsk_client->is_connected()) {
        cmd_conn_eth->setBackColor(amber_colour());
        cmd_disconn_eth->setBackColor(face());
        if (!wsk_client->connect_to_host()) {
            // No attempt can start (no address): report it now rather than after 7 s.
            tim_eth->stop();
            show_message(QStringLiteral("Client could not find Server."), QMessageBox::Critical);
            to_idle(this);
            return;
        }
        lab_eth_state->setVisible(true);
    } else {
        show_message(QStringLiteral("Ethernet is already connected!"), QMessageBox::Critical);
    }
}

void frm_main::wsk_client_Connect() {
    eth_connected = FLAG_TRUE;
    tim_eth->setInterval(100);
    lab_eth_state->setVisible(false);
    cmd_conn_eth->setBackColor(green_colour());
    cmd_disconn_eth->setEnabled(true);
    cmd_disconn_eth->setBackColor(face());
}

void frm_main::tim_eth_Timer() {
    if (eth_connected) {
        if (wsk_client->is_connected()) return;
        tim_eth->stop();
        show_message(QStringLiteral("Ethernet is disconnected !"), QMessageBox::Critical);
        cmd_disconn_eth_Click();
    } else {
        tim_eth->stop();
        show_message(QStringLiteral("Client could not find Server."), QMessageBox::Critical);
        if (!wsk_client->is_closed()) wsk_client->close();
        lab_eth_state->setVisible(false);
        cmd_conn_eth->setEnabled(true);
        cmd_conn_eth->setBackColor(face());
        cmd_disconn_eth->setBackColor(red_colour());
    }
}

void frm_main::cmd_disconn_eth_Click() {
    tim_eth->stop();
    wsk_client->close();
    eth_connected = FLAG_FALSE;
    tim_eth->setInterval(7000);
    cmd_conn_eth->setEnabled(true);
    cmd_conn_eth->setBackColor(face());
    cmd_disconn_eth->setEnabled(false);
    cmd_disconn_eth->setBackColor(red_colour());
}

void frm_main::rx_ext() { cmd_disconn_eth_Click(); }

void frm_main::opt_interface_Click(int index) {
    link_type = static_cast<qint16>(index);
    for (QWidget *w : {static_cast<QWidget *>(cmd_conn), static_cast<QWidget *>(cmd_disconn),
                       static_cast<QWidget *>(cbo_com), static_cast<QWidget *>(cmd_conn_eth),
                       static_cast<QWidget *>(cmd_disconn_eth), static_cast<QWidget *>(lab_ip),
                       static_cast<QWidget *>(txt_ip)})
        w->setVisible(false);
    if (index != 0) {
        if (serial_open) {
            serial_open = FLAG_FALSE;
            MSComm1->close();
        }
        cmd_conn_eth->setVisible(true);
        cmd_disconn_eth->setVisible(true);
        cmd_get_ip->setEnabled(false);
        lab_ip->setVisible(true);
        txt_ip->setVisible(true);
        return;
    }
    to_idle(this);
    cmd_conn->setVisible(true);
    cmd_disconn->setVisible(true);
    cbo_com->setVisible(true);
    cmd_get_ip->setEnabled(true);
    const qint16 was_ready = ui_ready;
    ui_ready = FLAG_FALSE;
    cbo_com->setCurrentIndex(port_number - 1);
    QCoreApplication::processEvents();
    ui_ready = was_ready;
    set_comm();
}
