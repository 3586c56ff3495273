#include "core/mail/StoreIfNew.h"

#include "core/mail/Account.h"
#include "core/mail/MessageIDSet.h"
#include "core/message/MailMessage.h"
#include "core/message/MessageStore.h"

namespace orvella {

StoreResult StoreIfNew(MessageStore& store, MailMessage& message, Account& current, MessageIDSet& SeenIDs,
                       QList<MailMessage>& NewMessages, QString* error)
{
    // The same identifier twice in one mailbox: only the first is kept.
    if (SeenIDs.contains(message.m_ID)) return StoreResult::Known;
    if (current.KnowsMessageID(message.m_ID)) {
        SeenIDs.add(message.m_ID);
        return StoreResult::Known;
    }
    // The identifier becomes known only with the file written: a message
    // announced but never stored would be lost for good.
    QString why;
    const bool saved = message.Save(
        [&](const QString& stamp) { return current.JournalStoredMessage(message.m_ID, stamp, &why); }, &why);
    if (!saved) {
        if (error) *error = why;
        return StoreResult::Failed;
    }
    SeenIDs.add(message.m_ID);
    current.AddMessageID(message.m_ID);
    NewMessages.append(message);
    store.AddMessageToList(message);
    return StoreResult::Stored;
}

} // namespace orvella
