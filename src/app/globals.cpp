#include "app/globals.h"

#include <QElapsedTimer>

qint16 cur_mode = 1;
qint16 lock_state = NOT_REPORTED;
qint16 audio_state = NOT_REPORTED;
qint16 waiting = FLAG_FALSE;
qint16 keypad_open = FLAG_FALSE;

qint64 clock_ms() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}
