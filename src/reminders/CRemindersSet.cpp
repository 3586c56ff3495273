#include "reminders/CRemindersSet.h"

#include "platform/Clock.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

CRemindersSet::CRemindersSet() : m_Folder(CReminder::RemindersFolder())
{
}

void CRemindersSet::Check()
{
    Check(platform::now());
}

void CRemindersSet::Check(const QDateTime& now)
{
    m_ReSched = false;
    // By position: a reminder's alert may not add or remove reminders, but
    // nothing here relies on that.
    for (size_t i = 0; i < m_Items.size(); ++i) {
        CReminder& r = *m_Items[i];
        r.Check(alert, now);
        if (r.m_ReSched) m_ReSched = true;
    }
}

bool CRemindersSet::Load()
{
    m_Items.clear();
    m_ById.clear();
    m_LoadError.clear();
    QDir dir(m_Folder);
    dir.mkpath(u"."_s);
    // One damaged file (a date the program cannot read, a second file of an
    // identity) costs that one reminder only: the files after it still load,
    // and the user hears once which file was passed over.
    QStringList skipped;
    // In the order the file system lists them; the list can be sorted by the user.
    const QStringList names = dir.entryList({u"*.rmn"_s}, QDir::Files, QDir::Unsorted);
    for (const QString& name : names) {
        const QString id = name.section(u'.', 0, 0);
        auto reminder = std::make_unique<CReminder>();
        if (m_ById.contains(id) || !reminder->Load(dir.filePath(name), id)) {
            skipped << QDir::toNativeSeparators(dir.filePath(name));
            continue;
        }
        m_ById.insert(id, reminder.get());
        m_Items.push_back(std::move(reminder));
    }
    if (skipped.isEmpty()) return true;
    const QString others = m_Items.empty() ? QString() : u" The other reminders were loaded."_s;
    if (skipped.size() == 1)
        m_LoadError =
            u"The reminder file %1 could not be read and was skipped.%2"_s.arg(skipped.first(), others);
    else
        m_LoadError = u"%1 reminder files could not be read and were skipped: %2.%3"_s.arg(
            QString::number(skipped.size()), skipped.join(u", "_s), others);
    return false;
}

CReminder* CRemindersSet::GetAt(int position) const
{
    if (position < 1 || position > Count()) return nullptr;
    return m_Items[size_t(position - 1)].get();
}

CReminder* CRemindersSet::GetReminder(const QString& UniqueID) const
{
    return m_ById.value(UniqueID, nullptr);
}

int CRemindersSet::IndexOf(const QString& UniqueID) const
{
    const CReminder* r = GetReminder(UniqueID);
    if (!r) return -1;
    for (size_t i = 0; i < m_Items.size(); ++i)
        if (m_Items[i].get() == r) return int(i);
    return -1;
}

bool CRemindersSet::Add(std::unique_ptr<CReminder> reminder)
{
    if (!reminder || reminder->m_UniqueID.isEmpty() || m_ById.contains(reminder->m_UniqueID)) return false;
    m_ById.insert(reminder->m_UniqueID, reminder.get());
    m_Items.push_back(std::move(reminder));
    return true;
}

void CRemindersSet::Delete(const QString& UniqueID)
{
    const int index = IndexOf(UniqueID);
    if (index < 0) return;
    m_Items[size_t(index)]->DeleteFiles();
    m_ById.remove(UniqueID);
    m_Items.erase(m_Items.begin() + index);
}

} // namespace orvella
