#include "reminders/CReminder.h"

#include "platform/Clock.h"
#include "platform/ProfileFile.h"
#include "reminders/ReminderValues.h"
#include "reminders/frmReminder.h"
#include "settings/ModOrvella.h"
#include "settings/Program.h"
#include "speech/SpeechOutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QWidget>
#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

const QString General = u"General"_s;
const QString Character = u"Character"_s;

int minuteOfDay(const QTime& t)
{
    return t.hour() * 60 + t.minute();
}

// Flags in reminder files are "Yes" exactly; any other value is "No".
bool isExactlyYes(const QString& value)
{
    return value == u"Yes"_s;
}

} // namespace

CReminder::CReminder() : m_When(platform::now())
{
}

CReminder::~CReminder()
{
    delete m_Window.data();
}

QString CReminder::RemindersFolder()
{
    return AppPath() + u"/reminders"_s;
}

platform::DesktopNotifications::Notice CReminder::Notice(const QString& contents, const QDateTime& when,
                                                         const QLocale& locale)
{
    platform::DesktopNotifications::Notice notice;
    // The reminder window's own words: its caption, and when it opened.
    notice.summary = u"Reminder!"_s;
    // The window shows the whole text; a notice is glanced at.
    constexpr qsizetype longest = 400;
    QString text = contents.trimmed();
    text.replace(u"\r\n"_s, u"\n"_s);
    if (text.size() > longest) text = text.left(longest - 1) + u'…';
    notice.body = frmReminder::WhenText(when, locale) + (text.isEmpty() ? QString() : u"\n"_s + text);
    notice.icon = u"appointment-soon"_s;
    return notice;
}

QString CReminder::NotificationSlot(const QString& uniqueID)
{
    return u"reminder:"_s + uniqueID;
}

QString CReminder::FileName()
{
    if (!m_Path.isEmpty()) return m_Path;
    const QString folder = RemindersFolder();
    if (m_UniqueID.isEmpty()) {
        const double seconds = platform::now().time().msecsSinceStartOfDay() / 1000.0;
        QString id = QString::number(std::lround(seconds));
        while (QFileInfo::exists(folder + u'/' + id + u".rmn"_s))
            id += QString::number(QRandomGenerator::global()->bounded(10));
        m_UniqueID = id;
    }
    m_Path = folder + u'/' + m_UniqueID + u".rmn"_s;
    return m_Path;
}

QString CReminder::contentFileName()
{
    return FileName() + u".content"_s;
}

bool CReminder::hasChosenDays() const
{
    return m_Recurs == Weekly && !ParseWeekdays(m_Days).isEmpty();
}

// ---------------------------------------------------------------------------
// Due test, alert and rescheduling

void CReminder::Check(const ReminderAlert& alert, const QDateTime& now)
{
    if (BeginCheck(now)) Signal(alert, now);
}

bool CReminder::BeginCheck(const QDateTime& now)
{
    m_ReSched = false;
    if (!m_Enabled || !m_When.isValid()) return false;
    if (hasChosenDays() && CatchUpWeek(now.date())) {
        m_ReSched = true;
        Save(false);
    }
    return IsDue(now);
}

// Reminders tied to weekdays are always due on their day; the others, with
// "only if running on that day", keep quiet on a later day.
bool CReminder::SpeaksAt(const QDateTime& now) const
{
    return m_IfLate == RemindAnyway || (m_Recurs == Daily && m_EveryWeekDay) || hasChosenDays() ||
           m_When.date() == now.date();
}

