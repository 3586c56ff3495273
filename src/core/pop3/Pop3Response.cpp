#include "core/pop3/Pop3Response.h"

#include "platform/Blanks.h"

#include <limits>

namespace orvella::pop3 {

using platform::isBlank;

namespace {

bool startsWithNoCase(QByteArrayView line, QByteArrayView prefix)
{
    return line.size() >= prefix.size() &&
           line.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

QByteArrayView skipBlanks(QByteArrayView v)
{
    qsizetype i = 0;
    while (i < v.size() && isBlank(v[i]))
        ++i;
    return v.sliced(i);
}

// Splits at runs of blanks.
QList<QByteArrayView> words(QByteArrayView v)
{
    QList<QByteArrayView> out;
    qsizetype i = 0;
    while (i < v.size()) {
        while (i < v.size() && isBlank(v[i]))
            ++i;
        const qsizetype start = i;
        while (i < v.size() && !isBlank(v[i]))
            ++i;
        if (i > start) out.append(v.sliced(start, i - start));
    }
    return out;
}

bool isRespCodeChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '/' || c == '_' || c == '.';
}

} // namespace

std::optional<qint64> parseNumber(QByteArrayView digits, qint64 max)
{
    // 18 digits always fit in qint64; anything longer is out of range anyway.
    if (digits.isEmpty() || digits.size() > 18) return std::nullopt;
    qint64 value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > max) return std::nullopt;
    return value;
}

Status parseStatus(QByteArrayView line)
{
    Status st;
    QByteArrayView rest;
    if (startsWithNoCase(line, "+OK") && (line.size() == 3 || isBlank(line[3]))) {
        st.kind = Status::Ok;
        rest = line.sliced(3);
    } else if (startsWithNoCase(line, "-ERR") && (line.size() == 4 || isBlank(line[4]))) {
        st.kind = Status::Err;
        rest = line.sliced(4);
    } else if (line.startsWith('+') && (line.size() == 1 || line[1] == ' ')) {
        // RFC 5034: "+ " and base64 data; a bare "+" happens too.
        st.kind = Status::Continue;
        st.text = skipBlanks(line.sliced(1)).toByteArray();
        return st;
    } else {
        st.text = line.toByteArray();
        return st;
    }
    rest = skipBlanks(rest);
    st.text = rest.toByteArray();
    if (rest.startsWith('[')) {
        const qsizetype close = rest.indexOf(']');
        if (close > 1) {
            const QByteArrayView code = rest.sliced(1, close - 1);
            bool valid = true;
            for (char c : code)
                valid = valid && isRespCodeChar(c);
            if (valid) st.code = code.toByteArray().toUpper();
        }
    }
    return st;
}

DataLine unstuff(QByteArray& line)
{
    if (line.startsWith('.')) {
        if (line.size() == 1) return DataLine::End;
        line.remove(0, 1);
    }
    return DataLine::Data;
}

Capabilities Capabilities::parse(const QList<QByteArray>& lines)
{
    Capabilities caps;
    for (const QByteArray& line : lines) {
        const QList<QByteArrayView> w = words(line);
        if (w.isEmpty()) continue;
        QList<QByteArray> args;
        for (qsizetype i = 1; i < w.size(); ++i)
            args.append(w[i].toByteArray());
        caps.m_caps.insert(w[0].toByteArray().toUpper(), args);
    }
    return caps;
}

bool Capabilities::has(QByteArrayView name) const
{
    return m_caps.contains(name.toByteArray().toUpper());
}

QList<QByteArray> Capabilities::arguments(QByteArrayView name) const
{
    return m_caps.value(name.toByteArray().toUpper());
}

QList<QByteArray> Capabilities::saslMechanisms() const
{
    QList<QByteArray> out;
    for (const QByteArray& m : arguments("SASL"))
        out.append(m.toUpper());
    return out;
}

std::optional<Stat> parseStat(QByteArrayView text)
{
    const QList<QByteArrayView> w = words(text);
    if (w.size() < 2) return std::nullopt;
    const auto count = parseNumber(w[0], std::numeric_limits<int>::max());
    const auto size = parseNumber(w[1], qint64(1) << 62);
    if (!count || !size) return std::nullopt;
    return Stat{int(*count), *size};
}

std::optional<Listing> parseListing(QByteArrayView text)
{
    const QList<QByteArrayView> w = words(text);
    if (w.size() < 2) return std::nullopt;
    const auto number = parseNumber(w[0], std::numeric_limits<int>::max());
    const auto size = parseNumber(w[1], qint64(1) << 62);
    if (!number || *number == 0 || !size) return std::nullopt;
    return Listing{int(*number), *size};
}

std::optional<UniqueId> parseUniqueId(QByteArrayView text)
{
    const QList<QByteArrayView> w = words(text);
    if (w.size() != 2) return std::nullopt;
    const auto number = parseNumber(w[0], std::numeric_limits<int>::max());
    if (!number || *number == 0 || w[1].size() > 70) return std::nullopt;
    for (char c : w[1]) {
        if (c < 0x21 || c > 0x7E) return std::nullopt;
    }
    return UniqueId{int(*number), w[1].toByteArray()};
}

QByteArray apopTimestamp(QByteArrayView greetingText)
{
    const qsizetype open = greetingText.indexOf('<');
    if (open < 0) return {};
    const qsizetype close = greetingText.indexOf('>', open + 1);
    if (close < 0) return {};
    const QByteArrayView inner = greetingText.sliced(open + 1, close - open - 1);
    if (inner.isEmpty() || !inner.contains('@')) return {};
    for (char c : inner) {
        if (c <= 0x20 || c >= 0x7F || c == '<') return {};
    }
    return greetingText.sliced(open, close - open + 1).toByteArray();
}

} // namespace orvella::pop3
