#include "platform/value_list.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <limits>

static bool is_blank(char c) { return c == ' ' || c == '\t'; }
static bool is_line_end(char c) { return c == '\r' || c == '\n'; }

// Consumes one separator: a comma, or a line end (CR LF, CR or LF).
static void skip_separator(const QByteArray &d, int &pos) {
    if (pos >= d.size()) return;
    if (d[pos] == ',') {
        ++pos;
    } else if (d[pos] == '\r') {
        ++pos;
        if (pos < d.size() && d[pos] == '\n') ++pos;
    } else if (d[pos] == '\n') {
        ++pos;
    }
}

static const QByteArray UTF8_BOM("\xEF\xBB\xBF");

ValueListReader::ValueListReader(const QByteArray &data, bool utf8) : data_(data), utf8_(utf8) {
    if (data_.startsWith(UTF8_BOM)) pos_ = UTF8_BOM.size();
}

QString ValueListReader::decode(int start, int length) const {
    // Values end at ASCII bytes only, so a slice of valid UTF-8 is valid UTF-8.
    return utf8_ ? QString::fromUtf8(data_.constData() + start, length)
                 : QString::fromLatin1(data_.constData() + start, length);
}

bool ValueListReader::next_raw(QString *out, bool *quoted) {
    *quoted = false;
    if (pos_ >= data_.size()) {
        error_ = QStringLiteral("unexpected end of file");
        return false;
    }
    while (pos_ < data_.size() && is_blank(data_[pos_])) ++pos_;
    int start = pos_;
    if (pos_ < data_.size() && data_[pos_] == '"') {
        *quoted = true;
        ++pos_;
        start = pos_;
        while (pos_ < data_.size() && data_[pos_] != '"') ++pos_;
        *out = decode(start, pos_ - start);
        if (pos_ < data_.size()) ++pos_; // closing quote
        // Anything between the closing quote and the separator is not part of the value.
        while (pos_ < data_.size() && data_[pos_] != ',' && !is_line_end(data_[pos_])) ++pos_;
    } else {
        while (pos_ < data_.size() && data_[pos_] != ',' && !is_line_end(data_[pos_])) ++pos_;
        int end = pos_;
        while (end > start && is_blank(data_[end - 1])) --end;
        *out = decode(start, end - start);
    }
    skip_separator(data_, pos_);
    return true;
}

bool ValueListReader::next_text(QString *out) {
    bool quoted;
    return next_raw(out, &quoted);
}

bool ValueListReader::next_integer(qint16 *out) {
    QString t;
    bool quoted;
    if (!next_raw(&t, &quoted)) return false;
    // Leading numeric part, as a number is read from text; no digits reads as 0.
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    qint64 v = 0;
    bool any = false;
    for (; i < t.size() && t[i].isDigit() && t[i].unicode() < 128; ++i) {
        any = true;
        v = v * 10 + (t[i].unicode() - '0');
        if (v > 100000) break;
    }
    if (!any) v = 0;
    if (negative) v = -v;
    if (v < std::numeric_limits<qint16>::min() || v > std::numeric_limits<qint16>::max()) {
        error_ = QStringLiteral("number out of range: %1").arg(t.left(40));
        return false;
    }
    *out = static_cast<qint16>(v);
    return true;
}

bool ValueListReader::next_flag(bool *out) {
    QString t;
    bool quoted;
    if (!next_raw(&t, &quoted)) return false;
    const QString u = t.trimmed().toUpper();
    if (u == QLatin1String("#TRUE#") || u == QLatin1String("TRUE")) {
        *out = true;
    } else if (u == QLatin1String("#FALSE#") || u == QLatin1String("FALSE") || u.isEmpty()) {
        *out = false;
    } else {
        bool ok = false;
        const int n = u.toInt(&ok);
        if (!ok) {
            error_ = QStringLiteral("not a flag: %1").arg(t.left(40));
            return false;
        }
        *out = n != 0;
    }
    return true;
}

