#pragma once
// The venue file (venue.json): the names a venue gives the device, its inputs and outputs,
// and its named scenes. Only the venue's own text: names never reach the device. Found
// like the settings (the per-user folder first, then the system's), written atomically.
// No widgets, no device rules: which settings a scene's mode has is the protocol's.

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

using Level = std::optional<int>;

// One row of picture levels, 0..100 each.
struct SceneRow {
    Level bri, con, hue, sat;
    bool operator==(const SceneRow &o) const {
        return bri == o.bri && con == o.con && hue == o.hue && sat == o.sat;
    }
};

// Settings a scene holds; a setting it does not hold is left as the device has it.
struct Scene {
    QString name;
    int mode = 1; // 1 Matrix, 2 Dual, 3 2X2
    std::array<Level, 4> routing;
    std::array<SceneRow, 4> rows; // row 1 alone in Matrix
    Level bezel_on, bezel_h, bezel_v;
    Level edid, dual_a, dual_b;
    Level resolution;
};

struct Venue {
    QString device;
    std::array<QString, 4> inputs, outputs; // empty: no name
    QList<Scene> scenes;

    // Index of the scene of that name (any case); -1 when there is none.
    int scene_index(const QString &name) const;
};

constexpr int NAME_MAX_CHARS = 32;

// Why `name` cannot be a name (empty when it can): at most 32 characters, no control or
// line-breaking characters, not blank, not a bare number (which would read as 1..4).
QString name_fault(const QString &name);

// A scene as the venue file keeps it (the keys and values of the status JSON).
QJsonObject scene_to_json(const Scene &s);

// The venue as JSON text, and back. A broken file gives its line and column.
QByteArray format_venue(const Venue &v);
bool parse_venue(const QByteArray &data, Venue *v, QString *error);

// Line and column (1-based, in characters) where QJsonParseError's offset into UTF-8 text
// says the parser stopped.
QString text_position(const QByteArray &data, int offset);

// The system-wide file (the package's conffile, names only) and the per-user one.
QString system_venue_file();
QString user_venue_file();

// Where the venue is read from: `given` when set, else the per-user file when it exists,
// else the system's when it exists; empty when there is none.
QString venue_read_path(const QString &given);
// Where changes go: `given` when set, else the per-user file (never the system's).
QString venue_write_path(const QString &given);

// Reads the venue for a program. A missing file is an empty venue; a broken one too, and
// `fault` says why with its place (the program goes on with numbers). False when broken.
bool load_venue(const QString &given, Venue *v, QString *fault);

// Written to a temporary file and renamed: a full disk, a read-only folder or a kill
// leaves the old file whole. False with why.
bool write_venue_file(const QString &path, const Venue &v, QString *error);
