#pragma once
// What veldra-mqtt publishes and understands: its topics, the Home Assistant discovery
// message, the set topics as veldra-ctl commands, and the result of a command. The
// entities and set topics follow from the reply kinds' descriptions
// (protocol/reply_kinds.h): every key of the status has one. Pure, no I/O.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

#include "platform/venue.h"
#include "protocol/display_mode.h"

class Topics {
public:
    explicit Topics(const QString &id) : base_(QStringLiteral("veldra/") + id + QLatin1Char('/')) {}
    QString base() const { return base_; }
    QString availability() const { return base_ + QStringLiteral("availability"); }
    QString state() const { return base_ + QStringLiteral("state"); }
    QString command() const { return base_ + QStringLiteral("command"); }
    QString result() const { return base_ + QStringLiteral("result"); }
    // What the bridge subscribes to: the command topic and the set topics.
    QStringList subscriptions() const;

private:
    QString base_;
};

// What the discovery message says beyond the status keys.
struct Discovery {
    QString prefix; // Home Assistant's discovery prefix
    QString id;     // the bridge's --id
    QString origin_version;
    QStringList resolutions;     // the names of the resolution list
    std::optional<int> firmware; // the device's version, once read
    // The venue's words: the device's and the output selects' names, the inputs as the
    // selects' options, the scenes as the Scene select's.
    Venue venue;
    // Entities for state keys beyond the device's own (by object id, each with its "p").
    QJsonObject more;
};

// The one device-based discovery message (`<prefix>/device/<id>/config`, JSON with "dev",
// "o" and "cmps"): an entity for every status key the mode has, the preset buttons, the
// active scene (a select of the venue's scenes, a sensor while it has none), and the
// picture rows the mode lacks as removals.
QPair<QString, QByteArray> discovery_message(const Discovery &d, DisplayMode mode);
// Every discovery topic this or an earlier version published (the per-component ones
// before the device-based message), which --remove-discovery clears.
QStringList discovery_topics(const QString &prefix, const QString &id);

// The venue's topics: "output/N/set" (N 1..4) with an input's name (or "Input N", or N), and
// "scene/recall" or "scene/save" with a scene's name, as veldra-ctl commands. False when
// the topic is none of these; `error` when the payload makes no command.
bool venue_topic_command(const Topics &t, const QString &topic, const QByteArray &payload,
                         const Venue &venue, QString *command, QString *error);

// A message on a set topic as the veldra-ctl command it stands for ("output/2/set" with
// "Input 3" is "route 2 3"); false when the topic is not one, with the reason in `error`
// when the payload makes no command.
bool set_topic_command(const Topics &t, const QString &topic, const QByteArray &payload,
                       const QStringList &resolutions, QString *command, QString *error);

// {"command":..., "exit":N, "sent":[...], "replies":[...]}, with "error" when the bridge
// or the device gave a reason and "output" when the command printed anything.
QByteArray result_json(const QString &command, int exit, const QStringList &sent,
                       const QStringList &replies, const QString &error,
                       const QString &output = {});
