#include "core/mail/ImapFeed.h"

#include "core/message/MessageDecoder.h"
#include "core/pop3/Pop3HeaderUnfolder.h"

#include <QByteArray>
#include <QString>

namespace orvella {

qint64 ImapTextBytesFor(int lines)
{
    return lines <= 0 ? -1 : qint64(lines) * 1000;
}

void FeedImapMessage(MessageDecoder& decoder, QByteArrayView raw, int lines)
{
    pop3::Pop3HeaderUnfolder header;
    const auto emitField = [&] {
        if (auto f = header.takeField())
            decoder.Header(QString::fromLatin1(f->name), QString::fromLatin1(f->value));
    };
    bool inHeader = true;
    int bodyLines = 0;
    qint64 bytes = 0;
    qsizetype at = 0;
    while (at < raw.size()) {
        qsizetype end = raw.indexOf('\n', at);
        const qsizetype next = end < 0 ? raw.size() : end + 1;
        if (end < 0) end = raw.size();
        QByteArrayView line = raw.sliced(at, end - at);
        if (line.endsWith('\r')) line.chop(1);
        at = next;
        bytes = next;
        if (inHeader) {
            if (line.isEmpty()) {
                header.finish();
                emitField();
                inHeader = false;
                continue;
            }
            const auto result = header.add(line.toByteArray());
            emitField();
            if (result == pop3::Pop3HeaderUnfolder::Result::Pending) continue;
            inHeader = false;
        }
        if (lines > 0 && bodyLines >= lines) break;
        ++bodyLines;
        decoder.Transfer(bytes, QString::fromLatin1(line));
    }
    if (inHeader) {
        header.finish();
        emitField();
    }
}

} // namespace orvella
