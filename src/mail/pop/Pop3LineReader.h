#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <deque>
#include <optional>

namespace orvella::pop3 {

// One line as the server sent it, without its line end.
struct Line
{
    QByteArray text;
    // The line was longer than Pop3LineReader::MaxLineLength: text holds its
    // first MaxLineLength bytes and the rest up to the line end was dropped.
    bool cut = false;
};

// Splits the bytes of a connection into lines. Accepts CR LF and a bare LF
// (some servers and many stored messages use it). No socket code: the session
// feeds it whatever arrived.
//
// A line longer than MaxLineLength is cut, not refused: a mail body may hold a
// megabyte of base64 or HTML without a line break, and refusing it would make
// that message unreadable forever. The reader never holds more than one cut
// line's worth of an overlong line; the rest is dropped as it arrives.
class Pop3LineReader
{
public:
    static constexpr qsizetype MaxLineLength = 64 * 1024;

    void feed(QByteArrayView data);
    // The next complete line, or nullopt when none is complete yet.
    std::optional<Line> takeLine();
    // The incomplete last line when the connection ended without its line end.
    std::optional<Line> takeRest();
    qsizetype buffered() const;
    void clear();

private:
    void compact();

    std::deque<QByteArray> m_cutLines; // heads of overlong lines, older than m_buf
    QByteArray m_buf;
    qsizetype m_pos = 0;       // start of the first unread byte
    qsizetype m_scanned = 0;   // bytes after m_pos known to hold no LF
    bool m_discarding = false; // inside the dropped tail of a cut line
};

} // namespace orvella::pop3
