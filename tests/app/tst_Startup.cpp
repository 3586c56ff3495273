#include "app/CommandLine.h"
#include "core/OrvellaCore.h"
#include "core/mail/MailCheckCycle.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "gui/MainWindow.h"
#include "gui/TrayIcon.h"
#include "gui/dialogs/NoticeWindow.h"
#include "gui/wizard/SetupWizard.h"
#include "platform/Clock.h"
#include "platform/ProfileFile.h"
#include "support/AppRig.h"
#include "support/FakeAgent.h"
#include "support/Files.h"
#include "support/ProgramFolder.h"
#include "support/Widgets.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using orvella::test::child;
using orvella::test::readText;
using orvella::test::writeFile;
using namespace orvella;

// The start-up, tray and shut-down sequence driven in-process, on the
// offscreen platform, with a fresh program folder per test.
class tst_Startup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void firstStartRunsWizard();
    void autostartStaysHiddenUntilOpened();
    void shippedFilesCopiedButUserFilesKept();
    void trayMenuFollowsState();
    void modalDialogBlocksTrayOpening();
    void closingHidesAndKeepsRunning();
    void minuteTickRearmsToWholeMinute_data();
    void minuteTickRearmsToWholeMinute();
    void exitSavesEverySetting();
    void exitWhileMaximisedKeepsStoredGeometry();
    void geometryRoundTripsInTwips();
    void firstActivationGreets();
    void noGreetingWithGestureNone();
    void noCharacterEndsStartWithoutSaving();
    void exitClosesStartupNotice();
    void characterEventsReachWindow();

private:
    QList<ShownMessage> m_messages;
    test::AppRig start(const QStringList& args);
    void removeSettings();
    std::unique_ptr<test::ProgramFolder> m_folder;
};

void tst_Startup::init()
{
    m_folder = std::make_unique<test::ProgramFolder>(test::ProgramFolder::Homes::Private);
    test::ProgramFolder::resetProgram();
    m_folder->writeCharacter();
    m_messages.clear();
    setShowMessageRecorder(&m_messages);
    // A configured program unless a test removes the file: a first start runs the wizard.
    m_folder->writeIni("[Account]\r\nConnectionType=2\r\n[General]\r\nShowTips=No\r\n");
}

void tst_Startup::cleanup()
{
    platform::setClockOverride({});
    setShowMessageRecorder(nullptr);
}

test::AppRig tst_Startup::start(const QStringList& args)
{
    test::AppRig tray;
    const CommandLine cl = CommandLine::parse(args + QStringList{u"-D"_s, m_folder->path()});
    if (!tray.load(cl)) return test::AppRig(nullptr);
    return tray;
}

// A first start answers the set-up wizard: cancelled, the program ends and
// the folder holds nothing of it; finished (with mail left for later), the
// window shows and the minute timer waits for its first activation.
void tst_Startup::firstStartRunsWizard()
{
    removeSettings();
    const QString autostart = m_folder->homePath(u"config/autostart/orvella.desktop"_s);
    QTimer::singleShot(300, this, [] {
        auto* wizard = qobject_cast<SetupWizard*>(QApplication::activeModalWidget());
        QVERIFY(wizard);
        child<QPushButton>(wizard, u"cmdCancel"_s)->click();
    });
    QVERIFY(!start({}));
    QVERIFY(!Program().Exiting);
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{u"vela.acs"_s});
    QVERIFY(!QFile::exists(autostart));

    bool answered = false;
    QTimer::singleShot(300, this, [&answered] {
        auto* wizard = qobject_cast<SetupWizard*>(QApplication::activeModalWidget());
        QVERIFY(wizard);
        child<QCheckBox>(wizard, u"chkFeatureEMail"_s)->setChecked(false); // mail is set up later
        for (int i = 0; i < 10 && !child<QPushButton>(wizard, u"cmdFinish"_s)->isEnabled(); ++i)
            child<QAbstractButton>(wizard, u"cmdNext"_s)->click();
        child<QRadioButton>(wizard, u"optAutoStartNo"_s)->setChecked(true);
        child<QRadioButton>(wizard, u"optLANUser"_s)->setChecked(true);
        QVERIFY(child<QPushButton>(wizard, u"cmdFinish"_s)->isEnabled());
        child<QPushButton>(wizard, u"cmdFinish"_s)->click();
        answered = true;
    });
    auto tray = start({});
    QVERIFY(answered);
    QVERIFY(tray);
    QCOMPARE(tray->windowTitle(), u"Orvella Tray"_s);
    QCOMPARE(AppPath(), m_folder->path());
    MainWindow* main = tray->mainWindow();
    QVERIFY(main->isVisible());
    QCOMPARE(main->windowTitle(), u"Orvella"_s);
    QVERIFY(main->settings().m_RanWizard); // no settings file: first run
    QVERIFY(!child<QTabWidget>(main, u"tabMain"_s)->isTabVisible(3));
    // The minute timer starts on the first activation, two seconds later.
    QTRY_VERIFY(main->activatedOnce());
    QVERIFY(main->timer1()->isActive());
    QCOMPARE(main->timer1()->interval(), 2000);
    // Finish wrote the choices at once.
    QVERIFY(readText(m_folder->iniPath()).contains(u"ConnectionType=2"_s));
    QVERIFY(!QFile::exists(autostart));
}

