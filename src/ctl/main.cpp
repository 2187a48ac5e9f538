// veldra-ctl: the VELDRA switcher from scripts, cron and home automation, through
// the panel's own protocol code.

#include <QCoreApplication>
#include <cstdio>

#include "client/request.h"
#include "client/session.h"

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QString folder = QCoreApplication::applicationDirPath();
    // Resolution numbers are checked against the list the panel offers; without the
    // list `resolution N` is refused, everything else works.
    QString list_fault;
    const QStringList resolutions = program_resolutions(folder, &list_fault);

    Request request;
    QString error;
    if (!parse_request(app.arguments().mid(1), int(resolutions.size()), &request, &error,
                       list_fault)) {
        std::fputs(("veldra-ctl: " + error + " (see veldra-ctl --help)\n").toUtf8().constData(),
                   stderr);
        return EXIT_USAGE;
    }
    if (request.verb == Verb::Help) {
        std::fputs(usage_text().toUtf8().constData(), stdout);
        return EXIT_DONE;
    }
    Session session(folder, request, resolutions);
    return session.run();
}
