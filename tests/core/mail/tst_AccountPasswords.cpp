// The accounts' passwords in a real keyring: a GNOME Keyring on a private
// session bus (KEYRING). What a save puts into the keyring and leaves in
// "Zentra.INI", what a start reads back, scrambled passwords moving over,
// entries following a new name or server and going with a removed account,
// and a locked keyring, on reading and on saving.
#include "support/KeyringTestTools.h"
#include "core/mail/AccountPasswords.h"
#include "core/mail/Accounts.h"
#include "platform/ProfileFile.h"
#include "core/settings/Program.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

namespace {

// A section of an account on server with user name bob.
QString section(const QString& name, const QString& server, const QString& passwordKeys)
{
    return u"["_s + name + u"]\nPOPServer="_s + server + u"\nAccountName=bob\n"_s + passwordKeys + u'\n';
}

QString scrambled(const QString& password)
{
    return u"Password="_s + Account::Scramble(password);
}

} // namespace

class tst_AccountPasswords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void enteredPasswordGoesToTheKeyring();
    void scrambledPasswordsMoveOnSave_data();
    void scrambledPasswordsMoveOnSave();
    void passwordWrittenByAProgramWithoutKeyringWins();
    void entryFollowsNameAndServer();
    void removedAccountTakesItsEntry_data();
    void removedAccountTakesItsEntry();
    // Last: nothing unlocks the keyring again without a person at its prompt.
    void lockedKeyring();

private:
    AccountList load(const QString& ini);
    QString ini(const QString& section, const QString& key) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QStringList m_notices;
};

void tst_AccountPasswords::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("ORVELLA_TEST_KEYRING"), "run with a keyring (KEYRING)");
    AccountPasswords::hooks().showNotice = [this](const QString& text) { m_notices << text; };
}

void tst_AccountPasswords::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    Program().AppPath = m_dir->path();
    m_notices.clear();
    AccountPasswords::ResetNotice();
}

void tst_AccountPasswords::cleanup()
{
    QVERIFY(passwordsSettled());
    m_dir.reset();
}

AccountList tst_AccountPasswords::load(const QString& text)
{
    QFile f(m_dir->filePath(u"Zentra.INI"_s));
    if (!f.open(QIODevice::WriteOnly)) return {};
    f.write(text.toUtf8());
    f.close();
    platform::invalidateProfileCache();
    return LoadAccounts();
}

QString tst_AccountPasswords::ini(const QString& section, const QString& key) const
{
    return platform::ProfileFile(m_dir->filePath(u"Zentra.INI"_s)).read(section, key, u"<none>"_s);
}

void tst_AccountPasswords::enteredPasswordGoesToTheKeyring()
{
    const QString password = u"pässword 1*7"_s;
    {
        AccountList accounts = load(section(u"Account"_s, u"one.test"_s, QString()));
        QVERIFY(!accounts[0]->HasPassword());
        // As the options dialog does when the user types.
        accounts[0]->m_Password = password;
        SaveAccounts(accounts);
        // Until the keyring has it, the file keeps it.
        QCOMPARE(Account::Unscramble(ini(u"Account"_s, u"Password"_s)), password);
        QVERIFY(passwordsSettled());
        QCOMPARE(ini(u"Account"_s, u"Password"_s), QString());
        QCOMPARE(ini(u"Account"_s, u"KeyringEntry"_s), u"bob@one.test"_s);
        QCOMPARE(keyringLookup(u"bob@one.test"_s), password);
        QVERIFY(grepFolder(m_dir->path(), Account::Scramble(password)).isEmpty());
        QVERIFY(m_notices.isEmpty());
    }
    // The next start reads it back when a check asks.
    AccountList accounts = LoadAccounts();
    Account& account = *accounts[0];
    QVERIFY(account.PasswordPending());
    QVERIFY(account.HasPassword());
    QCOMPARE(account.m_Password, QString());
    QString why = u"<not answered>"_s;
    [](std::shared_ptr<Account> a, QString& out) -> QCoro::Task<> {
        out = co_await AccountPasswords::Await(a, std::chrono::seconds(20));
    }(accounts[0], why);
    QVERIFY(QTest::qWaitFor([&] { return why != u"<not answered>"_s; }, 20000));
    QCOMPARE(why, QString());
    QCOMPARE(account.m_Password, password);
    QVERIFY(!account.PasswordPending());
    QVERIFY(account.PasswordInKeyring());
    // Saved again unchanged, nothing moves.
    SaveAccounts(accounts);
    QVERIFY(passwordsSettled());
    QCOMPARE(ini(u"Account"_s, u"Password"_s), QString());
    QCOMPARE(keyringLookup(u"bob@one.test"_s), password);
}

