#pragma once

#include "core/imap/ImapResponse.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <deque>

namespace orvella::imap {

// Turns the bytes an IMAP server sends into complete responses, without a
// socket: feed() what arrives, in pieces of any size, and take() what is
// complete. A literal ({n} and a line end, then n bytes) is read by its count,
// never as a line, so a message's bytes come through exactly, NUL, bare CR
// and all.
//
// Limits keep a hostile or broken server from filling memory:
//  - a line outside literals longer than LineLimit, or a response whose lines
//    together pass TextLimit, is an error;
//  - literal bytes past the keep limit (the message cap) are read and dropped,
//    the value flagged truncated;
//  - a response that passes the stream limit, counting dropped bytes, is an
//    error: a server that sends without end is cut off.
// After an error the parser takes nothing more; error() says what went wrong,
// in words for the user.
class ImapParser
{
public:
    static constexpr qsizetype LineLimit = 64 * 1024;
    static constexpr qsizetype TextLimit = 1024 * 1024;
    static constexpr qint64 DefaultKeepLimit = 16 * 1024 * 1024;
    static constexpr qint64 DefaultStreamLimit = qint64(1) << 30;
    // Lists nested deeper than this are an error, not a deep recursion.
    static constexpr int DepthLimit = 64;

    // Literal bytes one response keeps at most (all its literals together).
    void setKeepLimit(qint64 bytes) { m_keepLimit = bytes; }
    // Bytes one response may bring at most, dropped ones included.
    void setStreamLimit(qint64 bytes) { m_streamLimit = bytes; }

    void feed(QByteArrayView data);
    // The responses completed so far, oldest first.
    bool hasResponse() const { return !m_done.empty(); }
    ImapResponse take();

    bool failed() const { return !m_error.isEmpty(); }
    QString error() const { return m_error; }
    // Bytes of the response not complete yet (0 between responses).
    qint64 pendingBytes() const { return m_responseBytes; }
    // Drops everything, the failure included: for a new connection.
    void clear();

    // Parses one response from its lines (without their line ends) and the
    // literals that follow all but the last line. For tests and the feeder.
    struct Pieces
    {
        QList<QByteArray> lines;
        QList<QByteArray> literals;
        QList<bool> truncated;
        QList<qint64> literalSizes;
    };
    static bool parse(const Pieces& pieces, ImapResponse& response, QString& error);

private:
    void process();
    bool takeLine(QByteArrayView data, qsizetype& pos);
    void takeLiteral(QByteArrayView data, qsizetype& pos);
    void fail(const QString& why);
    void reset();

    QByteArray m_line; // the line growing
    Pieces m_pieces;
    qint64 m_literalLeft = -1; // bytes of the literal still to come; -1: reading a line
    qint64 m_kept = 0;         // literal bytes this response keeps
    qint64 m_responseBytes = 0;
    qsizetype m_textBytes = 0;
    qint64 m_keepLimit = DefaultKeepLimit;
    qint64 m_streamLimit = DefaultStreamLimit;
    std::deque<ImapResponse> m_done;
    QString m_error;
};

} // namespace orvella::imap
