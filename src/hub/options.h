#pragma once
// veldra-hub's (and veldra-mqtt's) command line, parsed and checked. Pure, no I/O but
// the configuration file's.

#include <QString>
#include <QStringList>

#include "client/request.h"

struct BridgeOptions {
    LinkChoice link; // Saved: the panel's settings file, as veldra-ctl
    QString broker_host = QStringLiteral("127.0.0.1");
    int broker_port = 1883; // 8883 with --cafile unless a port is given
    QString username, password_file, cafile;
    QString id = QStringLiteral("veldra");
    QString discovery_prefix = QStringLiteral("homeassistant");
    int poll_s = 30; // 0: no poll
    bool remove_discovery = false;
    QString venue_file; // --venue: names and scenes (else the per-user or system one)
    QString share_host; // empty: no shared port
    quint16 share_port = 0;
    bool broker_given = false; // without --broker, no MQTT
    QString http_host;         // empty: no web
    quint16 http_port = 0;
    QString http_token_file;
    QString program = QStringLiteral("veldra-hub"); // in messages
    bool help = false, version = false;
};

// Parses the arguments (without the program name); false with a one-line reason.
bool parse_bridge_options(const QStringList &args, BridgeOptions *o, QString *error);
// "HOST", "HOST:PORT", "[V6]:PORT" or a bare "PORT" (then `default_host`).
bool parse_host_port(const QString &text, const QString &default_host, int default_port,
                     QString *host, int *port);

// The command line with the options of `--config FILE` put in its place: one option a
// line ("--host 192.168.1.100" or "host = 192.168.1.100"), # comments. False with a reason.
bool expand_config(const QStringList &args, QStringList *out, QString *error);

// Whether the options name the device: the hub does not fall back to a saved link.
bool names_device(const BridgeOptions &o);

QString bridge_usage(const QString &program = QStringLiteral("veldra-mqtt"));
