// veldra-mqtt: the VELDRA switcher on an MQTT broker, for Home Assistant, Node-RED,
// Companion and scripts; see README, "Home automation: veldra-mqtt".

#include <QCoreApplication>
#include <cstdio>

#include "build_version.h"
#include "client/request.h"
#include "mqtt/bridge.h"
#include "mqtt/options.h"

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    BridgeOptions options;
    QString error;
    if (!parse_bridge_options(app.arguments().mid(1), &options, &error)) {
        std::fputs(("veldra-mqtt: " + error + " (see veldra-mqtt --help)\n").toUtf8().constData(),
                   stderr);
        return EXIT_USAGE;
    }
    if (options.help) {
        std::fputs(bridge_usage().toUtf8().constData(), stdout);
        return EXIT_DONE;
    }
    if (options.version) {
        std::printf("veldra-mqtt %s (build %s)\n", TEVRAL_VERSION, TEVRAL_BUILD_VERSION);
        return EXIT_DONE;
    }
    const QString folder = QCoreApplication::applicationDirPath();
    // Resolution numbers are checked against the list the panel offers, as veldra-ctl
    // checks them; without the list `resolution N` is refused.
    QString list_fault;
    const QStringList resolutions = program_resolutions(folder, &list_fault);
    Bridge bridge(folder, options, resolutions, list_fault);
    return bridge.run();
}