bool CReminder::IsDue(const QDateTime& now) const
{
    const QDate today = now.date();
    const bool alertedToday = m_LastSignaled.isValid() && m_LastSignaled.date() == today;
    switch (m_Recurs) {
    case Never:
        return !m_LastSignaled.isValid() && now >= m_When;
    case Daily:
        if (m_EveryWeekDay)
            return !alertedToday && today.dayOfWeek() <= 5 &&
                   minuteOfDay(m_When.time()) <= minuteOfDay(now.time());
        return !alertedToday && now >= m_When;
    case Weekly:
        if (hasChosenDays()) {
            // Weeks start on Sunday. Comparing the weeks' Sundays rather than
            // their numbers in the year keeps the week that holds 1 January one
            // week (its days would carry the numbers 53 and 1), and keeps a week
            // of the same number in another year from matching.
            return !alertedToday && ParseWeekdays(m_Days).contains(WeekdayNumber(today)) &&
                   WeekStart(m_When.date()) == WeekStart(today) &&
                   minuteOfDay(m_When.time()) <= minuteOfDay(now.time());
        }
        return !alertedToday && now >= m_When;
    case Monthly:
    case Yearly:
        return !alertedToday && now >= m_When;
    default:
        return false;
    }
}

void CReminder::Signal(const ReminderAlert& alert, const QDateTime& now, bool quiet)
{
    if (!quiet && SpeaksAt(now)) {
        // Asked before speaking, which shows the character.
        const bool hidden = alert.characterHidden && alert.characterHidden();
        Say(alert.speech);
        if (m_Popup && alert.openWindow) {
            if (m_Window) {
                m_Window->close();
                m_Window->deleteLater();
            }
            m_Window = alert.openWindow(m_Contents);
        }
        if (m_Popup && hidden && alert.notifications)
            alert.notifications->show(NotificationSlot(m_UniqueID), Notice(m_Contents, now));
    }
    m_LastSignaled = now;
    Reschedule(now);
    Save(false);
}

void CReminder::Reschedule(const QDateTime& now)
{
    const int every = std::max(1, m_Every); // a stored 0 or less would never move on
    qint64 stepDays = 0;
    switch (m_Recurs) {
    case Daily:
        if (m_EveryWeekDay) return;
        stepDays = every;
        break;
    case Weekly:
        // With chosen days only the alert on the week's last chosen day moves
        // the reminder on to its next week.
        if (hasChosenDays() && ParseWeekdays(m_Days).constLast() != WeekdayNumber(now.date())) return;
        stepDays = 7LL * every;
        break;
    case Monthly:
    case Yearly:
        break;
    default:
        return;
    }
    QDateTime when = m_When;
    if (stepDays > 0 && when < now) {
        // Whole steps that still leave it in the past, so a reminder not
        // checked for years does not walk there a day at a time.
        const qint64 behind = when.date().daysTo(now.date()) / stepDays - 1;
        const QDateTime jumped = behind > 0 ? when.addDays(behind * stepDays) : QDateTime();
        if (jumped.isValid()) when = jumped;
    }
    do {
        // Calendar months: a day the target month lacks becomes its last day.
        const QDateTime next = stepDays > 0         ? when.addDays(stepDays)
                               : m_Recurs == Yearly ? when.addYears(1)
                                                    : when.addMonths(every);
        if (!next.isValid() || next <= when) break; // beyond what the calendar holds: it stays where it is
        when = next;
    } while (when < now);
    if (when == m_When) return;
    m_When = when;
    m_ReSched = true;
}

bool CReminder::CatchUpWeek(QDate today)
{
    // Only the alert on the week's last chosen day moves such a reminder on.
    // When that day is past without it (the week went by unchecked, or m_When
    // lies after that day), the reminder moves to the week of its next
    // occurrence, keeping its rhythm of every N weeks.
    const QDate lastChosenDay = WeekStart(m_When.date()).addDays(ParseWeekdays(m_Days).constLast() - 1);
    if (lastChosenDay >= today) return false;
    const qint64 step = 7LL * std::max(1, m_Every);
    const qint64 steps = (lastChosenDay.daysTo(today) + step - 1) / step;
    const QDateTime moved = m_When.addDays(steps * step);
    if (!moved.isValid()) return false;
    m_When = moved;
    return true;
}

void CReminder::Say(SpeechOutput* speech)
{
    if (speech) speech->PlayWAVFile(m_SoundFile, u"None"_s, false);
    m_Contents = LoadContents();
    if (speech) speech->SayAndPlay(m_Contents, m_Gesture, true, true);
}

void CReminder::ClearSignaled()
{
    m_LastSignaled = QDateTime();
}