void tst_Startup::removeSettings()
{
    QFile::remove(m_folder->iniPath());
    platform::invalidateProfileCache();
}

void tst_Startup::autostartStaysHiddenUntilOpened()
{
    m_folder->writeIni("[Account]\r\nConnectionType=2\r\n[General]\r\nShowTips=No\r\n");
    auto tray = start({u"-autostart"_s});
    QVERIFY(tray);
    QVERIFY(tray->m_SystemTray);
    MainWindow* main = tray->mainWindow();
    QVERIFY(!main->isVisible());
    QVERIFY(!main->settings().m_RanWizard);
    QVERIFY(main->timer1()->isActive());
    QCOMPARE(main->timer1()->interval(), 3000);
    QTest::qWait(200);
    QVERIFY(!main->activatedOnce());

    tray->TrayIconCallback(0x0201); // left click opens the window
    QVERIFY(main->isVisible());
    QTRY_VERIFY(main->activatedOnce());
    QCOMPARE(main->timer1()->interval(), 3000); // the tray start keeps its own first interval
}

void tst_Startup::shippedFilesCopiedButUserFilesKept()
{
    writeFile(m_folder->filePath(u"TIPS.TXT"_s), "my own tip\r\n");
    auto tray = start({u"-AUTOSTART"_s});
    QVERIFY(tray);
    QCOMPARE(readText(m_folder->filePath(u"TIPS.TXT"_s)), u"my own tip\r\n"_s);
    QVERIFY(QFileInfo(m_folder->filePath(u"Sounds/NewMail.wav"_s)).size() > 1000);
    QVERIFY(QFileInfo(m_folder->filePath(u"Sounds/Clock.wav"_s)).size() > 1000);
}

void tst_Startup::trayMenuFollowsState()
{
    auto tray = start({u"-AUTOSTART"_s});
    QVERIFY(tray);
    MainWindow* main = tray->mainWindow();

    tray->PrepareTrayMenu();
    QCOMPARE(child<QAction>(tray, u"mnuEnableDisable"_s)->text(), u"&Disable Mail Checking"_s);
    QVERIFY(child<QAction>(tray, u"mnuCheckMail"_s)->isEnabled());
    QVERIFY(!child<QAction>(tray, u"mnuMyEmail"_s)->isEnabled()); // no e-mail program set

    // Switching checking off from the tray unticks the box and stores the setting.
    child<QAction>(tray, u"mnuEnableDisable"_s)->trigger();
    QVERIFY(!child<QCheckBox>(main, u"chkDontCheck"_s)->isChecked());
    QVERIFY(main->settings().m_DontCheck);
    tray->PrepareTrayMenu();
    QCOMPARE(child<QAction>(tray, u"mnuEnableDisable"_s)->text(), u"&Enable Mail Checking"_s);
    child<QAction>(tray, u"mnuEnableDisable"_s)->trigger();
    QVERIFY(child<QCheckBox>(main, u"chkDontCheck"_s)->isChecked());
    QVERIFY(!main->settings().m_DontCheck);

    // While a check runs the Check and Exit entries are off, as the main window's are.
    main->cycle()->setStepDelay([](int) { return 60000; });
    main->check();
    QVERIFY(main->cycle()->running());
    tray->PrepareTrayMenu();
    QVERIFY(!child<QAction>(tray, u"mnuCheckMail"_s)->isEnabled());
    QVERIFY(!child<QAction>(tray, u"mnuExit"_s)->isEnabled());
    QVERIFY(!child<QPushButton>(main, u"cmdCheck"_s)->isEnabled());
    main->cycle()->setStepDelay({});
    main->cycle()->Abort();
    QTRY_VERIFY(!main->cycle()->running());
}

