#include "mail/pop/Pop3LineReader.h"

namespace orvella::pop3 {

void Pop3LineReader::feed(QByteArrayView data)
{
    if (data.isEmpty()) return;
    if (m_discarding) {
        // Still inside the tail of a cut line: drop everything up to its LF.
        const qsizetype nl = data.indexOf('\n');
        if (nl < 0) return;
        m_discarding = false;
        data = data.sliced(nl + 1);
    }
    compact();
    m_buf.append(data);
    // Without a line end in sight, keep the head of the line and drop the
    // rest as it comes, whoever calls takeLine() when.
    const qsizetype avail = m_buf.size() - m_pos;
    if (avail > MaxLineLength && m_buf.indexOf('\n', m_pos + m_scanned) < 0) {
        m_cutLines.push_back(m_buf.mid(m_pos, MaxLineLength));
        m_buf.clear();
        m_pos = 0;
        m_scanned = 0;
        m_discarding = true;
    }
}

qsizetype Pop3LineReader::buffered() const
{
    qsizetype n = m_buf.size() - m_pos;
    for (const QByteArray& c : m_cutLines)
        n += c.size();
    return n;
}

std::optional<Line> Pop3LineReader::takeLine()
{
    if (!m_cutLines.empty()) {
        Line line{std::move(m_cutLines.front()), true};
        m_cutLines.pop_front();
        return line;
    }
    const qsizetype nl = m_buf.indexOf('\n', m_pos + m_scanned);
    if (nl < 0) {
        m_scanned = m_buf.size() - m_pos;
        return std::nullopt;
    }
    qsizetype end = nl;
    if (end > m_pos && m_buf.at(end - 1) == '\r') --end;
    Line line;
    const qsizetype length = end - m_pos;
    if (length > MaxLineLength) {
        // A long line that arrived whole in one piece.
        line.text = m_buf.mid(m_pos, MaxLineLength);
        line.cut = true;
    } else {
        line.text = m_buf.mid(m_pos, length);
    }
    m_pos = nl + 1;
    m_scanned = 0;
    if (m_pos == m_buf.size()) {
        m_buf.clear();
        m_pos = 0;
    }
    return line;
}

std::optional<Line> Pop3LineReader::takeRest()
{
    if (auto line = takeLine()) return line;
    if (m_pos >= m_buf.size()) return std::nullopt;
    Line line{m_buf.mid(m_pos), false};
    if (line.text.endsWith('\r')) line.text.chop(1);
    clear();
    return line;
}

void Pop3LineReader::clear()
{
    m_cutLines.clear();
    m_buf.clear();
    m_pos = 0;
    m_scanned = 0;
    m_discarding = false;
}

void Pop3LineReader::compact()
{
    // Moving the unread bytes to the front costs a copy; do it only once the
    // consumed part dominates, so a burst of short lines stays linear.
    if (m_pos > 0 && m_pos >= m_buf.size() / 2) {
        m_buf.remove(0, m_pos);
        m_pos = 0;
    }
}

} // namespace orvella::pop3
