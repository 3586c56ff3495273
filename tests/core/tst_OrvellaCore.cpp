#include "core/OrvellaCore.h"
#include "core/mail/Account.h"
#include "core/mail/AccountPasswords.h"
#include "core/mail/Accounts.h"
#include "core/mail/MailCheckCycle.h"
#include "core/message/MessageStore.h"
#include "core/pop3/Pop3Client.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "platform/ProfileFile.h"
#include "support/FakeAgent.h"
#include "support/Pop3ScriptedTransport.h"
#include "support/ProgramFolder.h"
#include "support/RecordingUserInterface.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;
using orvella::test::Pop3ScriptedTransport;
using orvella::test::RecordingUserInterface;

namespace {

QByteArray mailbox(int count)
{
    QByteArray s =
        "S: +OK ready\nC: CAPA\nS: +OK\nS: TOP\nS: USER\nS: .\nC: USER bob\nS: +OK\nC: PASS secret\n"
        "S: +OK\nC: STAT\nS: +OK " +
        QByteArray::number(count) + " 100\n";
    for (int n = 1; n <= count; ++n) {
        const QByteArray num = QByteArray::number(n);
        s += "C: TOP " + num + " 20\nS: +OK\nS: Message-ID: <" + num +
             "@core>\nS: From: Ann <ann@x>\nS: Subject: S" + num + "\nS: \nS: Body " + num + "\nS: .\n";
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
    void damagedSettingsFile_data();
    void damagedSettingsFile();

private:
    bool start();
    void queueServer(const QByteArray& dialogue) { m_servers << dialogue; }

    std::unique_ptr<test::ProgramFolder> m_folder;
    RecordingUserInterface m_ui;
    std::unique_ptr<OrvellaCore> m_core;
    QList<QByteArray> m_servers;
};

void tst_OrvellaCore::init()
{
    m_folder = std::make_unique<test::ProgramFolder>();
    test::ProgramFolder::resetProgram();
    m_folder->adopt();
    m_folder->writeCharacter();
    m_ui = RecordingUserInterface();
    m_servers.clear();
}

void tst_OrvellaCore::cleanup()
{
    if (m_core) m_core->Unload();
    m_core.reset();
    m_folder.reset();
}

bool tst_OrvellaCore::start()
{
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
    return true;
}

void tst_OrvellaCore::checkStoresAndReadsWithoutWindows()
{
    m_folder->writeIni(
        "[Account]\r\nConnectionType=2\r\nPOPServer=pop.example.test\r\nAccountName=bob\r\nPassword=" +
        Account::Scramble(u"secret"_s).toLatin1() + "\r\nSecurity=None\r\n[General]\r\nSayTime=No\r\n");
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
    m_folder->writeIni(
        "[Account]\r\nConnectionType=2\r\nPOPServer=pop.example.test\r\nAccountName=bob\r\nPassword=" +
        Account::Scramble(u"secret"_s).toLatin1() +
        "\r\nSecurity=None\r\n[General]\r\nSayTime=No\r\nPromptUser=1\r\n");
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
    QCOMPARE(QDir(m_folder->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{u"vela.acs"_s});
}

// No session bus reaches a keyring here: the start tries to move the
// password out of the file, it stays scrambled there, and the Error page
// says so once, whatever is saved later.
void tst_OrvellaCore::passwordsLeftInTheFileAreToldOnce()
{
    m_folder->writeIni(
        "[Account]\r\nConnectionType=2\r\nPOPServer=pop.example.test\r\nAccountName=bob\r\nPassword=" +
        Account::Scramble(u"secret"_s).toLatin1() + "\r\nSecurity=None\r\n[General]\r\nSayTime=No\r\n");
    AccountPasswords::ResetNotice();
    m_core = std::make_unique<OrvellaCore>([] { return std::make_unique<FakeAgent>(); });
    m_core->setUserInterface(&m_ui);
    QSignalSpy error(m_core.get(), &OrvellaCore::errorText);
    QSignalSpy page(m_core.get(), &OrvellaCore::errorPageVisible);
    QVERIFY(m_core->LoadStart());
    m_core->LoadRest();
    QTRY_VERIFY_WITH_TIMEOUT(!AccountPasswords::Busy(), 20000);
    QCOMPARE(error.size(), 1);
    const QString notice = error.first().first().toString();
    QVERIFY2(notice.contains(u"\"Zentra.INI\""_s) && notice.contains(u"scrambled, not encrypted"_s),
             qPrintable(notice));
    QCOMPARE(page.last().first().toBool(), true);
    QCOMPARE(platform::ProfileFile(m_folder->iniPath()).read(u"Account"_s, u"Password"_s, QString()),
             Account::Scramble(u"secret"_s));
    // As the options' OK does.
    SaveAccounts(m_core->accounts());
    QTRY_VERIFY_WITH_TIMEOUT(!AccountPasswords::Busy(), 20000);
    QCOMPARE(error.size(), 1);
    QVERIFY(m_ui.asked.isEmpty());
}

void tst_OrvellaCore::damagedSettingsFile_data()
{
    QTest::addColumn<QByteArray>("contents"); // "folder": a folder stands in the file's place
    QTest::addColumn<QString>("why");         // empty: the file reads, if short of settings
    const QByteArray account =
        "[Account]\r\nConnectionType=0\r\nPOPServer=pop.example.test\r\nAccountName=bob\r\n";
    QTest::newRow("blocks zeroed by a crash") << account + QByteArray(512, '\0') << u"no text"_s;
    QByteArray binary;
    for (int i = 0; i < 64; ++i)
        binary += char(1 + i % 31) + QByteArray("ab");
    QTest::newRow("binary without NUL bytes") << binary << u"no text"_s;
    QTest::newRow("text without a section")
        << QByteArray("POPServer=pop.example.test\r\nnot a settings file\r\n") << u"no [section]"_s;
    QTest::newRow("a folder in its place") << QByteArray("folder") << u"cannot be opened"_s;
    // Short of settings is no damage: the set-up picks up where the file stops.
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("comments only") << QByteArray("; written by hand\r\n") << QString();
    QTest::newRow("no connection type yet") << account << QString();
}

// A damaged settings file is named in a notice before the set-up, kept beside
// as "Zentra.INI.damaged", and no check runs while the set-up is open.
// Cancelled, the folder is as it was; finished, the new file reads and the
// damaged one stays beside it.
void tst_OrvellaCore::damagedSettingsFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, why);
    const QString ini = m_folder->iniPath();
    const QString aside = ini + u".damaged"_s;
    const bool folder = contents == "folder";
    auto writeIni = [&] {
        if (folder) return QDir().mkpath(ini);
        QFile f(ini);
        return f.open(QIODevice::WriteOnly) && f.write(contents) == contents.size();
    };
    auto holdsOriginal = [&](const QString& path) {
        if (folder) return QFileInfo(path).isDir();
        QFile f(path);
        return f.open(QIODevice::ReadOnly) && f.readAll() == contents;
    };
    QVERIFY(writeIni());
    bool checkStarted = false;
    bool setAside = false;
    m_ui.whileWizardIsOpen = [&] {
        m_core->cycle()->setClientFactory([] {
            auto transport = std::make_unique<Pop3ScriptedTransport>();
            transport->refuseConnection(u"no server"_s);
            return std::make_unique<Pop3Client>(std::move(transport));
        });
        m_core->CheckAllMailServers();
        checkStarted = m_core->cycle()->running();
        setAside = !QFileInfo::exists(ini) && holdsOriginal(aside);
    };

    // Cancelled.
    QVERIFY(!start());
    QVERIFY2(!checkStarted, "a check ran while the set-up was open");
    if (why.isEmpty()) {
        QCOMPARE(m_ui.asked, QStringList{u"wizard from page 7"_s});
        QVERIFY(!QFileInfo::exists(aside));
        QVERIFY(holdsOriginal(ini));
        return;
    }
    QCOMPARE(m_ui.asked.size(), 2);
    const QString notice = m_ui.asked.first();
    QVERIFY2(notice.startsWith(u"notice: Orvella could not read its settings file "_s + ini) &&
                 notice.contains(why) && notice.contains(u"kept as "_s + aside) &&
                 notice.contains(u"no mail is checked"_s),
             qPrintable(notice));
    QCOMPARE(m_ui.asked.last(), u"wizard from page 0"_s);
    QVERIFY2(setAside, "the damaged file was not set aside during the set-up");
    m_core.reset();
    QVERIFY(holdsOriginal(ini));
    QVERIFY(!QFileInfo::exists(aside));

    // Finished.
    m_ui.asked.clear();
    m_ui.wizardFinishes = true;
    QVERIFY(start());
    // (then the notice that the set-up left the server empty)
    QVERIFY(m_ui.asked.size() >= 2 && m_ui.asked.at(0).startsWith(u"notice: Orvella could not read"_s));
    QCOMPARE(m_ui.asked.at(1), u"wizard from page 0"_s);
    m_core->SaveAll();
    QVERIFY(holdsOriginal(aside));
    QCOMPARE(platform::ProfileFile::inspect(ini).state, platform::ProfileFile::State::Fine);
}

// A core application: no widget can exist here.
QTEST_GUILESS_MAIN(tst_OrvellaCore)
#include "tst_OrvellaCore.moc"