void tst_Startup::modalDialogBlocksTrayOpening()
{
    auto tray = start({u"-AUTOSTART"_s});
    QVERIFY(tray);
    // Any modal dialog of the program counts, however it was opened.
    auto dialog = std::make_unique<QDialog>();
    dialog->setModal(true);
    dialog->show();
    QVERIFY(QApplication::activeModalWidget());
    tray->TrayIconCallback(0x0201);
    tray->TrayIconCallback(0x0203);
    QVERIFY(!tray->mainWindow()->isVisible());
    tray->PrepareTrayMenu();
    QVERIFY(!child<QAction>(tray, u"mnuShow"_s)->isEnabled());
    QVERIFY(!child<QAction>(tray, u"mnuExit"_s)->isEnabled());
    dialog.reset();
    tray->PrepareTrayMenu();
    QVERIFY(child<QAction>(tray, u"mnuShow"_s)->isEnabled() &&
            child<QAction>(tray, u"mnuExit"_s)->isEnabled());
}

void tst_Startup::closingHidesAndKeepsRunning()
{
    auto tray = start({});
    QVERIFY(tray);
    MainWindow* main = tray->mainWindow();
    QVERIFY(main->isVisible());
    QVERIFY(!main->close()); // the close is refused: the window only hides
    QVERIFY(!main->isVisible());
    QVERIFY(!Program().Exiting);
    tray->HandleCommand(u"4"_s); // a second start's command opens it again
    QVERIFY(main->isVisible());
}

void tst_Startup::minuteTickRearmsToWholeMinute_data()
{
    QTest::addColumn<int>("second");
    QTest::addColumn<int>("interval");
    QTest::newRow("on the minute") << 0 << 60000;
    QTest::newRow("late in the minute") << 45 << 15000;
    QTest::newRow("last second") << 59 << 1000;
}

void tst_Startup::minuteTickRearmsToWholeMinute()
{
    QFETCH(int, second);
    QFETCH(int, interval);
    auto tray = start({u"-AUTOSTART"_s});
    QVERIFY(tray);
    platform::setClockOverride([second] { return QDateTime(QDate(2026, 3, 1), QTime(15, 7, second, 500)); });
    tray->mainWindow()->onMinuteTick();
    QCOMPARE(tray->mainWindow()->timer1()->interval(), interval);
}

void tst_Startup::exitSavesEverySetting()
{
    auto tray = start({});
    QVERIFY(tray);
    tray->mainWindow()->settings().m_UserName = u"Jo"_s;
    tray->unload();
    QVERIFY(Program().Exiting);
    QVERIFY(!tray->trayIconAdded());
    const QString ini = readText(m_folder->iniPath());
    QVERIFY(ini.startsWith(u"[Account]\r\nUserName=Jo\r\nConnectionType=2\r\n"_s));
    qsizetype at = 0;
    for (const auto& [section, key] : Settings::savedKeys()) {
        const qsizetype next = ini.indexOf(u"\r\n"_s + key + u'=', at);
        QVERIFY2(next >= at, qPrintable(key));
        at = next;
    }
    QVERIFY(ini.contains(u"\r\nTop="_s) && !ini.contains(u"\r\nTop=-1\r\n"_s)); // geometry stored
}

void tst_Startup::exitWhileMaximisedKeepsStoredGeometry()
{
    m_folder->writeIni(
        "[Account]\r\nConnectionType=2\r\n[General]\r\nShowTips=No\r\nTop=1500\r\nLeft=1515\r\nWidth=9000\r\n"
        "Height=6000\r\nSplitTop=2000\r\n");
    auto tray = start({});
    QVERIFY(tray);
    tray->mainWindow()->showMaximized();
    QTRY_VERIFY(tray->mainWindow()->isMaximized());
    tray->unload();
    const QString ini = readText(m_folder->iniPath());
    QVERIFY(ini.contains(u"\r\nTop=1500\r\nLeft=1515\r\nWidth=9000\r\nHeight=6000\r\nSplitTop=2000\r\n"_s));
}

void tst_Startup::geometryRoundTripsInTwips()
{
    // 96 dpi on the offscreen platform: 15 twips a pixel.
    m_folder->writeIni(
        "[Account]\r\nConnectionType=2\r\n[General]\r\nShowTips=No\r\nTop=1500\r\nLeft=1500\r\nWidth=9000\r\n"
        "Height=7500\r\n");
    auto tray = start({});
    QVERIFY(tray);
    QCOMPARE(tray->mainWindow()->pos(), QPoint(100, 100));
    QCOMPARE(tray->mainWindow()->size(), QSize(600, 500));
    tray->unload();
    const QString ini = readText(m_folder->iniPath());
    QVERIFY2(ini.contains(u"\r\nTop=1500\r\nLeft=1500\r\nWidth=9000\r\nHeight=7500\r\n"_s), qPrintable(ini));
}

