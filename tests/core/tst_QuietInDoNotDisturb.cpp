// The minute tick while the desktop is in Do Not Disturb (a notification
// server on a private session bus whose Inhibited property is set): the
// clock keeps quiet, a reminder still speaks unless the settings extend the
// quiet to reminders, and the switch on the General page turns it all off.
#include "core/OrvellaCore.h"
#include "core/reminders/Reminder.h"
#include "core/settings/Settings.h"
#include "platform/Clock.h"
#include "support/FakeAgent.h"
#include "support/NotificationServer.h"
#include "support/ProgramFolder.h"
#include "support/RecordingUserInterface.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;
using orvella::test::NotificationServer;
using orvella::test::RecordingUserInterface;

namespace {
const QDateTime Noon(QDate(2026, 3, 2), QTime(12, 0, 0));
} // namespace

class tst_QuietInDoNotDisturb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void minuteTick_data();
    void minuteTick();
};

void tst_QuietInDoNotDisturb::minuteTick_data()
{
    QTest::addColumn<bool>("inhibited");
    QTest::addColumn<QByteArray>("settings"); // [General] lines
    QTest::addColumn<bool>("clockSpeaks");
    QTest::addColumn<bool>("reminderSpeaks");
    QTest::newRow("not in Do Not Disturb") << false << QByteArray() << true << true;
    QTest::newRow("Do Not Disturb, as set up") << true << QByteArray() << false << true;
    QTest::newRow("reminders quiet too")
        << true << QByteArray("RemindersQuietInDoNotDisturb=Yes\r\n") << false << false;
    QTest::newRow("switched off") << true
                                  << QByteArray(
                                         "QuietInDoNotDisturb=No\r\nRemindersQuietInDoNotDisturb=Yes\r\n")
                                  << true << true;
}

void tst_QuietInDoNotDisturb::minuteTick()
{
    QFETCH(bool, inhibited);
    QFETCH(QByteArray, settings);
    QFETCH(bool, clockSpeaks);
    QFETCH(bool, reminderSpeaks);
    NotificationServer server;
    QVERIFY2(server.registered(), "run on a private session bus (SESSION_BUS)");
    server.setInhibited(inhibited);

    test::ProgramFolder folder;
    test::ProgramFolder::resetProgram();
    folder.adopt();
    folder.writeCharacter();
    folder.writeIni("[Account]\r\nConnectionType=2\r\n[General]\r\nDontCheck=Yes\r\nSayTime=Yes\r\n"
                    "SayTimeEvery=6\r\nBeforeTime=It is\r\n" +
                    settings);
    {
        Reminder r;
        r.m_When = Noon;
        r.m_Contents = u"Call the dentist"_s;
        r.m_Popup = false;
        QVERIFY(r.Save(true));
    }
    platform::setClockOverride([] { return Noon; });
    RecordingUserInterface ui;
    OrvellaCore core([] { return std::make_unique<FakeAgent>(); });
    core.setUserInterface(&ui);
    QVERIFY(core.LoadStart());
    core.LoadRest();
    // The server's answer comes once the program runs (with the quiet
    // switched on for a moment, to see it come).
    if (inhibited) {
        const bool quiet = std::exchange(core.settings().m_QuietInDoNotDisturb, true);
        QTRY_VERIFY(core.quietNow(false));
        core.settings().m_QuietInDoNotDisturb = quiet;
    }
    auto* agent = static_cast<FakeAgent*>(core.agent());
    agent->takeCalls();

    core.onMinuteTick();
    agent->runQueue();
    const QString calls = agent->takeCalls().join(u'\n');
    QCOMPARE(calls.contains(u"It is"_s), clockSpeaks);
    QCOMPARE(calls.contains(u"Call the dentist"_s), reminderSpeaks);
    core.Unload();
    platform::setClockOverride({});
}

QTEST_GUILESS_MAIN(tst_QuietInDoNotDisturb)
#include "tst_QuietInDoNotDisturb.moc"
