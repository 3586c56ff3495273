#include "core/imap/ImapParser.h"

#include "core/net/ServerText.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace orvella::imap {

namespace {

bool sameNoCase(QByteArrayView a, QByteArrayView b)
{
    return a.size() == b.size() && qstrnicmp(a.data(), a.size(), b.data(), b.size()) == 0;
}

ImapResponse::Status statusWord(QByteArrayView word)
{
    if (sameNoCase(word, "OK")) return ImapResponse::Ok;
    if (sameNoCase(word, "NO")) return ImapResponse::No;
    if (sameNoCase(word, "BAD")) return ImapResponse::Bad;
    if (sameNoCase(word, "BYE")) return ImapResponse::Bye;
    if (sameNoCase(word, "PREAUTH")) return ImapResponse::PreAuth;
    return ImapResponse::NoStatus;
}

// A response whose first line cannot carry a literal: a continuation request
// or a status response, whose text may end in "{5}" without meaning one.
bool isTextResponse(QByteArrayView line)
{
    if (line.startsWith('+')) return true;
    const qsizetype sp = line.indexOf(' ');
    if (sp <= 0) return false;
    QByteArrayView rest = line.sliced(sp + 1);
    const qsizetype end = rest.indexOf(' ');
    return statusWord(end < 0 ? rest : rest.first(end)) != ImapResponse::NoStatus;
}

enum class Marker { None, Literal, NonSynchronizing, Bad };

// "{342}", "~{342}" (a binary literal) or "{342+}" at the line's end.
Marker literalMarker(QByteArrayView line, qint64& size)
{
    if (!line.endsWith('}')) return Marker::None;
    const qsizetype open = line.lastIndexOf('{');
    if (open < 0) return Marker::None;
    QByteArrayView digits = line.sliced(open + 1, line.size() - open - 2);
    bool plus = false;
    if (digits.endsWith('+')) {
        plus = true;
        digits.chop(1);
    }
    if (digits.isEmpty() || digits.size() > 18) return Marker::Bad;
    qint64 n = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return Marker::Bad;
        n = n * 10 + (c - '0');
    }
    size = n;
    return plus ? Marker::NonSynchronizing : Marker::Literal;
}

// Reads one response's items across its lines and literals.
class Reader
{
public:
    explicit Reader(const ImapParser::Pieces& pieces) : m_pieces(pieces) {}

    bool parse(ImapResponse& r)
    {
        const QByteArray first = word();
        if (first.isEmpty()) return fail(u"it does not begin with a tag, \"*\" or \"+\""_s);
        if (first == "+") {
            r.kind = ImapResponse::Continuation;
            if (peek() == ' ') ++m_pos;
            r.text = line().sliced(m_pos).toByteArray();
            return true;
        }
        if (!space()) return fail(u"nothing follows the tag"_s);
        if (first == "*") {
            r.kind = ImapResponse::Untagged;
            QByteArray w = word();
            if (!w.isEmpty() &&
                std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                if (w.size() > 19) return fail(u"a message number is too big"_s);
                r.number = w.toULongLong();
                if (!space()) return fail(u"nothing follows the message number"_s);
                w = word();
                if (w.isEmpty()) return fail(u"nothing follows the message number"_s);
                r.name = w.toUpper();
                return values(r.values);
            }
            if (w.isEmpty()) return fail(u"no response name"_s);
            r.status = statusWord(w);
            if (r.status != ImapResponse::NoStatus) return text(r);
            r.name = w.toUpper();
            return values(r.values);
        }
        for (char c : first) {
            if (c == '+' || c == '(' || c == ')' || c == '{' || c == '"' || c == '\\' || c == '*' ||
                c == '%' || uchar(c) < 0x21 || uchar(c) >= 0x7F)
                return fail(u"the tag holds characters no tag may hold"_s);
        }
        r.kind = ImapResponse::Tagged;
        r.tag = first;
        const QByteArray w = word();
        r.status = statusWord(w);
        if (r.status != ImapResponse::Ok && r.status != ImapResponse::No && r.status != ImapResponse::Bad)
            return fail(u"a command's end is not OK, NO or BAD"_s);
        return text(r);
    }

    QString error() const { return m_error; }

private:
    QByteArrayView line() const { return m_pieces.lines[m_line]; }
    bool lastLine() const { return m_line + 1 >= m_pieces.lines.size(); }
    char peek() const { return m_pos < line().size() ? line()[m_pos] : '\0'; }
    bool atLineEnd() const { return m_pos >= line().size(); }

    bool fail(const QString& why)
    {
        if (m_error.isEmpty()) m_error = why;
        return false;
    }

    bool space()
    {
        if (peek() != ' ') return false;
        ++m_pos;
        return true;
    }

    // The bytes up to the next blank or the line's end.
    QByteArray word()
    {
        const QByteArrayView l = line();
        const qsizetype start = m_pos;
        while (m_pos < l.size() && l[m_pos] != ' ')
            ++m_pos;
        return l.sliced(start, m_pos - start).toByteArray();
    }

