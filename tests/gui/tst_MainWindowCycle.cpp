#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "core/OrvellaCore.h"
#include "core/mail/Account.h"
#include "core/mail/MailCheckCycle.h"
#include "core/pop3/Pop3Client.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "gui/MainWindow.h"
#include "gui/TrayIcon.h"
#include "gui/dialogs/NoticeWindow.h"
#include "platform/Clock.h"
#include "platform/ProfileFile.h"
#include "support/AppRig.h"
#include "support/FakeAgent.h"
#include "support/Pop3ScriptedTransport.h"
#include "support/ProgramFolder.h"
#include "support/Widgets.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using orvella::test::child;
using namespace orvella;
using orvella::test::FakeAgent;
using orvella::test::Pop3ScriptedTransport;

namespace {

const QByteArray kLogOn = "S: +OK ready\nC: CAPA\nS: +OK\nS: TOP\nS: USER\nS: .\nC: USER bob\nS: +OK\n";
const QByteArray kWrongPassword = kLogOn + "C: PASS secret\nS: -ERR [AUTH] Authentication failed.\n";
const QByteArray kEmptyMailbox = kLogOn + "C: PASS secret\nS: +OK\nC: STAT\nS: +OK 0 0\nC: QUIT\nS: +OK\n";

} // namespace

// How the main window carries a mail check: the ways to start one and the
// minute timer switched off and on again, the Error page, the character's
// words, and the check box that switches timed checks off. The window runs
// in-process with a recording character and scripted servers.
class tst_MainWindowCycle : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void checkControlsAndErrorPage();
    void minuteTimerWaitsForACheckRunningAtFirstActivation();
    void untickedBoxStopsTimedChecks();
    void checkNowWhileBusySaysWhy();
    void exitWhileDialogOpen_data();
    void exitWhileDialogOpen();

private:
    TrayIcon* start(const QStringList& args);
    void queueServer(const QByteArray& dialogue) { m_servers << dialogue; }
    // Runs the check the window started to its end.
    bool waitForCycle();

    std::unique_ptr<test::ProgramFolder> m_folder;
    test::AppRig m_tray;
    QList<QByteArray> m_servers;
    QList<ShownMessage> m_messages;
};

void tst_MainWindowCycle::init()
{
    m_folder = std::make_unique<test::ProgramFolder>(test::ProgramFolder::Homes::Private);
    // The single-instance channel of this test alone.
    const QString run = m_folder->homePath(u"run"_s);
    QDir().mkpath(run);
    QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", run.toUtf8());
    test::ProgramFolder::resetProgram();
    m_folder->writeCharacter();
    m_folder->writeIni(
        "[Account]\r\nConnectionType=2\r\nPOPServer=pop.example.test\r\nAccountName=bob\r\nPassword=" +
        Account::Scramble(u"secret"_s).toLatin1() +
        "\r\nSecurity=None\r\n[General]\r\nSayTime=No\r\nShowTips=No\r\n");
    m_servers.clear();
    m_messages.clear();
    setShowMessageRecorder(&m_messages);
}

void tst_MainWindowCycle::cleanup()
{
    if (m_tray) m_tray->unload();
    m_tray.reset();
    platform::setClockOverride({});
    setShowMessageRecorder(nullptr);
}

TrayIcon* tst_MainWindowCycle::start(const QStringList& args)
{
    m_tray = test::AppRig();
    if (!m_tray.load(CommandLine::parse(args + QStringList{u"-D"_s, m_folder->path()}))) return nullptr;
    m_tray->mainWindow()->cycle()->setClientFactory([this] {
        auto transport = std::make_unique<Pop3ScriptedTransport>();
        if (m_servers.isEmpty())
            transport->refuseConnection(u"no server scripted for this check"_s);
        else
            transport->script(m_servers.takeFirst());
        return std::make_unique<Pop3Client>(std::move(transport));
    });
    return m_tray.get();
}

bool tst_MainWindowCycle::waitForCycle()
{
    MailCheckCycle* cycle = m_tray->mainWindow()->cycle();
    QSignalSpy finished(cycle, &MailCheckCycle::finished);
    return cycle->running() && finished.wait(10000);
}

