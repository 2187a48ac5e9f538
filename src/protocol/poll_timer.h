#pragma once
// The serial reception poll. It behaves as a 1 ms timer that is switched on and off
// by the reception and the exchange, but it only wakes while received bytes are
// waiting (or at once when some arrive), so an idle panel costs no processor time.
// Bytes only become visible to the program when the port's read notifier runs,
// which is also when `data_arrived` is called, so no tick that would have found
// something is ever missed.

#include <QObject>
#include <QTimer>
#include <functional>

class PollTimer : public QObject {
    Q_OBJECT
public:
    PollTimer(std::function<qint64()> waiting_bytes, QObject *parent);
    void start();
    void stop();
    bool isActive() const { return enabled_; }
    int interval() const { return 1; }
    // Connected to the port's notice that new bytes were read.
    void data_arrived();

signals:
    void timeout();

private:
    void tick();
    std::function<qint64()> waiting_bytes_;
    QTimer timer_;
    bool enabled_ = false;
};
