#include "message/MessageStore.h"

#include "mail/CAccount.h"
#include "platform/Dialogs.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QIcon>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

enum Column { SubjectColumn = 0, FromColumn = 1, StampColumn = 2 };

// An envelope: the desktop theme's, else the program's own tray envelope
// (when the resources are linked in).
const QIcon& messageIcon()
{
    static const QIcon icon = [] {
        QIcon i = QIcon::fromTheme(u"mail-unread"_s);
        if (i.isNull() && QFile::exists(u":/icons/tray-default.svg"_s))
            i = QIcon(u":/icons/tray-default.svg"_s);
        return i;
    }();
    return icon;
}

QString displayText(const QString& content)
{
    QString s = content;
    s.replace(u"\r\n"_s, u"\n"_s);
    s.replace(u'\r', u'\n');
    return s;
}

} // namespace

MessageStore::MessageStore(QTreeWidget* lstMessages, QPlainTextEdit* txtMessage, QWidget* dialogParent)
    : m_list(lstMessages), m_preview(txtMessage), m_dialogParent(dialogParent)
{
    if (!m_list) return;
    if (m_list->columnCount() < 3) PrepareList(m_list);
    // Entries may leave the list by other ways than ours (a clear, a deleted
    // item); the hashes must never point at a deleted entry.
    QAbstractItemModel* model = m_list->model();
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex& parent, int first, int last) {
                if (parent.isValid()) return;
                for (int row = first; row <= last; ++row)
                    forget(m_list->topLevelItem(row));
            });
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        m_byStamp.clear();
        m_byKey.clear();
    });
}

void MessageStore::PrepareList(QTreeWidget* list)
{
    list->setColumnCount(3);
    list->setHeaderLabels({u"Subject"_s, u"From"_s, u"Time Stamp"_s});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
}

QTreeWidgetItem* MessageStore::makeItem(const CMessage& message) const
{
    auto* item = new QTreeWidgetItem(QStringList{message.m_Subject, message.From(), message.m_TimeStamp});
    item->setIcon(SubjectColumn, messageIcon());
    item->setData(SubjectColumn, PathRole, message.Path());
    item->setData(SubjectColumn, KeyRole, message.m_ID);
    return item;
}

void MessageStore::remember(QTreeWidgetItem* item)
{
    m_byStamp.insert(item->text(StampColumn), item);
    m_byKey.insert(item->data(SubjectColumn, KeyRole).toString(), item);
}

void MessageStore::forget(QTreeWidgetItem* item)
{
    if (!item) return;
    const QString stamp = item->text(StampColumn);
    if (m_byStamp.value(stamp) == item) m_byStamp.remove(stamp);
    m_byKey.remove(item->data(SubjectColumn, KeyRole).toString(), item);
}

QTreeWidgetItem* MessageStore::itemForKey(const QString& id) const
{
    return m_byKey.value(id);
}

void MessageStore::updateCommands()
{
    if (UpdateMessageCommands) UpdateMessageCommands();
}

void MessageStore::LoadStoredMessages()
{
    const QString folder = CMessage::MessageFolder();
    QDir().mkpath(folder);
    if (!m_list) return;
    QStringList names = QDir(folder).entryList({u"*.tem"_s}, QDir::Files, QDir::NoSort);
    // By time stamp, not by file name: "...11375.tem" (a whole second) would
    // sort after "...11375.01.tem" because of the extension.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QStringView(a).chopped(4) < QStringView(b).chopped(4);
    });
    QList<QTreeWidgetItem*> items;
    items.reserve(names.size());
    for (const QString& name : names) {
        CMessage message;
        if (message.Load(folder + u'/' + name)) items.append(makeItem(message));
    }
    // Each entry goes on top, so the newest (last by name) stands first; one
    // insertion of the whole batch instead of thousands of inserts at row 0.
    std::reverse(items.begin(), items.end());
    m_list->insertTopLevelItems(0, items);
    for (QTreeWidgetItem* item : std::as_const(items))
        remember(item);
}

QTreeWidgetItem* MessageStore::AddMessageToList(QTreeWidget* list, const CMessage& message)
{
    if (!list) return nullptr;
    QTreeWidgetItem* item = makeItem(message);
    list->insertTopLevelItem(0, item);
    if (list == m_list) remember(item);
    return item;
}

bool MessageStore::StoreIfNew(CMessage& message, CAccount& current, MessageIDSet& SeenIDs,
                              QList<CMessage>& NewMessages)
{
    // The same identifier twice in one mailbox: only the first is kept.
    if (!SeenIDs.add(message.m_ID)) return false;
    if (!current.AddMessageID(message.m_ID)) return false;
    const bool saved =
        message.Save([&](const QString& stamp) { current.JournalStoredMessage(message.m_ID, stamp); });
    // Its identifier is now known, so it would never be announced again: a
    // message whose file could not be written is still read aloud.
    NewMessages.append(message);
    if (!saved) return false;
    AddMessageToList(m_list, message);
    return true;
}

void MessageStore::SelectMessageInList(const CMessage& message)
{
    QTreeWidgetItem* item = m_byStamp.value(message.m_TimeStamp);
    if (!m_list || !item) return;
    m_list->clearSelection();
    m_list->setCurrentItem(item);
    item->setSelected(true);
    m_list->scrollToItem(item);
    updateCommands();
    ShowPreview();
}

void MessageStore::ShowPreview()
{
    if (!m_preview) return;
    const QList<QTreeWidgetItem*> selected = m_list ? m_list->selectedItems() : QList<QTreeWidgetItem*>();
    if (selected.isEmpty()) {
        m_preview->clear();
        return;
    }
    CMessage message;
    if (message.Load(selected.first()->data(SubjectColumn, PathRole).toString()))
        m_preview->setPlainText(displayText(message.m_Content));
}

void MessageStore::cmdRemove_Click()
{
    if (!m_list) return;
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty()) return;
    QTreeWidgetItem* item = selected.first();
    const QString path = item->data(SubjectColumn, PathRole).toString();
    const int index = m_list->indexOfTopLevelItem(item);
    delete item;
    const int count = m_list->topLevelItemCount();
    if (count > 0) {
        QTreeWidgetItem* next = m_list->topLevelItem(std::min(index, count - 1));
        m_list->setCurrentItem(next);
        next->setSelected(true);
    }
    CMessage message;
    if (message.Load(path)) message.Delete();
    ShowPreview();
    updateCommands();
}

void MessageStore::cmdClear_Click()
{
    if (ModalDialogShown) ModalDialogShown(true);
    const bool yes = platform::Dialogs::askYesNo(m_dialogParent, u"Remove All"_s,
                                                 u"Are you sure you want to remove all of the messages?"_s);
    if (ModalDialogShown) ModalDialogShown(false);
    if (!yes) return;
    if (m_list) m_list->clear();
    const QString folder = CMessage::MessageFolder();
    const QDir dir(folder);
    for (const QString& name : dir.entryList({u"*.tem"_s}, QDir::Files))
        QFile::remove(dir.filePath(name));
    ShowPreview();
    updateCommands();
}

} // namespace orvella
