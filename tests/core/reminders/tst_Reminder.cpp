#include "support/ReminderFixture.h"
#include "support/Widgets.h"

#include "core/reminders/Reminder.h"
#include "core/reminders/ReminderValues.h"

#include <QApplication>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::test::child;
using namespace orvella;
using orvella::test::at;
using orvella::test::ReminderFixture;

namespace {

// One minute tick of a walk: the moment, whether the reminder spoke, whether
// it counted as alerted (the time of the last alert became this moment), and
// its due time afterwards.
struct Step
{
    QDateTime moment;
    bool spoke = false;
    bool alerted = false;
    QDateTime whenAfter;
};
using Steps = QList<Step>;

Step spoke(const QString& moment, const QString& whenAfter)
{
    return {at(moment), true, true, at(whenAfter)};
}
Step silentAlert(const QString& moment, const QString& whenAfter)
{
    return {at(moment), false, true, at(whenAfter)};
}
Step nothing(const QString& moment, const QString& whenAfter)
{
    return {at(moment), false, false, at(whenAfter)};
}

struct Setup
{
    int recurs = Reminder::Never;
    int every = 1;
    bool everyWeekDay = false;
    QString days;
    int ifLate = Reminder::RemindAnyway;
    bool enabled = true;
};

} // namespace

Q_DECLARE_METATYPE(Steps)
Q_DECLARE_METATYPE(Setup)

class tst_Reminder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void walk_data();
    void walk();
    void oneTimeAlertIsWrittenToItsFile();
    void popupWindows();
    void sayPlaysSoundThenSpeaks();
    void missingContentsStillPlaySoundAndGesture();
    void setCurrentRoundedHour_data();
    void setCurrentRoundedHour();
    void identity();
    void displayName();
    void formatedWhen_data();
    void formatedWhen();
};

