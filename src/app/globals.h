#pragma once
// Program-wide state shared by the main window and the keypad window.
// Flags are 16-bit: 0 false, -1 true.

#include <QtGlobal>

constexpr qint16 FLAG_TRUE = -1;
constexpr qint16 FLAG_FALSE = 0;
// A mirrored device state the device has not reported yet.
constexpr qint16 NOT_REPORTED = 254;

extern qint16 cur_mode;    // display mode: 1 Matrix, 2 Dual, 3 2X2
extern qint16 lock_state;  // 1 locked, 0 unlocked, 254 not yet reported
extern qint16 audio_state; // 1 audio on, 0 muted, 254 not yet reported
extern qint16 waiting;     // a timed wait runs
extern qint16 keypad_open; // the keypad window is loaded

// Milliseconds on a monotonic clock (the time base of every wait).
qint64 clock_ms();
