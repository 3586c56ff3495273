// Sleep, waking and the network's return, as logind announces them on a bus
// (a fake logind on the private bus that stands in for the system bus): the
// checks that fell due or were cut short run within seconds of waking, a
// connection cut by the sleep is told once, and a check never hangs across it.
#include "core/OrvellaCore.h"
#include "core/mail/Account.h"
#include "core/mail/MailCheckCycle.h"
#include "core/message/MessageStore.h"
#include "core/pop3/Pop3Client.h"
#include "core/settings/Program.h"
#include "platform/Clock.h"
#include "support/FakeAgent.h"
#include "support/FakeLogind.h"
#include "support/Pop3ScriptedTransport.h"
#include "support/ProgramFolder.h"
#include "support/RecordingUserInterface.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;
using orvella::test::FakeLogind;
using orvella::test::Pop3ScriptedTransport;
using orvella::test::RecordingUserInterface;

namespace {

const QByteArray LogOn = "S: +OK ready\nC: CAPA\nS: +OK\nS: TOP\nS: USER\nS: .\nC: USER bob\nS: +OK\n"
                         "C: PASS secret\nS: +OK\n";
const QByteArray Empty = LogOn + "C: STAT\nS: +OK 0 0\nC: QUIT\nS: +OK\n";
const QByteArray OneMessage = LogOn + "C: STAT\nS: +OK 1 100\nC: TOP 1 20\nS: +OK\nS: Message-ID: <1@sleep>\n"
                                      "S: From: Ann <ann@x>\nS: Subject: After the nap\nS: \nS: Body\nS: .\n"
                                      "C: LIST 1\nS: +OK 1 100\nC: QUIT\nS: +OK\n";

// Logged on, one message waiting, its retrieval asked for: the point where
// the connection is cut.
const QByteArray Stalled = LogOn + "C: STAT\nS: +OK 1 100\nC: TOP 1 20\n";

const QDateTime Start(QDate(2026, 3, 2), QTime(9, 0, 0));

} // namespace

class tst_SleepAndWake : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void wakingChecksWhatFellDue_data();
    void wakingChecksWhatFellDue();
    void cutCheckIsToldOnceAndRetried_data();
    void cutCheckIsToldOnceAndRetried();

private:
    bool start(int interval);
    // Waits until the check and the reading after it are over; the
    // character speaks at once.
    bool idle() const
    {
        return QTest::qWaitFor(
            [this] {
                static_cast<FakeAgent*>(m_core->agent())->runQueue();
                return !m_core->cycle()->running() && m_core->checkControlsEnabled();
            },
            30000);
    }
    // The minute timer runs whenever the check controls come back; here the
    // test gives the ticks.
    void holdMinuteTimer() { m_core->timer1()->setInterval(24 * 3600 * 1000); }
    int connects() const { return int(m_status.count(u"Connecting to pop.example.test"_s)); }

    std::unique_ptr<test::ProgramFolder> m_folder;
    std::unique_ptr<FakeLogind> m_logind;
    RecordingUserInterface m_ui;
    std::unique_ptr<OrvellaCore> m_core;
    QList<QByteArray> m_servers;
    QStringList m_status;
    QStringList m_errors;
    QDateTime m_now;
};

void tst_SleepAndWake::initTestCase()
{
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    QVERIFY2(!bus.isEmpty(), "no private session bus (tests/scripts/session-bus.sh)");
    // The program's system bus, where logind lives, is the private bus here.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", bus);
    m_logind = std::make_unique<FakeLogind>(QString::fromUtf8(bus));
    QVERIFY(m_logind->registered());
}

void tst_SleepAndWake::init()
{
    m_folder = std::make_unique<test::ProgramFolder>();
    test::ProgramFolder::resetProgram();
    m_folder->adopt();
    m_folder->writeCharacter();
    m_ui = RecordingUserInterface();
    m_servers.clear();
    m_status.clear();
    m_errors.clear();
    m_now = Start;
    platform::setClockOverride([this] { return m_now; });
}

void tst_SleepAndWake::cleanup()
{
    if (m_core) m_core->Unload();
    m_core.reset();
    m_folder.reset();
    platform::setClockOverride({});
}

