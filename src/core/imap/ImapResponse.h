#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>

namespace orvella::imap {

// One data item of a server response: an atom (FLAGS, \Seen, BODY[TEXT]<0>,
// 4392:4395), a number, a string (quoted or literal: the same to the reader),
// NIL, or a parenthesized list of items.
struct ImapValue
{
    enum Kind { Atom, Number, String, Nil, List };
    Kind kind = Nil;
    // The atom's or the string's bytes; a number's digits.
    QByteArray text;
    quint64 number = 0;
    QList<ImapValue> items;
    // A literal longer than the parser keeps: text holds its beginning only.
    bool truncated = false;
    // A literal's size as the server announced it.
    qint64 literalSize = -1;

    bool isAtom(QByteArrayView name) const;
    // Text of an atom, number or string; empty for NIL and lists.
    QByteArray asString() const { return kind == List || kind == Nil ? QByteArray() : text; }
    // In a list of name-value pairs (a FETCH answer's attributes), the value
    // after the name; section names compare without letter case
    // ("BODY[HEADER]"), a trailing <origin> of the name is ignored.
    const ImapValue* attribute(QByteArrayView name) const;
};

// One complete response of the server.
struct ImapResponse
{
    enum Kind {
        Tagged,       // A1 OK/NO/BAD ...: a command's end
        Untagged,     // * ...: data or status
        Continuation, // + ...: the server waits for more of the command
    };
    enum Status { NoStatus, Ok, No, Bad, PreAuth, Bye };

    Kind kind = Untagged;
    QByteArray tag;
    // OK, NO, BAD, PREAUTH, BYE: a status response with code and text.
    Status status = NoStatus;
    // The response code in brackets, upper case ("UIDVALIDITY", "ALERT"),
    // and what follows it up to the bracket ("3857529045").
    QByteArray code;
    QByteArray codeArgument;
    // The human text of a status response, or everything after "+ ".
    QByteArray text;

    // Untagged data: "* 23 EXISTS" has number 23 and name "EXISTS";
    // "* CAPABILITY IMAP4rev1 IDLE" has name "CAPABILITY" and the atoms as values.
    std::optional<quint64> number;
    QByteArray name;
    QList<ImapValue> values;

    bool isStatus() const { return status != NoStatus; }
    // The code's argument as a number (UIDVALIDITY, UIDNEXT); nullopt when
    // the code differs or its argument is no number.
    std::optional<quint64> codeNumber(QByteArrayView codeName) const;
    // The capability names of a CAPABILITY response or code, upper case.
    QList<QByteArray> capabilities() const;
};

} // namespace orvella::imap
