#pragma once
// Command text and reply tests of the device protocol: pure functions, no widgets.

#include <QByteArray>
#include <QString>

// A small integer (0..999) as three zero-padded decimal digits: 7 -> "007".
QString pad3(int n);

// Collected text is a reply once it holds at least 7 characters and characters
// 4..6 are decimal digits.
constexpr int REPLY_MIN_CHARS = 7;
bool reply_digits_ok(const QString &collected);

// The value a reply handler reads: the last `digits` characters of the reply as a
// decimal number, or -1 when they are not all digits or the reply is cut short
// (fewer than 6 characters).
int reply_value(const QString &reply, int digits);

// A mirrored device state the device has not reported yet.
constexpr int NOT_REPORTED = 254;

// The value digit of a complete reply (its last character); -1 for a reply cut short.
int last_digit(const QString &reply);
