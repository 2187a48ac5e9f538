#pragma once
// The adjustment area: picture (brightness, contrast, hue, saturation), bezel
// correction, audio (EDID format, Dual pair sides, mute) and output resolution.

#include <QObject>
#include <array>

#include "protocol/command.h"
#include "protocol/device_state.h"
#include "ui/panel_host.h"

class ColorButton;
class Exchange;
class HSlider;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class UiReady;

// One family of picture controls.
struct PictureFamily {
    PictureParam param;
    QGroupBox *fra;
    std::array<QLabel *, 5> *lab;
    std::array<HSlider *, 5> *hsr;
    std::array<QLineEdit *, 5> *txt;
};

class AdjustPanel : public QObject {
    Q_OBJECT
public:
    AdjustPanel(Exchange &exchange, UiReady &ui, DeviceState &state, PanelHost &host,
                const PanelFrames &frames);

    void build_mute_control();
    void build_resolution_controls();
    void build_audio_controls();
    void build_bezel_controls();
    void build_picture_controls();

    // picture
    void hsr_bri_Change(int index);
    void hsr_con_Change(int index);
    void hsr_hue_Change(int index);
    void hsr_sat_Change(int index);
    void rx_bri(const Reply &r);
    void rx_con(const Reply &r);
    void rx_hue(const Reply &r);
    void rx_sat(const Reply &r);
    void cmd_pic_refresh_Click();
    void cmd_pic_reset_Click();
    PictureFamily picture_family(PictureParam p);
    // Row captions and live rows of the picture frames for a reported mode (1..3).
    void show_mode_rows(int mode);
    // The picture defaults that the device's RST002 acknowledgement set in the state.
    void show_picture_defaults();

    // bezel
    void hsr_bezel_h_Change();
    void hsr_bezel_v_Change();
    void opt_bezel_onoff_Click(int index);
    void rx_beh(const Reply &r);
    void rx_bev(const Reply &r);
    void rx_bez(const Reply &r);
    // Set: the next bezel amount reply is the slider's upper bound.
    bool bezel_max_pending() const { return state_.bezel_max_pending(); }
    void set_bezel_max_pending(bool on) { state_.set_bezel_max_pending(on); }

    // audio
    void opt_audio_Click(int index);
    void opt_da_Click(int index);
    void opt_db_Click(int index);
    void cmd_mute_Click();
    void rx_aua(const Reply &r);
    void rx_aub(const Reply &r);
    void rx_aud(const Reply &r);
    void rx_aue(const Reply &r);
    // 1 audio on, 0 muted, NOT_REPORTED before the device said.
    int audio_state() const { return state_.audio_on().value_or(NOT_REPORTED); }
    // The speaker picture of a device switched on (its audio is on).
    void show_speaker_on();

    // resolution
    // Start-up: the output resolutions from output_reso.txt, none chosen; false (and why)
    // when the file cannot be read.
    bool load_resolution_list(QString *error);
    void cbo_output_Click();
    void rx_res(const Reply &r);

    std::array<QRadioButton *, 3> opt_da{};    // 1..2
    std::array<QRadioButton *, 3> opt_db{};    // 1..2
    std::array<QRadioButton *, 5> opt_audio{}; // 0..4
    ColorButton *cmd_mute = nullptr;
    std::array<QRadioButton *, 2> opt_bezel_onoff{}; // 0 Off, 1 On
    QLabel *lab_bezel_h = nullptr;
    QLabel *lab_bezel_v = nullptr;
    HSlider *hsr_bezel_h = nullptr;
    HSlider *hsr_bezel_v = nullptr;
    QLineEdit *txt_bezel_h = nullptr;
    QLineEdit *txt_bezel_v = nullptr;
    std::array<QLabel *, 5> lab_con{}, lab_bri{}, lab_sat{}, lab_hue{};    // 1..4
    std::array<HSlider *, 5> hsr_con{}, hsr_bri{}, hsr_sat{}, hsr_hue{};   // 1..4
    std::array<QLineEdit *, 5> txt_con{}, txt_bri{}, txt_sat{}, txt_hue{}; // 1..4
    QLabel *lab_pic = nullptr;
    QPushButton *cmd_pic_reset = nullptr;
    QPushButton *cmd_pic_refresh = nullptr;
    QLabel *lab_reso_out = nullptr;
    QComboBox *cbo_output = nullptr;

private:
    void picture_change(PictureParam p, int row);
    void picture_reply(PictureParam p, const Reply &r);
    void bezel_slider_moved(HSlider *hsr, QLineEdit *txt, int direction);
    void bezel_reply(bool horizontal, const Reply &r);
    template <std::size_t N>
    void select_reported(std::array<QRadioButton *, N> &group, std::optional<int> d);

    Exchange &exchange_;
    UiReady &ui_;
    DeviceState &state_;
    PanelHost &host_;
    PanelFrames frames_;
};
