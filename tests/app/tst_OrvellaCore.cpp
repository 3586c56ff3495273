#include "app/IUserInterface.h"
#include "app/OrvellaCore.h"
#include "mail/AccountPasswords.h"
#include "mail/Accounts.h"
#include "mail/CAccount.h"
#include "mail/MailCheckCycle.h"
#include "mail/pop/Pop3Client.h"
#include "message/MessageStore.h"
#include "platform/ProfileFile.h"
#include "settings/CSettings.h"
#include "settings/Program.h"
#include "support/FakeAgent.h"
#include "support/Pop3ScriptedTransport.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;
using orvella::test::Pop3ScriptedTransport;

namespace {

// The windows as the logic sees them, without a single widget: every
// question answered from the test, every notice written down.
class RecordingUserInterface : public IUserInterface
{
public:
    QStringList asked;
    bool readAnswer = true;
    bool wizardFinishes = false;

    void showMessage(const QString& text, bool, const QString&) override { asked << u"notice: "_s + text; }
    bool promptOnce(const QList<CMessage>& messages) override
    {
        asked << u"prompt once: %1"_s.arg(messages.size());
        return readAnswer;
    }
    bool promptForMessage(const CMessage& message) override
    {
        asked << u"prompt for: "_s + message.m_Subject;
        return readAnswer;
    }
    bool runWizard(int startPage) override
    {
        asked << u"wizard from page %1"_s.arg(startPage);
        return wizardFinishes;
    }
    QWidget* openReminderWindow(const QString& text) override
    {
        asked << u"reminder: "_s + text;
        return nullptr;
    }
    bool mainWindowVisible() const override { return false; }
    bool modalDialogDisplayed() const override { return false; }
};

QByteArray mailbox(int count)
{
    QByteArray s = "S: +OK ready\nC: CAPA\nS: +OK\nS: TOP\nS: USER\nS: .\nC: USER bob\nS: +OK\nC: PASS secret\n"
                   "S: +OK\nC: STAT\nS: +OK " +
                   QByteArray::number(count) + " 100\n";
    for (int n = 1; n <= count; ++n) {
        const QByteArray num = QByteArray::number(n);
        s += "C: TOP " + num + " 20\nS: +OK\nS: Message-ID: <" + num + "@core>\nS: From: Ann <ann@x>\nS: Subject: S" +
             num + "\nS: \nS: Body " + num + "\nS: .\n";
    }
    return s + "C: LIST " + QByteArray::number(count) + "\nS: +OK 1 50\nC: QUIT\nS: +OK\n";
}

} // namespace

// The program's logic run and observed without any widget: what it tells
// through its signals, and what it asks of the windows.
class tst_OrvellaCore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void checkStoresAndReadsWithoutWindows();
    void promptAnsweredNoReadsNothing();
    void firstStartAsksForTheWizard();
    void passwordsLeftInTheFileAreToldOnce();

private:
    bool start();
    void queueServer(const QByteArray& dialogue) { m_servers << dialogue; }

    std::unique_ptr<QTemporaryDir> m_dir;
    RecordingUserInterface m_ui;
    std::unique_ptr<OrvellaCore> m_core;
    QList<QByteArray> m_servers;
};

void tst_OrvellaCore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    Program() = ProgramValues{};
    Program().AppPath = m_dir->path();
    platform::invalidateProfileCache();
    QFile character(m_dir->filePath(u"vela.acs"_s));
    QVERIFY(character.open(QIODevice::WriteOnly));
    character.write("character");
    OrvellaCore::agentFactory() = [] { return std::make_unique<FakeAgent>(); };
    m_ui = RecordingUserInterface();
    m_servers.clear();
}

void tst_OrvellaCore::cleanup()
{
    if (m_core)
        m_core->Unload();
    m_core.reset();
    m_dir.reset();
}

bool tst_OrvellaCore::start()
{
    m_core = std::make_unique<OrvellaCore>(m_ui);
    if (!m_core->LoadStart())
        return false;
    m_core->LoadRest();
    m_core->cycle()->hooks.makeClient = [this] {
        auto transport = std::make_unique<Pop3ScriptedTransport>();
        if (m_servers.isEmpty())
            transport->refuseConnection(u"no server scripted for this check"_s);
        else
            transport->script(m_servers.takeFirst());
        return std::make_unique<Pop3Client>(std::move(transport));
    };
    m_core->cycle()->hooks.stepDelay = [](int) { return 0; };
    return true;
}

