// veldra-sim: a stand-in VELDRA matrix switcher for the panel's tests.
#include "simulator.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

int main(int argc, char **argv) {
    // Block the stop signals before Qt starts any thread, so they are only
    // ever delivered through the signalfd below, inside the event loop.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A peer that vanished must not kill us on write.
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veldra-sim"));

    veldra::SimOptions options;
    const int parsed = veldra::parseOptions(app.arguments(), &options);
    if (parsed >= 0) return parsed;

    const int sigFd = signalfd(-1, &stopSignals, SFD_NONBLOCK | SFD_CLOEXEC);
    if (sigFd < 0) {
        std::perror("veldra-sim: signalfd");
        return 1;
    }
    QSocketNotifier sigNotifier(sigFd, QSocketNotifier::Read);
    QObject::connect(&sigNotifier, &QSocketNotifier::activated, &app, [sigFd] {
        signalfd_siginfo info;
        while (read(sigFd, &info, sizeof info) == ssize_t(sizeof info)) {
        }
        QCoreApplication::quit();
    });

    veldra::Simulator sim(options);
    QString error;
    if (!sim.start(&error)) {
        std::fprintf(stderr, "veldra-sim: %s\n", qPrintable(error));
        sim.shutdown();
        return 1;
    }
    std::printf("veldra-sim ready\n");
    std::fflush(stdout);

    app.exec();
    sim.shutdown();
    close(sigFd);
    return 0;
}