void tst_Startup::firstActivationGreets()
{
    m_folder->writeIni("[Account]\r\nUserName=Ann\r\nConnectionType=2\r\n[General]\r\nShowTips=No\r\n");
    auto tray = start({});
    QVERIFY(tray);
    auto* agent = qobject_cast<test::FakeAgent*>(tray->mainWindow()->agent());
    QVERIFY(agent);
    QCOMPARE(tray->mainWindow()->settings().m_CharacterName, u"vela.acs"_s); // merlin.acs is nowhere
    QTRY_VERIFY(tray->mainWindow()->activatedOnce());
    const QStringList calls = agent->calls;
    const qsizetype greet = calls.indexOf(u"Play(Greet)"_s);
    QVERIFY2(greet > 0, qPrintable(calls.join(u'\n')));
    QCOMPARE(calls.at(greet - 1), u"Show(fast)"_s);
    QCOMPARE(calls.at(greet + 1), u"Speak(\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\Hello Ann.)"_s);
    QCOMPARE(calls.at(greet + 2), u"Hide(fast)"_s);
}

void tst_Startup::noGreetingWithGestureNone()
{
    m_folder->writeIni("[Account]\r\nConnectionType=2\r\n[General]\r\nShowTips="
                       "No\r\n[Character]\r\nWelcomeGesture=None\r\n");
    auto tray = start({});
    QVERIFY(tray);
    QTRY_VERIFY(tray->mainWindow()->activatedOnce());
    auto* agent = qobject_cast<test::FakeAgent*>(tray->mainWindow()->agent());
    QVERIFY(!agent->calls.join(u'\n').contains(u"Speak("_s));
}

// The notice about a missing account runs its own event loop inside the
// load; an Exit that comes meanwhile closes it, and the program then ends.
void tst_Startup::exitClosesStartupNotice()
{
    m_folder->writeIni("[Account]\r\nConnectionType=2\r\n[General]\r\nShowTips=No\r\n");
    setShowMessageRecorder(nullptr);
    test::AppRig tray;
    QString notice;
    QTimer::singleShot(300, tray.get(), [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->isModal()) notice = w->windowTitle();
        tray->HandleCommand(u"exit"_s);
    });
    QVERIFY(tray.load(CommandLine::parse({u"-AUTOSTART"_s, u"-D"_s, m_folder->path()})));
    QCOMPARE(notice, u"Orvella Message"_s);
    QTRY_VERIFY_WITH_TIMEOUT(Program().Exiting, 5000);
    QVERIFY(QFile::exists(m_folder->iniPath()));
}

void tst_Startup::noCharacterEndsStartWithoutSaving()
{
    removeSettings();
    QFile::remove(m_folder->filePath(u"vela.acs"_s));
    Program().CharactersFolder.clear();
    qputenv("ORVELLA_DATA_DIR", m_folder->filePath(u"no-data"_s).toUtf8());
    auto tray = start({});
    qunsetenv("ORVELLA_DATA_DIR");
    QVERIFY(!tray);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().text.startsWith(u"Failed to find character file "_s));
    QVERIFY(!QFile::exists(m_folder->iniPath()));
}

void tst_Startup::characterEventsReachWindow()
{
    auto tray = start({u"-AUTOSTART"_s});
    QVERIFY(tray);
    MainWindow* main = tray->mainWindow();
    auto* agent = qobject_cast<test::FakeAgent*>(main->agent());
    QVERIFY(!child<QPushButton>(main, u"cmdStopReading"_s)->isVisibleTo(main));
    Q_EMIT agent->ShowEvent(IAgent::CauseProgramShowed);
    QVERIFY(child<QPushButton>(main, u"cmdStopReading"_s)->isVisibleTo(main));
    Q_EMIT agent->HideEvent(IAgent::CauseUserHid);
    QVERIFY(!child<QPushButton>(main, u"cmdStopReading"_s)->isVisibleTo(main));

    // A double click reads the clipboard.
    QGuiApplication::clipboard()->setText(u"from the clipboard"_s);
    agent->calls.clear();
    Q_EMIT agent->DblClick();
    QVERIFY(agent->calls.join(u'\n').contains(u"from the clipboard)"_s));

    // The menu's Stop Talking empties the queue.
    agent->calls.clear();
    Q_EMIT agent->Command(u"Stop Talking"_s);
    QCOMPARE(agent->calls.first(), u"StopAll"_s);
}

QTEST_MAIN(tst_Startup)
#include "tst_Startup.moc"
