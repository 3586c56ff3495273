#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <optional>

// Pieces of POP3 server answers (RFC 1939, RFC 2449 CAPA and RESP-CODES,
// RFC 5034 SASL). Pure functions over bytes: no socket code, no exceptions;
// anything a server may send, garbage included, turns into a value.
namespace orvella::pop3 {

// A status line: "+OK text", "-ERR [CODE] text", or a SASL continuation "+ data".
struct Status
{
    enum Kind { Ok, Err, Continue, Garbage };
    Kind kind = Garbage;
    // The response code of RFC 2449 without brackets ("AUTH", "IN-USE",
    // "SYS/TEMP"), upper case; empty when the line carries none.
    QByteArray code;
    // Everything after the indicator and its blank, response code included:
    // "[AUTH] Authentication failed." is what the user should read.
    QByteArray text;
};

// Indicators are matched without regard to case: RFC 1939 asks for upper case,
// but "+ok" from a lax server means the same and refusing it helps nobody.
Status parseStatus(QByteArrayView line);

// A line of a multi-line answer after the status line.
enum class DataLine { Data, End };
// Classifies line and removes the byte-stuffing dot in place (RFC 1939 3.):
// "." alone ends the answer; any other line starting with "." loses that dot.
DataLine unstuff(QByteArray& line);

// The answer to CAPA: capability names upper case, with their arguments.
class Capabilities
{
public:
    static Capabilities parse(const QList<QByteArray>& lines);
    bool has(QByteArrayView name) const;
    QList<QByteArray> arguments(QByteArrayView name) const;
    // Mechanisms of the "SASL" capability, upper case.
    QList<QByteArray> saslMechanisms() const;
    bool isEmpty() const { return m_caps.isEmpty(); }

private:
    QHash<QByteArray, QList<QByteArray>> m_caps;
};

struct Stat
{
    int count = 0;
    qint64 size = 0;
};
// The text of "+OK nn mm" (STAT). Counts beyond int and sizes beyond 2^62 are
// garbage, not wrapped numbers.
std::optional<Stat> parseStat(QByteArrayView text);

struct Listing
{
    int number = 0;
    qint64 size = 0;
};
// The text of "+OK n size" (LIST n), or a line of the multi-line LIST.
std::optional<Listing> parseListing(QByteArrayView text);

struct UniqueId
{
    int number = 0;
    QByteArray uid;
};
// The text of "+OK n uid" (UIDL n), or a line of the multi-line UIDL.
// The uid is 1 to 70 characters from 0x21 to 0x7E (RFC 1939 7.).
std::optional<UniqueId> parseUniqueId(QByteArrayView text);

// The APOP timestamp of a greeting ("<1896.697170952@dbc.mtview.ca.us>",
// brackets included), or empty when the greeting offers none. It has the
// form of a msg-id: printable, no blanks, an "@" inside the brackets.
QByteArray apopTimestamp(QByteArrayView greetingText);

// A decimal number made of digits only, at most max.
std::optional<qint64> parseNumber(QByteArrayView digits, qint64 max);

} // namespace orvella::pop3
