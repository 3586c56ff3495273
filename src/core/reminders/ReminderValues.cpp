#include "core/reminders/ReminderValues.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// Hours of a 12-hour clock: 12 AM is midnight, 12 PM noon.
int hourOf(int hour, QStringView designator)
{
    if (designator.isEmpty()) return hour;
    if (hour < 1 || hour > 12) return -1;
    const bool pm = designator.front().toUpper() == u'P';
    return hour % 12 + (pm ? 12 : 0);
}

QTime timeOf(const QRegularExpressionMatch& m, int first)
{
    if (m.capturedView(first).isEmpty()) return QTime(0, 0);
    const int hour = hourOf(m.capturedView(first).toInt(), m.capturedView(first + 3));
    const int seconds = m.capturedView(first + 2).isEmpty() ? 0 : m.capturedView(first + 2).toInt();
    return hour < 0 ? QTime() : QTime(hour, m.capturedView(first + 1).toInt(), seconds);
}

std::optional<QDateTime> dateTimeOf(QDate date, QTime time)
{
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    QDateTime value = LocalDateTime(date, time);
    if (!value.isValid()) return std::nullopt;
    return value;
}

// A time part: hours, minutes, optional seconds, optional AM/PM designator.
#define TIME_PART u"(\\d{1,2}):(\\d{2})(?::(\\d{2}))?(?:\\s*([AaPp])\\.?[Mm]\\.?)?"

} // namespace

QDate DayZero()
{
    return QDate(1899, 12, 30);
}

QDateTime LocalDateTime(QDate date, QTime time)
{
    if (!date.isValid() || !time.isValid()) return {};
    QDateTime value(date, time);
    if (value.isValid()) return value;
    // No gap lasts a day, so the day before at the same time has the offset
    // that was in effect before the change.
    const int before = QDateTime(date.addDays(-1), time).offsetFromUtc();
    return QDateTime(date, time, Qt::OffsetFromUTC, before).toLocalTime();
}

std::optional<QDateTime> ParseReminderDate(const QString& text)
{
    static const QRegularExpression iso(u"^(\\d{4})-(\\d{1,2})-(\\d{1,2})(?:[ T]+" TIME_PART ")?$"_s);
    static const QRegularExpression us(u"^(\\d{1,2})/(\\d{1,2})/(\\d{4})(?:\\s+" TIME_PART ")?$"_s);
    // Files written on Windows in a German-speaking locale; as unambiguous as the others.
    static const QRegularExpression dotted(u"^(\\d{1,2})\\.(\\d{1,2})\\.(\\d{4})(?:\\s+" TIME_PART ")?$"_s);
    static const QRegularExpression timeAlone(u"^" TIME_PART "$"_s);

    const QString t = text.trimmed();
    if (t == u"0"_s) return QDateTime(DayZero(), QTime(0, 0));
    // The form this program writes, read without a pattern: start-up reads two a reminder.
    if (t.size() == 19 && t[4] == u'-' && t[7] == u'-' && t[10] == u' ' && t[13] == u':' && t[16] == u':') {
        const auto part = [&t](qsizetype at, qsizetype n) {
            int value = 0;
            for (qsizetype i = at; i < at + n; ++i) {
                if (t[i] < u'0' || t[i] > u'9') return -1;
                value = value * 10 + (t[i].unicode() - u'0');
            }
            return value;
        };
        return dateTimeOf(QDate(part(0, 4), part(5, 2), part(8, 2)),
                          QTime(part(11, 2), part(14, 2), part(17, 2)));
    }
    QRegularExpressionMatch m = iso.match(t);
    if (m.hasMatch())
        return dateTimeOf(
            QDate(m.capturedView(1).toInt(), m.capturedView(2).toInt(), m.capturedView(3).toInt()),
            timeOf(m, 4));
    m = us.match(t);
    if (m.hasMatch())
        return dateTimeOf(
            QDate(m.capturedView(3).toInt(), m.capturedView(1).toInt(), m.capturedView(2).toInt()),
            timeOf(m, 4));
    m = dotted.match(t);
    if (m.hasMatch())
        return dateTimeOf(
            QDate(m.capturedView(3).toInt(), m.capturedView(2).toInt(), m.capturedView(1).toInt()),
            timeOf(m, 4));
    m = timeAlone.match(t);
    if (m.hasMatch()) return dateTimeOf(DayZero(), timeOf(m, 1));
    return std::nullopt;
}

#undef TIME_PART

QString ReminderDateText(const QDateTime& value)
{
    return value.toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

std::optional<double> ParseNumber(const QString& text)
{
    // Bare digits, as this program writes numbers, read without a pattern.
    if (!text.isEmpty() && text.size() <= 9 &&
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return double(text.toInt());
    static const QRegularExpression number(u"^\\s*([+-]?(?:\\d+(?:\\.\\d*)?|\\.\\d+))\\s*$"_s);
    const QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch()) return std::nullopt;
    bool ok = false;
    const double value = m.capturedView(1).toDouble(&ok);
    if (!ok) // more digits than a double holds: still a number, just a huge one
        return m.capturedView(1).startsWith(u'-') ? -std::numeric_limits<double>::infinity()
                                                  : std::numeric_limits<double>::infinity();
    return value;
}

int WholeNumber(double value)
{
    if (std::isnan(value)) return 0;
    const double rounded = std::nearbyint(value); // the default rounding mode is halves to even
    if (rounded >= double(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (rounded <= double(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return int(rounded);
}

int WeekdayNumber(QDate date)
{
    return date.dayOfWeek() % 7 + 1;
}

QDate WeekStart(QDate date)
{
    return date.addDays(1 - WeekdayNumber(date));
}

QList<int> ParseWeekdays(const QString& days)
{
    QList<int> out;
    for (QStringView part : QStringView(days).split(u',')) {
        bool ok = false;
        const int day = part.trimmed().toInt(&ok);
        if (ok && day >= 1 && day <= 7 && !out.contains(day)) out.append(day);
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace orvella
