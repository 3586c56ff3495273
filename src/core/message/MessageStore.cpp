#include "core/message/MessageStore.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace Qt::Literals::StringLiterals;

namespace orvella {

MessageStore::MessageStore(QObject* parent) : QObject(parent)
{
}

void MessageStore::LoadStoredMessages()
{
    const QString folder = MailMessage::MessageFolder();
    QDir().mkpath(folder);
    QStringList names = QDir(folder).entryList({u"*.tem"_s}, QDir::Files, QDir::NoSort);
    // By time stamp, not by file name: "...11375.tem" (a whole second) would
    // sort after "...11375.01.tem" because of the extension. Newest first.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QStringView(a).chopped(4) > QStringView(b).chopped(4);
    });
    QList<MessageListModel::Entry> entries;
    entries.reserve(names.size());
    for (const QString& name : std::as_const(names)) {
        MailMessage message;
        if (message.Load(folder + u'/' + name)) entries.append(MessageListModel::entryFor(message));
    }
    m_model.setEntries(std::move(entries));
    // Reading every file left its whole text behind in the C library's free
    // lists, between the list's small rows: hand those pages back.
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    Q_EMIT changed();
}

void MessageStore::AddMessageToList(const MailMessage& message)
{
    m_model.prepend(MessageListModel::entryFor(message));
    Q_EMIT changed();
}

bool MessageStore::Load(int row, MailMessage& message) const
{
    if (row < 0 || row >= m_model.rowCount()) return false;
    return message.Load(m_model.entry(row).path);
}

int MessageStore::Remove(int row)
{
    if (row < 0 || row >= m_model.rowCount()) return -1;
    const QString path = m_model.entry(row).path;
    m_model.removeAt(row);
    MailMessage message;
    if (message.Load(path)) message.Delete();
    Q_EMIT changed();
    const int count = m_model.rowCount();
    return count == 0 ? -1 : std::min(row, count - 1);
}

void MessageStore::RemoveAll()
{
    m_model.clear();
    const QDir dir(MailMessage::MessageFolder());
    for (const QString& name : dir.entryList({u"*.tem"_s}, QDir::Files))
        QFile::remove(dir.filePath(name));
    Q_EMIT changed();
}

} // namespace orvella
