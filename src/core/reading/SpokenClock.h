#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace orvella {

class SpeechOutput;

// Whether the time is said at this minute of the hour: sayTimeEvery 0 on the
// hour, 1..5 every 30, 20, 15, 10, 5 minutes, 6 every minute, other never.
bool TimeIsDue(int sayTimeEvery, int minute);
// "3 PM" on the hour setting, else "3:05 PM", with the locale's designators.
QString SpokenTime(const QTime& time, int sayTimeEvery, const QLocale& locale = QLocale());
// Plays the clock sound and says the time when the user asked for it at this minute.
void AnnounceTime(SpeechOutput& speech, const QDateTime& now);

} // namespace orvella
