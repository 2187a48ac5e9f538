// The Ethernet link: a TCP client to the device with a connect time-out and a
// link watch.

#include <QCoreApplication>

#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <QComboBox>
#include <QRadioButton>

#include "interface/link_panel.h"
#include "link/address.h"
#include "link/connection.h"
#include "link/reconnect.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"
#include "protocol/exchange.h"
#include "ui/panel_style.h"
#include "ui/ui_ready.h"

// "HOST:PORT" connects to PORT (device servers, a simulator without root);
// anything else is a host at the device's port 23.
static void split_address(const QString &text, QString *host, quint16 *port) {
    const DeviceAddress a = parse_device_address(text);
    *host = a.host;
    *port = a.port;
}

// The Idle state: no connection, Connect offered, Disconnect red.
void LinkPanel::to_idle() {
    tim_eth->stop();
    link_.wsk_client()->close();
    link_.set_eth_connected(false);
    tim_eth->setInterval(7000);
    lab_eth_state->setVisible(false);
    cmd_conn_eth->setEnabled(true);
    cmd_conn_eth->setBackColor(PanelStyle::face());
    cmd_disconn_eth->setEnabled(false);
    cmd_disconn_eth->setBackColor(PanelStyle::red_colour());
}

void LinkPanel::cmd_conn_eth_Click() {
    manual_connect();
    cmd_conn_eth->setEnabled(false);
    tim_eth->start();
    QString host;
    quint16 port;
    split_address(txt_ip->text().trimmed(), &host, &port);
    link_.wsk_client()->set_remote(host, port);
    if (!link_.wsk_client()->is_connected()) {
        cmd_conn_eth->setBackColor(PanelStyle::amber_colour());
        cmd_disconn_eth->setBackColor(PanelStyle::face());
        if (!link_.wsk_client()->connect_to_host()) {
            // No attempt can start (no address): report it now rather than after 7 s.
            tim_eth->stop();
            host_.show_message(QStringLiteral("Client could not find Server."),
                               QMessageBox::Critical);
            to_idle();
            return;
        }
        lab_eth_state->setVisible(true);
    } else {
        host_.show_message(QStringLiteral("Ethernet is already connected!"), QMessageBox::Critical);
    }
}

void LinkPanel::wsk_client_Connect() {
    link_.set_eth_connected(true);
    tim_eth->setInterval(100);
    lab_eth_state->setVisible(false);
    cmd_conn_eth->setBackColor(PanelStyle::green_colour());
    cmd_disconn_eth->setEnabled(true);
    cmd_disconn_eth->setBackColor(PanelStyle::face());
}

void LinkPanel::tim_eth_Timer() {
    if (link_.eth_connected()) {
        if (link_.wsk_client()->is_connected()) return;
        tim_eth->stop();
        lost_ = true;
        const Reconnect::Loss loss = link_.reconnect()->lost();
        if (loss == Reconnect::Loss::Taken) {
            exchange_.log_entry(QStringLiteral("[Ethernet taken %1 times in a minute: "
                                               "reconnecting stopped]")
                                    .arg(Reconnect::TAKEN_LOSSES));
            host_.show_message(
                QStringLiteral("Another program may be using the device !"), QMessageBox::Critical,
                QStringLiteral("The Ethernet link was taken away %1 times within a minute. The "
                               "device serves one connection at a time, and a new client takes "
                               "it from the old one. Close the other program, then press Connect.")
                    .arg(Reconnect::TAKEN_LOSSES));
            cmd_disconn_eth_Click();
            return;
        }
        // Retrying: Disconnect stops it; Connect shows the retries in the busy colour.
        tim_eth->setInterval(7000);
        cmd_conn_eth->setEnabled(false);
        cmd_conn_eth->setBackColor(PanelStyle::busy_colour());
        cmd_disconn_eth->setEnabled(true);
        cmd_disconn_eth->setBackColor(PanelStyle::face());
        exchange_.log_entry(
            QString::fromLatin1(loss == Reconnect::Loss::NoDevice
                                    ? "[Ethernet lost before the device answered: reconnecting "
                                      "every %1 s]"
                                    : "[Ethernet lost: reconnecting every %1 s]")
                .arg(Reconnect::TCP_RETRY_MS / 1000));
        host_.show_message(QStringLiteral("Ethernet is disconnected !"), QMessageBox::Critical);
    } else {
        tim_eth->stop();
        host_.show_message(QStringLiteral("Client could not find Server."), QMessageBox::Critical);
        if (!link_.wsk_client()->is_closed()) link_.wsk_client()->close();
        lab_eth_state->setVisible(false);
        cmd_conn_eth->setEnabled(true);
        cmd_conn_eth->setBackColor(PanelStyle::face());
        cmd_disconn_eth->setBackColor(PanelStyle::red_colour());
    }
}

void LinkPanel::cmd_disconn_eth_Click() {
    link_.reconnect()->stop();
    tim_eth->stop();
    link_.wsk_client()->close();
    link_.set_eth_connected(false);
    tim_eth->setInterval(7000);
    cmd_conn_eth->setEnabled(true);
    cmd_conn_eth->setBackColor(PanelStyle::face());
    cmd_disconn_eth->setEnabled(false);
    cmd_disconn_eth->setBackColor(PanelStyle::red_colour());
}

void LinkPanel::rx_ext() { cmd_disconn_eth_Click(); }

void LinkPanel::opt_interface_Click(int index) {
    link_.reconnect()->stop();
    link_.set_link_type(index == 0 ? LinkType::Rs232 : LinkType::Ethernet);
    for (QWidget *w : {static_cast<QWidget *>(cmd_conn), static_cast<QWidget *>(cmd_disconn),
                       static_cast<QWidget *>(cbo_com), static_cast<QWidget *>(cmd_conn_eth),
                       static_cast<QWidget *>(cmd_disconn_eth), static_cast<QWidget *>(lab_ip),
                       static_cast<QWidget *>(txt_ip)})
        w->setVisible(false);
    if (index != 0) {
        if (link_.serial_open()) {
            link_.set_serial_open(false);
            link_.MSComm1()->close();
        }
        cmd_conn_eth->setVisible(true);
        cmd_disconn_eth->setVisible(true);
        cmd_get_ip->setEnabled(false);
        lab_ip->setVisible(true);
        txt_ip->setVisible(true);
        return;
    }
    to_idle();
    cmd_conn->setVisible(true);
    cmd_disconn->setVisible(true);
    cbo_com->setVisible(true);
    cmd_get_ip->setEnabled(true);
    {
        QuietControls quiet(ui_, ui_.ui_ready());
        cbo_com->setCurrentIndex(link_.port_number() - 1);
        quiet.pump();
    }
    set_comm();
}
