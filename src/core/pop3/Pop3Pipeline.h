#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <deque>
#include <optional>
#include <vector>

namespace orvella::pop3 {

// Which requests of a retrieval go out when: the sizes of the messages first
// (LIST), then TOP n lines (or RETR n) for each message in order. No socket
// code: the session writes what takeBatch() gives and reports each answer.
//
// With pipelining, requests stay in flight as long as two budgets allow:
// the bytes of requests written and not answered yet (a server that stops
// reading must not make us buffer without end), and the bytes of answer they
// are expected to bring (what a failed retrieval has to read past, and what
// keeps a long link busy). Expected sizes come from LIST, and for TOP from
// the answers seen so far. A little more is asked for only once half of a
// budget is free again, so requests go out in batches, not one per answer.
// Without pipelining there is one request at a time and no LIST: the caller
// waits a round trip for every request anyway.
class Pop3Pipeline
{
public:
    // Request bytes written and not yet answered.
    static constexpr qint64 RequestBudget = 32 * 1024;
    // Answer bytes expected from the requests in flight.
    static constexpr qint64 AnswerBudget = 4 * 1024 * 1024;
    // What a TOP answer is taken for before one was seen, and a RETR answer
    // of a message whose size is unknown.
    static constexpr qint64 FirstTopGuess = 8 * 1024;
    static constexpr qint64 UnknownRetrGuess = 1024 * 1024;
    // Sizes kept at most, from the first message on; later ones stay unknown.
    // The message count comes from the server and may be absurd.
    static constexpr int MaxSizesKept = 1 << 20;
    // Messages whose sizes are asked for one by one at most; more take one LIST.
    static constexpr int MaxSizeRequests = 256;

    struct Request
    {
        enum Kind {
            ListAll, // "LIST": every message's size, one multi-line answer
            ListOne, // "LIST n": one message's size, one status line
            Message  // "TOP n lines" or "RETR n"
        };
        Kind kind = Message;
        int n = 0;
        qint64 requestBytes = 0;
        qint64 expectedBytes = 0;
    };

    // Messages first..last (first <= last), `lines` body lines (0: RETR),
    // of a mailbox of messageCount messages.
    Pop3Pipeline(int first, int last, int lines, int messageCount, bool pipelined);

    // The requests to write now, as one piece; they join the requests in
    // flight. Empty while enough is in flight.
    QByteArray takeBatch();
    // Nothing is in flight and nothing is left to ask for.
    bool done() const { return m_inFlight.empty() && !hasMore(); }
    // The request whose answer comes next. Only while something is in flight.
    const Request& front() const { return m_inFlight.front(); }
    // The answer to front() is complete, answerBytes long.
    void answered(qint64 answerBytes);
    const std::deque<Request>& inFlight() const { return m_inFlight; }

    // Sizes from LIST answers; unknown ones are nullopt.
    void setSize(int n, qint64 size);
    std::optional<qint64> size(int n) const;
    bool wantsSize(int n) const { return n >= m_first && qint64(n) - m_first < qint64(m_sizes.size()); }

    qint64 requestBytesInFlight() const { return m_requestBytes; }
    qint64 answerBytesInFlight() const { return m_answerBytes; }

private:
    bool hasMore() const;
    Request nextRequest() const;
    QByteArray command(const Request& r) const;
    qint64 expectedAnswer(int n) const;

    int m_first;
    int m_last;
    int m_lines;
    int m_count;
    bool m_pipelined;
    bool m_listAll = false;     // one LIST for all sizes, else LIST n each
    bool m_listAllSent = false; // (ListAll) the LIST is written
    qint64 m_nextList;          // (ListOne) next message whose size to ask for
    qint64 m_nextMessage;       // next message to ask for
    std::deque<Request> m_inFlight;
    qint64 m_requestBytes = 0;
    qint64 m_answerBytes = 0;
    std::vector<qint64> m_sizes; // -1: unknown
    qint64 m_topAnswers = 0;     // TOP answers seen and their bytes, for the guess
    qint64 m_topAnswerBytes = 0;
};

} // namespace orvella::pop3
