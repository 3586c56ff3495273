#pragma once

#include <QList>
#include <QString>

namespace orvella {

class Account;
class MailMessage;
class MessageIDSet;
class MessageStore;

enum class StoreResult {
    Stored, // new: saved, queued in NewMessages and listed
    Known,  // seen before, in this pass or by the account
    Failed, // new, but its file could not be written: nothing changed
};

// Keeps message when its identifier is new to this pass (SeenIDs) and to the
// account: its file in the store's folder, its identifier with the account,
// queued in NewMessages and listed. A message that could not be saved stays
// unknown to the account (so the next check fetches it again) and is neither
// queued for reading nor listed; error receives the reason.
StoreResult StoreIfNew(MessageStore& store, MailMessage& message, Account& current, MessageIDSet& SeenIDs,
                       QList<MailMessage>& NewMessages, QString* error = nullptr);

} // namespace orvella