void tst_MainWindowCycle::checkControlsAndErrorPage()
{
    TrayIcon* tray = start({u"-AUTOSTART"_s});
    QVERIFY(tray);
    MainWindow* main = tray->mainWindow();
    auto* agent = static_cast<FakeAgent*>(main->agent());
    QVERIFY(main->timer1()->isActive());
    QVERIFY(!child<QTabWidget>(main, u"tabMain"_s)->isTabVisible(3));

    queueServer(kWrongPassword);
    main->check();
    // While the check runs nothing can start another, Exit waits, and the
    // minute timer is stopped.
    QVERIFY(main->cycle()->running());
    QVERIFY(!child<QPushButton>(main, u"cmdCheck"_s)->isEnabled());
    QVERIFY(!child<QAction>(main, u"mnuCheckMail"_s)->isEnabled());
    QVERIFY(!child<QAction>(main, u"mnuExit"_s)->isEnabled());
    QVERIFY(!agent->commandEnabled(u"Check Mail Now"_s));
    QVERIFY(!main->timer1()->isActive());
    tray->PrepareTrayMenu();
    QVERIFY(!child<QAction>(tray, u"mnuCheckMail"_s)->isEnabled());
    QVERIFY(!child<QAction>(tray, u"mnuExit"_s)->isEnabled());
    agent->takeCalls();
    QVERIFY(waitForCycle());

    // The Error page appears beside the first page, which is selected.
    QVERIFY(child<QTabWidget>(main, u"tabMain"_s)->isTabVisible(3));
    QCOMPARE(child<QTabWidget>(main, u"tabMain"_s)->currentIndex(), 0);
    const QString error = child<QPlainTextEdit>(main, u"txtError"_s)->toPlainText();
    QVERIFY2(error.startsWith(u"There was an error connecting to the mail server.\n"
                              u"Description: An error occurred while connecting to pop.example.test with "
                              u"account bob.\n\n[AUTH] Authentication failed. ("_s),
             qPrintable(error));
    // The user asked, so the character says where to look; then everything is back.
    QVERIFY(std::any_of(agent->calls.begin(), agent->calls.end(), [](const QString& c) {
        return c.startsWith(u"Speak("_s) &&
               c.endsWith(u"Error retrieving E-mail. Check the 'Error' Tab for details.)"_s);
    }));
    QVERIFY(child<QPushButton>(main, u"cmdCheck"_s)->isEnabled());
    QVERIFY(child<QAction>(main, u"mnuCheckMail"_s)->isEnabled());
    QVERIFY(child<QAction>(main, u"mnuExit"_s)->isEnabled());
    QVERIFY(agent->commandEnabled(u"Check Mail Now"_s));
    QVERIFY(main->timer1()->isActive());

    // The user looks at the page; the next check without error takes it away.
    child<QTabWidget>(main, u"tabMain"_s)->setCurrentIndex(3);
    queueServer(kEmptyMailbox);
    main->check();
    QVERIFY(waitForCycle());
    QVERIFY(!child<QTabWidget>(main, u"tabMain"_s)->isTabVisible(3));
    QCOMPARE(child<QTabWidget>(main, u"tabMain"_s)->currentIndex(), 0);
    QCOMPARE(child<QPlainTextEdit>(main, u"txtError"_s)->toPlainText(), error);
    QVERIFY(child<QPushButton>(main, u"cmdCheck"_s)->isEnabled());
}

// Started by the user before the window was first activated, a check must
// not find the minute timer running when the activation starts it: the
// timer waits for the check's end and then runs its interval afresh.
void tst_MainWindowCycle::minuteTimerWaitsForACheckRunningAtFirstActivation()
{
    TrayIcon* tray = start({});
    QVERIFY(tray);
    MainWindow* main = tray->mainWindow();
    QVERIFY(!main->activatedOnce());
    // The first account comes only after the activation.
    main->cycle()->setStepDelay([](int ms) { return ms == MailCheckCycle::FirstStepMs ? 4000 : ms; });
    queueServer(kEmptyMailbox);
    main->check();
    QVERIFY(main->cycle()->running());
    QTRY_VERIFY_WITH_TIMEOUT(main->activatedOnce(), 5000);
    QVERIFY(main->cycle()->running());
    QVERIFY(!main->timer1()->isActive());
    QVERIFY(waitForCycle());
    QVERIFY(main->timer1()->isActive());
    QCOMPARE(main->timer1()->interval(), 2000);
}

void tst_MainWindowCycle::untickedBoxStopsTimedChecks()
{
    TrayIcon* tray = start({u"-AUTOSTART"_s});
    QVERIFY(tray);
    MainWindow* main = tray->mainWindow();
    main->timer1()->stop();
    platform::setClockOverride([] { return QDateTime(QDate(2026, 3, 2), QTime(10, 0, 0)); });
    QVERIFY(child<QCheckBox>(main, u"chkDontCheck"_s)->isChecked());

    child<QCheckBox>(main, u"chkDontCheck"_s)->click();
    QVERIFY(main->settings().m_DontCheck);
    main->onMinuteTick();
    QVERIFY(!main->cycle()->running());
    QVERIFY(child<QPushButton>(main, u"cmdCheck"_s)->isEnabled());

    // Ticked again, the next tick checks (the account starts due).
    child<QCheckBox>(main, u"chkDontCheck"_s)->click();
    QVERIFY(!main->settings().m_DontCheck);
    queueServer(kEmptyMailbox);
    main->onMinuteTick();
    QVERIFY(main->cycle()->running());
    QVERIFY(waitForCycle());
}

