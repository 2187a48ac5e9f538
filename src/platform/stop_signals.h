#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal delivered by the event loop. The
// handler only writes a byte to a pipe; no widgets, so the panel and veldra-ctl share it.
// One instance at a time; its end restores the default handlers, or, once a stop was
// requested, ignores further signals so that they cannot end the exit early.

#include <QObject>

class QSocketNotifier;

class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;
    // False when the pipe could not be made (the signals then keep their defaults).
    bool active() const { return notifier_ != nullptr; }

signals:
    void arrived();

private:
    void drain();
    QSocketNotifier *notifier_ = nullptr;
};
