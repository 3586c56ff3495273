#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace orvella::pop3 {

// One line as the server sent it, without its line end.
struct Line
{
    QByteArray text;
    // The line was longer than Pop3LineReader::MaxLineLength: text holds its
    // first MaxLineLength bytes and the rest up to the line end was dropped.
    bool cut = false;
    // Bytes of the whole line as sent, without its line end, dropped part
    // included: what limits on line lengths and answer sizes have to count.
    qint64 length = 0;
};

// Splits the bytes of a connection into lines. Accepts CR LF and a bare LF
// (some servers and many stored messages use it). No socket code: the session
// feeds it whatever arrived.
//
// A line longer than MaxLineLength is cut, not refused: a mail body may hold a
// megabyte of base64 or HTML without a line break, and refusing it would make
// that message unreadable forever. The reader never holds more than one cut
// line's worth of an overlong line; the rest is dropped as it arrives, and
// only counted, so the session can tell how long a line has grown so far
// (pendingLength) and give up on one that never ends.
class Pop3LineReader
{
public:
    static constexpr qsizetype MaxLineLength = 64 * 1024;

    void feed(QByteArrayView data);
    // The next complete line, or nullopt when none is complete yet.
    std::optional<Line> takeLine();
    // The incomplete last line when the connection ended without its line end.
    std::optional<Line> takeRest();
    // Bytes received of the line not yet ended, dropped ones included. When
    // takeLine() has just said nullopt, this is the line the session waits for.
    qint64 pendingLength() const;
    qsizetype buffered() const;
    void clear();

private:
    void compact();

    QByteArray m_buf;
    qsizetype m_pos = 0;     // start of the first unread byte
    qsizetype m_scanned = 0; // bytes after m_pos known to hold no LF
    // The line at m_pos is overlong: m_buf holds its head and, once its line
    // end came, an LF after it; m_dropped bytes of it were thrown away.
    bool m_headCut = false;
    bool m_discarding = false; // still inside the dropped tail (no LF yet)
    bool m_droppedCr = false;  // the last dropped byte was a CR (part of a CR LF)
    qint64 m_dropped = 0;
};

} // namespace orvella::pop3
