// Cuts a byte stream into command lines, and the small text helpers the
// simulator uses to show and to play raw bytes.
#pragma once

#include <QByteArray>
#include <QList>

namespace veldra {

class LineFramer {
public:
    // Bytes beyond `capacity` in one line are discarded; the line still ends
    // at its CR and is then too long to be a command.
    explicit LineFramer(int capacity = 64) : m_capacity(capacity) {}

    // Feeds received bytes; returns every line completed by a CR, in order.
    // LF bytes are ignored wherever they appear (CR LF and lone LF alike).
    QList<QByteArray> feed(const QByteArray &bytes);

    int pending() const { return int(m_line.size()); }
    void reset() { m_line.clear(); }

private:
    int m_capacity;
    QByteArray m_line;
};

// Printable form of arbitrary bytes: \r \n \t \\ and \xHH for the rest.
QByteArray escapeBytes(const QByteArray &bytes);

// Inverse for the inject channel: decodes \r \n \t \0 \\ and \xHH.
// Unknown escapes are kept literally.
QByteArray decodeEscapes(const QByteArray &text);

} // namespace veldra