void tst_Reminder::initTestCase()
{
    QVERIFY2(test::useBerlinTime(), "the time zone Europe/Berlin is needed (package tzdata)");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_Reminder::walk_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<Steps>("steps");

    const Setup once;
    Setup daily3{Reminder::Daily, 3};
    QTest::newRow("one-time at 10:00") << once << at(u"2024-05-06 10:00"_s)
                                       << Steps{nothing(u"2024-05-06 09:59"_s, u"2024-05-06 10:00"_s),
                                                spoke(u"2024-05-06 10:00"_s, u"2024-05-06 10:00"_s),
                                                nothing(u"2024-05-06 10:01"_s, u"2024-05-06 10:00"_s),
                                                nothing(u"2024-05-07 10:00"_s, u"2024-05-06 10:00"_s)};
    QTest::newRow("every 3 days") << daily3 << at(u"2024-05-01 08:00"_s)
                                  << Steps{nothing(u"2024-05-01 07:59"_s, u"2024-05-01 08:00"_s),
                                           spoke(u"2024-05-01 08:00"_s, u"2024-05-04 08:00"_s),
                                           nothing(u"2024-05-02 08:00"_s, u"2024-05-04 08:00"_s),
                                           spoke(u"2024-05-04 08:00"_s, u"2024-05-07 08:00"_s)};
    QTest::newRow("every 3 days, not running for days, remind me anyway")
        << daily3 << at(u"2024-05-01 08:00"_s)
        << Steps{spoke(u"2024-05-01 08:00"_s, u"2024-05-04 08:00"_s),
                 spoke(u"2024-05-10 09:00"_s, u"2024-05-13 08:00"_s),
                 nothing(u"2024-05-10 09:01"_s, u"2024-05-13 08:00"_s)};
    Setup daily3OnlyIfRunning = daily3;
    daily3OnlyIfRunning.ifLate = Reminder::OnlyIfRunningThatDay;
    QTest::newRow("every 3 days, not running for days, only if running on that day")
        << daily3OnlyIfRunning << at(u"2024-05-01 08:00"_s)
        << Steps{spoke(u"2024-05-01 08:00"_s, u"2024-05-04 08:00"_s),
                 silentAlert(u"2024-05-10 09:00"_s, u"2024-05-13 08:00"_s),
                 spoke(u"2024-05-13 08:00"_s, u"2024-05-16 08:00"_s)};
    // Only if running on that day does not hold back a weekday reminder, whose date is long past.
    const Setup weekdays{Reminder::Daily, 1, true, QString(), Reminder::OnlyIfRunningThatDay};
    QTest::newRow("every weekday at 09:00") << weekdays << at(u"2024-04-01 09:00"_s)
                                            << Steps{nothing(u"2024-05-06 08:59"_s, u"2024-04-01 09:00"_s),
                                                     spoke(u"2024-05-06 09:00"_s, u"2024-04-01 09:00"_s),
                                                     nothing(u"2024-05-06 09:30"_s, u"2024-04-01 09:00"_s),
                                                     spoke(u"2024-05-07 09:10"_s, u"2024-04-01 09:00"_s),
                                                     spoke(u"2024-05-10 09:00"_s, u"2024-04-01 09:00"_s),
                                                     nothing(u"2024-05-11 09:00"_s, u"2024-04-01 09:00"_s),
                                                     nothing(u"2024-05-12 09:00"_s, u"2024-04-01 09:00"_s),
                                                     spoke(u"2024-05-13 09:00"_s, u"2024-04-01 09:00"_s)};
    const Setup monWed2{Reminder::Weekly, 2, false, u"2,4"_s};
    QTest::newRow("every 2 weeks on Monday and Wednesday")
        << monWed2 << at(u"2024-05-06 09:00"_s)
        << Steps{spoke(u"2024-05-06 09:00"_s, u"2024-05-06 09:00"_s),
                 nothing(u"2024-05-07 09:00"_s, u"2024-05-06 09:00"_s),
                 nothing(u"2024-05-08 08:59"_s, u"2024-05-06 09:00"_s),
                 spoke(u"2024-05-08 09:00"_s, u"2024-05-20 09:00"_s),
                 nothing(u"2024-05-13 09:00"_s, u"2024-05-20 09:00"_s),
                 nothing(u"2024-05-15 09:00"_s, u"2024-05-20 09:00"_s),
                 spoke(u"2024-05-20 09:00"_s, u"2024-05-20 09:00"_s),
                 spoke(u"2024-05-22 09:00"_s, u"2024-06-03 09:00"_s)};
    QTest::newRow("every 2 weeks on Monday and Wednesday, made on the Thursday after")
        << monWed2 << at(u"2024-05-09 09:00"_s)
        << Steps{nothing(u"2024-05-09 09:00"_s, u"2024-05-23 09:00"_s),
                 nothing(u"2024-05-13 09:00"_s, u"2024-05-23 09:00"_s),
                 nothing(u"2024-05-15 09:00"_s, u"2024-05-23 09:00"_s),
                 spoke(u"2024-05-20 09:00"_s, u"2024-05-23 09:00"_s),
                 spoke(u"2024-05-22 09:00"_s, u"2024-06-06 09:00"_s)};
    const Setup monWed{Reminder::Weekly, 1, false, u"2,4"_s};
    QTest::newRow("weekly on Monday and Wednesday, weeks passed unchecked")
        << monWed << at(u"2024-05-06 09:00"_s)
        << Steps{spoke(u"2024-05-20 10:00"_s, u"2024-05-20 09:00"_s),
                 spoke(u"2024-05-22 09:00"_s, u"2024-05-27 09:00"_s)};
    QTest::newRow("weekly on Monday and Wednesday, the week that holds New Year")
        << monWed << at(u"2024-12-30 09:00"_s)
        << Steps{spoke(u"2024-12-30 09:00"_s, u"2024-12-30 09:00"_s),
                 spoke(u"2025-01-01 09:00"_s, u"2025-01-06 09:00"_s)};
    QTest::newRow("weekly without days, over the year end")
        << Setup{Reminder::Weekly} << at(u"2024-12-28 18:00"_s)
        << Steps{spoke(u"2024-12-28 18:00"_s, u"2025-01-04 18:00"_s),
                 nothing(u"2024-12-31 18:00"_s, u"2025-01-04 18:00"_s)};
    QTest::newRow("daily over 28 February of a leap year")
        << Setup{Reminder::Daily} << at(u"2024-02-28 20:00"_s)
        << Steps{spoke(u"2024-02-28 20:00"_s, u"2024-02-29 20:00"_s),
                 spoke(u"2024-02-29 20:00"_s, u"2024-03-01 20:00"_s)};
    QTest::newRow("daily over the year end") << Setup{Reminder::Daily} << at(u"2024-12-31 22:00"_s)
                                             << Steps{spoke(u"2024-12-31 22:00"_s, u"2025-01-01 22:00"_s)};
    QTest::newRow("monthly on 31 January of a leap year")
        << Setup{Reminder::Monthly} << at(u"2024-01-31 09:00"_s)
        << Steps{spoke(u"2024-01-31 09:00"_s, u"2024-02-29 09:00"_s),
                 spoke(u"2024-02-29 09:00"_s, u"2024-03-29 09:00"_s)};
    QTest::newRow("monthly on 31 January") << Setup{Reminder::Monthly} << at(u"2023-01-31 09:00"_s)
                                           << Steps{spoke(u"2023-01-31 09:00"_s, u"2023-02-28 09:00"_s)};
    QTest::newRow("every 2 months from 31 December")
        << Setup{Reminder::Monthly, 2} << at(u"2023-12-31 09:00"_s)
        << Steps{spoke(u"2023-12-31 09:00"_s, u"2024-02-29 09:00"_s)};
    QTest::newRow("monthly, not running for a year")
        << Setup{Reminder::Monthly} << at(u"2023-03-15 09:00"_s)
        << Steps{spoke(u"2024-05-20 10:00"_s, u"2024-06-15 09:00"_s)};
    QTest::newRow("yearly, whatever the interval")
        << Setup{Reminder::Yearly, 5} << at(u"2024-03-15 09:00"_s)
        << Steps{spoke(u"2024-03-15 09:00"_s, u"2025-03-15 09:00"_s)};
    QTest::newRow("yearly on 29 February") << Setup{Reminder::Yearly} << at(u"2024-02-29 09:00"_s)
                                           << Steps{spoke(u"2024-02-29 09:00"_s, u"2025-02-28 09:00"_s)};
    QTest::newRow("disabled") << Setup{Reminder::Daily, 1, false, QString(), Reminder::RemindAnyway, false}
                              << at(u"2024-05-06 10:00"_s)
                              << Steps{nothing(u"2024-05-06 10:00"_s, u"2024-05-06 10:00"_s),
                                       nothing(u"2024-06-06 10:00"_s, u"2024-05-06 10:00"_s)};
    QTest::newRow("a stored interval of 0 counts as 1")
        << Setup{Reminder::Daily, 0} << at(u"2024-05-01 08:00"_s)
        << Steps{spoke(u"2024-05-01 08:00"_s, u"2024-05-02 08:00"_s)};
    QTest::newRow("daily over the start of summer time")
        << Setup{Reminder::Daily} << at(u"2024-03-30 08:00"_s)
        << Steps{spoke(u"2024-03-30 08:00"_s, u"2024-03-31 08:00"_s),
                 nothing(u"2024-03-31 07:59"_s, u"2024-03-31 08:00"_s),
                 spoke(u"2024-03-31 08:00"_s, u"2024-04-01 08:00"_s)};
    QTest::newRow("daily over the end of summer time")
        << Setup{Reminder::Daily} << at(u"2024-10-26 08:00"_s)
        << Steps{spoke(u"2024-10-26 08:00"_s, u"2024-10-27 08:00"_s),
                 spoke(u"2024-10-27 08:00"_s, u"2024-10-28 08:00"_s)};
    QTest::newRow("daily at 02:30, the hour the clocks skip comes an hour on")
        << Setup{Reminder::Daily} << at(u"2024-03-30 02:30"_s)
        << Steps{spoke(u"2024-03-30 02:30"_s, u"2024-03-31 03:30"_s),
                 spoke(u"2024-03-31 03:30"_s, u"2024-04-01 03:30"_s)};
    // 02:30 comes twice on 27 October; a one-time reminder speaks at the first.
    const QDateTime secondHalfPastTwo = QDateTime(QDate(2024, 10, 27), QTime(1, 30), Qt::UTC).toLocalTime();
    QTest::newRow("one-time in the hour that repeats")
        << once << at(u"2024-10-27 02:30"_s)
        << Steps{spoke(u"2024-10-27 02:30"_s, u"2024-10-27 02:30"_s),
                 Step{secondHalfPastTwo, false, false, at(u"2024-10-27 02:30"_s)}};
}

