#pragma once

#include "mail/MessageIDSet.h"
#include "message/CMessage.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTreeWidget>
#include <functional>

namespace orvella {

class CAccount;

// The stored messages as the main window shows them: the files in the "msg"
// folder, the list lstMessages (columns "Subject", "From", "Time Stamp"; the
// newest first) and the preview txtMessage. Entries are found through hashes,
// so storing and selecting stay quick with tens of thousands of messages.
class MessageStore : public QObject
{
    Q_OBJECT
public:
    // An entry's file path; the entry's key (the message's m_ID) is KeyRole.
    static constexpr int PathRole = Qt::UserRole;
    static constexpr int KeyRole = Qt::UserRole + 1;

    MessageStore(QTreeWidget* lstMessages, QPlainTextEdit* txtMessage, QWidget* dialogParent = nullptr);

    // Set by the main window: enables the message commands after list changes.
    std::function<void()> UpdateMessageCommands;
    // Set by the main window: told (true, then false) around the modal question of cmdClear_Click.
    std::function<void(bool shown)> ModalDialogShown;

    // Lists every message file in the folder, oldest at the bottom. Files that
    // are damaged or not message files are skipped without a word.
    void LoadStoredMessages();
    // Puts message at the top of list (the store's own list or another one,
    // such as a prompt's list of new messages).
    QTreeWidgetItem* AddMessageToList(QTreeWidget* list, const CMessage& message);
    // Keeps message when its identifier is new to this pass and to the
    // account: saves it, queues it in NewMessages and lists it. True when it
    // was stored and listed.
    bool StoreIfNew(CMessage& message, CAccount& current, MessageIDSet& SeenIDs,
                    QList<CMessage>& NewMessages);
    void SelectMessageInList(const CMessage& message);
    void ShowPreview();
    void cmdRemove_Click();
    void cmdClear_Click();

    // The newest entry whose key is id, or null.
    QTreeWidgetItem* itemForKey(const QString& id) const;
    // Sets the three column titles.
    static void PrepareList(QTreeWidget* list);

private:
    QTreeWidgetItem* makeItem(const CMessage& message) const;
    void remember(QTreeWidgetItem* item);
    void forget(QTreeWidgetItem* item);
    void updateCommands();

    // The window owns these and may delete them before the store.
    QPointer<QTreeWidget> m_list;
    QPointer<QPlainTextEdit> m_preview;
    QPointer<QWidget> m_dialogParent;
    QHash<QString, QTreeWidgetItem*> m_byStamp;
    QMultiHash<QString, QTreeWidgetItem*> m_byKey;
};

} // namespace orvella