    // resp-text: an optional [CODE argument] and the human text.
    bool text(ImapResponse& r)
    {
        if (!m_pieces.literals.isEmpty()) return fail(u"a status response carries a literal"_s);
        if (atLineEnd()) return true;
        if (!space()) return fail(u"no blank after the status"_s);
        const QByteArrayView l = line();
        if (peek() == '[') {
            const qsizetype close = l.indexOf(']', m_pos);
            if (close < 0) return fail(u"a response code's bracket is not closed"_s);
            QByteArrayView inside = l.sliced(m_pos + 1, close - m_pos - 1);
            const qsizetype sp = inside.indexOf(' ');
            r.code = (sp < 0 ? inside : inside.first(sp)).toByteArray().toUpper();
            if (r.code.isEmpty()) return fail(u"an empty response code"_s);
            if (sp >= 0) r.codeArgument = inside.sliced(sp + 1).toByteArray();
            m_pos = close + 1;
            if (peek() == ' ') ++m_pos;
        }
        r.text = l.sliced(m_pos).toByteArray();
        return true;
    }

    // Items separated by blanks up to the response's end, or the list's ")".
    bool values(QList<ImapValue>& out, int depth = 0)
    {
        const bool inList = depth > 0;
        bool first = true;
        for (;;) {
            if (atLineEnd()) {
                if (inList) return fail(u"a list is not closed"_s);
                return true;
            }
            if (peek() == ')') {
                if (!inList) return fail(u"a \")\" closes no list"_s);
                ++m_pos;
                return true;
            }
            // Items follow a blank, but for a list's first.
            if (!first || !inList) {
                if (!space()) return fail(u"no blank between two items"_s);
                // Some servers end "* SEARCH " with a blank.
                if (!inList && atLineEnd() && lastLine()) return true;
                if (atLineEnd() || peek() == ')') return fail(u"a blank before nothing"_s);
            }
            first = false;
            ImapValue v;
            if (!value(v, depth)) return false;
            out.append(std::move(v));
        }
    }

    bool value(ImapValue& v, int depth)
    {
        const char c = peek();
        if (c == '(') {
            if (depth + 1 > ImapParser::DepthLimit) return fail(u"lists nested too deeply"_s);
            ++m_pos;
            v.kind = ImapValue::List;
            return values(v.items, depth + 1);
        }
        if (c == '"') return quoted(v);
        if (c == '{' || (c == '~' && m_pos + 1 < line().size() && line()[m_pos + 1] == '{'))
            return literal(v);
        return atom(v);
    }

    bool quoted(ImapValue& v)
    {
        const QByteArrayView l = line();
        v.kind = ImapValue::String;
        for (qsizetype i = m_pos + 1; i < l.size(); ++i) {
            const char c = l[i];
            if (c == '"') {
                m_pos = i + 1;
                return true;
            }
            if (c == '\\') {
                if (i + 1 >= l.size() || (l[i + 1] != '"' && l[i + 1] != '\\'))
                    return fail(u"a quoted string escapes something other than \" or \\"_s);
                v.text.append(l[++i]);
                continue;
            }
            if (c == '\0' || c == '\r' || c == '\n')
                return fail(u"a quoted string holds a NUL or line break"_s);
            v.text.append(c);
        }
        return fail(u"a quoted string does not end"_s);
    }

    bool literal(ImapValue& v)
    {
        const qsizetype open = line().indexOf('{', m_pos);
        if (line().lastIndexOf('{') != open || !line().endsWith('}') || lastLine())
            return fail(u"a literal's size is not at the end of its line"_s);
        const qsizetype index = m_line;
        v.kind = ImapValue::String;
        v.text = m_pieces.literals.value(index);
        v.truncated = m_pieces.truncated.value(index);
        v.literalSize = m_pieces.literalSizes.value(index);
        ++m_line;
        m_pos = 0;
        return true;
    }

    bool atom(ImapValue& v)
    {
        const QByteArrayView l = line();
        const qsizetype start = m_pos;
        while (m_pos < l.size()) {
            const char c = l[m_pos];
            if (c == '[') {
                // A section ("BODY[HEADER.FIELDS (SUBJECT DATE)]") is one with its atom.
                const qsizetype close = l.indexOf(']', m_pos);
                if (close < 0) return fail(u"a section's bracket is not closed"_s);
                m_pos = close + 1;
                continue;
            }
            if (c == ' ' || c == '(' || c == ')' || c == '"' || c == '{') break;
            if (uchar(c) < 0x20 || c == 0x7F) return fail(u"a control character outside a string"_s);
            ++m_pos;
        }
        if (m_pos == start) return fail(u"an item begins with \"%1\""_s.arg(QChar::fromLatin1(l[m_pos])));
        v.text = l.sliced(start, m_pos - start).toByteArray();
        if (std::all_of(v.text.begin(), v.text.end(), [](char d) { return d >= '0' && d <= '9'; }) &&
            v.text.size() <= 19) {
            v.kind = ImapValue::Number;
            v.number = v.text.toULongLong();
        } else if (sameNoCase(v.text, "NIL")) {
            v.kind = ImapValue::Nil;
            v.text.clear();
        } else {
            v.kind = ImapValue::Atom;
        }
        return true;
    }

