#include "traffic_log.h"

#include "line_framer.h"

#include <QTime>

#include <cstdio>

namespace veldra {

namespace {
bool g_logging = false;
}

void setTrafficLogging(bool on) { g_logging = on; }
bool trafficLogging() { return g_logging; }

void logTraffic(const QString &link, const char *direction, const QByteArray &bytes) {
    if (!g_logging) return;
    const QByteArray stamp =
        QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")).toLatin1();
    std::fprintf(stderr, "%s %s %s %s\n", stamp.constData(), link.toLatin1().constData(), direction,
                 escapeBytes(bytes).constData());
    std::fflush(stderr);
}

} // namespace veldra
