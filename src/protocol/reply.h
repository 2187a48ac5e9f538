#pragma once
// A reply of the device as a value: its mnemonic, its value digits and the text it came
// as. Decoded once, where it is received; every reader takes it as a parameter.

#include <QString>
#include <iterator>
#include <optional>

// The replies that have a handler, in alphabetical order. ERR has none: it only answers
// the command that was refused. A new reply kind goes into both lists.
enum class Mnemonic : int {
    AUA,
    AUB,
    AUD,
    AUE,
    BEH,
    BEV,
    BEZ,
    BRI,
    CAL,
    CON,
    EXT,
    HUE,
    INP,
    LCK,
    MOD,
    OUT,
    PWR,
    RES,
    RST,
    SAT,
    SAV,
    VER
};
inline constexpr const char *MNEMONIC_LETTERS[] = {
    "AUA", "AUB", "AUD", "AUE", "BEH", "BEV", "BEZ", "BRI", "CAL", "CON", "EXT",
    "HUE", "INP", "LCK", "MOD", "OUT", "PWR", "RES", "RST", "SAT", "SAV", "VER"};
constexpr int REPLY_KINDS = static_cast<int>(Mnemonic::VER) + 1;
static_assert(std::size(MNEMONIC_LETTERS) == REPLY_KINDS, "one set of letters per reply kind");

// The three letters of a mnemonic ("AUA" for Mnemonic::AUA).
inline QLatin1String mnemonic_text(Mnemonic m) {
    return QLatin1String(MNEMONIC_LETTERS[static_cast<int>(m)]);
}
// The mnemonic three letters name; none for ERR and for letters no reply carries.
std::optional<Mnemonic> mnemonic_of(const QString &letters);

struct Reply {
    Mnemonic mnemonic;
    // The characters after the mnemonic: three in a whole reply, fewer in one cut short
    // by a time-out.
    QString digits;
    // The reply as received, at most six characters.
    QString text;

    // The last `n` value digits as a number; -1 for a reply cut short (fewer than six
    // characters) or when they are not all digits.
    int value(int n = 3) const;
    // The last value digit; -1 as for value().
    int digit() const { return value(1); }
};

// The reply in `text` (its first six characters); none when its first three letters name
// no reply kind.
std::optional<Reply> parse_reply(const QString &text);
