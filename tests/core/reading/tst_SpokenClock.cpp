#include "app/CommandLine.h"
#include "core/OrvellaCore.h"
#include "core/mail/Account.h"
#include "core/mail/MailCheckCycle.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "gui/MainWindow.h"
#include "gui/TrayIcon.h"
#include "gui/dialogs/NoticeWindow.h"
#include "platform/Clock.h"
#include "platform/ProfileFile.h"
#include "support/AppRig.h"
#include "support/FakeAgent.h"
#include "support/ProgramFolder.h"
#include "support/Widgets.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using orvella::test::child;
using namespace orvella;

// The minute tick of the main window: the spoken time at each setting, the
// clock sound before it, the re-arming to the next whole minute, and the mail
// tick that runs whether the time is said or not. The window runs in-process
// with a recording character and a chosen time of day.
class tst_SpokenClock : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void minuteTick_data();
    void minuteTick();

private:
    std::unique_ptr<test::ProgramFolder> m_folder;
    test::AppRig m_tray;
    QList<ShownMessage> m_messages;
};

void tst_SpokenClock::initTestCase()
{
    // "AM" and "PM" whatever the machine's own locale says.
    QLocale::setDefault(QLocale::c());
}

void tst_SpokenClock::init()
{
    m_folder = std::make_unique<test::ProgramFolder>(test::ProgramFolder::Homes::Private);
    test::ProgramFolder::resetProgram();
    m_folder->writeCharacter();
    // A configured dial-up account: the mail tick has something to decide.
    m_folder->writeIni(
        "[Account]\r\nConnectionType=1\r\nPOPServer=pop.example.test\r\nAccountName=bob\r\nPassword=" +
        Account::Scramble(u"secret"_s).toLatin1() + "\r\n");
    m_messages.clear();
    setShowMessageRecorder(&m_messages);

    m_tray = test::AppRig();
    QVERIFY(m_tray.load(CommandLine::parse({u"-AUTOSTART"_s, u"-D"_s, m_folder->path()})));
    // The test ticks by hand.
    m_tray->mainWindow()->timer1()->stop();
}

void tst_SpokenClock::cleanup()
{
    if (m_tray) m_tray->unload();
    m_tray.reset();
    platform::setClockOverride({});
    setShowMessageRecorder(nullptr);
}

void tst_SpokenClock::minuteTick_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<int>("sayTimeEvery");
    QTest::addColumn<bool>("sayTime");
    QTest::addColumn<QString>("beforeTime");
    QTest::addColumn<QString>("spoken"); // empty: nothing played or said

    const QString before = u"The time now is"_s;
    QTest::newRow("Hour at 15:00") << QTime(15, 0) << 0 << true << before << u"The time now is 3 PM"_s;
    QTest::newRow("Hour at 15:30") << QTime(15, 30) << 0 << true << before << QString();
    QTest::newRow("Hour at midnight") << QTime(0, 0) << 0 << true << before << u"The time now is 12 AM"_s;
    QTest::newRow("Hour at noon") << QTime(12, 0) << 0 << true << before << u"The time now is 12 PM"_s;
    QTest::newRow("30 Minutes at 9:30")
        << QTime(9, 30) << 1 << true << before << u"The time now is 9:30 AM"_s;
    QTest::newRow("30 Minutes at 9:20") << QTime(9, 20) << 1 << true << before << QString();
    QTest::newRow("20 Minutes at :00") << QTime(9, 0) << 2 << true << before << u"The time now is 9:00 AM"_s;
    QTest::newRow("20 Minutes at :20") << QTime(9, 20) << 2 << true << before << u"The time now is 9:20 AM"_s;
    QTest::newRow("20 Minutes at :40")
        << QTime(21, 40) << 2 << true << before << u"The time now is 9:40 PM"_s;
    QTest::newRow("20 Minutes at :30") << QTime(21, 30) << 2 << true << before << QString();
    QTest::newRow("20 Minutes at :10") << QTime(21, 10) << 2 << true << before << QString();
    QTest::newRow("15 Minutes at :45")
        << QTime(10, 45) << 3 << true << before << u"The time now is 10:45 AM"_s;
    QTest::newRow("15 Minutes at :50") << QTime(10, 50) << 3 << true << before << QString();
    QTest::newRow("10 Minutes at :50")
        << QTime(10, 50) << 4 << true << before << u"The time now is 10:50 AM"_s;
    QTest::newRow("5 Minutes at :55")
        << QTime(23, 55) << 5 << true << before << u"The time now is 11:55 PM"_s;
    QTest::newRow("5 Minutes at :56") << QTime(23, 56) << 5 << true << before << QString();
    QTest::newRow("Minute at 15:05") << QTime(15, 5) << 6 << true << before << u"The time now is 3:05 PM"_s;
    QTest::newRow("Minute at 0:01") << QTime(0, 1) << 6 << true << before << u"The time now is 12:01 AM"_s;
    QTest::newRow("Minute, late in the minute")
        << QTime(15, 6, 45) << 6 << true << before << u"The time now is 3:06 PM"_s;
    QTest::newRow("Minute, last second")
        << QTime(15, 7, 59) << 6 << true << before << u"The time now is 3:07 PM"_s;
    QTest::newRow("time not announced") << QTime(15, 0) << 0 << false << before << QString();
    QTest::newRow("time not announced, every minute") << QTime(15, 1) << 6 << false << before << QString();
    QTest::newRow("empty text before the time") << QTime(15, 0) << 0 << true << QString() << u" 3 PM"_s;
}

