#pragma once

#include "platform/DesktopNotifications.h"

#include <QDateTime>
#include <QLocale>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>

namespace orvella {

class SpeechOutput;

// What an alerting reminder reaches: the speech primitives, the opener of a
// reminder window, and the desktop's notifications. The main window fills it
// in; tests record through it.
struct ReminderAlert
{
    SpeechOutput* speech = nullptr;
    // Opens a reminder window showing text, without waiting for it, and returns it.
    std::function<QWidget*(const QString& text)> openWindow;
    // Opens one window listing the reminders gathered into one alert (see
    // CRemindersSet::Check): a heading, and one line a reminder.
    std::function<QWidget*(const QString& heading, const QStringList& lines)> openListWindow;
    // A reminder whose window opens while the character is hidden also posts
    // a desktop notification, so it is seen even when not heard.
    platform::DesktopNotifications* notifications = nullptr;
    std::function<bool()> characterHidden;
};

// One reminder: a text the character speaks at a date and time, once or again
// and again. It lives in two files in the reminders folder: the reminder file
// (identity + ".rmn", a profile file of its settings) and the content file
// (the reminder file's name + ".content", its text).
class CReminder
{
public:
    enum Recurrence { Never = 0, Daily = 1, Weekly = 2, Monthly = 3, Yearly = 4 };
    enum IfLate { RemindAnyway = 0, OnlyIfRunningThatDay = 1 };

    CReminder();  // due now
    ~CReminder(); // closes the reminder window it opened
    CReminder(const CReminder&) = delete;
    CReminder& operator=(const CReminder&) = delete;

    QDateTime m_When;   // next due; for every-weekday reminders only the time of day counts
    QString m_Contents; // filled from the content file when the reminder speaks
    int m_Every = 1;    // the interval of daily, weekly and monthly reminders
    bool m_EveryWeekDay = false;
    QString m_Days; // weekly: weekday numbers 1 (Sunday) .. 7, "2,4,6"; empty: at m_When
    int m_Recurs = Never;
    int m_IfLate = RemindAnyway;
    bool m_Enabled = true;
    bool m_ReSched = false; // the last Check moved m_When on
    bool m_Popup = true;
    QString m_UniqueID; // identity and file-name stem, made on first need
    QString m_SoundFile;
    QString m_Gesture;

    // Alerts and reschedules the reminder when it is due at now.
    void Check(const ReminderAlert& alert, const QDateTime& now);
    // Check in two steps, for alerts gathered over many reminders. The first
    // brings a weekly reminder to its week and tells whether it is due now.
    bool BeginCheck(const QDateTime& now);
    // Whether an alert at now speaks; a reminder that only alerts on a day
    // the program runs passes a later day over in silence.
    bool SpeaksAt(const QDateTime& now) const;
    // The alert of a due reminder: sound, speech, window and notice (none of
    // them when quiet: an alert for many reminders speaks for it), then it is
    // marked as alerted, moved on and saved.
    void Signal(const ReminderAlert& alert, const QDateTime& now, bool quiet = false);
    // Plays the sound file, then speaks the contents with the gesture.
    void Say(SpeechOutput* speech);
    // Lets the reminder alert again.
    void ClearSignaled();
    // The content file's text; empty when it is missing or unreadable.
    QString LoadContents();
    // A text of m_When that sorts in time order.
    QString SortedWhen() const;
    // The list's "When" text.
    QString FormatedWhen(const QLocale& locale = QLocale()) const;
    // The first 30 characters of the contents, then "..." when there are more.
    QString DisplayName();
    // Reads the reminder file at Path. False when a date or number in it is
    // unreadable, or the file is damaged (see ProfileFile::Check).
    bool Load(const QString& Path, const QString& UniqueID);
    // Writes the reminder file, and with IncludeContents the content file
    // first. False when a file could not be written.
    bool Save(bool IncludeContents);
    // Deletes both files; files already gone are no failure.
    void DeleteFiles();
    // Due at the next full hour today (00:00 tomorrow after 23:00).
    void SetCurrentRoundedHour();

    // The time of the last alert; invalid when it never alerted.
    const QDateTime& lastSignaled() const { return m_LastSignaled; }
    void setLastSignaled(const QDateTime& when) { m_LastSignaled = when; }
    // The reminder file's path, making the identity when it has none.
    QString FileName();
    QString contentFileName();
    // The reminder window this reminder opened last, while it is open.
    QWidget* window() const { return m_Window.data(); }

    // The reminders folder: the program folder + "/reminders".
    static QString RemindersFolder();
    // The desktop notification of a reminder with contents that alerts at when.
    static platform::DesktopNotifications::Notice Notice(const QString& contents, const QDateTime& when,
                                                         const QLocale& locale = QLocale());
    // The notification slot of the reminder with identity uniqueID: its next alert replaces the notice.
    static QString NotificationSlot(const QString& uniqueID);
    static QString DisplayNameOf(const QString& contents);

private:
    bool IsDue(const QDateTime& now) const;
    bool SaveContents();
    void Reschedule(const QDateTime& now);
    bool CatchUpWeek(QDate today);
    bool hasChosenDays() const;

    QDateTime m_LastSignaled;
    QString m_Path;
    std::optional<QString> m_DisplayName;
    // SortedWhen of the due time it was made for: sorting the list asks for
    // it at every comparison.
    mutable QDateTime m_SortedFor;
    mutable QString m_Sorted;
    QPointer<QWidget> m_Window;
};

} // namespace orvella
