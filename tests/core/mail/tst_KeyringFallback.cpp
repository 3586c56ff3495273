// A desktop without a keyring: a private session bus on which no Secret
// Service runs or can be started, and no session bus at all. Passwords stay
// scrambled in "Zentra.INI" as before, the user is told once why, and an
// account whose password the file leaves to the keyring gets a clear error.
#include "core/mail/AccountPasswords.h"
#include "core/mail/Accounts.h"
#include "core/pop3/Pop3Client.h"
#include "platform/ProfileFile.h"
#include "support/CycleRig.h"
#include "support/KeyringTestTools.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

class tst_KeyringFallback : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void passwordsStayInTheFileAndTheUserLearnsWhyOnce();
    void entryWithoutKeyringIsAClearError();
    void startLeavesThePasswordAndSaysWhyOnce();
    void signInIsKeptNowhereWithoutAKeyring();
};

void tst_KeyringFallback::initTestCase()
{
    qInfo("session bus: %s",
          QDBusConnection::sessionBus().isConnected() ? "private, without a keyring" : "none");
}

void tst_KeyringFallback::passwordsStayInTheFileAndTheUserLearnsWhyOnce()
{
    QStringList notices;
    AccountPasswords::hooks().showNotice = [&](const QString& text) { notices << text; };
    CycleRig rig;
    QVERIFY(rig.load(u"[Account]\nConnectionType=2\nPOPServer=pop.test\nAccountName=bob\nPassword="_s +
                     Account::Scramble(u"abc"_s) + u"\n"_s));
    QCOMPARE(rig.accounts[0]->m_Password, u"abc"_s);
    const QByteArray before = [&] {
        QFile f(rig.iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    QVERIFY(before.contains("Password=679*1372*2079*"));

    rig.accounts[0]->m_Password = u"xyz"_s;
    SaveAccounts(rig.accounts);
    QVERIFY(passwordsSettled());
    SaveAccounts(rig.accounts);
    QVERIFY(passwordsSettled());
    const platform::ProfileFile file(rig.iniPath());
    QCOMPARE(file.read(u"Account"_s, u"Password"_s, QString()), Account::Scramble(u"xyz"_s));
    QVERIFY(!file.hasKey(u"Account"_s, u"KeyringEntry"_s));
    QCOMPARE(notices.size(), 1);
    QVERIFY2(notices[0].contains(u"scrambled, not encrypted"_s), qPrintable(notices[0]));
    // The keyring's own words say what was missing.
    QVERIFY2(notices[0].contains(u"org.freedesktop.secrets"_s) || notices[0].contains(u"session bus"_s) ||
                 notices[0].contains(u"connect"_s, Qt::CaseInsensitive),
             qPrintable(notices[0]));
    // And the file still holds the scrambled password, which reads back.
    rig.accounts.clear();
    const AccountList again = LoadAccounts();
    QCOMPARE(again[0]->m_Password, u"xyz"_s);
    AccountPasswords::hooks().showNotice = {};
}

void tst_KeyringFallback::entryWithoutKeyringIsAClearError()
{
    CycleRig rig;
    // The file of a desktop with a keyring, read where none runs.
    QVERIFY(rig.load(u"[Account]\nConnectionType=2\nPOPServer=pop.test\nAccountName=bob\nPassword=\n"
                     u"KeyringEntry=bob@pop.test\nSecurity=None\n"_s));
    Account& account = *rig.accounts[0];
    QVERIFY(account.PasswordPending());
    // The start-up check does not ask for a password the keyring keeps.
    QVERIFY(rig.cycle->CheckParameters());

    int connections = 0;
    rig.cycle->setClientFactory([&] {
        ++connections;
        return std::make_unique<Pop3Client>();
    });
    QVERIFY(rig.check());
    QCOMPARE(connections, 0);
    QVERIFY(rig.errorTab);
    QVERIFY2(rig.errorText.contains(u"An error occurred while connecting to pop.test with account bob."_s),
             qPrintable(rig.errorText));
    QVERIFY2(rig.errorText.contains(u"which cannot be reached"_s), qPrintable(rig.errorText));
    QVERIFY2(rig.errorText.contains(u" (20)\r\n"_s), qPrintable(rig.errorText));
    QVERIFY(rig.cycle->CheckError);
}

QTEST_MAIN(tst_KeyringFallback)
void tst_KeyringFallback::startLeavesThePasswordAndSaysWhyOnce()
{
    QStringList notices;
    AccountPasswords::ResetNotice();
    AccountPasswords::hooks().showNotice = [&](const QString& text) { notices << text; };
    CycleRig rig;
    QVERIFY(rig.load(u"[Account]\nPOPServer=pop.test\nAccountName=bob\nPassword="_s +
                     Account::Scramble(u"abc"_s) + u"\n"_s));
    QVERIFY(AccountPasswords::MoveFromFile(rig.accounts));
    QVERIFY(passwordsSettled());
    QVERIFY(AccountPasswords::MoveFromFile(rig.accounts));
    QVERIFY(passwordsSettled());
    const platform::ProfileFile file(rig.iniPath());
    QCOMPARE(file.read(u"Account"_s, u"Password"_s, QString()), Account::Scramble(u"abc"_s));
    QCOMPARE(notices.size(), 1);
    QVERIFY2(notices[0].contains(u"scrambled, not encrypted"_s), qPrintable(notices[0]));
    AccountPasswords::hooks().showNotice = {};
}

void tst_KeyringFallback::signInIsKeptNowhereWithoutAKeyring()
{
    QStringList notices;
    AccountPasswords::ResetNotice();
    AccountPasswords::hooks().showNotice = [&](const QString& text) { notices << text; };
    CycleRig rig;
    QVERIFY(rig.load(u"[Account]\nPOPServer=pop.gmail.com\nAccountName=bob\nSignIn=Google\n"_s));
    rig.accounts[0]->m_Password = u"{\"refresh\":\"rt-secret-1\"}"_s;
    SaveAccounts(rig.accounts);
    QVERIFY(passwordsSettled());
    QFile f(rig.iniPath());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    QVERIFY2(!text.contains("rt-secret-1"), text.constData());
    QVERIFY2(!text.contains(Account::Scramble(u"{"_s).toLatin1()), text.constData());
    QCOMPARE(notices.size(), 1);
    QVERIFY2(notices[0].contains(u"never written to a file"_s), qPrintable(notices[0]));
    AccountPasswords::hooks().showNotice = {};
}

#include "tst_KeyringFallback.moc"
