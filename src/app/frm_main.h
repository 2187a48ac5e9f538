#pragma once
// frm_main: the controller of the main window. It owns every control and all panel
// state; the handlers of each area live in the source file of their subsystem
// (protocol/, link/, app/, switching/, adjust/, admin/).

#include <QByteArray>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <QMessageBox>
#include <array>

#include "app/globals.h"
#include "app/widgets.h"
#include "protocol/poll_timer.h"

class SerialPort;
class TcpClient;
class frm_keypad;

// One family of picture controls (brightness, contrast, hue or saturation).
struct PictureFamily {
    const char *mnemonic;
    QGroupBox *fra;
    std::array<QLabel *, 5> *lab;
    std::array<HSlider *, 5> *hsr;
    std::array<QLineEdit *, 5> *txt;
};

class frm_main : public QWidget {
    Q_OBJECT
public:
    explicit frm_main(const QString &program_folder, QWidget *parent = nullptr);
    ~frm_main() override;

    // Start-up: false when it failed (after its message was shown).
    bool Form_Load();
    void Form_Unload();

    QString program_folder() const { return program_folder_; }
    // Path of a runtime file given as "\bmp\name.bmp" or "\file.txt".
    QString program_path(const QString &backslash_name) const;

    // Window heights (outer, including the design's 25-pixel title bar and borders).
    static constexpr int WINDOW_WIDTH = 827;
    static constexpr int HEIGHT_COMPACT = 176;
    static constexpr int HEIGHT_FULL = 452;
    static constexpr int TITLE_BAR = 25;
    void set_outer_height(int h);
    int outer_height() const { return outer_height_; }

    // ---- colours (0x00BBGGRR in the design, as QColor here)
    static QColor selection_colour() { return QColor(0x50, 0xC0, 0xFF); }
    static QColor busy_colour() { return QColor(0xC0, 0xC0, 0x00); }
    static QColor green_colour() { return QColor(0, 192, 0); }
    static QColor red_colour() { return QColor(255, 0, 0); }
    static QColor amber_colour() { return QColor(192, 192, 0); }
    static QColor grey_colour() { return QColor(192, 192, 192); }
    static QColor face() { return ColorButton::button_face(); }

    // ======================= protocol (protocol/) =======================
    void send_cmd(const QString &cmd);
    void send_cmd_nowait(const QString &cmd);
    void wait_sec(float seconds);
    void cmd_clear_Click();
    void log_entry(const QString &text);
    void tim_rx_Timer();
    void wsk_client_DataArrival();
    // What the receivers do with the text they read (also fed directly by tests).
    void serial_received(const QByteArray &bytes);
    void tcp_received(const QString &data);
    // The evaluation that ends every send_cmd: test the reply held in rx_buffer
    // against the command, dispatch it, and empty the reception.
    void finish_exchange(const QString &cmd);
    // Collected characters kept; everything after the sixth is dropped anyway.
    static constexpr int RX_KEEP = 64;
    // Runs the handler of a mnemonic; false when it has none ("EXT" only with include_ext).
    bool dispatch_reply(const QString &mnemonic, bool include_ext = false);
    // Modal message with an OK button (exact text; icon as the caller says); the
    // informative text, when given, explains it below.
    void show_message(const QString &text, QMessageBox::Icon icon,
                      const QString &informative = QString());

    // exchange state
    qint16 busy = FLAG_FALSE;
    qint16 reply_ok = FLAG_FALSE;
    qint16 rx_count = 0;
    QString rx_buffer;
    qint16 log_count = 0;
    // Diagnostics: how many replies reached a handler, and the last mnemonic.
    int dispatch_count = 0;
    QString last_dispatch;

    // ======================= links (link/) =======================
    void set_comm();
    void cbo_com_Click();
    void cmd_conn_Click();
    void cmd_disconn_Click();
    void cmd_conn_eth_Click();
    void cmd_disconn_eth_Click();
    void wsk_client_Connect();
    void tim_eth_Timer();
    void rx_ext();
    void opt_interface_Click(int index);
    void cmd_get_ip_Click();
    void cmd_advance_Click();

