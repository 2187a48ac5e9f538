// The main window: construction of the frames, start-up and shut-down.

#include "app/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalBlocker>

#include "admin/frm_keypad.h"
#include "app/value_list.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"

QFont panel_font(const QString &family, double points, bool bold) {
    QFont f(family);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

static QGroupBox *make_frame(QWidget *parent, const QString &name, const QString &caption,
                             QRect geometry) {
    auto *g = new QGroupBox(caption, parent);
    g->setObjectName(name);
    g->setGeometry(geometry);
    return g;
}

frm_main::frm_main(const QString &program_folder, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      program_folder_(program_folder) {
    setObjectName(QStringLiteral("frm_main"));
    setWindowTitle(QStringLiteral("VELDRA"));
    setFont(panel_font(QStringLiteral("Arial"), 9));
    set_outer_height(HEIGHT_COMPACT);

    MSComm1 = new SerialPort(program_folder_, this);
    wsk_client = new TcpClient(this);
    tim_rx = new PollTimer(
        [this] { return MSComm1->in_buffer_count(); }, this,
        [this](qint64 usec) { return MSComm1->more_within(usec); },
        // A network answer is awaited: its 16 characters may come in two chunks.
        [this](qint64 waiting) {
            return net_query_step >= 0 && net_query_step <= 2 && rx_count + waiting < 16;
        });
    tim_rx->setObjectName(QStringLiteral("tim_rx"));
    connect(MSComm1, &SerialPort::data_arrived, tim_rx, &PollTimer::data_arrived);
    tim_eth = new QTimer(this);
    tim_eth->setObjectName(QStringLiteral("tim_eth"));
    tim_eth->setInterval(7000);
    // A coarse timer may fire up to 5% early; the connect time-out is 7000 ms.
    tim_eth->setTimerType(Qt::PreciseTimer);

    connect(tim_rx, &PollTimer::timeout, this, &frm_main::tim_rx_Timer);
    connect(tim_eth, &QTimer::timeout, this, &frm_main::tim_eth_Timer);
    connect(wsk_client, &TcpClient::connected, this, &frm_main::wsk_client_Connect);
    connect(wsk_client, &TcpClient::data_arrival, this, &frm_main::wsk_client_DataArrival);
    connect(MSComm1, &SerialPort::lost, this, [this] {
        // The adapter vanished under an open port: show it as closed.
        if (!serial_open) return;
        serial_open = FLAG_FALSE;
        cmd_conn->setBackColor(face());
        cmd_disconn->setBackColor(red_colour());
    });

    build_frames();
    build_protocol_controls();
    build_link_controls();
    build_refresh_controls();
    build_power_controls();
    build_remote_controls();
    build_mode_controls();
    build_routing_controls();
    build_resolution_controls();
    build_audio_controls();
    build_bezel_controls();
    build_picture_controls();
    build_preset_controls();
    fra_rs232->raise();
    // The picture frame's white text is for captions only; the sliders keep their
    // dark arrows.
    for (HSlider *s : fra_pic->findChildren<HSlider *>()) {
        QPalette dark = s->palette();
        dark.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
        s->setPalette(dark);
    }
}

frm_main::~frm_main() = default;

QString frm_main::program_path(const QString &backslash_name) const {
    QString rel = backslash_name;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return program_folder_ + rel;
}

void frm_main::set_outer_height(int h) {
    outer_height_ = h;
    setFixedSize(WINDOW_WIDTH, h - TITLE_BAR);
}

void frm_main::build_frames() {
    // top band (rows 0..147)
    fra_btn = make_frame(this, QStringLiteral("fra_btn"), QString(), QRect(80, 0, 743, 148));
    fra_rs232 = make_frame(this, QStringLiteral("fra_rs232"), QStringLiteral("Interface"),
                           QRect(560, 2, 262, 100));
    // middle band (rows 162..341)
    fra_dual_a = make_frame(this, QStringLiteral("fra_dual_a"), QStringLiteral("Dual A Audio"),
                            QRect(4, 160, 154, 44));
    fra_dual_b = make_frame(this, QStringLiteral("fra_dual_b"), QStringLiteral("Dual B Audio"),
                            QRect(4, 206, 154, 44));
    fra_audio = make_frame(this, QStringLiteral("fra_audio"), QStringLiteral("Audio EDID"),
                           QRect(4, 252, 154, 88));
    fra_bezel = make_frame(this, QStringLiteral("fra_bezel"), QStringLiteral("Bezel Correction"),
                           QRect(162, 160, 192, 108));
    fra_pic = make_frame(this, QStringLiteral("fra_pic"), QStringLiteral("Picture"),
                         QRect(358, 160, 465, 182));
    fra_pic->setAutoFillBackground(true);
    QPalette pal = fra_pic->palette();
    pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    // Captions and labels on the grey read in white.
    pal.setColor(QPalette::WindowText, Qt::white);
    fra_pic->setPalette(pal);
    fra_con = make_frame(fra_pic, QStringLiteral("fra_con"), QStringLiteral("Contrast"),
                         QRect(4, 16, 113, 128));
    fra_bri = make_frame(fra_pic, QStringLiteral("fra_bri"), QStringLiteral("Brightness"),
                         QRect(119, 16, 113, 128));
    fra_sat = make_frame(fra_pic, QStringLiteral("fra_sat"), QStringLiteral("Saturation"),
                         QRect(234, 16, 113, 128));
    fra_hue = make_frame(fra_pic, QStringLiteral("fra_hue"), QStringLiteral("Hue"),
                         QRect(349, 16, 113, 128));
    // lower band (rows 344..419)
    fra_recall_save = make_frame(this, QStringLiteral("fra_recall_save"),
                                 QStringLiteral("Recall / Save"), QRect(4, 344, 470, 72));
}

void frm_main::build_protocol_controls() {
    txt_cmd = new LogBox(this, QStringLiteral("txt_cmd"));
    txt_cmd->setGeometry(0, 440, 780, 120);
    cmd_clear = new QPushButton(QString(QChar(0x6E05)), this);
    cmd_clear->setObjectName(QStringLiteral("cmd_clear"));
    cmd_clear->setFont(panel_font(QStringLiteral("PMingLiU"), 18));
    cmd_clear->setGeometry(784, 440, 40, 40);
    connect(cmd_clear, &QPushButton::clicked, this, &frm_main::cmd_clear_Click);
}

void frm_main::reset_start_state() {
    busy = reply_ok = FLAG_FALSE;
    rx_count = 0;
    rx_buffer.clear();
    log_count = 0;
    cur_mode = 1;
    cur_output = 1;
    cur_input = 1;
    power_state = NOT_REPORTED;
    lock_state = NOT_REPORTED;
    audio_state = NOT_REPORTED;
    net_query_step = NOT_REPORTED;
    bezel_max_pending = FLAG_FALSE;
    waiting = FLAG_FALSE;
    keypad_open = FLAG_FALSE;
    serial_open = FLAG_FALSE;
    eth_connected = FLAG_FALSE;

    for (QWidget *w : {static_cast<QWidget *>(fra_btn), static_cast<QWidget *>(fra_recall_save),
                       static_cast<QWidget *>(fra_audio), static_cast<QWidget *>(fra_pic),
                       static_cast<QWidget *>(fra_bezel), static_cast<QWidget *>(fra_dual_a),
                       static_cast<QWidget *>(fra_dual_b)})
        w->setEnabled(false);
    img_start->setVisible(true);
    cmd_keypad->setVisible(false);
    lab_eth_state->setVisible(false);
}

bool frm_main::Form_Load() {
    ui_ready = FLAG_FALSE;
    reset_start_state();

    {
        const QSignalBlocker block(cbo_com);
        cbo_com->clear();
        for (int n = 1; n <= 9; ++n) cbo_com->addItem(QStringLiteral("COM%1:").arg(n));
        cbo_com->setCurrentIndex(-1);
    }

    QStringList names;
    if (!read_resolution_file(program_path(QStringLiteral("\\output_reso.txt")), &names,
                              &load_error)) {
        show_message(load_error, QMessageBox::Critical);
        return false;
    }
    {
        const QSignalBlocker block(cbo_output);
        cbo_output->clear();
        cbo_output->addItems(names);
        cbo_output->setCurrentIndex(-1);
    }

    cmd_clear_Click();

    Settings s;
    if (!read_settings_file(program_path(QStringLiteral("\\TEVRAL_QX.ini")), &s, &load_error)) {
        show_message(load_error, QMessageBox::Critical);
        return false;
    }
    // Values the program never writes: fall back to the first interface and port.
    link_type = (s.link_type == 1) ? 1 : 0;
    port_number = (s.port_number >= 1 && s.port_number <= 9) ? s.port_number : 1;
    advanced_view = s.advanced_view ? FLAG_TRUE : FLAG_FALSE;
    txt_ip->setText(s.address);

    cmd_disconn_eth->setBackColor(red_colour());
    eth_connected = FLAG_FALSE;

    opt_interface[link_type]->setChecked(true);

    set_outer_height(advanced_view ? HEIGHT_FULL : HEIGHT_COMPACT);
    setWindowTitle(QStringLiteral("TEVRAL-QX ") + QStringLiteral("v1.6A") + QStringLiteral(" "));

    if (QScreen *scr = QGuiApplication::primaryScreen()) {
        const QRect a = scr->availableGeometry();
        move(a.x() + (a.width() - WINDOW_WIDTH) / 2, a.y() + (a.height() - outer_height_) / 2);
    }
    show();
    QCoreApplication::processEvents();
    tim_rx->start();
    ui_ready = FLAG_TRUE;
    return true;
}

void frm_main::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    MSComm1->close();
    Settings s;
    s.link_type = link_type;
    s.port_number = port_number;
    s.advanced_view = advanced_view;
    s.address = txt_ip->text().trimmed();
    write_settings_file(program_path(QStringLiteral("\\TEVRAL_QX.ini")), s);
    if (keypad) keypad->close();
}

void frm_main::closeEvent(QCloseEvent *e) {
    Form_Unload();
    e->accept();
}
