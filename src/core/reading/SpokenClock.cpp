#include "core/reading/SpokenClock.h"

#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

bool TimeIsDue(int sayTimeEvery, int minute)
{
    switch (sayTimeEvery) {
    case 0:
        return minute == 0;
    case 1:
        return minute % 30 == 0;
    case 2:
        return minute % 20 == 0;
    case 3:
        return minute % 15 == 0;
    case 4:
        return minute % 10 == 0;
    case 5:
        return minute % 5 == 0;
    case 6:
        return true;
    default:
        return false;
    }
}

QString SpokenTime(const QTime& time, int sayTimeEvery, const QLocale& locale)
{
    const int h12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    const QString designator = time.hour() < 12 ? locale.amText() : locale.pmText();
    QString text = QString::number(h12);
    if (sayTimeEvery != 0) text += u':' + QStringLiteral("%1").arg(time.minute(), 2, 10, QLatin1Char('0'));
    return text + u' ' + designator;
}

void AnnounceTime(SpeechOutput& speech, const QDateTime& now)
{
    const Settings& s = speech.settings();
    if (!s.m_SayTime || !TimeIsDue(s.m_SayTimeEvery, now.time().minute())) return;
    speech.PlayWAVFile(s.m_TimeSoundFile, u"None"_s, false);
    speech.SayAndPlay(s.m_BeforeTime + u' ' + SpokenTime(now.time(), s.m_SayTimeEvery), s.m_TimeGesture, true,
                      false);
}

} // namespace orvella
