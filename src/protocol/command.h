#pragma once
// Command text and reply tests of the device protocol: pure functions, no widgets.

#include <QByteArray>
#include <QString>
#include <optional>

#include "protocol/display_mode.h"
#include "protocol/reply.h"

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

// ---- Commands, built here only: the panels, veldra-ctl and the bridge call these.

// A command setting a reply kind's value: set_command(Mnemonic::PWR, 1) is "PWR001".
QString set_command(Mnemonic m, int value);
// The query of a reply kind: "PWR999".
QString query(Mnemonic m);
// The query of a bezel amount's upper bound (0 horizontal, 1 vertical): "BEH998".
QString bezel_bound_query(int direction);
// Whether the next bezel reply to `cmd` is an upper bound, whoever sent it.
bool asks_bezel_bound(const QString &cmd);

// Selecting an output (1..4); routing an input (1..4) to the output selected last.
QString select_output(int output);
QString route_input(int input);
QString input_query();
QString mode_command(DisplayMode m);
QString power_command(bool on);
QString lock_command(bool on);
// Audio on (true) or muted.
QString audio_command(bool on);
// A picture level (param: PictureParam) in a row: Matrix sends the level, Dual and 2X2
// level + 200 * (row - 1).
QString picture_command(int param, int row, int level, DisplayMode m);
// A picture level's query: Matrix "BRI999", the rows "BRI99n".
QString picture_query(int param, int row, DisplayMode m);
QString bezel_command(bool on);
// A bezel amount (0 horizontal, 1 vertical).
QString bezel_amount_command(int direction, int amount);
// Audio EDID 0..4 (2ch, 6ch, 8ch, bitstream, HD); a Dual pair's side 1 left, 2 right.
QString audio_edid_command(int format);
QString dual_audio_command(bool pair_b, int side);
// Resolution n of the list (1-based).
QString resolution_command(int n);
QString preset_save_command(int preset);
QString preset_recall_command(int preset);
QString factory_reset_command();
QString picture_reset_command();
// The on-screen menu keys, in the order up, down, left, right, ok, menu, exit.
enum class MenuKey { Up, Down, Left, Right, Ok, Menu, Exit };
QString menu_command(MenuKey key);
// The network queries over the serial link: 0 address, 1 mask, 2 gateway.
QString network_query(int step);

// Commands whose reply may come late (a mode change, a preset): callers wait 5 s more.
bool slow_command(const QString &cmd);
// Commands after which the device's routing and pictures may all have changed (a mode
// change, a preset recalled, a reset), so a reader reads everything again; also true for
// the replies the device sends when its front panel did the same.
bool changes_much(const QString &cmd_or_reply);
// The output a command selects (1..4); none for any other command.
std::optional<int> selected_by(const QString &cmd);
// The device's refusal of a command ("ERR001").
bool refusal(const QString &reply);