void tst_OrvellaCore::checkStoresAndReadsWithoutWindows()
{
    QFile ini(m_dir->filePath(u"Zentra.INI"_s));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Account]\r\nConnectionType=2\r\nPOPServer=pop.example.test\r\nAccountName=bob\r\nPassword=" +
              CAccount::Scramble(u"secret"_s).toLatin1() + "\r\nSecurity=None\r\n[General]\r\nSayTime=No\r\n");
    ini.close();
    QVERIFY(start());
    QSignalSpy status(m_core.get(), &OrvellaCore::statusText);
    QSignalSpy controls(m_core.get(), &OrvellaCore::checkControlsChanged);
    QSignalSpy panel(m_core.get(), &OrvellaCore::readingPanelChanged);
    QSignalSpy selected(m_core.get(), &OrvellaCore::messageSelected);
    queueServer(mailbox(2));

    m_core->CheckAllMailServers();
    QCOMPARE(controls.first().first().toBool(), false);
    QVERIFY(!m_core->checkControlsEnabled());
    QTRY_VERIFY(m_core->reader()->ReadingActive);
    QCOMPARE(m_core->store()->model()->rowCount(), 2);
    auto lastPanel = [&] { return panel.last().first().value<MessageReader::Panel>(); };
    QCOMPARE(lastPanel().newMessages, u"2 New Messages"_s);

    static_cast<FakeAgent*>(m_core->agent())->runQueue();
    QVERIFY(!m_core->reader()->ReadingActive);
    QVERIFY(m_core->checkControlsEnabled());
    QCOMPARE(controls.last().first().toBool(), true);
    // Each message was selected in the list as it was read: the newest (row
    // 0) is message 2.
    QCOMPARE(selected.size(), 2);
    QCOMPARE(selected.at(0).first().toInt(), 1);
    QCOMPARE(selected.at(1).first().toInt(), 0);
    QCOMPARE(status.last().first().toString(), u"Idle."_s);
    QCOMPARE(lastPanel().newMessages, u"Waiting For New Messages"_s);
    QVERIFY(m_ui.asked.isEmpty());
}

void tst_OrvellaCore::promptAnsweredNoReadsNothing()
{
    QFile ini(m_dir->filePath(u"Zentra.INI"_s));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Account]\r\nConnectionType=2\r\nPOPServer=pop.example.test\r\nAccountName=bob\r\nPassword=" +
              CAccount::Scramble(u"secret"_s).toLatin1() +
              "\r\nSecurity=None\r\n[General]\r\nSayTime=No\r\nPromptUser=1\r\n");
    ini.close();
    QVERIFY(start());
    m_ui.readAnswer = false;
    queueServer(mailbox(1));
    m_core->CheckAllMailServers();
    QTRY_VERIFY(m_core->checkControlsEnabled());
    QCOMPARE(m_ui.asked, QStringList{u"prompt once: 1"_s});
    QVERIFY(!m_core->reader()->ReadingActive);
    QCOMPARE(m_core->store()->model()->rowCount(), 1);
}

// Without a settings file the logic asks for the wizard; cancelled, nothing is written.
void tst_OrvellaCore::firstStartAsksForTheWizard()
{
    QVERIFY(!start());
    QCOMPARE(m_ui.asked, QStringList{u"wizard from page 0"_s});
    m_core.reset();
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{u"vela.acs"_s});
}

// No session bus reaches a keyring here: the saved password stays scrambled
// in the file, and the Error page says so once.
void tst_OrvellaCore::passwordsLeftInTheFileAreToldOnce()
{
    QFile ini(m_dir->filePath(u"Zentra.INI"_s));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Account]\r\nConnectionType=2\r\nPOPServer=pop.example.test\r\nAccountName=bob\r\nPassword=" +
              CAccount::Scramble(u"secret"_s).toLatin1() +
              "\r\nSecurity=None\r\n[General]\r\nSayTime=No\r\n");
    ini.close();
    AccountPasswords::ResetNotice();
    QVERIFY(start());
    QSignalSpy error(m_core.get(), &OrvellaCore::errorText);
    QSignalSpy page(m_core.get(), &OrvellaCore::errorPageVisible);
    // As the options' OK does.
    SaveAccounts(m_core->accounts());
    QTRY_VERIFY_WITH_TIMEOUT(!AccountPasswords::Busy(), 20000);
    QCOMPARE(error.size(), 1);
    const QString notice = error.first().first().toString();
    QVERIFY2(notice.contains(u"\"Zentra.INI\""_s) && notice.contains(u"scrambled, not encrypted"_s),
             qPrintable(notice));
    QCOMPARE(page.last().first().toBool(), true);
    QCOMPARE(platform::ProfileFile(ini.fileName()).read(u"Account"_s, u"Password"_s, QString()),
             CAccount::Scramble(u"secret"_s));
    SaveAccounts(m_core->accounts());
    QTRY_VERIFY_WITH_TIMEOUT(!AccountPasswords::Busy(), 20000);
    QCOMPARE(error.size(), 1);
    QVERIFY(m_ui.asked.isEmpty());
}

// A core application: no widget can exist here.
QTEST_GUILESS_MAIN(tst_OrvellaCore)
#include "tst_OrvellaCore.moc"