bool tst_SleepAndWake::start(int interval)
{
    m_folder->writeIni("[Account]\r\nConnectionType=2\r\nPOPServer=pop.example.test\r\nAccountName=bob\r\n"
                       "Password=" +
                       Account::Scramble(u"secret"_s).toLatin1() + "\r\nSecurity=None\r\nCheckInterval=" +
                       QByteArray::number(interval) + "\r\n[General]\r\nSayTime=No\r\nDisplayPrompt=No\r\n");
    m_core = std::make_unique<OrvellaCore>([] { return std::make_unique<FakeAgent>(); });
    m_core->setUserInterface(&m_ui);
    if (!m_core->LoadStart()) return false;
    m_core->LoadRest();
    m_core->cycle()->setClientFactory([this] {
        auto transport = std::make_unique<Pop3ScriptedTransport>();
        if (m_servers.isEmpty())
            transport->refuseConnection(u"no server scripted for this check"_s);
        else
            transport->script(m_servers.takeFirst());
        return std::make_unique<Pop3Client>(std::move(transport));
    });
    m_core->cycle()->setStepDelay([](int) { return 0; });
    holdMinuteTimer();
    connect(m_core.get(), &OrvellaCore::statusText, this, [this](const QString& t) { m_status << t; });
    // The session bus here has no keyring: the start's notice that the
    // password stays in the file is not what these tests look at.
    connect(m_core.get(), &OrvellaCore::errorText, this, [this](const QString& t) {
        if (!t.startsWith(u"The passwords of your mail accounts are kept"_s)) m_errors << t;
    });
    // The system bus is reached once the program runs.
    QTest::qWait(200);
    return true;
}

void tst_SleepAndWake::wakingChecksWhatFellDue_data()
{
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("sleptMinutes");
    QTest::addColumn<bool>("checks");
    QTest::newRow("slept past the interval") << 30 << 120 << true;
    QTest::newRow("slept just the interval") << 30 << 30 << true;
    QTest::newRow("a short nap") << 30 << 5 << false;
}

void tst_SleepAndWake::wakingChecksWhatFellDue()
{
    QFETCH(int, interval);
    QFETCH(int, sleptMinutes);
    QFETCH(bool, checks);
    QVERIFY(start(interval));
    // The first minute tick checks the account; its interval starts there.
    m_servers << Empty;
    m_core->onMinuteTick();
    holdMinuteTimer();
    QVERIFY(idle());
    QCOMPARE(connects(), 1);

    m_servers << Empty;
    QVERIFY(m_logind->prepareForSleep(true));
    m_now = m_now.addSecs(sleptMinutes * 60);
    QVERIFY(m_logind->prepareForSleep(false));
    if (checks) {
        QTRY_COMPARE_WITH_TIMEOUT(connects(), 2, 5000);
        QVERIFY(idle());
    } else {
        QTest::qWait(OrvellaCore::SettleMs + 2000);
        QCOMPARE(connects(), 1);
    }
    QVERIFY2(m_errors.isEmpty(), qPrintable(m_errors.join(u'\n')));
}

void tst_SleepAndWake::cutCheckIsToldOnceAndRetried_data()
{
    QTest::addColumn<QByteArray>("cutServer");
    QTest::addColumn<QString>("how"); // sleep-wake, wake, network
    QTest::addColumn<QString>("told");
    // The server's answers stop and the computer sleeps: the check does not
    // wait for its timeout but ends at once, and says why.
    QTest::newRow("hung when the computer slept")
        << Stalled + "!silence\n"
        << u"sleep-wake"_s << u"because the computer went to sleep"_s;
    // The sleep's signal came late (or never): waking ends the hung check.
    QTest::newRow("hung, only the waking seen") << Stalled + "!silence\n"
                                                << u"wake"_s << u"because the computer went to sleep"_s;
    // The connection broke on its own: told as the error it is, then tried
    // again on waking or when the network is back, not at the next interval.
    QTest::newRow("dropped, then woken") << Stalled + "!drop\n"
                                         << u"wake"_s << u"error connecting to the mail server"_s;
    QTest::newRow("dropped, then the network is back")
        << Stalled + "!drop\n"
        << u"network"_s << u"error connecting to the mail server"_s;
}

void tst_SleepAndWake::cutCheckIsToldOnceAndRetried()
{
    QFETCH(QByteArray, cutServer);
    QFETCH(QString, how);
    QFETCH(QString, told);
    QVERIFY(start(60));
    m_servers << cutServer << OneMessage;
    m_core->CheckAllMailServers();
    QTRY_VERIFY(m_status.contains(u"Downloading messages from pop.example.test"_s));
    const bool dropped = cutServer.contains("!drop");
    if (dropped) QVERIFY(idle());

    if (how == u"sleep-wake"_s) {
        QVERIFY(m_logind->prepareForSleep(true));
        QVERIFY(idle()); // cut at once, long before the server's timeout
    }
    if (how == u"network"_s)
        m_core->NetworkReturned();
    else
        QVERIFY(m_logind->prepareForSleep(false));

    QTRY_COMPARE_WITH_TIMEOUT(connects(), 2, 5000);
    QVERIFY(idle());
    QCOMPARE(m_core->store()->model()->rowCount(), 1);
    QCOMPARE(m_core->cycle()->interruptedAccounts(), 0);
    QCOMPARE(m_errors.size(), 1);
    QVERIFY2(m_errors.first().contains(told), qPrintable(m_errors.first()));
}

QTEST_GUILESS_MAIN(tst_SleepAndWake)
#include "tst_SleepAndWake.moc"
