// readers/: a stream's response head as its server sends it, read from bytes alone: the status line
// ("HTTP/1.x 200", or SHOUTcast's own "ICY 200 OK", which HTTP parsers refuse) and the header lines up to the
// blank line that ends them, however the bytes were cut into reads.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace readers {

struct StreamHead {
    int status = 0;          // 200, 302...; 0 when the status line is neither HTTP/1.x nor ICY
    QList<QByteArray> lines; // the header lines after the status line, without their line ends
    // The first header of that name (any case), trimmed; empty when there is none.
    QByteArray field(QByteArrayView name) const;
    bool redirect() const {
        return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
    }
};

// The head in bytes, without the blank line after it.
StreamHead ParseStreamHead(const QByteArray& bytes);

// Gathers a head from reads of any size, up to a bound: the blank line that ends it (CR LF or a bare LF, as old
// servers write it) is found also when a read ends inside it. Each byte is looked at a bounded number of times.
class StreamHeadReader {
public:
    explicit StreamHeadReader(qsizetype maxBytes) : m_max(maxBytes) {}
    // Adds what was read; what comes after the head is not kept. False once no more is wanted: the head is
    // whole, or maxBytes went by without its end.
    bool feed(QByteArrayView bytes);
    bool complete() const { return m_complete; }
    bool overflowed() const { return !m_complete && m_bytes.size() >= m_max; }
    // Room left before the bound: what a reader may ask for next.
    qsizetype room() const { return m_complete ? 0 : m_max - m_bytes.size(); }
    StreamHead head() const { return m_complete ? ParseStreamHead(m_bytes) : StreamHead{}; }

private:
    QByteArray m_bytes;
    qsizetype m_max;
    qsizetype m_searched = 0; // where the search for the blank line goes on
    bool m_complete = false;
};

} // namespace readers