void tst_Reminder::walk()
{
    QFETCH(Setup, setup);
    QFETCH(QDateTime, when);
    QFETCH(Steps, steps);
    ReminderFixture fx;
    auto r = fx.makeSaved(u"Take the pills"_s, when, setup.recurs, setup.every);
    r->m_EveryWeekDay = setup.everyWeekDay;
    r->m_Days = setup.days;
    r->m_IfLate = setup.ifLate;
    r->m_Enabled = setup.enabled;
    fx.agent.takeCalls();

    for (const Step& step : std::as_const(steps)) {
        const QString where = step.moment.toString(u"ddd yyyy-MM-dd HH:mm t"_s);
        const QDateTime before = r->m_When;
        const QDateTime lastBefore = r->lastSignaled();
        fx.setNow(step.moment);
        r->Check(fx.alert, step.moment);
        const QStringList spoken = fx.takeSpoken();
        QVERIFY2(spoken == (step.spoke ? QStringList{u"Take the pills"_s} : QStringList{}),
                 qPrintable(where + u": spoke "_s + spoken.join(u'|')));
        QVERIFY2(r->lastSignaled() == (step.alerted ? step.moment : lastBefore), qPrintable(where));
        QVERIFY2(r->m_When == step.whenAfter,
                 qPrintable(where + u": due "_s + r->m_When.toString(u"yyyy-MM-dd HH:mm t"_s)));
        QVERIFY2(r->m_ReSched == (before != r->m_When), qPrintable(where));
    }
}

