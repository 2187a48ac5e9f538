#pragma once
// `ui_ready`: cleared while code sets controls itself, so that the option, list and
// slider handlers send nothing for a value that a reply (or start-up) wrote.

#include <QCoreApplication>

class frm_main;

class UiReady {
public:
    bool ui_ready() const { return ready_; }
    explicit operator bool() const { return ready_; }

private:
    friend class frm_main;
    friend class QuietControls;
    friend struct TestProbe;
    bool ready_ = false;
};

// Holds ui_ready clear while controls are set; pump() processes the events those
// changes raised (their handlers then see ui_ready clear), and the end of the guard's
// scope sets ui_ready to `after`.
class QuietControls {
public:
    explicit QuietControls(UiReady &ui, bool after = true) : ui_(ui), after_(after) {
        ui_.ready_ = false;
    }
    ~QuietControls() { ui_.ready_ = after_; }
    QuietControls(const QuietControls &) = delete;
    QuietControls &operator=(const QuietControls &) = delete;
    void pump() { QCoreApplication::processEvents(); }

private:
    UiReady &ui_;
    bool after_;
};
