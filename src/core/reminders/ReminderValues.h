#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

// The text forms of the values in reminder files, and the calendar arithmetic
// the reminders share.
namespace orvella {

// The date a value without a date part stands for (the "0" of "LastSignaled",
// or a time alone): 30 December 1899, the day numbered 0 in files written on
// Windows.
QDate DayZero();

// The local moment of a wall-clock date and time. A time the clocks skip (the
// hour lost when summer time starts) has no moment of its own; it is taken in
// the offset before the change, which lands one hour on: 02:30 becomes 03:30.
QDateTime LocalDateTime(QDate date, QTime time);

// A date value of a reminder file, whatever the locale: "yyyy-MM-dd HH:mm:ss",
// "yyyy-MM-dd" (midnight), the US general date forms "M/d/yyyy h:mm:ss AP" and
// "M/d/yyyy" that files written on Windows hold, and a time alone
// ("h:mm:ss AP" or "HH:mm:ss") on DayZero. "0" is DayZero at midnight.
// Nothing for text that is no date.
std::optional<QDateTime> ParseReminderDate(const QString& text);
// "yyyy-MM-dd HH:mm:ss" in local time, whatever the locale.
QString ReminderDateText(const QDateTime& value);

// A number as the reminder files and the editor's interval boxes hold it:
// blanks around it, an optional sign, digits and an optional fraction. Nothing
// for anything else, an empty text included.
std::optional<double> ParseNumber(const QString& text);
// The number rounded to the nearest whole number (halves to even) and held
// within 32 bits.
int WholeNumber(double value);

// 1 Sunday .. 7 Saturday, the weekday numbers of the weekly reminders.
int WeekdayNumber(QDate date);
// The Sunday that starts the week of date: the reminders' weeks start on Sunday.
QDate WeekStart(QDate date);
// The weekday numbers (1 to 7) of a "Days" value such as "2,4,6", ascending,
// each once; anything else in the text is passed over.
QList<int> ParseWeekdays(const QString& days);

} // namespace orvella
