#pragma once

#include "core/message/MailMessage.h"

#include <QByteArray>
#include <QString>

namespace orvella {

// Turns the POP client's events for one message into a MailMessage: the header
// fields and body lines are put back together into the raw message, which
// GMime parses. Sender, recipients and subject are decoded from encoded words;
// the body is the first text/plain part (or the text of the first HTML part),
// transfer-decoded and converted from its charset, with CR LF line ends.
//
// The POP client hands over text in which every character is one raw byte
// (Latin-1 mapping), so toLatin1() gives the bytes back unchanged.
class MessageDecoder
{
public:
    MessageDecoder();

    // One header field as delivered (unfolded).
    void Header(const QString& field, const QString& value);
    // One body line without its line end.
    void Transfer(qint64 bytesTransferred, const QString& text);
    // The message is complete: the decoded record. The decoder is then ready
    // for the next message.
    MailMessage EndTransfer();
    void Reset();

    // Decodes a whole raw message (headers, blank line, body).
    static MailMessage Decode(const QByteArray& raw);

private:
    QByteArray m_headers;
    QByteArray m_body;
};

} // namespace orvella