    qint16 link_type = 0;
    qint16 port_number = 1;
    qint16 serial_open = FLAG_FALSE;
    qint16 eth_connected = FLAG_FALSE;
    qint16 net_query_step = NOT_REPORTED;
    qint16 advanced_view = FLAG_FALSE;

    SerialPort *MSComm1 = nullptr;
    TcpClient *wsk_client = nullptr;
    PollTimer *tim_rx = nullptr;
    QTimer *tim_eth = nullptr;

    // ======================= application shell (app/) =======================
    qint16 ui_ready = FLAG_FALSE;

    // ======================= switching (switching/) =======================
    void cmd_out_Click(int index);
    void cmd_inp_Click(int index);
    void map_refresh();
    void rx_out();
    void rx_inp();
    void cmd_mode_Click(int index);
    void rx_mod();
    void cmd_save_Click(int index);
    void cmd_recall_Click(int index);
    void rx_sav();
    void rx_cal();
    void cmd_refresh_Click();
    // The line array of an output (1..4): line_a .. line_d.
    std::array<LineShape *, 5> &lines_of(int output);

    qint16 cur_output = 1;
    qint16 cur_input = 1;

    // ======================= adjustments (adjust/) =======================
    void hsr_bri_Change(int index);
    void hsr_con_Change(int index);
    void hsr_hue_Change(int index);
    void hsr_sat_Change(int index);
    void rx_bri();
    void rx_con();
    void rx_hue();
    void rx_sat();
    void cmd_pic_refresh_Click();
    void cmd_pic_reset_Click();
    void hsr_bezel_h_Change();
    void hsr_bezel_v_Change();
    void opt_bezel_onoff_Click(int index);
    void rx_beh();
    void rx_bev();
    void rx_bez();
    void opt_audio_Click(int index);
    void opt_da_Click(int index);
    void opt_db_Click(int index);
    void cmd_mute_Click();
    void rx_aua();
    void rx_aub();
    void rx_aud();
    void rx_aue();
    void cbo_output_Click();
    void rx_res();
    PictureFamily picture_family(const QString &mnemonic);

    qint16 bezel_max_pending = FLAG_FALSE;

    // ======================= administration (admin/) =======================
    void cmd_pwr_Click();
    void cmd_lock_Click();
    void cmd_fact_reset_Click();
    void cmd_ver_Click();
    void rx_pwr();
    void rx_lck();
    void rx_rst();
    void rx_ver();
    void cmd_menu_up_Click();
    void cmd_menu_down_Click();
    void cmd_menu_left_Click();
    void cmd_menu_right_Click();
    void cmd_menu_ok_Click();
    void cmd_menu_menu_Click();
    void cmd_menu_exit_Click();
    void cmd_keypad_Click();
    void keypad_closed();

    qint16 power_state = NOT_REPORTED;
    QPointer<frm_keypad> keypad;

    // ======================= controls =======================
    // top band
    ColorButton *cmd_refresh = nullptr;
    ColorButton *cmd_pwr = nullptr;
    QPushButton *cmd_advance = nullptr;
    QGroupBox *fra_btn = nullptr;
    PictureBox *img_start = nullptr;
    QPushButton *cmd_keypad = nullptr;
    std::array<ColorButton *, 4> cmd_mode{};  // 1..3
    std::array<ColorButton *, 5> cmd_out{};   // 1..4
    std::array<ColorButton *, 5> cmd_inp{};   // 1..4
    std::array<LineShape *, 5> line_a{}, line_b{}, line_c{}, line_d{}; // 1..4
    ColorButton *cmd_mute = nullptr;
    ColorButton *cmd_lock = nullptr;
    ColorButton *cmd_menu_up = nullptr;
    ColorButton *cmd_menu_down = nullptr;
    ColorButton *cmd_menu_left = nullptr;
    ColorButton *cmd_menu_right = nullptr;
    ColorButton *cmd_menu_ok = nullptr;
    ColorButton *cmd_menu_menu = nullptr;
    ColorButton *cmd_menu_exit = nullptr;
    QLabel *lab_reso_out = nullptr;
    QComboBox *cbo_output = nullptr;