void tst_Reminder::oneTimeAlertIsWrittenToItsFile()
{
    ReminderFixture fx;
    auto r = fx.makeSaved(u"Dentist"_s, at(u"2024-05-06 10:00"_s));
    r->Check(fx.alert, at(u"2024-05-06 10:00:00"_s));
    QVERIFY(fx.readFile(r->m_UniqueID + u".rmn"_s).contains("LastSignaled=2024-05-06 10:00:00\r\n"));

    // A restart does not bring it back.
    Reminder again;
    QVERIFY(again.Load(r->FileName(), r->m_UniqueID));
    fx.agent.takeCalls();
    again.Check(fx.alert, at(u"2024-05-06 10:05"_s));
    QVERIFY(fx.takeSpoken().isEmpty());
}

void tst_Reminder::popupWindows()
{
    ReminderFixture fx;
    auto a = fx.makeSaved(u"Stand up\r\nand stretch"_s, at(u"2024-05-06 10:00"_s), Reminder::Daily);
    auto b = fx.makeSaved(u"Water the plants"_s, at(u"2024-05-06 10:00"_s), Reminder::Daily);
    a->m_Popup = true;
    b->m_Popup = true;
    a->Check(fx.alert, at(u"2024-05-06 10:00"_s));
    b->Check(fx.alert, at(u"2024-05-06 10:00"_s));
    QCOMPARE(fx.windows.size(), 2);
    auto* first = qobject_cast<ReminderAlert*>(a->window());
    QVERIFY(first && first->isVisible() && !first->isModal());
    QCOMPARE(child<QPlainTextEdit>(first, u"txtReminder"_s)->toPlainText(), u"Stand up\nand stretch"_s);

    // The next alert replaces the reminder's own window; the other reminder's stays.
    a->Check(fx.alert, at(u"2024-05-07 10:00"_s));
    QTRY_VERIFY(!fx.windows[0]);
    QVERIFY(fx.windows[1] && fx.windows[1]->isVisible());
    QVERIFY(fx.windows[2] && fx.windows[2]->isVisible());
    QCOMPARE(a->window(), fx.windows[2].data());

    // Going away closes its window.
    a.reset();
    QVERIFY(!fx.windows[2]);
    QVERIFY(fx.windows[1]);

    // Without the window option it speaks and shows nothing.
    b->m_Popup = false;
    fx.agent.takeCalls();
    b->Check(fx.alert, at(u"2024-05-07 10:00"_s));
    QCOMPARE(fx.takeSpoken(), QStringList{u"Water the plants"_s});
    QCOMPARE(fx.windows.size(), 3);
}

