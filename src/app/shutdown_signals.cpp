#include "app/shutdown_signals.h"

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include "platform/stop_signals.h"

ShutdownSignals::ShutdownSignals(QWidget *window, std::function<void()> commit,
                                 std::function<void()> stop)
    : QObject(window), window_(window), stop_(std::move(stop)) {
    auto *catcher = new StopSignals(this);
    connect(catcher, &StopSignals::arrived, this, &ShutdownSignals::signal_arrived);
    // A logout may still be cancelled: save, but keep the window.
    if (commit)
        connect(
            qApp, &QGuiApplication::commitDataRequest, this,
            [commit](QSessionManager &) { commit(); }, Qt::DirectConnection);
    // Whatever ends the event loop (the session's end among others) closes the window first.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &ShutdownSignals::close_window);
}

void ShutdownSignals::signal_arrived() {
    // A message waiting for its OK would hold the close back.
    if (QWidget *modal = QApplication::activeModalWidget()) modal->close();
    if (stop_ && window_)
        stop_();
    else
        close_window();
}

void ShutdownSignals::close_window() {
    if (window_) window_->close();
}
