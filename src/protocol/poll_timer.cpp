#include "protocol/poll_timer.h"

PollTimer::PollTimer(std::function<qint64()> waiting_bytes, QObject *parent)
    : QObject(parent), waiting_bytes_(std::move(waiting_bytes)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PollTimer::tick);
}

void PollTimer::start() {
    enabled_ = true;
    if (!timer_.isActive() && waiting_bytes_() > 0) timer_.start(1);
}

void PollTimer::stop() {
    enabled_ = false;
    timer_.stop();
}

void PollTimer::data_arrived() {
    if (enabled_ && !timer_.isActive()) timer_.start(0);
}

void PollTimer::tick() {
    if (!enabled_) return;
    emit timeout();
    // Bytes still waiting are polled again a millisecond later, as by a 1 ms timer.
    if (enabled_ && !timer_.isActive() && waiting_bytes_() > 0) timer_.start(1);
}