void CReminder::SetCurrentRoundedHour()
{
    int hour = m_When.time().hour() + 1;
    QDate date = platform::now().date();
    if (hour >= 24) {
        // The hour after 23:xx is midnight of the next day, not of this one.
        hour = 0;
        date = date.addDays(1);
    }
    const QDateTime value = LocalDateTime(date, QTime(hour, 0));
    if (value.isValid()) m_When = value;
}

// ---------------------------------------------------------------------------
// Texts

QString CReminder::SortedWhen() const
{
    return m_When.toString(u"yyyy/MM/dd  HH:mm"_s);
}

QString CReminder::FormatedWhen(const QLocale& locale) const
{
    // The short date with all four digits of the year, so that no date reads two ways.
    QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    if (!dateFormat.contains(u"yyyy"_s)) dateFormat.replace(u"yy"_s, u"yyyy"_s);
    const QString D = locale.toString(m_When.date(), dateFormat);
    const QString T = locale.toString(m_When.time(), u"hh:mm AP"_s);
    const QString N = QString::number(m_Every);
    switch (m_Recurs) {
    case Daily:
        if (m_EveryWeekDay) return u"Weekdays at "_s + T;
        return D + u' ' + T + u", Every "_s + N + u" day(s)"_s;
    case Weekly:
        return D + u' ' + T + u", Every "_s + N + u" week(s)"_s;
    case Monthly:
        return D + u' ' + T + u", Every "_s + N + u" month(s)"_s;
    case Yearly:
        return D + u' ' + T + u", Annually"_s;
    default:
        return D + u' ' + T;
    }
}

QString CReminder::DisplayNameOf(const QString& contents)
{
    if (contents.size() <= 30) return contents;
    qsizetype cut = 30;
    if (contents.at(cut - 1).isHighSurrogate()) --cut; // never half a character
    return contents.left(cut) + u"..."_s;
}

QString CReminder::DisplayName()
{
    if (!m_DisplayName) {
        QString contents = LoadContents();
        // A text that could not be written is still this reminder's text.
        if (contents.isEmpty()) contents = m_Contents;
        m_DisplayName = DisplayNameOf(contents);
    }
    return *m_DisplayName;
}

// ---------------------------------------------------------------------------
// Files