    // interface frame
    QGroupBox *fra_rs232 = nullptr;
    std::array<QRadioButton *, 2> opt_interface{}; // 0..1
    QComboBox *cbo_com = nullptr;
    ColorButton *cmd_conn = nullptr;
    ColorButton *cmd_disconn = nullptr;
    QLabel *lab_ip = nullptr;
    QLineEdit *txt_ip = nullptr;
    ColorButton *cmd_conn_eth = nullptr;
    ColorButton *cmd_disconn_eth = nullptr;
    QLabel *lab_eth_state = nullptr;

    // middle band
    QGroupBox *fra_dual_a = nullptr;
    QGroupBox *fra_dual_b = nullptr;
    QGroupBox *fra_audio = nullptr;
    std::array<QRadioButton *, 3> opt_da{};    // 1..2
    std::array<QRadioButton *, 3> opt_db{};    // 1..2
    std::array<QRadioButton *, 5> opt_audio{}; // 0..4
    QGroupBox *fra_bezel = nullptr;
    std::array<QRadioButton *, 2> opt_bezel_onoff{}; // 0 Off, 1 On
    QLabel *lab_bezel_h = nullptr;
    QLabel *lab_bezel_v = nullptr;
    HSlider *hsr_bezel_h = nullptr;
    HSlider *hsr_bezel_v = nullptr;
    QLineEdit *txt_bezel_h = nullptr;
    QLineEdit *txt_bezel_v = nullptr;
    QPushButton *cmd_fact_reset = nullptr;
    ColorButton *cmd_ver = nullptr;
    QLineEdit *txt_ver = nullptr;
    QGroupBox *fra_pic = nullptr;
    QGroupBox *fra_con = nullptr;
    QGroupBox *fra_bri = nullptr;
    QGroupBox *fra_sat = nullptr;
    QGroupBox *fra_hue = nullptr;
    std::array<QLabel *, 5> lab_con{}, lab_bri{}, lab_sat{}, lab_hue{};      // 1..4
    std::array<HSlider *, 5> hsr_con{}, hsr_bri{}, hsr_sat{}, hsr_hue{};     // 1..4
    std::array<QLineEdit *, 5> txt_con{}, txt_bri{}, txt_sat{}, txt_hue{};   // 1..4
    QLabel *lab_pic = nullptr;
    QPushButton *cmd_pic_reset = nullptr;
    QPushButton *cmd_pic_refresh = nullptr;

    // lower band
    QGroupBox *fra_recall_save = nullptr;
    std::array<ColorButton *, 5> cmd_recall{}; // 1..4
    std::array<ColorButton *, 5> cmd_save{};   // 1..4
    ColorButton *cmd_get_ip = nullptr;
    QLabel *lab_inq_ip = nullptr;
    QLabel *lab_inq_mask = nullptr;
    QLabel *lab_inq_gate = nullptr;
    QLineEdit *txt_get_ip = nullptr;
    QLineEdit *txt_get_mask = nullptr;
    QLineEdit *txt_get_gate = nullptr;

    // below the window
    LogBox *txt_cmd = nullptr;
    QPushButton *cmd_clear = nullptr;

    // Why start-up failed (for the program's exit message).
    QString load_error;

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    // Each area builds its own controls into the frames made by build_frames().
    void build_frames();
    void build_protocol_controls();
    void build_link_controls();
    void build_routing_controls();
    void build_mode_controls();
    void build_preset_controls();
    void build_refresh_controls();
    void build_picture_controls();
    void build_bezel_controls();
    void build_audio_controls();
    void build_resolution_controls();
    void build_power_controls();
    void build_remote_controls();

    // Sets the control state of start-up (frames disabled, banner shown, ...).
    void reset_start_state();

    QString program_folder_;
    int outer_height_ = HEIGHT_COMPACT;
    bool unloaded_ = false;
};

// Font helper: family and size in points, optionally bold.
QFont panel_font(const QString &family, double points, bool bold = false);
