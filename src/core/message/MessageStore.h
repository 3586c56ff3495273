#pragma once

#include "core/mail/MessageIDSet.h"
#include "core/message/MailMessage.h"
#include "core/message/MessageListModel.h"

#include <QList>
#include <QObject>

namespace orvella {

class Account;

// The stored messages: the files in the "msg" folder and the list model that
// shows them, newest first. No widget: the main window shows the model and
// asks for a message's text when it previews one.
class MessageStore : public QObject
{
    Q_OBJECT
public:
    explicit MessageStore(QObject* parent = nullptr);

    MessageListModel* model() { return &m_model; }
    const MessageListModel* model() const { return &m_model; }

    // Lists every message file in the folder, newest first. Files that are
    // damaged or not message files are skipped without a word.
    void LoadStoredMessages();
    // Puts message on top of the list.
    void AddMessageToList(const MailMessage& message);
    enum class StoreResult {
        Stored, // new: saved, queued in NewMessages and listed
        Known,  // seen before, in this pass or by the account
        Failed, // new, but its file could not be written: nothing changed
    };
    // Keeps message when its identifier is new to this pass and to the
    // account. A message that could not be saved stays unknown to the
    // account (so the next check fetches it again) and is neither queued for
    // reading nor listed; error receives the reason.
    StoreResult StoreIfNew(MailMessage& message, Account& current, MessageIDSet& SeenIDs,
                           QList<MailMessage>& NewMessages, QString* error = nullptr);
    // The row that shows message (by its time stamp), or -1.
    int RowOf(const MailMessage& message) const { return m_model.rowOfStamp(message.m_TimeStamp); }
    // Reads the message of row from its file.
    bool Load(int row, MailMessage& message) const;
    // Removes the message of row and its file; returns the row to select next (-1: none left).
    int Remove(int row);
    // Removes every message and every message file.
    void RemoveAll();

Q_SIGNALS:
    // The list's contents changed (the commands that need an entry follow it).
    void changed();

private:
    MessageListModel m_model;
};

} // namespace orvella