QString CReminder::LoadContents()
{
    // A reminder not yet saved has no files, and gets no identity by being read.
    if (m_Path.isEmpty() && m_UniqueID.isEmpty()) return {};
    QFile f(contentFileName());
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QString text = platform::decodeLegacyText(f.readAll());
    QString result;
    result.reserve(text.size());
    qsizetype i = 0;
    const qsizetype n = text.size();
    // Lines end at CR LF, CR or LF; the last line end ends the last line and
    // starts no other. Empty lines before the first text are dropped.
    while (i < n) {
        qsizetype end = i;
        while (end < n && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        if (!result.isEmpty()) result += u"\r\n"_s;
        result += QStringView(text).mid(i, end - i);
        if (end < n && text[end] == u'\r' && end + 1 < n && text[end + 1] == u'\n') ++end;
        i = end + 1;
    }
    return result;
}

bool CReminder::SaveContents()
{
    const QString path = contentFileName();
    QDir().mkpath(QFileInfo(path).absolutePath());
    m_DisplayName.reset();
    QString text = m_Contents;
    text.replace(u"\r\n"_s, u"\n"_s);
    text.replace(u'\r', u'\n');
    text.replace(u"\n"_s, u"\r\n"_s);
    text += u"\r\n"_s;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(text.toUtf8());
    return f.commit();
}

bool CReminder::Save(bool IncludeContents)
{
    const QString path = FileName();
    // The content file goes first: should the program stop in between, a
    // content file without a reminder file is invisible, while the other way
    // round would list a reminder without its text.
    bool ok = !IncludeContents || SaveContents();
    platform::ProfileFile f;
    f.load(path); // keys are written into the existing file, unknown keys kept
    f.setPath(path);
    f.write(General, u"Version"_s, u"1.0"_s);
    f.write(General, u"When"_s, ReminderDateText(m_When));
    f.write(General, u"Enabled"_s, YesNo(m_Enabled));
    f.write(General, u"LastSignaled"_s, m_LastSignaled.isValid() ? ReminderDateText(m_LastSignaled) : u"0"_s);
    f.write(General, u"Popup"_s, YesNo(m_Popup));
    f.write(General, u"Recurs"_s, NumberText(m_Recurs));
    f.write(General, u"IfLate"_s, NumberText(m_IfLate));
    f.write(Character, u"Gesture"_s, m_Gesture);
    f.write(Character, u"SoundFile"_s, m_SoundFile);
    // Only an every-weekday daily reminder has no interval. The editor keeps
    // the every-weekday choice whatever kind is chosen, so a weekly or monthly
    // reminder may carry it and still needs its interval on file.
    if (m_Recurs != Never && !(m_Recurs == Daily && m_EveryWeekDay))
        f.write(General, u"Every"_s, NumberText(m_Every));
    if (m_Recurs == Daily) f.write(u"Daily"_s, u"EveryWeekDay"_s, YesNo(m_EveryWeekDay));
    if (m_Recurs == Weekly) f.write(u"Weekly"_s, u"Days"_s, m_Days);
    return f.save() && ok;
}

bool CReminder::Load(const QString& Path, const QString& UniqueID)
{
    m_Path = Path;
    m_UniqueID = UniqueID;
    m_DisplayName.reset();
    platform::ProfileFile f;
    // A file of garbage would read as a reminder due now with every default.
    if (!f.load(Path) || f.check().damaged()) return false;
    // The default of a missing "When" is the present moment.
    const std::optional<QDateTime> when = f.hasKey(General, u"When"_s)
                                              ? ParseReminderDate(f.read(General, u"When"_s, QString()))
                                              : std::optional<QDateTime>(platform::now());
    const std::optional<double> recurs = ParseNumber(f.read(General, u"Recurs"_s, u"0"_s));
    const std::optional<double> ifLate = ParseNumber(f.read(General, u"IfLate"_s, u"0"_s));
    // "0", the reminder never alerted, needs no date arithmetic.
    const QString lastText = f.read(General, u"LastSignaled"_s, u"0"_s).trimmed();
    const std::optional<QDateTime> last = lastText == u"0"_s ? QDateTime() : ParseReminderDate(lastText);
    const std::optional<double> every = ParseNumber(f.read(General, u"Every"_s, u"1"_s));
    if (!when || !recurs || !ifLate || !last || !every) return false;

    m_When = *when;
    m_Recurs = WholeNumber(*recurs);
    if (m_Recurs < Never || m_Recurs > Yearly) m_Recurs = Never;
    m_IfLate = WholeNumber(*ifLate);
    if (m_IfLate < RemindAnyway || m_IfLate > OnlyIfRunningThatDay) m_IfLate = RemindAnyway;
    m_Enabled = isExactlyYes(f.read(General, u"Enabled"_s, u"Yes"_s));
    // Day zero at midnight is the "0" of a reminder that never alerted.
    const bool zero = last->isValid() && last->date() == DayZero() && last->time() == QTime(0, 0);
    m_LastSignaled = zero ? QDateTime() : *last;
    m_Popup = isExactlyYes(f.read(General, u"Popup"_s, u"Yes"_s));
    m_EveryWeekDay = isExactlyYes(f.read(u"Daily"_s, u"EveryWeekDay"_s, u"No"_s));
    m_Every = std::max(1, WholeNumber(*every)); // 0 or less would never move the reminder on
    m_Days = f.read(u"Weekly"_s, u"Days"_s, QString());
    m_Gesture = f.read(Character, u"Gesture"_s, QString());
    m_SoundFile = f.read(Character, u"SoundFile"_s, QString());
    return true;
}

void CReminder::DeleteFiles()
{
    if (m_Path.isEmpty() && m_UniqueID.isEmpty()) return;
    QFile::remove(FileName());
    QFile::remove(contentFileName());
}

} // namespace orvella