void tst_Reminder::sayPlaysSoundThenSpeaks()
{
    ReminderFixture fx;
    const QString sound = fx.dir.filePath(u"chime.wav"_s);
    QFile(sound).open(QIODevice::WriteOnly);
    auto r = fx.makeSaved(u"Meeting"_s, at(u"2024-05-06 10:00"_s));
    r->m_SoundFile = sound;
    r->m_Gesture = u"Wave"_s;
    fx.agent.takeCalls();
    r->Say(fx.speech.get());
    const QStringList calls = fx.agent.takeCalls();
    QCOMPARE(calls.filter(u"SpeakFile"_s), QStringList{u"SpeakFile(%1)"_s.arg(sound)});
    const QStringList speech = calls.filter(u"Speak("_s);
    QCOMPARE(speech.size(), 1);
    QVERIFY(speech.constFirst().endsWith(u"Meeting)"_s));
    QVERIFY(calls.indexOf(u"SpeakFile(%1)"_s.arg(sound)) < calls.indexOf(u"Play(Wave)"_s));
    QVERIFY(calls.indexOf(u"Play(Wave)"_s) < calls.indexOf(speech.constFirst()));
    QCOMPARE(r->m_Contents, u"Meeting"_s);
    QVERIFY(!r->lastSignaled().isValid()); // reading aloud is no alert

    // Speech is not held back by the silent behaviour either.
    fx.settings->m_Behavior = 3;
    r->Say(fx.speech.get());
    QCOMPARE(fx.takeSpoken(), QStringList{u"Meeting"_s});
}

void tst_Reminder::missingContentsStillPlaySoundAndGesture()
{
    ReminderFixture fx;
    const QString sound = fx.dir.filePath(u"chime.wav"_s);
    QFile(sound).open(QIODevice::WriteOnly);
    auto r = fx.makeSaved(u"Gone"_s, at(u"2024-05-06 10:00"_s));
    r->m_SoundFile = sound;
    r->m_Gesture = u"Wave"_s;
    QVERIFY(QFile::remove(r->contentFileName()));
    fx.agent.takeCalls();
    r->Check(fx.alert, at(u"2024-05-06 10:00"_s));
    const QStringList calls = fx.agent.takeCalls();
    QVERIFY(calls.contains(u"SpeakFile(%1)"_s.arg(sound)));
    QVERIFY(calls.contains(u"Play(Wave)"_s));
    QVERIFY(r->lastSignaled().isValid());
}

void tst_Reminder::setCurrentRoundedHour_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QDateTime>("expected");
    QTest::newRow("14:37") << at(u"2024-05-06 14:37:12"_s) << at(u"2024-05-06 15:00"_s);
    QTest::newRow("on the hour") << at(u"2024-05-06 09:00"_s) << at(u"2024-05-06 10:00"_s);
    QTest::newRow("just after midnight") << at(u"2024-05-06 00:00"_s) << at(u"2024-05-06 01:00"_s);
    QTest::newRow("23:20 gives midnight of the next day")
        << at(u"2024-05-06 23:20"_s) << at(u"2024-05-07 00:00"_s);
    QTest::newRow("23:59 on New Year's Eve") << at(u"2024-12-31 23:59"_s) << at(u"2025-01-01 00:00"_s);
    QTest::newRow("before the hour the clocks skip")
        << at(u"2024-03-31 01:30"_s) << at(u"2024-03-31 03:00"_s);
}

void tst_Reminder::setCurrentRoundedHour()
{
    QFETCH(QDateTime, now);
    QFETCH(QDateTime, expected);
    ReminderFixture fx;
    fx.setNow(now);
    Reminder r;
    QCOMPARE(r.m_When, now);
    r.SetCurrentRoundedHour();
    QCOMPARE(r.m_When, expected);
}

