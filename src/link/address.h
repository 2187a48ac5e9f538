#pragma once
// The device address as the operator types it: pure text handling, no sockets.

#include <QString>

struct DeviceAddress {
    QString host;
    quint16 port = 23;
};

// "HOST", "HOST:PORT", an IPv6 literal bare ("::1") or in brackets ("[::1]",
// "[::1]:2325"). A dotted address is read octet by octet in decimal, so the
// zero-padded form the device reports ("192.168.001.100") means what it shows.
// A port outside 1..65535 leaves the whole text as the host, as does anything else.
DeviceAddress parse_device_address(const QString &text);
