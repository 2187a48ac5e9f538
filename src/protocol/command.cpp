#include "protocol/command.h"

QString pad3(int n) { return QString::number(n).rightJustified(3, QLatin1Char('0')); }

static bool is_digit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

bool reply_digits_ok(const QString &collected) {
    if (collected.size() < 6) return false;
    for (int i = 3; i < 6; ++i)
        if (!is_digit(collected.at(i))) return false;
    return true;
}

int reply_value(const QString &reply, int digits) {
    // A cut-off reply (evaluated after a time-out) would read a wrong digit as the
    // value: "PWR00" is not standby. Only whole replies carry a value.
    if (digits <= 0 || reply.size() < 6) return -1;
    int v = 0;
    for (int i = reply.size() - digits; i < reply.size(); ++i) {
        if (!is_digit(reply.at(i))) return -1;
        v = v * 10 + (reply.at(i).unicode() - '0');
    }
    return v;
}

int last_digit(const QString &reply) { return reply.size() >= 6 ? reply_value(reply, 1) : -1; }
