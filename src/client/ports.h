#pragma once
// `veldra-ctl ports`: COM1..COM9 as the panel maps them, shown. Pure formatting.

#include <QJsonObject>
#include <QList>
#include <QString>

#include "link/port_info.h"

// One line a port: COMn, the device it opens (a link with its target), the adapter's
// stable name, and whether this user can open it or why not.
QString ports_text(const QList<PortListing> &ports);
// {"ports":[{"port":"COM1","device":...,"target":...,"node":...,"by_id":...,
// "usable":true,"problem":null}, ...]}; absent values are null.
QJsonObject ports_json(const QList<PortListing> &ports);