bool parse_settings(const QByteArray &data, Settings *s, QString *error) {
    ValueListReader r(data);
    Settings out;
    if (!r.next_integer(&out.link_type) || !r.next_integer(&out.port_number) ||
        !r.next_flag(&out.advanced_view) || !r.next_text(&out.address)) {
        *error = r.error();
        return false;
    }
    *s = out;
    return true;
}

Settings with_fallbacks(Settings s) {
    if (s.link_type != 1) s.link_type = 0;
    if (s.port_number < 1 || s.port_number > 9) s.port_number = 1;
    return s;
}

QString storable_text(const QString &text) {
    QString t = text;
    t.remove(QLatin1Char('"'));
    return t;
}

QByteArray format_settings(const Settings &s) {
    QByteArray out;
    out += QByteArray::number(s.link_type) + "\r\n";
    out += QByteArray::number(s.port_number) + "\r\n";
    out += QByteArray(s.advanced_view ? "#TRUE#" : "#FALSE#") + "\r\n";
    out += '"' + storable_text(s.address.trimmed()).toLatin1() + "\"\r\n";
    return out;
}

bool is_valid_utf8(const QByteArray &data) {
    // Stateless: a sequence cut off at the end of the file counts as an error.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(data);
    return !utf8.hasError();
}

bool parse_resolution_list(const QByteArray &data, QStringList *names, QString *error) {
    ValueListReader r(data, is_valid_utf8(data));
    QStringList out;
    for (;;) {
        QString name;
        if (!r.next_text(&name)) {
            *error = QStringLiteral("the list has no \"END\" line");
            return false;
        }
        if (name == QLatin1String("END")) break;
        if (out.size() == RESOLUTION_LIST_MAX) {
            *error = QStringLiteral("more than %1 entries (the device numbers resolutions "
                                    "with three digits)")
                         .arg(RESOLUTION_LIST_MAX);
            return false;
        }
        out << name;
    }
    *names = out;
    return true;
}

bool read_value_file(const QString &path, QByteArray *data, QString *error) {
    QFile f(path);
    QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("File not found: %1").arg(path);
        return false;
    }
    if (!info.isFile()) {
        *error = QStringLiteral("Not a file: %1").arg(path);
        return false;
    }
    if (info.size() > VALUE_LIST_MAX_BYTES) {
        *error = QStringLiteral("File too large (%1 bytes): %2").arg(info.size()).arg(path);
        return false;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read %1: %2").arg(path, f.errorString());
        return false;
    }
    *data = f.read(VALUE_LIST_MAX_BYTES + 1);
    if (f.error() != QFileDevice::NoError) {
        *error = QStringLiteral("Cannot read %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

bool read_settings_file(const QString &path, Settings *s, QString *error) {
    QByteArray data;
    if (!read_value_file(path, &data, error)) return false;
    QString why;
    if (!parse_settings(data, s, &why)) {
        *error = QStringLiteral("Bad settings file %1: %2").arg(path, why);
        return false;
    }
    return true;
}

bool write_settings_file(const QString &path, const Settings &s, QString *error) {
    // Written to a temporary file and renamed, so a kill leaves the old or the new file whole.
    // A full disk shows only in the flush: every step is checked, and any failure cancels
    // the rename, or an empty file would replace the old one.
    QSaveFile f(path);
    const QByteArray data = format_settings(s);
    const bool ok =
        f.open(QIODevice::WriteOnly) && f.write(data) == data.size() && f.flush() && f.commit();
    if (!ok) {
        if (error) *error = f.errorString();
        f.cancelWriting();
    }
    return ok;
}

bool read_resolution_file(const QString &path, QStringList *names, QString *error) {
    QByteArray data;
    if (!read_value_file(path, &data, error)) return false;
    QString why;
    if (!parse_resolution_list(data, names, &why)) {
        *error = QStringLiteral("Bad resolution list %1: %2").arg(path, why);
        return false;
    }
    return true;
}
