#include "core/pop3/Pop3LineReader.h"

namespace orvella::pop3 {

void Pop3LineReader::feed(QByteArrayView data)
{
    if (data.isEmpty()) return;
    if (m_discarding) {
        // Still inside the tail of a cut line: count everything up to its LF.
        const qsizetype nl = data.indexOf('\n');
        if (nl < 0) {
            m_dropped += data.size();
            m_droppedCr = data.back() == '\r';
            return;
        }
        // A CR right before the LF belongs to the line end, not the line.
        const bool cr = nl > 0 ? data[nl - 1] == '\r' : m_droppedCr;
        m_dropped += nl - (cr && nl > 0 ? 1 : 0);
        if (cr && nl == 0) --m_dropped;
        m_discarding = false;
        m_droppedCr = false;
        // The kept head is the only thing buffered: end it here.
        m_buf.append('\n');
        data = data.sliced(nl + 1);
        if (data.isEmpty()) return;
    }
    compact();
    m_buf.append(data);
    // Without a line end in sight, keep the head of the line and drop the
    // rest as it comes, whoever calls takeLine() when. Only the line at m_pos
    // can be cut here: the session feeds more only once every complete line
    // is taken.
    const qsizetype avail = m_buf.size() - m_pos;
    if (avail > MaxLineLength && m_buf.indexOf('\n', m_pos + m_scanned) < 0) {
        m_droppedCr = m_buf.back() == '\r';
        m_dropped = avail - MaxLineLength;
        m_buf.truncate(m_pos + MaxLineLength);
        m_scanned = MaxLineLength;
        m_headCut = true;
        m_discarding = true;
    }
}

qint64 Pop3LineReader::pendingLength() const
{
    if (m_discarding) return MaxLineLength + m_dropped;
    return m_buf.size() - m_pos;
}

qsizetype Pop3LineReader::buffered() const
{
    return m_buf.size() - m_pos;
}

std::optional<Line> Pop3LineReader::takeLine()
{
    const qsizetype nl = m_buf.indexOf('\n', m_pos + m_scanned);
    if (nl < 0) {
        m_scanned = m_buf.size() - m_pos;
        return std::nullopt;
    }
    qsizetype end = nl;
    if (end > m_pos && m_buf.at(end - 1) == '\r' && !m_headCut) --end;
    Line line;
    const qsizetype length = end - m_pos;
    if (m_headCut) {
        line.text = m_buf.mid(m_pos, length);
        line.length = length + m_dropped;
        // A CR dropped just before its LF may leave a line of exactly the limit.
        line.cut = line.length > line.text.size();
        m_headCut = false;
        m_dropped = 0;
    } else if (length > MaxLineLength) {
        // A long line that arrived whole in one piece.
        line.text = m_buf.mid(m_pos, MaxLineLength);
        line.cut = true;
        line.length = length;
    } else {
        line.text = m_buf.mid(m_pos, length);
        line.length = length;
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
    Line line{m_buf.mid(m_pos), m_headCut, 0};
    line.length = line.text.size() + (m_headCut ? m_dropped : 0);
    if (!m_headCut && line.text.endsWith('\r')) {
        line.text.chop(1);
        --line.length;
    }
    clear();
    return line;
}

void Pop3LineReader::clear()
{
    m_buf.clear();
    m_pos = 0;
    m_scanned = 0;
    m_headCut = false;
    m_discarding = false;
    m_droppedCr = false;
    m_dropped = 0;
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
