#pragma once
// The value-list text format of the settings file and the resolution list: one
// value per line (or comma separated), integers, #TRUE#/#FALSE# flags and quoted
// texts. Pure functions, no widgets.

#include <QByteArray>
#include <QString>
#include <QStringList>

class ValueListReader {
public:
    // A leading UTF-8 byte-order mark (some editors write one) is skipped. Values are
    // decoded as UTF-8 when `utf8` is set, else as Latin-1.
    explicit ValueListReader(const QByteArray &data, bool utf8 = false);
    // Each returns false when there is no value left to read (or, for integers and
    // flags, when the value cannot be one); `error()` says why.
    bool next_text(QString *out);
    bool next_integer(qint16 *out);
    bool next_flag(bool *out);
    QString error() const { return error_; }

private:
    bool next_raw(QString *out, bool *quoted);
    QString decode(int start, int length) const;
    QByteArray data_;
    int pos_ = 0;
    bool utf8_ = false;
    QString error_;
};

struct Settings {
    qint16 link_type = 0;
    qint16 port_number = 1;
    bool advanced_view = false;
    QString address;
};

// Files larger than this are not value lists the program could have been given.
constexpr qint64 VALUE_LIST_MAX_BYTES = 1 << 20;

// Values the program never writes fall back to the first interface and port: a link
// type other than 1 is RS-232 (0), a port outside 1..9 is COM1.
Settings with_fallbacks(Settings s);

bool parse_settings(const QByteArray &data, Settings *s, QString *error);
QByteArray format_settings(const Settings &s);
// The device numbers resolutions with three digits, so a longer list cannot be used.
constexpr int RESOLUTION_LIST_MAX = 999;

bool is_valid_utf8(const QByteArray &data);
// Read as UTF-8 when the file is valid UTF-8, else as Latin-1.
bool parse_resolution_list(const QByteArray &data, QStringList *names, QString *error);

// A double quote cannot be stored inside a quoted text value; it is dropped.
QString storable_text(const QString &text);

// File access: the error text names the file and the fault.
bool read_value_file(const QString &path, QByteArray *data, QString *error);
bool read_settings_file(const QString &path, Settings *s, QString *error);
// Replaces the file whole or leaves it untouched; `error` says why it was not written.
bool write_settings_file(const QString &path, const Settings &s, QString *error = nullptr);
bool read_resolution_file(const QString &path, QStringList *names, QString *error);
