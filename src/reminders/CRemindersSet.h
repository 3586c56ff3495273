#pragma once

#include "reminders/CReminder.h"

#include <QHash>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

namespace orvella {

// Every reminder of the program, in the order loaded or added, found by
// identity; loaded from the reminders folder at start-up and checked once a
// minute. The set writes nothing itself: each reminder writes its own files.
class CRemindersSet
{
public:
    CRemindersSet(); // the reminders folder of the program folder known now
    ~CRemindersSet(); // closes the window of a gathered alert
    CRemindersSet(const CRemindersSet&) = delete;
    CRemindersSet& operator=(const CRemindersSet&) = delete;

    // Up to this many reminders due at one check alert one by one; more are
    // gathered into one alert: one spoken line that says how many are due,
    // and one window that lists them.
    static constexpr qsizetype MostAlertedAlone = 3;

    bool m_ReSched = false; // the last Check moved at least one due time
    // What alerting reminders reach; the main window fills it in.
    ReminderAlert alert;

    // Checks every reminder, in order, at the clock's present moment; the due
    // ones alert (gathered beyond MostAlertedAlone).
    void Check();
    void Check(const QDateTime& now);
    // Replaces the reminders with those of the folder's "*.rmn" files. A file
    // that cannot be read, or a second file of one identity, is skipped and
    // the rest are loaded. False then, with LoadError() naming the files
    // skipped.
    bool Load();
    int Count() const { return int(m_Items.size()); }
    // The reminder at a 1-based position, or null.
    CReminder* GetAt(int position) const;
    // The reminder with that identity, or null.
    CReminder* GetReminder(const QString& UniqueID) const;
    // 0-based position of the reminder with that identity, or -1.
    int IndexOf(const QString& UniqueID) const;
    // Appends a saved reminder (saving gives it its identity). False, and the
    // reminder dropped, when it has no identity or one already in the set.
    bool Add(std::unique_ptr<CReminder> reminder);
    // Deletes the reminder's files and drops it; an unknown identity does nothing.
    void Delete(const QString& UniqueID);

    const QString& folder() const { return m_Folder; }
    const QString& LoadError() const { return m_LoadError; }

private:
    void AlertGathered(CReminder& first, const QStringList& lines, const QDateTime& now);

    QString m_Folder;
    QPointer<QWidget> m_GatheredWindow;
    std::vector<std::unique_ptr<CReminder>> m_Items;
    QHash<QString, CReminder*> m_ById;
    QString m_LoadError;
};

} // namespace orvella
