#pragma once
// What veldra-mqtt publishes and understands: its topics, the Home Assistant discovery
// configurations, the set topics as veldra-ctl commands, and the result of a command.
// Pure, no I/O.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "platform/venue.h"

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

// The retained discovery configurations (topic, JSON): a select per output (offering the
// venue's input names) and for the mode, switches for power, lock and mute, a button per
// preset, the firmware sensor, and the venue's Scene select (an empty configuration, which
// removes it, while the venue has no scene).
QList<QPair<QString, QByteArray>> discovery_configs(const QString &prefix, const QString &id,
                                                    const Venue &venue = Venue());

// The venue's topics: "output/N/set" with an input's name (or "Input N", or N), and
// "scene/recall" or "scene/save" with a scene's name, as veldra-ctl commands. False when
// the topic is none of these; `error` when the payload makes no command.
bool venue_topic_command(const Topics &t, const QString &topic, const QByteArray &payload,
                         const Venue &venue, QString *command, QString *error);

// A message on a set topic as the veldra-ctl command it stands for ("output/2/set" with
// "3" is "route 2 3"); false when the topic is not one, with the reason in `error` when the
// payload makes no command.
bool set_topic_command(const Topics &t, const QString &topic, const QByteArray &payload,
                       QString *command, QString *error);

// {"command":..., "exit":N, "sent":[...], "replies":[...]}, with "error" when the bridge
// or the device gave a reason.
QByteArray result_json(const QString &command, int exit, const QStringList &sent,
                       const QStringList &replies, const QString &error);
