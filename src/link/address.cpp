#include "link/address.h"

#include <QRegularExpression>
#include <QStringList>

// "061" is decimal 61 here; left to the resolver it would be octal 49.
static QString decimal_octets(const QString &host) {
    static const QRegularExpression dotted(QStringLiteral("^\\d{1,3}(\\.\\d{1,3}){3}$"));
    if (!dotted.match(host).hasMatch()) return host;
    QStringList octets = host.split(QLatin1Char('.'));
    for (QString &o : octets) {
        const int v = o.toInt();
        if (v > 255) return host;
        o = QString::number(v);
    }
    return octets.join(QLatin1Char('.'));
}

static bool port_from(const QString &digits, quint16 *port) {
    static const QRegularExpression re(QStringLiteral("^\\d{1,5}$"));
    if (!re.match(digits).hasMatch()) return false;
    const uint p = digits.toUInt();
    if (p < 1 || p > 65535) return false;
    *port = static_cast<quint16>(p);
    return true;
}

DeviceAddress parse_device_address(const QString &text) {
    DeviceAddress a;
    a.host = text;
    static const QRegularExpression bracketed(QStringLiteral("^\\[([^\\]]+)\\](?::(.*))?$"));
    const QRegularExpressionMatch b = bracketed.match(text);
    if (b.hasMatch()) {
        if (b.captured(2).isNull()) {
            a.host = b.captured(1);
        } else if (port_from(b.captured(2), &a.port)) {
            a.host = b.captured(1);
        }
        return a;
    }
    // More than one colon: a bare IPv6 literal, never HOST:PORT.
    if (text.count(QLatin1Char(':')) == 1) {
        const int colon = text.indexOf(QLatin1Char(':'));
        quint16 port = 23;
        if (colon > 0 && port_from(text.mid(colon + 1), &port)) {
            a.host = decimal_octets(text.left(colon));
            a.port = port;
        }
        return a;
    }
    if (!text.contains(QLatin1Char(':'))) a.host = decimal_octets(text);
    return a;
}