    const ImapParser::Pieces& m_pieces;
    qsizetype m_line = 0;
    qsizetype m_pos = 0;
    QString m_error;
};

} // namespace

bool ImapParser::parse(const Pieces& pieces, ImapResponse& response, QString& error)
{
    if (pieces.lines.isEmpty()) {
        error = u"an empty response"_s;
        return false;
    }
    Reader reader(pieces);
    if (reader.parse(response)) return true;
    error = reader.error();
    return false;
}

void ImapParser::feed(QByteArrayView data)
{
    qsizetype pos = 0;
    while (pos < data.size() && !failed()) {
        if (m_literalLeft >= 0)
            takeLiteral(data, pos);
        else if (!takeLine(data, pos))
            break;
    }
}

ImapResponse ImapParser::take()
{
    ImapResponse r = std::move(m_done.front());
    m_done.pop_front();
    return r;
}

void ImapParser::clear()
{
    reset();
    m_done.clear();
    m_error.clear();
}

void ImapParser::reset()
{
    m_line.clear();
    m_pieces = {};
    m_literalLeft = -1;
    m_kept = 0;
    m_responseBytes = 0;
    m_textBytes = 0;
}

void ImapParser::fail(const QString& why)
{
    if (m_error.isEmpty()) m_error = why;
    reset();
}

bool ImapParser::takeLine(QByteArrayView data, qsizetype& pos)
{
    const qsizetype nl = data.indexOf('\n', pos);
    const qsizetype end = nl < 0 ? data.size() : nl;
    m_line.append(data.sliced(pos, end - pos));
    m_responseBytes += end - pos + (nl < 0 ? 0 : 1);
    pos = nl < 0 ? data.size() : nl + 1;
    // The line end is no part of the line; a bare LF ends one too.
    const bool complete = nl >= 0;
    if (complete && m_line.endsWith('\r')) m_line.chop(1);
    if (m_line.size() > LineLimit) {
        fail(u"The server sent a line of more than %1 KB outside a literal; the connection was closed"_s.arg(
            LineLimit / 1024));
        return false;
    }
    if (!complete) return false;
    m_textBytes += m_line.size();
    if (m_textBytes > TextLimit) {
        fail(u"The server sent a response of more than %1 KB outside literals; the connection was closed"_s
                 .arg(TextLimit / 1024));
        return false;
    }
    qint64 size = 0;
    const Marker marker =
        m_pieces.lines.isEmpty() && isTextResponse(m_line) ? Marker::None : literalMarker(m_line, size);
    switch (marker) {
    case Marker::NonSynchronizing:
        fail(u"The server sent a literal of the client's kind ({n+}), which no server may send: \"%1\""_s.arg(
            net::serverText(m_line.right(200))));
        return false;
    case Marker::Bad:
        fail(u"The server announced a literal whose size is no number: \"%1\""_s.arg(
            net::serverText(m_line.right(200))));
        return false;
    case Marker::Literal:
        if (size > m_streamLimit - m_responseBytes) {
            fail(u"The server announced a literal of %1 bytes, more than any message may have; "
                 u"the connection was closed"_s.arg(size));
            return false;
        }
        m_pieces.lines.append(std::exchange(m_line, {}));
        m_pieces.literals.append(QByteArray());
        m_pieces.literals.last().reserve(qsizetype(std::min(size, m_keepLimit - m_kept)));
        m_pieces.truncated.append(false);
        m_pieces.literalSizes.append(size);
        m_literalLeft = size;
        return true;
    case Marker::None:
        break;
    }
    m_pieces.lines.append(std::exchange(m_line, {}));
    ImapResponse response;
    QString why;
    if (!parse(m_pieces, response, why)) {
        fail(u"The server sent a response that is not IMAP (%1): \"%2\""_s.arg(
            why, net::serverText(m_pieces.lines.first().left(200))));
        return false;
    }
    m_done.push_back(std::move(response));
    reset();
    return true;
}

void ImapParser::takeLiteral(QByteArrayView data, qsizetype& pos)
{
    const qint64 n = std::min<qint64>(m_literalLeft, data.size() - pos);
    const qint64 keep = std::clamp<qint64>(m_keepLimit - m_kept, 0, n);
    m_pieces.literals.last().append(data.sliced(pos, qsizetype(keep)));
    if (keep < n) m_pieces.truncated.last() = true;
    m_kept += keep;
    m_responseBytes += n;
    m_literalLeft -= n;
    pos += qsizetype(n);
    if (m_responseBytes > m_streamLimit) {
        fail(u"The server sent more than %1 MB for one response; the connection was closed"_s.arg(
            m_streamLimit / (1024 * 1024)));
        return;
    }
    if (m_literalLeft == 0) m_literalLeft = -1;
}

} // namespace orvella::imap
