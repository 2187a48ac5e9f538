#pragma once
// Why a serial port did not open, told in the operator's terms: pure text, no I/O.

#include <QString>

enum class PortProblem { Missing, PermissionDenied, Busy, NotSerial, Other };

// What is known about the device path after a failed open.
struct PortFacts {
    bool exists = false;           // the path (or what its link points to) exists
    bool char_device = false;      // it is a character device
    bool accessible = false;       // read and write access are granted to this user
    bool permission_error = false; // the open failed with "permission denied"
    bool not_found_error = false;  // the open failed with "no such device"
};

PortProblem classify_port_failure(const PortFacts &facts);

// The message box's informative text: the device path COMn maps to, and why.
QString port_failure_detail(int port_number, const QString &device, PortProblem problem,
                            const QString &system_text);
