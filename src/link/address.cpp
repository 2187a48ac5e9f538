#include "link/address.h"

#include <QRegularExpression>

void split_device_address(const QString &text, QString *host, quint16 *port) {
    static const QRegularExpression re(QStringLiteral("^([^:]+):(\\d{1,5})$"));
    const QRegularExpressionMatch m = re.match(text);
    if (m.hasMatch()) {
        const uint p = m.captured(2).toUInt();
        if (p >= 1 && p <= 65535) {
            *host = m.captured(1);
            *port = static_cast<quint16>(p);
            return;
        }
    }
    *host = text;
    *port = DEVICE_TCP_PORT;
}
