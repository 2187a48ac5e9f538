#pragma once
// The display mode the device last reported. The enum values are the device's digits.

enum class DisplayMode : int { Matrix = 1, Dual = 2, Wall = 3 };

// Read by every area; written only by the switching area's MOD handler (and start-up).
class ModeState {
public:
    DisplayMode cur_mode() const { return cur_mode_; }
    int digit() const { return static_cast<int>(cur_mode_); }

private:
    friend struct TestProbe; // tests put the panel into states a device cannot
    friend class SwitchingPanel;
    DisplayMode cur_mode_ = DisplayMode::Matrix;
};
