#include "core/reminders/ReminderSet.h"

#include "platform/Clock.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

ReminderSet::ReminderSet() : m_Folder(Reminder::RemindersFolder())
{
}

void ReminderSet::Check()
{
    Check(platform::now());
}

void ReminderSet::Check(const QDateTime& now)
{
    m_ReSched = false;
    // By position: a reminder's alert may not add or remove reminders, but
    // nothing here relies on that.
    for (size_t i = 0; i < m_Items.size(); ++i) {
        Reminder& r = *m_Items[i];
        r.Check(alert, now);
        if (r.m_ReSched) m_ReSched = true;
    }
}

bool ReminderSet::Load()
{
    m_Items.clear();
    m_ById.clear();
    m_LoadError.clear();
    QDir dir(m_Folder);
    dir.mkpath(u"."_s);
    // In the order the file system lists them; the list can be sorted by the user.
    const QStringList names = dir.entryList({u"*.rmn"_s}, QDir::Files, QDir::Unsorted);
    for (const QString& name : names) {
        const QString id = name.section(u'.', 0, 0);
        auto reminder = std::make_unique<Reminder>();
        if (m_ById.contains(id)) {
            m_LoadError =
                u"The reminder file %1 has the identity of another reminder file."_s.arg(dir.filePath(name));
            return false;
        }
        if (!reminder->Load(dir.filePath(name), id)) {
            m_LoadError = u"The reminder file %1 could not be read."_s.arg(dir.filePath(name));
            return false;
        }
        m_ById.insert(id, reminder.get());
        m_Items.push_back(std::move(reminder));
    }
    return true;
}

Reminder* ReminderSet::GetAt(int position) const
{
    if (position < 1 || position > Count()) return nullptr;
    return m_Items[size_t(position - 1)].get();
}

Reminder* ReminderSet::GetReminder(const QString& UniqueID) const
{
    return m_ById.value(UniqueID, nullptr);
}

int ReminderSet::IndexOf(const QString& UniqueID) const
{
    const Reminder* r = GetReminder(UniqueID);
    if (!r) return -1;
    for (size_t i = 0; i < m_Items.size(); ++i)
        if (m_Items[i].get() == r) return int(i);
    return -1;
}

bool ReminderSet::Add(std::unique_ptr<Reminder> reminder)
{
    if (!reminder || reminder->m_UniqueID.isEmpty() || m_ById.contains(reminder->m_UniqueID)) return false;
    m_ById.insert(reminder->m_UniqueID, reminder.get());
    m_Items.push_back(std::move(reminder));
    return true;
}

void ReminderSet::Delete(const QString& UniqueID)
{
    const int index = IndexOf(UniqueID);
    if (index < 0) return;
    m_Items[size_t(index)]->DeleteFiles();
    m_ById.remove(UniqueID);
    m_Items.erase(m_Items.begin() + index);
}

} // namespace orvella
