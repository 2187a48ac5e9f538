#include "line_framer.h"

namespace veldra {

QList<QByteArray> LineFramer::feed(const QByteArray &bytes) {
    QList<QByteArray> lines;
    for (char c : bytes) {
        if (c == '\r') {
            lines.append(m_line);
            m_line.clear();
        } else if (c != '\n' && m_line.size() < m_capacity) {
            m_line.append(c);
        }
    }
    return lines;
}

QByteArray escapeBytes(const QByteArray &bytes) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c >= 0x20 && c < 0x7F) {
                out += char(c);
            } else {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            }
        }
    }
    return out;
}

QByteArray decodeEscapes(const QByteArray &text) {
    auto hexValue = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    QByteArray out;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const char e = text[i + 1];
        switch (e) {
        case 'r':
            out += '\r';
            ++i;
            break;
        case 'n':
            out += '\n';
            ++i;
            break;
        case 't':
            out += '\t';
            ++i;
            break;
        case '0':
            out += '\0';
            ++i;
            break;
        case '\\':
            out += '\\';
            ++i;
            break;
        case 'x': {
            const int hi = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
            const int lo = i + 3 < text.size() ? hexValue(text[i + 3]) : -1;
            if (hi >= 0 && lo >= 0) {
                out += char(hi * 16 + lo);
                i += 3;
            } else {
                out += c;
            }
            break;
        }
        default: out += c;
        }
    }
    return out;
}

} // namespace veldra
