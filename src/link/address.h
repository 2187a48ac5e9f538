#pragma once
// The device address as the operator types it. Pure, no widgets.

#include <QString>

// The device's own port.
constexpr quint16 DEVICE_TCP_PORT = 23;

// "HOST:PORT" connects to PORT (device servers, a simulator without root);
// anything else is a host at the device's port 23.
void split_device_address(const QString &text, QString *host, quint16 *port);