void tst_SpokenClock::minuteTick()
{
    QFETCH(QTime, time);
    QFETCH(int, sayTimeEvery);
    QFETCH(bool, sayTime);
    QFETCH(QString, beforeTime);
    QFETCH(QString, spoken);

    MainWindow* main = m_tray->mainWindow();
    Settings& s = main->settings();
    s.m_SayTime = sayTime;
    s.m_SayTimeEvery = sayTimeEvery;
    s.m_BeforeTime = beforeTime;
    const QString sound = m_folder->filePath(u"tick.wav"_s);
    QFile wav(sound);
    QVERIFY(wav.open(QIODevice::WriteOnly));
    wav.write("RIFF");
    wav.close();
    s.m_TimeSoundFile = sound;
    // Offline on dial-up: a mail tick that runs says so in the status bar.
    main->cycle()->setNetworkProbe([] { return false; });
    child<QLabel>(main, u"statusConnection"_s)->clear();
    auto* agent = static_cast<test::FakeAgent*>(main->agent());
    agent->takeCalls();

    platform::setClockOverride([time] { return QDateTime(QDate(2026, 3, 2), time); });
    main->onMinuteTick();

    // The clock sound first, then the gesture and the text.
    QStringList heard;
    for (const QString& call : agent->calls)
        if (call.startsWith(u"SpeakFile("_s) || call.startsWith(u"Speak("_s) || call.startsWith(u"Play("_s))
            heard << call;
    if (spoken.isNull()) {
        QCOMPARE(agent->calls, QStringList());
    } else {
        QCOMPARE(heard.size(), 3);
        QCOMPARE(heard[0], u"SpeakFile("_s + sound + u')');
        QCOMPARE(heard[1], u"Play(Announce)"_s);
        // The voice's tags come first; the text follows as it stands.
        static const QRegularExpression speech(uR"(^Speak\((?:\\(?:Pit|Spd|Chr)=[^\\]*\\)*(.*)\)$)"_s);
        const QRegularExpressionMatch m = speech.match(heard[2]);
        QVERIFY2(m.hasMatch(), qPrintable(heard[2]));
        QCOMPARE(m.captured(1), spoken);
    }

    // The next tick falls on the next whole minute.
    QCOMPARE(main->timer1()->interval(), (60 - time.second()) * 1000);
    // The mail tick ran, said or not.
    QCOMPARE(child<QLabel>(main, u"statusConnection"_s)->text(), u"Offline"_s);
    QVERIFY(!main->cycle()->running());
}

QTEST_MAIN(tst_SpokenClock)
#include "tst_SpokenClock.moc"
