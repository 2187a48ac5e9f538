// Interface frame controls, the network-address query and the window height.

#include <QRegularExpressionValidator>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>

#include "interface/link_panel.h"
#include "link/connection.h"
#include "link/reconnect.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"
#include "protocol/command.h"
#include "protocol/device_state.h"
#include "protocol/exchange.h"
#include "ui/panel_style.h"

LinkPanel::LinkPanel(Connection &link, Exchange &exchange, DeviceState &state, UiReady &ui,
                     PanelHost &host, const PanelFrames &frames,
                     std::function<void(bool)> show_full_height)
    : link_(link), exchange_(exchange), state_(state), ui_(ui), host_(host), frames_(frames),
      show_full_height_(std::move(show_full_height)) {
    exchange_.set_handler(Mnemonic::EXT, [this](const Reply &) { rx_ext(); });
    tim_eth = new QTimer(this);
    tim_eth->setObjectName(QStringLiteral("tim_eth"));
    tim_eth->setInterval(7000);
    // A coarse timer may fire up to 5% early; the connect time-out is 7000 ms.
    tim_eth->setTimerType(Qt::PreciseTimer);
    connect(tim_eth, &QTimer::timeout, this, &LinkPanel::tim_eth_Timer);
    connect(link_.wsk_client(), &TcpClient::connected, this, &LinkPanel::wsk_client_Connect);
    connect(link_.MSComm1(), &SerialPort::lost, this, &LinkPanel::serial_lost);
    connect(link_.reconnect(), &Reconnect::restored, this, &LinkPanel::link_restored);
}

void LinkPanel::build_link_controls() {
    auto *opt0 = new QRadioButton(QStringLiteral("RS-232"), frames_.fra_rs232);
    opt0->setObjectName(QStringLiteral("opt_interface_0"));
    opt0->setGeometry(10, 18, 80, 20);
    auto *opt1 = new QRadioButton(QStringLiteral("Ethernet"), frames_.fra_rs232);
    opt1->setObjectName(QStringLiteral("opt_interface_1"));
    opt1->setGeometry(100, 18, 86, 20);
    opt_interface = {opt0, opt1};
    for (int i = 0; i < 2; ++i)
        connect(opt_interface[i], &QRadioButton::toggled, this, [this, i](bool on) {
            if (on) opt_interface_Click(i);
        });

    cmd_conn =
        new ColorButton(QStringLiteral("Connect"), frames_.fra_rs232, QStringLiteral("cmd_conn"));
    cmd_conn->setGeometry(8, 42, 82, 26);
    cmd_disconn = new ColorButton(QStringLiteral("Disconnect"), frames_.fra_rs232,
                                  QStringLiteral("cmd_disconn"));
    cmd_disconn->setGeometry(96, 42, 88, 26);
    cbo_com = new QComboBox(frames_.fra_rs232);
    cbo_com->setObjectName(QStringLiteral("cbo_com"));
    cbo_com->setFont(panel_font(QStringLiteral("Arial"), 11.25));
    cbo_com->setGeometry(8, 70, 82, 26);
    connect(cmd_conn, &QPushButton::clicked, this, &LinkPanel::cmd_conn_Click);
    connect(cmd_disconn, &QPushButton::clicked, this, &LinkPanel::cmd_disconn_Click);
    connect(cbo_com, qOverload<int>(&QComboBox::currentIndexChanged), this,
            [this](int) { cbo_com_Click(); });

    cmd_conn_eth = new ColorButton(QStringLiteral("Connect"), frames_.fra_rs232,
                                   QStringLiteral("cmd_conn_eth"));
    cmd_conn_eth->setGeometry(8, 42, 82, 26);
    cmd_disconn_eth = new ColorButton(QStringLiteral("Disconnect"), frames_.fra_rs232,
                                      QStringLiteral("cmd_disconn_eth"));
    cmd_disconn_eth->setGeometry(96, 42, 88, 26);
    cmd_disconn_eth->setEnabled(false);
    lab_ip = new QLabel(QStringLiteral("IP :"), frames_.fra_rs232);
    lab_ip->setObjectName(QStringLiteral("lab_ip"));
    lab_ip->setGeometry(8, 72, 26, 22);
    txt_ip = new QLineEdit(frames_.fra_rs232);
    txt_ip->setObjectName(QStringLiteral("txt_ip"));
    txt_ip->setGeometry(36, 71, 148, 24);
    // The settings file keeps 8-bit text between double quotes: neither a double quote nor
    // a character beyond Latin-1 could be kept, so neither can be typed.
    txt_ip->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[^\"\\x{100}-\\x{10FFFF}]*")), txt_ip));
    lab_eth_state = new QLabel(QStringLiteral("Connecting..."), frames_.fra_rs232);
    lab_eth_state->setObjectName(QStringLiteral("lab_eth_state"));
    lab_eth_state->setStyleSheet(QStringLiteral("color: rgb(255, 0, 0);"));
    lab_eth_state->setGeometry(188, 46, 72, 20);
    lab_eth_state->setVisible(false);
    connect(cmd_conn_eth, &QPushButton::clicked, this, &LinkPanel::cmd_conn_eth_Click);
    connect(cmd_disconn_eth, &QPushButton::clicked, this, &LinkPanel::cmd_disconn_eth_Click);
    for (QWidget *w : {static_cast<QWidget *>(cmd_conn), static_cast<QWidget *>(cmd_disconn),
                       static_cast<QWidget *>(cbo_com), static_cast<QWidget *>(cmd_conn_eth),
                       static_cast<QWidget *>(cmd_disconn_eth), static_cast<QWidget *>(lab_ip),
                       static_cast<QWidget *>(txt_ip)})
        w->setVisible(false);

    cmd_advance = new QPushButton(QStringLiteral("Advanced"), frames_.window);
    cmd_advance->setObjectName(QStringLiteral("cmd_advance"));
    cmd_advance->setFont(panel_font(QStringLiteral("Arial"), 9.75));
    cmd_advance->setGeometry(4, 112, 72, 30);
    connect(cmd_advance, &QPushButton::clicked, this, &LinkPanel::cmd_advance_Click);

    // network query, lower band on the right
    cmd_get_ip =
        new ColorButton(QStringLiteral("Get IP"), frames_.window, QStringLiteral("cmd_get_ip"));
    cmd_get_ip->setFont(panel_font(QStringLiteral("Arial"), 9.75));
    cmd_get_ip->setGeometry(484, 352, 76, 60);
    cmd_get_ip->setEnabled(false);
    connect(cmd_get_ip, &QPushButton::clicked, this, &LinkPanel::cmd_get_ip_Click);
    struct Row {
        QLabel **lab;
        QLineEdit **txt;
        const char *lab_name, *txt_name, *caption;
    };
    const Row rows[] = {
        {&lab_inq_ip, &txt_get_ip, "lab_inq_ip", "txt_get_ip", "IP"},
        {&lab_inq_mask, &txt_get_mask, "lab_inq_mask", "txt_get_mask", "Subnet Mask"},
        {&lab_inq_gate, &txt_get_gate, "lab_inq_gate", "txt_get_gate", "Gate Way"}};
    int y = 348;
    for (const Row &r : rows) {
        *r.lab = new QLabel(QString::fromLatin1(r.caption), frames_.window);
        (*r.lab)->setObjectName(QString::fromLatin1(r.lab_name));
        (*r.lab)->setGeometry(568, y + 2, 84, 20);
        (*r.lab)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        *r.txt = new QLineEdit(frames_.window);
        (*r.txt)->setObjectName(QString::fromLatin1(r.txt_name));
        (*r.txt)->setGeometry(658, y, 160, 22);
        (*r.txt)->setReadOnly(true);
        y += 24;
    }
}

