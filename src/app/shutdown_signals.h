#pragma once
// Ends the program the way a click on the close box does when the system asks it to:
// SIGTERM, SIGINT and SIGHUP close the window (so the settings are saved), and a
// session manager's logout saves the settings.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

class ShutdownSignals : public QObject {
    Q_OBJECT
public:
    // `commit` saves what a logout must not lose while the window stays open; `stop`
    // closes the window on a signal (by default as the close box does).
    explicit ShutdownSignals(QWidget *window, std::function<void()> commit = {},
                             std::function<void()> stop = {});

private:
    void signal_arrived();
    void close_window();
    QPointer<QWidget> window_;
    std::function<void()> stop_;
};
