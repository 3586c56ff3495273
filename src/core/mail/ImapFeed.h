#pragma once

#include <QByteArrayView>

namespace orvella {

class MessageDecoder;

// Hands a message fetched over IMAP (its bytes as the server sent them) to
// the decoder the way a POP3 retrieval does: one Header event per unfolded
// field, then one Transfer event per body line without its line end, at most
// `lines` of them (0: every line), then nothing else; the caller ends the
// message with EndTransfer. So a message reads and is stored alike whichever
// protocol brought it. A line in the header that is no field ends the header
// there and is the first body line, as in the POP3 retrieval.
void FeedImapMessage(MessageDecoder& decoder, QByteArrayView raw, int lines);

// How much of the body to fetch for `lines` body lines (-1: the whole
// message): a line has at most 998 characters and its CR LF (RFC 5322 2.1.1).
qint64 ImapTextBytesFor(int lines);

} // namespace orvella
