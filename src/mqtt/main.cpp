// veldra-mqtt: the VELDRA switcher on an MQTT broker, for Home Assistant, Node-RED,
// Companion and scripts; see README, "Home automation: veldra-mqtt".

#include <QCoreApplication>
#include <cstdio>

#include "build_version.h"
#include "mqtt/bridge.h"
#include "mqtt/options.h"
#include "platform/value_list.h"

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
    // Resolution numbers are checked against the list the panel offers.
    QStringList resolutions;
    if (!read_resolution_file(folder + QStringLiteral("/output_reso.txt"), &resolutions, &error))
        resolutions.clear();
    Bridge bridge(folder, options, resolutions);
    return bridge.run();
}
