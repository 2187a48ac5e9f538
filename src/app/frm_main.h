#pragma once
// frm_main: the main window. It owns the exchange, the connection and the four area
// panels, builds the frames they build their controls into, wires them together and
// runs start-up and shut-down.

#include <QMessageBox>
#include <QString>
#include <QWidget>
#include <memory>

#include "protocol/device_state.h"
#include "protocol/exchange.h"
#include "ui/panel_host.h"
#include "ui/ui_ready.h"

class AdjustPanel;
class AdminPanel;
class Connection;
class LinkPanel;
class LogBox;
class SwitchingPanel;

class frm_main : public QWidget, public ExchangeHost, public PanelHost {
    Q_OBJECT
public:
    explicit frm_main(const QString &program_folder, QWidget *parent = nullptr);
    ~frm_main() override;

    // Start-up: false when it failed (after its message was shown).
    bool Form_Load();
    void Form_Unload();
    // Writes the settings where they belong; says so when nothing could be written.
    void save_settings();
    // A stop request (a signal) closes the window. Nobody may be there to press OK, so
    // from then on what would be a message box goes to standard error.
    void close_unattended();
    // Shut-down has run (also when a stop request came during start-up).
    bool unloaded() const { return unloaded_; }

    QString program_folder() const override { return program_folder_; }
    QString program_path(const QString &backslash_name) const override;
    void show_message(const QString &text, QMessageBox::Icon icon,
                      const QString &informative = QString()) override;

    // Window heights (outer, including the design's 25-pixel title bar and borders).
    static constexpr int WINDOW_WIDTH = 827;
    static constexpr int HEIGHT_COMPACT = 176;
    static constexpr int HEIGHT_FULL = 452;
    static constexpr int TITLE_BAR = 25;
    void set_outer_height(int h);
    int outer_height() const { return outer_height_; }

    Exchange &exchange() { return *exchange_; }
    DeviceState &state() { return state_; }
    Connection &connection() { return *connection_; }
    LinkPanel &link() { return *link_; }
    SwitchingPanel &switching() { return *switching_; }
    AdjustPanel &adjust() { return *adjust_; }
    AdminPanel &admin() { return *admin_; }
    const UiReady &ui() const { return ui_; }
    bool ui_ready() const { return ui_.ui_ready(); }

    void cmd_clear_Click();
    const PanelFrames &frames() const { return frames_; }
    LogBox *txt_cmd = nullptr;
    QPushButton *cmd_clear = nullptr;

    // Why start-up failed (for the program's exit message).
    QString load_error;

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    friend struct TestProbe; // tests put the panel into states a device cannot
    // ExchangeHost
    void clear_log() override;
    void append_log(const QString &text) override;
    void show_message(const QString &text, ExchangeHost::Icon icon) override;
    void device_rebooting() override;
    void device_not_answering() override;

    void build_frames();
    void build_log_controls();
    // The control state of start-up (frames disabled, banner shown, ...).
    void reset_start_state();

    QString program_folder_;
    int outer_height_ = HEIGHT_COMPACT;
    bool unloaded_ = false;
    bool unattended_ = false;
    bool message_open_ = false; // a message box is up
    // Start-up read the settings, so shut-down has something to write back.
    bool settings_read_ = false;
    UiReady ui_;
    // What the device reported; each area applies the replies it handles.
    DeviceState state_;
    PanelFrames frames_;
    // Declared in dependency order: each is built from those above it.
    std::unique_ptr<Connection> connection_;
    std::unique_ptr<Exchange> exchange_;
    std::unique_ptr<LinkPanel> link_;
    std::unique_ptr<AdjustPanel> adjust_;
    std::unique_ptr<AdminPanel> admin_;
    std::unique_ptr<SwitchingPanel> switching_;
};
