#include "core/pop3/Pop3Pipeline.h"

#include <QStringBuilder>
#include <algorithm>

namespace orvella::pop3 {

namespace {

// The status line and the terminating "." of an answer, roughly.
constexpr qint64 AnswerOverhead = 32;

} // namespace

Pop3Pipeline::Pop3Pipeline(int first, int last, int lines, int messageCount, bool pipelined)
    : m_first(first), m_last(last), m_lines(lines), m_count(messageCount), m_pipelined(pipelined),
      m_nextList(first), m_nextMessage(first),
      m_sizes(size_t(std::clamp<qint64>(qint64(last) - first + 1, 0, MaxSizesKept)), -1)
{
    // One LIST answer lists the whole mailbox; for a few messages of a big
    // one, asking for each size costs less than hearing all of them.
    const qint64 range = qint64(last) - first + 1;
    m_listAll = range * 4 >= messageCount || range > MaxSizeRequests;
    if (!m_pipelined) {
        // No sizes in advance: they would cost a round trip each, and with
        // one request at a time there is no window to size.
        m_listAllSent = true;
        m_nextList = qint64(last) + 1;
    } else if (m_listAll) {
        m_nextList = qint64(last) + 1;
    } else {
        m_listAllSent = true;
    }
}

bool Pop3Pipeline::hasMore() const
{
    return !m_listAllSent || m_nextList <= m_last || m_nextMessage <= m_last;
}

Pop3Pipeline::Request Pop3Pipeline::nextRequest() const
{
    Request r;
    if (!m_listAllSent) {
        r.kind = Request::ListAll;
        // A line of "n size" per message.
        r.expectedBytes = AnswerOverhead + qint64(m_count) * 16;
    } else if (m_nextList <= m_last) {
        r.kind = Request::ListOne;
        r.n = int(m_nextList);
        r.expectedBytes = AnswerOverhead;
    } else {
        r.kind = Request::Message;
        r.n = int(m_nextMessage);
        r.expectedBytes = expectedAnswer(r.n);
    }
    return r;
}

QByteArray Pop3Pipeline::command(const Request& r) const
{
    switch (r.kind) {
    case Request::ListAll:
        return QByteArrayLiteral("LIST\r\n");
    case Request::ListOne:
        return QByteArray("LIST " + QByteArray::number(r.n) + "\r\n");
    case Request::Message:
        break;
    }
    if (m_lines == 0) return QByteArray("RETR " + QByteArray::number(r.n) + "\r\n");
    return QByteArray("TOP " + QByteArray::number(r.n) + ' ' + QByteArray::number(m_lines) + "\r\n");
}

qint64 Pop3Pipeline::expectedAnswer(int n) const
{
    const std::optional<qint64> listed = size(n);
    // Dot-stuffing may add a little to what LIST counts.
    const qint64 whole = listed ? *listed + *listed / 32 : -1;
    qint64 guess;
    if (m_lines == 0) {
        guess = whole >= 0 ? whole : UnknownRetrGuess;
    } else {
        // Twice the mean of the answers so far: most TOP answers are the
        // header and a few lines, far below what LIST says of the message.
        guess = m_topAnswers > 0 ? std::max<qint64>(512, 2 * m_topAnswerBytes / m_topAnswers) : FirstTopGuess;
        if (whole >= 0) guess = std::min(guess, whole);
    }
    return AnswerOverhead + guess;
}

QByteArray Pop3Pipeline::takeBatch()
{
    // Top up only once half of both budgets is free again, or when the
    // window ran empty (one request may always go, however big its answer).
    if (!m_inFlight.empty() &&
        (!m_pipelined || m_requestBytes > RequestBudget / 2 || m_answerBytes > AnswerBudget / 2))
        return {};
    QByteArray batch;
    while (hasMore()) {
        Request r = nextRequest();
        const QByteArray text = command(r);
        r.requestBytes = text.size();
        if (!m_inFlight.empty() && (m_requestBytes + r.requestBytes > RequestBudget ||
                                    m_answerBytes + r.expectedBytes > AnswerBudget))
            break;
        batch += text;
        m_inFlight.push_back(r);
        m_requestBytes += r.requestBytes;
        m_answerBytes += r.expectedBytes;
        switch (r.kind) {
        case Request::ListAll:
            m_listAllSent = true;
            break;
        case Request::ListOne:
            ++m_nextList;
            break;
        case Request::Message:
            ++m_nextMessage;
            break;
        }
        if (!m_pipelined) break;
    }
    return batch;
}

void Pop3Pipeline::answered(qint64 answerBytes)
{
    if (m_inFlight.empty()) return;
    const Request r = m_inFlight.front();
    m_inFlight.pop_front();
    m_requestBytes -= r.requestBytes;
    m_answerBytes -= r.expectedBytes;
    if (r.kind == Request::Message && m_lines > 0) {
        ++m_topAnswers;
        m_topAnswerBytes += answerBytes;
    }
}

void Pop3Pipeline::setSize(int n, qint64 size)
{
    if (wantsSize(n) && size >= 0) m_sizes[size_t(n - m_first)] = size;
}

std::optional<qint64> Pop3Pipeline::size(int n) const
{
    if (!wantsSize(n)) return std::nullopt;
    const qint64 s = m_sizes[size_t(n - m_first)];
    if (s < 0) return std::nullopt;
    return s;
}

} // namespace orvella::pop3
