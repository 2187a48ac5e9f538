// --log: one stderr line per chunk in or out, time-stamped, escaped.
#pragma once

#include <QByteArray>
#include <QString>

namespace veldra {

void setTrafficLogging(bool on);
bool trafficLogging();
// direction: "<" received from the panel, ">" sent to it.
void logTraffic(const QString &link, const char *direction, const QByteArray &bytes);

} // namespace veldra
