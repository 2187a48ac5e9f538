#include "protocol/reply.h"

#include "protocol/command.h"

std::optional<Mnemonic> mnemonic_of(const QString &letters) {
    for (int i = 0; i < REPLY_KINDS; ++i)
        if (letters == QLatin1String(MNEMONIC_LETTERS[i])) return static_cast<Mnemonic>(i);
    return std::nullopt;
}

int Reply::value(int n) const { return reply_value(text, n); }

std::optional<Reply> parse_reply(const QString &text) {
    const std::optional<Mnemonic> m = mnemonic_of(text.left(3));
    if (!m) return std::nullopt;
    const QString six = text.left(6);
    return Reply{*m, six.mid(3), six};
}
