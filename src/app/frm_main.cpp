// The main window: construction of the frames, start-up and shut-down.

#include "app/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <cstdio>

#include "adjust/adjust_panel.h"
#include "admin/admin_panel.h"
#include "admin/frm_keypad.h"
#include "app/command_line.h"
#include "interface/link_panel.h"
#include "link/connection.h"
#include "link/reconnect.h"
#include "link/serial_port.h"
#include "link/tcp_client.h"
#include "platform/settings_place.h"
#include "platform/value_list.h"
#include "switching/switching_panel.h"
#include "ui/panel_style.h"

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
    setWindowIcon(program_icon()); // the keypad window inherits it
    setFont(panel_font(QStringLiteral("Arial"), 9));
    set_outer_height(HEIGHT_COMPACT);

    build_frames();
    connection_ = std::make_unique<Connection>(program_folder_);
    exchange_ = std::make_unique<Exchange>(*connection_, *this);
    // Each area registers its reply handlers with the exchange as it is built.
    link_ = std::make_unique<LinkPanel>(
        *connection_, *exchange_, state_, ui_, *this, frames_,
        [this](bool full) { set_outer_height(full ? HEIGHT_FULL : HEIGHT_COMPACT); });
    adjust_ = std::make_unique<AdjustPanel>(*exchange_, ui_, state_, *this, frames_);
    admin_ =
        std::make_unique<AdminPanel>(*exchange_, *connection_, state_, *adjust_, *this, frames_);
    switching_ = std::make_unique<SwitchingPanel>(*exchange_, state_, *adjust_, *admin_, *link_,
                                                  *this, frames_);
    SwitchingPanel *sw = switching_.get();
    link_->after_loss = {[sw] { sw->cmd_refresh_Click(); }, [sw] { sw->show_start_banner(); }};
    admin_->keypad_targets = {[sw](int i) { sw->cmd_mode_Click(i); },
                              [sw](int i) { sw->cmd_out_Click(i); },
                              [sw](int i) { sw->cmd_inp_Click(i); }};

    // Creation order is stacking and focus order.
    build_log_controls();
    link_->build_link_controls();
    switching_->build_refresh_controls();
    admin_->build_power_controls();
    adjust_->build_mute_control();
    admin_->build_remote_controls();
    switching_->build_mode_controls();
    switching_->build_routing_controls();
    adjust_->build_resolution_controls();
    adjust_->build_audio_controls();
    adjust_->build_bezel_controls();
    adjust_->build_picture_controls();
    switching_->build_preset_controls();
    frames_.fra_rs232->raise();
    // The picture frame's white text is for captions only; the sliders keep their
    // dark arrows.
    for (HSlider *s : frames_.fra_pic->findChildren<HSlider *>()) {
        QPalette dark = s->palette();
        dark.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::WindowText));
        s->setPalette(dark);
    }
}

// Destroyed before the widgets (the window's children) go: the panels first, then
// the exchange and the links they use.
frm_main::~frm_main() {
    switching_.reset();
    admin_.reset();
    adjust_.reset();
    link_.reset();
    exchange_.reset();
    connection_.reset();
}

QString frm_main::program_path(const QString &backslash_name) const {
    QString rel = backslash_name;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return program_folder_ + rel;
}