// A second start's --check-now while a check runs: nothing starts, and both
// the second start and the status bar say why.
void tst_MainWindowCycle::checkNowWhileBusySaysWhy()
{
    TrayIcon* tray = start({u"-AUTOSTART"_s});
    QVERIFY(tray);
    MainWindow* main = tray->mainWindow();
    SingleInstance instance;
    QCOMPARE(instance.claimOrForward(u"4"_s), SingleInstance::Outcome::Listening);
    instance.commandHandler = [tray](const QString& command) { return tray->HandleCommand(command); };

    main->cycle()->setStepDelay([](int) { return 2000; }); // the check waits before its account
    queueServer(kEmptyMailbox);
    main->check();
    QVERIFY(main->cycle()->running());

    QProcess second;
    second.setProcessChannelMode(QProcess::MergedChannels);
    QSignalSpy finished(&second, &QProcess::finished);
    second.start(QStringLiteral(ORVELLA_BINARY), {u"--check-now"_s});
    QVERIFY(finished.wait(20000));
    QCOMPARE(second.exitCode(), 3);
    const QString said = QString::fromUtf8(second.readAll());
    QVERIFY2(said.contains(u"A mail check is running already"_s), qPrintable(said));
    QCOMPARE(child<QLabel>(main, u"statusText"_s)->text(),
             u"A mail check is running already; this one was not started."_s);
    QVERIFY(waitForCycle());
}

// An Exit from a second start while one of the program's dialogs runs its
// own event loop inside the reader, the check cycle or the store: the dialog
// is closed and its code returns before anything it uses is released.
void tst_MainWindowCycle::exitWhileDialogOpen_data()
{
    QTest::addColumn<int>("promptUser");
    QTest::addColumn<bool>("removeAll");
    QTest::newRow("prompt once before reading") << 1 << false;
    QTest::newRow("prompt for each message") << 2 << false;
    QTest::newRow("Remove All question") << 0 << true;
}

void tst_MainWindowCycle::exitWhileDialogOpen()
{
    QFETCH(int, promptUser);
    QFETCH(bool, removeAll);
    {
        platform::ProfileFile ini(m_folder->iniPath());
        ini.write(u"General"_s, u"PromptUser"_s, QString::number(promptUser));
        QVERIFY(ini.save());
        platform::invalidateProfileCache();
    }
    setShowMessageRecorder(nullptr);
    TrayIcon* tray = start({u"-AUTOSTART"_s});
    QVERIFY(tray);
    MainWindow* main = tray->mainWindow();
    main->timer1()->stop();

    // The second start's Exit arrives once a dialog is on screen.
    QString dialogTitle;
    QTimer watch;
    watch.setInterval(20);
    connect(&watch, &QTimer::timeout, this, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || !w->isModal()) continue;
            dialogTitle = w->windowTitle();
            watch.stop();
            tray->HandleCommand(u"exit"_s);
            return;
        }
    });
    watch.start();

    if (removeAll) {
        main->clearError(); // returns once Exit has closed the question
    } else {
        auto top = [](int n) -> QByteArray {
            const QByteArray num = QByteArray::number(n);
            return "C: TOP " + num + " 20\nS: +OK\nS: Message-ID: <" + num +
                   "@x>\nS: From: Ann <ann@x>\nS: Subject: S" + num + "\nS: \nS: Body " + num + "\nS: .\n";
        };
        queueServer(kLogOn + "C: PASS secret\nS: +OK\nC: STAT\nS: +OK 2 200\n" + top(1) + top(2) +
                    "C: LIST 2\nS: +OK 2 100\nC: QUIT\nS: +OK\n");
        main->check();
    }
    QTRY_VERIFY_WITH_TIMEOUT(Program().Exiting && !main->cycle(), 15000);
    QVERIFY(!dialogTitle.isEmpty());
    QVERIFY(!QApplication::activeModalWidget());
    // Exit saved what the check brought.
    if (!removeAll) {
        QFile ids(m_folder->filePath(u"Account.DAT"_s));
        QVERIFY(ids.open(QIODevice::ReadOnly));
        QCOMPARE(ids.readAll(), QByteArray("<1@x>\r\n<2@x>\r\n"));
    }
}

QTEST_MAIN(tst_MainWindowCycle)
#include "tst_MainWindowCycle.moc"
