#pragma once
// What can be said about a serial port without opening it (opening may reset a device
// or take a port another program is about to use), and the one thing asked of its
// driver once it is open. No widgets.

#include <QString>

#include "link/port_failure.h"

// The stable name of the adapter `device` is (a link in `by_id_folder` to the same
// device), such as /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A5XK3RJT-if00-port0;
// empty when there is none (a built-in port, a pseudo-terminal, no adapter plugged in).
QString stable_port_name(const QString &device,
                         const QString &by_id_folder = QStringLiteral("/dev/serial/by-id"));

// One COMn as the panel and veldra-ctl would open it.
struct PortListing {
    int port_number = 0;
    QString device;   // the path COMn opens (a ports/ link, or the system's port)
    QString target;   // what a ports/ link points to; empty for the system's port
    QString resolved; // the device node in the end, such as /dev/ttyUSB0
    QString stable;   // stable_port_name(), or empty
    bool usable = false;
    PortProblem problem = PortProblem::Other; // why not, when not usable
};

// Told from the file system alone: the node exists, is a character device, this user
// may read and write it, and (a built-in port) a UART is behind it. Whether another
// program holds it cannot be told without opening it.
PortListing list_port(const QString &program_folder, int port_number);

// Asks the driver of an open serial port for low latency (ASYNC_LOW_LATENCY): an FTDI
// adapter then hands received bytes over after 1 ms instead of 16. Best effort: false
// when the device refuses (a pseudo-terminal, a driver without the setting).
bool request_low_latency(int fd);