void frm_main::show_message(const QString &text, QMessageBox::Icon icon,
                            const QString &informative) {
    if (unattended_) {
        const QString line = informative.isEmpty() ? text : text + QLatin1Char('\n') + informative;
        std::fputs(("tevral-qx: " + line + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
        return;
    }
    if (message_open_ && exchange_) {
        // A flapping link or a silence told while a box is up: one box at a time, so a
        // click meant for the window never lands on a box stacked over it.
        exchange_->log_entry(QStringLiteral("[%1]").arg(text));
        return;
    }
    QMessageBox box(icon, windowTitle().isEmpty() ? QStringLiteral("VELDRA") : windowTitle(), text,
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setObjectName(QStringLiteral("message"));
    box.setInformativeText(informative);
    message_open_ = true;
    box.exec();
    message_open_ = false;
}

void frm_main::show_message(const QString &text, ExchangeHost::Icon icon) {
    show_message(text, icon == Icon::Warning    ? QMessageBox::Warning
                       : icon == Icon::Critical ? QMessageBox::Critical
                                                : QMessageBox::NoIcon);
}

void frm_main::clear_log() { txt_cmd->set_text(QString()); }

void frm_main::append_log(const QString &text) { txt_cmd->append_text(text); }

void frm_main::cmd_clear_Click() { exchange_->clear_log(); }

void frm_main::device_rebooting() {
    show_message(QStringLiteral("Need to re-connect Ethernet after VELDRA re-boots ready !"),
                 QMessageBox::Warning);
    switching_->show_start_banner();
    link_->cmd_disconn_eth_Click();
}

void frm_main::device_not_answering() {
    show_message(QStringLiteral("The device does not answer !"), QMessageBox::Warning,
                 QStringLiteral("%1 commands in a row got no reply. Check the cable, that the "
                                "device is powered on, the COM port or IP address, and, behind a "
                                "serial device server, that its port is in raw TCP or telnet "
                                "mode at 115200 8N1.")
                     .arg(Exchange::SILENT_LIMIT));
}

void frm_main::set_outer_height(int h) {
    outer_height_ = h;
    setFixedSize(WINDOW_WIDTH, h - TITLE_BAR);
}

void frm_main::build_frames() {
    frames_.window = this;
    // top band (rows 0..147)
    frames_.fra_btn =
        make_frame(this, QStringLiteral("fra_btn"), QString(), QRect(80, 0, 743, 148));
    frames_.fra_rs232 = make_frame(this, QStringLiteral("fra_rs232"), QStringLiteral("Interface"),
                                   QRect(560, 2, 262, 100));
    // middle band (rows 162..341)
    frames_.fra_dual_a = make_frame(this, QStringLiteral("fra_dual_a"),
                                    QStringLiteral("Dual A Audio"), QRect(4, 160, 154, 44));
    frames_.fra_dual_b = make_frame(this, QStringLiteral("fra_dual_b"),
                                    QStringLiteral("Dual B Audio"), QRect(4, 206, 154, 44));
    frames_.fra_audio = make_frame(this, QStringLiteral("fra_audio"), QStringLiteral("Audio EDID"),
                                   QRect(4, 252, 154, 88));
    frames_.fra_bezel = make_frame(this, QStringLiteral("fra_bezel"),
                                   QStringLiteral("Bezel Correction"), QRect(162, 160, 192, 108));
    QGroupBox *pic = make_frame(this, QStringLiteral("fra_pic"), QStringLiteral("Picture"),
                                QRect(358, 160, 465, 182));
    frames_.fra_pic = pic;
    pic->setAutoFillBackground(true);
    QPalette pal = pic->palette();
    pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    // Captions and labels on the grey read in white.
    pal.setColor(QPalette::WindowText, Qt::white);
    pic->setPalette(pal);
    frames_.fra_con = make_frame(pic, QStringLiteral("fra_con"), QStringLiteral("Contrast"),
                                 QRect(4, 16, 113, 128));
    frames_.fra_bri = make_frame(pic, QStringLiteral("fra_bri"), QStringLiteral("Brightness"),
                                 QRect(119, 16, 113, 128));
    frames_.fra_sat = make_frame(pic, QStringLiteral("fra_sat"), QStringLiteral("Saturation"),
                                 QRect(234, 16, 113, 128));
    frames_.fra_hue =
        make_frame(pic, QStringLiteral("fra_hue"), QStringLiteral("Hue"), QRect(349, 16, 113, 128));
    // lower band (rows 344..419)
    frames_.fra_recall_save = make_frame(this, QStringLiteral("fra_recall_save"),
                                         QStringLiteral("Recall / Save"), QRect(4, 344, 470, 72));
}

void frm_main::build_log_controls() {
    txt_cmd = new LogBox(this, QStringLiteral("txt_cmd"));
    txt_cmd->setGeometry(0, 440, 780, 120);
    cmd_clear = new QPushButton(QString(QChar(0x6E05)), this);
    cmd_clear->setObjectName(QStringLiteral("cmd_clear"));
    cmd_clear->setFont(panel_font(QStringLiteral("PMingLiU"), 18));
    cmd_clear->setGeometry(784, 440, 40, 40);
    connect(cmd_clear, &QPushButton::clicked, this, &frm_main::cmd_clear_Click);
}

void frm_main::reset_start_state() {
    exchange_->reset_start_state();
    state_.reset();
    admin_->reset_start_state();
    connection_->set_net_query_step(std::nullopt);
    connection_->set_serial_open(false);
    connection_->set_eth_connected(false);

    for (QWidget *w :
         {static_cast<QWidget *>(frames_.fra_btn), static_cast<QWidget *>(frames_.fra_recall_save),
          static_cast<QWidget *>(frames_.fra_audio), static_cast<QWidget *>(frames_.fra_pic),
          static_cast<QWidget *>(frames_.fra_bezel), static_cast<QWidget *>(frames_.fra_dual_a),
          static_cast<QWidget *>(frames_.fra_dual_b)})
        w->setEnabled(false);
    switching_->show_start_banner();
    link_->reset_start_state();
}

bool frm_main::Form_Load() {
    ui_.ready_ = false;
    reset_start_state();

    link_->fill_port_list();
    if (!adjust_->load_resolution_list(&load_error)) {
        show_message(load_error, QMessageBox::Critical);
        return false;
    }

    cmd_clear_Click();

    remove_stale_save_files(program_folder_);
    Settings s;
    if (!read_settings_file(locate_settings_files(program_folder_).read, &s, &load_error)) {
        show_message(load_error, QMessageBox::Critical);
        return false;
    }
    settings_read_ = true;
    link_->apply(with_fallbacks(s));
    // A stop request during the port's failure message: shut-down has run, the window
    // is not to be shown.
    if (unloaded_) return true;

    set_outer_height(link_->advanced_view() ? HEIGHT_FULL : HEIGHT_COMPACT);
    setWindowTitle(QStringLiteral("TEVRAL-QX ") + QStringLiteral("v1.6A") + QStringLiteral(" "));

    if (QScreen *scr = QGuiApplication::primaryScreen()) {
        const QRect a = scr->availableGeometry();
        move(a.x() + (a.width() - WINDOW_WIDTH) / 2, a.y() + (a.height() - outer_height_) / 2);
    }
    show();
    QCoreApplication::processEvents();
    connection_->MSComm1()->set_reception(true);
    ui_.ready_ = true;
    return true;
}

void frm_main::Form_Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    connection_->reconnect()->stop();
    exchange_->stop();
    connection_->MSComm1()->close();
    if (settings_read_) save_settings();
    if (admin_->keypad) admin_->keypad->close();
}

void frm_main::save_settings() {
    QString why;
    if (!store_settings(program_folder_, link_->settings(), &why))
        show_message(why, QMessageBox::Critical);
}

void frm_main::close_unattended() {
    unattended_ = true;
    close();
}

void frm_main::closeEvent(QCloseEvent *e) {
    Form_Unload();
    e->accept();
}
