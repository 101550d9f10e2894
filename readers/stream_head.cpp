// readers/: the stream head reader.
#include "readers/stream_head.h"

namespace readers {

QByteArray StreamHead::field(QByteArrayView name) const {
    for (const QByteArray& line : lines) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

StreamHead ParseStreamHead(const QByteArray& bytes) {
    StreamHead head;
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QByteArray status = lines.value(0);
    // "HTTP/1.0 200 OK", "HTTP/1.1 302 Found"; SHOUTcast's own "ICY 200 OK".
    const bool http = status.size() >= 12 && status.startsWith("HTTP/1.") && status.at(8) == ' ';
    const bool icy = status.startsWith("ICY ");
    const qsizetype code = http ? 9 : icy ? 4 : -1;
    if (code < 0 || status.size() < code + 3 || (status.size() > code + 3 && status.at(code + 3) != ' '))
        return head;
    bool number = false;
    head.status = status.mid(code, 3).toInt(&number);
    if (!number || head.status < 100) return {};
    lines.removeFirst();
    head.lines = lines;
    return head;
}

bool StreamHeadReader::feed(QByteArrayView bytes) {
    if (m_complete || m_bytes.size() >= m_max) return false;
    m_bytes.append(bytes.first(std::min(bytes.size(), m_max - m_bytes.size())));
    // The blank line, with or without its carriage return: "\n\r\n" or "\n\n". A read may end inside it, so
    // the search goes on from two bytes before the last read's end.
    const qsizetype crlf = m_bytes.indexOf("\n\r\n", m_searched);
    const qsizetype lf = m_bytes.indexOf("\n\n", m_searched);
    if (crlf >= 0 || lf >= 0) {
        const qsizetype end = crlf < 0 ? lf : lf < 0 ? crlf : std::min(crlf, lf);
        m_bytes.truncate(end + 1);
        m_complete = true;
        return false;
    }
    m_searched = std::max<qsizetype>(0, m_bytes.size() - 2);
    return m_bytes.size() < m_max;
}

} // namespace readers