void tst_Reminder::identity()
{
    ReminderFixture fx;
    fx.setNow(at(u"2024-05-06 10:00:00"_s).addMSecs(400));
    Reminder first;
    first.m_Contents = u"one"_s;
    QVERIFY(first.LoadContents().isEmpty());
    QVERIFY2(first.m_UniqueID.isEmpty(), "reading a new reminder gives it no identity");
    QVERIFY(first.Save(true));
    QCOMPARE(first.m_UniqueID, u"36000"_s);
    QVERIFY(QFile::exists(fx.remindersFolder() + u"/36000.rmn"_s));
    QVERIFY(QFile::exists(fx.remindersFolder() + u"/36000.rmn.content"_s));

    // The same second again: a random digit tells them apart.
    Reminder second;
    second.m_Contents = u"two"_s;
    QVERIFY(second.Save(true));
    QVERIFY(second.m_UniqueID.startsWith(u"36000"_s));
    QCOMPARE(second.m_UniqueID.size(), 6);

    // An identity, once made, stays.
    fx.setNow(at(u"2024-05-06 11:00"_s));
    QVERIFY(first.Save(false));
    QCOMPARE(first.m_UniqueID, u"36000"_s);

    first.DeleteFiles();
    QVERIFY(!QFile::exists(fx.remindersFolder() + u"/36000.rmn"_s));
    QVERIFY(!QFile::exists(fx.remindersFolder() + u"/36000.rmn.content"_s));
    first.DeleteFiles(); // files already gone: no harm
}

void tst_Reminder::displayName()
{
    ReminderFixture fx;
    const QString thirty = u"Buy milk, bread, eggs and tea"_s + u'!';
    QCOMPARE(thirty.size(), 30);
    auto r = fx.makeSaved(thirty, at(u"2024-05-06 10:00"_s));
    QCOMPARE(r->DisplayName(), thirty);
    r->m_Contents = thirty + u'?';
    QVERIFY(r->Save(false));
    QCOMPARE(r->DisplayName(), thirty); // kept until the contents are saved
    QVERIFY(r->Save(true));
    QCOMPARE(r->DisplayName(), thirty + u"..."_s);
    QCOMPARE(Reminder::DisplayNameOf(QString(29, u'a') + u"\U0001F600x"_s), QString(29, u'a') + u"..."_s);
}

void tst_Reminder::formatedWhen_data()
{
    QTest::addColumn<int>("recurs");
    QTest::addColumn<bool>("everyWeekDay");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("expected");
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("never") << 0 << false << us << u"5/6/2024 03:05 PM"_s;
    QTest::newRow("every 3 days") << 1 << false << us << u"5/6/2024 03:05 PM, Every 3 day(s)"_s;
    QTest::newRow("every weekday") << 1 << true << us << u"Weekdays at 03:05 PM"_s;
    QTest::newRow("weekly") << 2 << false << us << u"5/6/2024 03:05 PM, Every 3 week(s)"_s;
    QTest::newRow("monthly") << 3 << false << us << u"5/6/2024 03:05 PM, Every 3 month(s)"_s;
    QTest::newRow("yearly") << 4 << false << us << u"5/6/2024 03:05 PM, Annually"_s;
    QTest::newRow("German date") << 3 << false << QLocale(QLocale::German, QLocale::Germany)
                                 << u"06.05.2024 03:05 PM, Every 3 month(s)"_s;
}

void tst_Reminder::formatedWhen()
{
    QFETCH(int, recurs);
    QFETCH(bool, everyWeekDay);
    QFETCH(QLocale, locale);
    QFETCH(QString, expected);
    ReminderFixture fx;
    Reminder r;
    r.m_When = at(u"2024-05-06 15:05"_s);
    r.m_Recurs = recurs;
    r.m_EveryWeekDay = everyWeekDay;
    r.m_Every = 3;
    QCOMPARE(r.FormatedWhen(locale), expected);
    QCOMPARE(r.SortedWhen(), u"2024/05/06  15:05"_s);
}

QTEST_MAIN(tst_Reminder)
#include "tst_Reminder.moc"