void tst_AccountPasswords::scrambledPasswordsMoveOnSave_data()
{
    QTest::addColumn<int>("removeAt"); // the account the options remove first; 0 none
    QTest::newRow("three accounts") << 0;
    // The section that falls out keeps a copy of the account that moved up.
    QTest::newRow("one of three removed") << 2;
}

void tst_AccountPasswords::scrambledPasswordsMoveOnSave()
{
    QFETCH(int, removeAt);
    const QStringList passwords{u"first-Secret"_s, u"second-Secret"_s, u"third-Secret"_s};
    // Each row its own servers: the keyring outlives the rows.
    const QString row = QString::number(removeAt);
    const QStringList servers{u"a.move"_s + row, u"b.move"_s + row, u"c.move"_s + row};
    QString text = u"[General]\nNoOfAccounts=3\n"_s;
    for (int i = 0; i < 3; ++i)
        text += section(AccountSection(i + 1), servers[i], scrambled(passwords[i]));
    AccountList accounts = load(text);
    QCOMPARE(accounts.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(accounts[i]->m_Password, passwords[i]);
    if (removeAt > 0) accounts.removeAt(removeAt - 1);

    SaveAccounts(accounts);
    QVERIFY(passwordsSettled());
    for (int i = 0; i < 3; ++i) {
        const bool kept = i + 1 != removeAt;
        QCOMPARE(keyringLookup(u"bob@"_s + servers[i]), kept ? passwords[i] : QString());
        // Neither the password nor its scrambled form is left in the program folder.
        QVERIFY2(grepFolder(m_dir->path(), passwords[i]).isEmpty(), qPrintable(passwords[i]));
        QVERIFY2(grepFolder(m_dir->path(), Account::Scramble(passwords[i])).isEmpty(),
                 qPrintable(passwords[i]));
    }
    for (int i = 1; i <= accounts.size(); ++i)
        QCOMPARE(ini(AccountSection(i), u"KeyringEntry"_s), accounts[i - 1]->KeyringKey());
    QVERIFY(m_notices.isEmpty());
}

void tst_AccountPasswords::passwordWrittenByAProgramWithoutKeyringWins()
{
    {
        AccountList accounts = load(section(u"Account"_s, u"both.test"_s, scrambled(u"old-pw"_s)));
        SaveAccounts(accounts);
        QVERIFY(passwordsSettled());
        QCOMPARE(keyringLookup(u"bob@both.test"_s), u"old-pw"_s);
    }
    // A program that knows no keyring changes the password in the file and
    // keeps the line it does not know.
    platform::ProfileFile file(m_dir->filePath(u"Zentra.INI"_s));
    file.write(u"Account"_s, u"Password"_s, Account::Scramble(u"new-pw"_s));
    QVERIFY(file.save());
    AccountList accounts = LoadAccounts();
    QVERIFY(!accounts[0]->PasswordPending());
    QCOMPARE(accounts[0]->m_Password, u"new-pw"_s);
    SaveAccounts(accounts);
    QVERIFY(passwordsSettled());
    QCOMPARE(keyringLookup(u"bob@both.test"_s), u"new-pw"_s);
    QCOMPARE(ini(u"Account"_s, u"Password"_s), QString());
}

void tst_AccountPasswords::entryFollowsNameAndServer()
{
    {
        AccountList accounts = load(section(u"Account"_s, u"old.test"_s, scrambled(u"follow-pw"_s)));
        SaveAccounts(accounts);
        QVERIFY(passwordsSettled());
    }
    // After a start the password has not been read when the options change the server.
    AccountList accounts = LoadAccounts();
    QVERIFY(accounts[0]->PasswordPending());
    accounts[0]->m_PopServer = u"new.test"_s;
    accounts[0]->m_AccountName = u"robert"_s;
    SaveAccounts(accounts);
    // Meanwhile the file names the old entry, which still holds the password.
    QCOMPARE(ini(u"Account"_s, u"KeyringEntry"_s), u"bob@old.test"_s);
    QCOMPARE(ini(u"Account"_s, u"Password"_s), QString());
    QVERIFY(passwordsSettled());
    QCOMPARE(ini(u"Account"_s, u"KeyringEntry"_s), u"robert@new.test"_s);
    QCOMPARE(ini(u"Account"_s, u"POPServer"_s), u"new.test"_s);
    QCOMPARE(keyringLookup(u"robert@new.test"_s), u"follow-pw"_s);
    QCOMPARE(keyringLookup(u"bob@old.test"_s), QString());
    QCOMPARE(accounts[0]->m_Password, u"follow-pw"_s);
}

void tst_AccountPasswords::removedAccountTakesItsEntry_data()
{
    QTest::addColumn<QString>("secondServer");
    QTest::addColumn<bool>("entryStays");
    QTest::newRow("an entry of its own") << u"gone.test"_s << false;
    // The same server and name: one mailbox, one entry, still used by the first.
    QTest::newRow("an entry shared with another account") << u"shared.test"_s << true;
}

void tst_AccountPasswords::removedAccountTakesItsEntry()
{
    QFETCH(QString, secondServer);
    QFETCH(bool, entryStays);
    {
        AccountList accounts = load(u"[General]\nNoOfAccounts=2\n"_s +
                                    section(u"Account"_s, u"shared.test"_s, scrambled(u"pw-1"_s)) +
                                    section(u"Account 2"_s, secondServer, scrambled(u"pw-1"_s)));
        SaveAccounts(accounts);
        QVERIFY(passwordsSettled());
        QCOMPARE(keyringLookup(u"bob@"_s + secondServer), u"pw-1"_s);
    }
    AccountList accounts = LoadAccounts();
    QCOMPARE(accounts.size(), 2);
    accounts.removeLast();
    SaveAccounts(accounts);
    QVERIFY(passwordsSettled());
    QCOMPARE(keyringLookup(u"bob@"_s + secondServer), entryStays ? u"pw-1"_s : QString());
    QCOMPARE(keyringLookup(u"bob@shared.test"_s), u"pw-1"_s);
    QCOMPARE(ini(u"Account 2"_s, u"KeyringEntry"_s), u"<none>"_s);
    QCOMPARE(ini(u"General"_s, u"NoOfAccounts"_s), u"1"_s);
}

void tst_AccountPasswords::lockedKeyring()
{
    {
        AccountList accounts = load(section(u"Account"_s, u"locked.test"_s, scrambled(u"locked-pw"_s)));
        SaveAccounts(accounts);
        QVERIFY(passwordsSettled());
    }
    QVERIFY(lockKeyring());

    // Reading: no prompt can be shown here, as when the user closes it.
    AccountList accounts = LoadAccounts();
    QVERIFY(accounts[0]->PasswordPending());
    QString why = u"<not answered>"_s;
    [](std::shared_ptr<Account> a, QString& out) -> QCoro::Task<> {
        out = co_await AccountPasswords::Await(a, std::chrono::seconds(20));
    }(accounts[0], why);
    QVERIFY(QTest::qWaitFor([&] { return why != u"<not answered>"_s; }, 20000));
    QVERIFY2(why.contains(u"stayed locked"_s), qPrintable(why));
    QVERIFY(accounts[0]->PasswordPending());

    // Saving a new password: the locked keyring does not take it, the file
    // keeps it scrambled, and the user is told why, once.
    accounts[0]->m_Password = u"typed-anew"_s;
    SaveAccounts(accounts);
    QVERIFY(passwordsSettled());
    QCOMPARE(Account::Unscramble(ini(u"Account"_s, u"Password"_s)), u"typed-anew"_s);
    QCOMPARE(m_notices.size(), 1);
    QVERIFY2(m_notices[0].contains(u"\"Zentra.INI\""_s), qPrintable(m_notices[0]));
    SaveAccounts(accounts);
    QVERIFY(passwordsSettled());
    QCOMPARE(m_notices.size(), 1);
    // A start reads the file's password, the newer one.
    accounts.clear();
    accounts = LoadAccounts();
    QCOMPARE(accounts[0]->m_Password, u"typed-anew"_s);
}

QTEST_GUILESS_MAIN(tst_AccountPasswords)
#include "tst_AccountPasswords.moc"
