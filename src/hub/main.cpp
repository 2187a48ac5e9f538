// veldra-hub: the VELDRA switcher's one connection served to the panel and veldra-ctl
// (the shared port), MQTT (Home Assistant, Node-RED, Companion) and the web page; see
// README, "Home automation" and "The web page". veldra-mqtt is the same program and
// needs --broker.

#include <QCoreApplication>
#include <cstdio>

#include "build_version.h"
#include "client/request.h"
#include "hub/bridge.h"
#include "hub/options.h"

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QString program = QStringLiteral(VELDRA_PROGRAM);
    auto fail = [&](const QString &why) {
        std::fputs((program + QStringLiteral(": ") + why +
                    QStringLiteral(" (see %1 --help)\n").arg(program))
                       .toUtf8()
                       .constData(),
                   stderr);
        return EXIT_USAGE;
    };
    BridgeOptions options;
    QString error;
    QStringList args;
    if (!expand_config(app.arguments().mid(1), &args, &error)) return fail(error);
    if (!parse_bridge_options(args, &options, &error)) return fail(error);
    options.program = program;
    if (options.help) {
        std::fputs(bridge_usage(program).toUtf8().constData(), stdout);
        return EXIT_DONE;
    }
    if (options.version) {
        std::printf("%s %s (build %s)\n", VELDRA_PROGRAM, TEVRAL_VERSION, TEVRAL_BUILD_VERSION);
        return EXIT_DONE;
    }
    // A service that falls back to a default address would try it forever.
    if (!names_device(options) && !options.remove_discovery)
        return fail(QStringLiteral("no device named: give --host HOST[:PORT] or --port COMn, "
                                   "on the command line or in the --config file"));
    if (program == QLatin1String("veldra-mqtt") && !options.broker_given &&
        !options.remove_discovery)
        return fail(QStringLiteral("veldra-mqtt needs --broker HOST[:PORT] (veldra-hub runs "
                                   "without MQTT)"));
    if (!options.broker_given && options.share_host.isEmpty() && options.http_host.isEmpty())
        return fail(QStringLiteral("nothing to serve: give --share, --broker or --http"));
    const QString folder = QCoreApplication::applicationDirPath();
    // Resolution numbers are checked against the list the panel offers, as veldra-ctl
    // checks them; without the list `resolution N` is refused.
    QString list_fault;
    const QStringList resolutions = program_resolutions(folder, &list_fault);
    Bridge bridge(folder, options, resolutions, list_fault);
    return bridge.run();
}
