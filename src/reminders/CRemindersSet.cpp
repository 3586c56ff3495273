#include "reminders/CRemindersSet.h"

#include "platform/Clock.h"
#include "speech/SpeechOutput.h"

#include <QDir>
#include <QLocale>
#include <QWidget>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

CRemindersSet::CRemindersSet() : m_Folder(CReminder::RemindersFolder())
{
}

CRemindersSet::~CRemindersSet()
{
    delete m_GatheredWindow.data();
}

void CRemindersSet::Check()
{
    Check(platform::now());
}

void CRemindersSet::Check(const QDateTime& now)
{
    m_ReSched = false;
    // Which are due, and which of those would speak, before any of them moves
    // on. By position: an alert may not add or remove reminders, but nothing
    // here relies on that.
    std::vector<std::pair<CReminder*, bool>> due;
    qsizetype speaking = 0;
    for (const auto& item : m_Items) {
        CReminder& r = *item;
        if (r.BeginCheck(now)) {
            const bool speaks = r.SpeaksAt(now);
            due.emplace_back(&r, speaks);
            speaking += speaks ? 1 : 0;
        }
        if (r.m_ReSched) m_ReSched = true;
    }
    if (due.empty()) return;
    // A handful alert one by one, each with its voice and window. Beyond
    // that (a machine back after weeks, a folder of imported reminders) one
    // alert speaks for all: thousands of windows and hours of speech would
    // bury the program and the desktop.
    const bool gather = speaking > MostAlertedAlone;
    QStringList lines;
    CReminder* first = nullptr;
    const QLocale locale;
    for (const auto& [r, speaks] : due) {
        if (gather && speaks) {
            if (!first) first = r;
            lines << locale.toString(r->m_When, QLocale::ShortFormat) + u"  "_s +
                         r->LoadContents().simplified();
        }
        r->Signal(alert, now, gather);
        if (r->m_ReSched) m_ReSched = true;
    }
    if (gather) AlertGathered(*first, lines, now);
}

void CRemindersSet::AlertGathered(CReminder& first, const QStringList& lines, const QDateTime& now)
{
    const QString heading = u"%1 reminders are due"_s.arg(lines.size());
    const bool hidden = alert.characterHidden && alert.characterHidden();
    if (alert.speech) {
        alert.speech->PlayWAVFile(first.m_SoundFile, u"None"_s, false);
        alert.speech->SayAndPlay(
            heading + (alert.openListWindow ? u". They are listed in the reminder window."_s : u"."_s),
            first.m_Gesture, true, true);
    }
    if (alert.openListWindow) {
        if (m_GatheredWindow) {
            m_GatheredWindow->close();
            m_GatheredWindow->deleteLater();
        }
        m_GatheredWindow = alert.openListWindow(heading, lines);
    }
    if (hidden && alert.notifications) {
        platform::DesktopNotifications::Notice notice = CReminder::Notice(QString(), now);
        notice.body += u'\n' + heading + u'.';
        alert.notifications->show(u"reminders:gathered"_s, notice);
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
    // and the user is told once which file was passed over.
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