void LinkPanel::fill_port_list() {
    const QSignalBlocker block(cbo_com);
    cbo_com->clear();
    for (int n = 1; n <= 9; ++n) cbo_com->addItem(QStringLiteral("COM%1:").arg(n));
    cbo_com->setCurrentIndex(-1);
}

void LinkPanel::reset_start_state() { lab_eth_state->setVisible(false); }

void LinkPanel::apply(const Settings &s) {
    link_.set_link_type(s.link_type == 1 ? LinkType::Ethernet : LinkType::Rs232);
    link_.set_port_number(s.port_number);
    set_advanced_view(s.advanced_view);
    txt_ip->setText(s.address);

    cmd_disconn_eth->setBackColor(PanelStyle::red_colour());
    link_.set_eth_connected(false);

    opt_interface[static_cast<int>(link_.link_type())]->setChecked(true);
}

Settings LinkPanel::settings() const {
    Settings s;
    s.link_type = static_cast<qint16>(link_.link_type());
    s.port_number = static_cast<qint16>(link_.port_number());
    s.advanced_view = advanced_view();
    s.address = txt_ip->text().trimmed();
    return s;
}

void LinkPanel::cmd_get_ip_Click() {
    cmd_get_ip->setEnabled(false);
    cmd_get_ip->setBackColor(PanelStyle::amber_colour());
    txt_get_ip->clear();
    txt_get_mask->clear();
    txt_get_gate->clear();
    for (int step = 0; step < 3; ++step) state_.set_network(step, QString());
    QLineEdit *const boxes[3] = {txt_get_ip, txt_get_mask, txt_get_gate};
    for (int step = 0; step < 3; ++step) {
        link_.set_net_query_step(step);
        const unsigned heard_before = exchange_.heard_count();
        exchange_.send_cmd_nowait(network_query(step));
        for (int i = 0; i < 51 && link_.net_query_step() != 3; ++i) exchange_.wait_sec(0.001f);
        if (link_.net_query_step() != 3) {
            if (!exchange_.stopping() && exchange_.heard_count() == heard_before &&
                link_.selected_link_up())
                exchange_.note_no_reply(network_query(step));
            break;
        }
        state_.set_network(step, exchange_.rx_buffer());
        boxes[step]->setText(state_.network(step));
    }
    link_.set_net_query_step(std::nullopt);
    cmd_get_ip->setBackColor(PanelStyle::face());
    cmd_get_ip->setEnabled(true);
}

void LinkPanel::cmd_advance_Click() {
    if (advanced_view_) {
        show_full_height_(false);
        advanced_view_ = false;
    } else {
        show_full_height_(true);
        advanced_view_ = true;
    }
}
