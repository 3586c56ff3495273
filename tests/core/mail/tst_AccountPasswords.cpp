// The accounts' passwords in a real keyring: a GNOME Keyring on a private
// session bus (KEYRING). What a save puts into the keyring and leaves in
// "Zentra.INI", what a start reads back, scrambled passwords moving over,
// entries following a new name or server and going with a removed account,
// and a locked keyring, on reading and on saving.
#include "core/mail/AccountPasswords.h"
#include "core/mail/Accounts.h"
#include "core/settings/Program.h"
#include "platform/ProfileFile.h"
#include "support/KeyringTestTools.h"
#include "support/ProgramFolder.h"

#include <QFile>
#include <QHash>
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
    void passwordsLeaveTheFileAtStart();
    void signInTokensGoOnlyToTheKeyring();
    void entryFollowsNameAndServer();
    void removedAccountTakesItsEntry_data();
    void removedAccountTakesItsEntry();
    void accountsOfOneNameAndServerKeepTheirOwn();
    void sharedEntryMovesApart_data();
    void sharedEntryMovesApart();
    void oldEntryStaysUntilTheNewOneAnswers();
    void copiedSectionGetsAnIdentityOfItsOwn();
    // Last: nothing unlocks the keyring again without a person at its prompt.
    void lockedKeyring();

private:
    AccountList load(const QString& ini);
    QString ini(const QString& section, const QString& key) const;

    std::unique_ptr<test::ProgramFolder> m_folder;
    QStringList m_notices;
};

void tst_AccountPasswords::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("ORVELLA_TEST_KEYRING"), "run with a keyring (KEYRING)");
    AccountPasswords::hooks().showNotice = [this](const QString& text) { m_notices << text; };
}

void tst_AccountPasswords::init()
{
    m_folder = std::make_unique<test::ProgramFolder>();
    m_folder->adopt();
    m_notices.clear();
    AccountPasswords::ResetNotice();
}

void tst_AccountPasswords::cleanup()
{
    QVERIFY(passwordsSettled());
    m_folder.reset();
}

AccountList tst_AccountPasswords::load(const QString& text)
{
    m_folder->writeIni(text.toUtf8());
    if (QTest::currentTestFailed()) return {};
    return LoadAccounts();
}

QString tst_AccountPasswords::ini(const QString& section, const QString& key) const
{
    return platform::ProfileFile(m_folder->iniPath()).read(section, key, u"<none>"_s);
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
        const QString key = accounts[0]->KeyringKey();
        QCOMPARE(key, u"bob@one.test:110 #"_s + accounts[0]->m_UniqueID);
        QCOMPARE(ini(u"Account"_s, u"KeyringEntry"_s), key);
        QCOMPARE(ini(u"Account"_s, u"UniqueID"_s), accounts[0]->m_UniqueID);
        QCOMPARE(keyringLookup(key), password);
        QVERIFY(grepFolder(m_folder->path(), Account::Scramble(password)).isEmpty());
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
    QCOMPARE(keyringLookup(account.KeyringKey()), password);
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
    QStringList keys;
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(accounts[i]->m_Password, passwords[i]);
        keys << accounts[i]->KeyringKey();
    }
    if (removeAt > 0) accounts.removeAt(removeAt - 1);

    SaveAccounts(accounts);
    QVERIFY(passwordsSettled());
    for (int i = 0; i < 3; ++i) {
        const bool kept = i + 1 != removeAt;
        QCOMPARE(keyringLookup(keys[i]), kept ? passwords[i] : QString());
        // Neither the password nor its scrambled form is left in the program folder.
        QVERIFY2(grepFolder(m_folder->path(), passwords[i]).isEmpty(), qPrintable(passwords[i]));
        QVERIFY2(grepFolder(m_folder->path(), Account::Scramble(passwords[i])).isEmpty(),
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
        QCOMPARE(keyringLookup(accounts[0]->KeyringKey()), u"old-pw"_s);
    }
    // A program that knows no keyring changes the password in the file and
    // keeps the line it does not know.
    platform::ProfileFile file(m_folder->iniPath());
    file.write(u"Account"_s, u"Password"_s, Account::Scramble(u"new-pw"_s));
    QVERIFY(file.save());
    AccountList accounts = LoadAccounts();
    QVERIFY(!accounts[0]->PasswordPending());
    QCOMPARE(accounts[0]->m_Password, u"new-pw"_s);
    SaveAccounts(accounts);
    QVERIFY(passwordsSettled());
    QCOMPARE(keyringLookup(accounts[0]->KeyringKey()), u"new-pw"_s);
    QCOMPARE(ini(u"Account"_s, u"Password"_s), QString());
}

// Nobody presses OK in the options: the start itself moves the password,
// and an account whose entry the keyring holds already is left alone.
void tst_AccountPasswords::passwordsLeaveTheFileAtStart()
{
    AccountList accounts = load(u"[General]\nNoOfAccounts=2\n"_s +
                                section(AccountSection(1), u"start.move"_s, scrambled(u"s1-pw"_s)) +
                                section(AccountSection(2), u"start.kept"_s, u"KeyringEntry=somewhere"_s));
    QVERIFY(AccountPasswords::MoveFromFile(accounts));
    QVERIFY(passwordsSettled());
    QCOMPARE(ini(AccountSection(1), u"Password"_s), QString());
    QCOMPARE(ini(AccountSection(1), u"KeyringEntry"_s), accounts[0]->KeyringKey());
    // The identity the entry is named after is in the file, so the next start names it alike.
    QCOMPARE(ini(AccountSection(1), u"UniqueID"_s), accounts[0]->m_UniqueID);
    QCOMPARE(keyringLookup(accounts[0]->KeyringKey()), u"s1-pw"_s);
    QCOMPARE(ini(AccountSection(2), u"KeyringEntry"_s), u"somewhere"_s);
    QVERIFY(grepFolder(m_folder->path(), Account::Scramble(u"s1-pw"_s)).isEmpty());
    QVERIFY(m_notices.isEmpty());
    // The next start finds nothing left to move, and its account the same entry.
    const QString key = accounts[0]->KeyringKey();
    accounts.clear();
    accounts = LoadAccounts();
    QVERIFY(!AccountPasswords::MoveFromFile(accounts));
    QCOMPARE(accounts[0]->KeyringKey(), key);
}

// A sign-in's tokens are the account's password as the keyring sees it, and
// the settings file never holds them, not even before the keyring answered.
void tst_AccountPasswords::signInTokensGoOnlyToTheKeyring()
{
    const QString tokens = u"{\"access\":\"at-Zq9/+\",\"refresh\":\"rt-8Xw=\"}"_s;
    AccountList accounts = load(section(u"Account"_s, u"outlook.tokens"_s, u"SignIn=microsoft"_s));
    QCOMPARE(accounts[0]->m_SignIn, Account::SignIn::Microsoft);
    accounts[0]->m_Password = tokens;
    SaveAccounts(accounts);
    QCOMPARE(ini(u"Account"_s, u"Password"_s), QString());
    QCOMPARE(ini(u"Account"_s, u"SignIn"_s), u"Microsoft"_s);
    QVERIFY(passwordsSettled());
    QCOMPARE(keyringLookup(accounts[0]->KeyringKey()), tokens);
    QVERIFY(grepFolder(m_folder->path(), u"at-Zq9"_s).isEmpty());
    QVERIFY(grepFolder(m_folder->path(), u"rt-8Xw"_s).isEmpty());
    // Refreshed tokens replace them in the same entry.
    const QString refreshed = u"{\"access\":\"at-2\",\"refresh\":\"rt-2\"}"_s;
    accounts[0]->m_Password = refreshed;
    AccountPasswords::StoreOne(accounts[0]);
    QVERIFY(passwordsSettled());
    QCOMPARE(keyringLookup(accounts[0]->KeyringKey()), refreshed);
    QVERIFY(m_notices.isEmpty());
}

void tst_AccountPasswords::entryFollowsNameAndServer()
{
    QString oldKey;
    {
        AccountList accounts = load(section(u"Account"_s, u"old.test"_s, scrambled(u"follow-pw"_s)));
        SaveAccounts(accounts);
        QVERIFY(passwordsSettled());
        oldKey = accounts[0]->KeyringKey();
    }
    // After a start the password has not been read when the options change the server.
    AccountList accounts = LoadAccounts();
    QVERIFY(accounts[0]->PasswordPending());
    accounts[0]->m_PopServer = u"new.test"_s;
    accounts[0]->m_AccountName = u"robert"_s;
    accounts[0]->m_Port = 995;
    const QString newKey = accounts[0]->KeyringKey();
    QCOMPARE(newKey, u"robert@new.test:995 #"_s + accounts[0]->m_UniqueID);
    SaveAccounts(accounts);
    // Meanwhile the file names the old entry, which still holds the password.
    QCOMPARE(ini(u"Account"_s, u"KeyringEntry"_s), oldKey);
    QCOMPARE(ini(u"Account"_s, u"Password"_s), QString());
    QVERIFY(passwordsSettled());
    QCOMPARE(ini(u"Account"_s, u"KeyringEntry"_s), newKey);
    QCOMPARE(ini(u"Account"_s, u"POPServer"_s), u"new.test"_s);
    QCOMPARE(keyringLookup(newKey), u"follow-pw"_s);
    QCOMPARE(keyringLookup(oldKey), QString());
    QCOMPARE(accounts[0]->m_Password, u"follow-pw"_s);
}

void tst_AccountPasswords::removedAccountTakesItsEntry_data()
{
    QTest::addColumn<QString>("secondServer");
    QTest::newRow("another server") << u"gone.test"_s;
    // The same server and name: still an entry of its own, which goes with it.
    QTest::newRow("the same server and name") << u"shared.test"_s;
}

void tst_AccountPasswords::removedAccountTakesItsEntry()
{
    QFETCH(QString, secondServer);
    QString firstKey, secondKey;
    {
        AccountList accounts = load(u"[General]\nNoOfAccounts=2\n"_s +
                                    section(u"Account"_s, u"shared.test"_s, scrambled(u"pw-1"_s)) +
                                    section(u"Account 2"_s, secondServer, scrambled(u"pw-2"_s)));
        SaveAccounts(accounts);
        QVERIFY(passwordsSettled());
        firstKey = accounts[0]->KeyringKey();
        secondKey = accounts[1]->KeyringKey();
        QVERIFY(firstKey != secondKey);
        QCOMPARE(keyringLookup(secondKey), u"pw-2"_s);
    }
    AccountList accounts = LoadAccounts();
    QCOMPARE(accounts.size(), 2);
    accounts.removeLast();
    SaveAccounts(accounts);
    QVERIFY(passwordsSettled());
    QCOMPARE(keyringLookup(secondKey), QString());
    QCOMPARE(keyringLookup(firstKey), u"pw-1"_s);
    QCOMPARE(ini(u"Account 2"_s, u"KeyringEntry"_s), u"<none>"_s);
    QCOMPARE(ini(u"General"_s, u"NoOfAccounts"_s), u"1"_s);
}

namespace {

// Two accounts named bob on same.test, on the ports 110 and 995.
QString twoPorts(const QString& first, const QString& second)
{
    return u"[General]\nNoOfAccounts=2\n[Account]\nPOPServer=same.test\nAccountName=bob\nPort=110\n"_s +
           first + u"\n[Account 2]\nPOPServer=same.test\nAccountName=bob\nPort=995\n"_s + second + u'\n';
}

// The password the keyring gives the account, as a check asks for it.
QString readPassword(const std::shared_ptr<Account>& account)
{
    QString why = u"<not answered>"_s;
    [](std::shared_ptr<Account> a, QString& out) -> QCoro::Task<> {
        out = co_await AccountPasswords::Await(a, std::chrono::seconds(20));
    }(account, why);
    if (!QTest::qWaitFor([&] { return why != u"<not answered>"_s; }, 20000)) return u"<no answer>"_s;
    return why.isEmpty() ? account->m_Password : u"<failed: "_s + why + u'>';
}

// A keyring that says it took a password and then has none under that key.
class ForgetfulKeyring : public platform::Keyring
{
public:
    QHash<QString, QString> entries;
    QStringList removed;

    QCoro::Task<Reply> read(QString key) override
    {
        if (entries.contains(key)) co_return Reply{Status::Ok, entries.value(key), QString()};
        co_return Reply{Status::NotFound, QString(), u"no such entry"_s};
    }
    QCoro::Task<Reply> write(QString, QString) override { co_return Reply{Status::Ok, QString(), QString()}; }
    QCoro::Task<Reply> remove(QString key) override
    {
        removed << key;
        entries.remove(key);
        co_return Reply{Status::Ok, QString(), QString()};
    }
};

} // namespace

// The same account name on the same server, once on each port: changing
// one's password leaves the other's alone, after a restart too.
void tst_AccountPasswords::accountsOfOneNameAndServerKeepTheirOwn()
{
    {
        AccountList accounts = load(twoPorts(scrambled(u"pw-110"_s), scrambled(u"pw-995"_s)));
        SaveAccounts(accounts);
        QVERIFY(passwordsSettled());
    }
    {
        AccountList accounts = LoadAccounts();
        QVERIFY(accounts[0]->PasswordPending());
        accounts[0]->m_Password = u"pw-110-new"_s;
        SaveAccounts(accounts);
        QVERIFY(passwordsSettled());
    }
    AccountList accounts = LoadAccounts();
    QVERIFY(accounts[0]->KeyringKey() != accounts[1]->KeyringKey());
    QCOMPARE(ini(u"Account"_s, u"KeyringEntry"_s), accounts[0]->KeyringKey());
    QCOMPARE(ini(u"Account 2"_s, u"KeyringEntry"_s), accounts[1]->KeyringKey());
    QCOMPARE(readPassword(accounts[0]), u"pw-110-new"_s);
    QCOMPARE(readPassword(accounts[1]), u"pw-995"_s);
    QVERIFY(m_notices.isEmpty());
}

void tst_AccountPasswords::sharedEntryMovesApart_data()
{
    QTest::addColumn<bool>("byReading"); // else by saving
    QTest::newRow("read by a check") << true;
    QTest::newRow("saved by the options") << false;
}

// A file whose two accounts share the entry "bob@same.test" (named by account
// and server alone): each account moves to an entry of its own, and the old
// entry goes once neither names it.
void tst_AccountPasswords::sharedEntryMovesApart()
{
    QFETCH(bool, byReading);
    const QString old = u"bob@same.test"_s;
    QVERIFY(keyringStore(old, u"shared-pw"_s));
    AccountList accounts =
        load(twoPorts(u"Password=\nKeyringEntry="_s + old, u"Password=\nKeyringEntry="_s + old));
    QVERIFY(accounts[0]->PasswordPending() && accounts[1]->PasswordPending());
    if (byReading) {
        QCOMPARE(readPassword(accounts[0]), u"shared-pw"_s);
        QVERIFY(passwordsSettled());
        QCOMPARE(ini(u"Account"_s, u"KeyringEntry"_s), accounts[0]->KeyringKey());
        QCOMPARE(keyringLookup(accounts[0]->KeyringKey()), u"shared-pw"_s);
        // The second account still reads it there.
        QCOMPARE(ini(u"Account 2"_s, u"KeyringEntry"_s), old);
        QCOMPARE(keyringLookup(old), u"shared-pw"_s);
        QCOMPARE(readPassword(accounts[1]), u"shared-pw"_s);
    } else {
        SaveAccounts(accounts);
    }
    QVERIFY(passwordsSettled());
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(ini(AccountSection(i + 1), u"KeyringEntry"_s), accounts[i]->KeyringKey());
        QCOMPARE(keyringLookup(accounts[i]->KeyringKey()), u"shared-pw"_s);
    }
    QCOMPARE(keyringLookup(old), QString());
    QVERIFY(m_notices.isEmpty());
}

// A keyring that takes the password but cannot give it back: the file keeps
// naming the old entry, which stays, and the user is told.
void tst_AccountPasswords::oldEntryStaysUntilTheNewOneAnswers()
{
    ForgetfulKeyring keyring;
    keyring.entries.insert(u"bob@same.test"_s, u"kept-pw"_s);
    platform::Keyring::install(&keyring);
    AccountList accounts =
        load(twoPorts(u"Password=\nKeyringEntry=bob@same.test"_s, scrambled(u"file-pw"_s)));
    SaveAccounts(accounts);
    const bool settled = passwordsSettled();
    platform::Keyring::install(nullptr);
    QVERIFY(settled);
    QVERIFY(keyring.removed.isEmpty());
    QCOMPARE(keyring.entries.value(u"bob@same.test"_s), u"kept-pw"_s);
    QCOMPARE(ini(u"Account"_s, u"KeyringEntry"_s), u"bob@same.test"_s);
    QCOMPARE(Account::Unscramble(ini(u"Account 2"_s, u"Password"_s)), u"file-pw"_s);
    QCOMPARE(ini(u"Account 2"_s, u"KeyringEntry"_s), u"<none>"_s);
    QCOMPARE(m_notices.size(), 1);
}

// A section copied by hand holds the other account's identity: the copy gets
// one of its own, so its password never lands in the other's entry.
void tst_AccountPasswords::copiedSectionGetsAnIdentityOfItsOwn()
{
    AccountList accounts = load(twoPorts(u"UniqueID=0123456789abcdef\n"_s + scrambled(u"first-pw"_s),
                                         u"UniqueID=0123456789abcdef\n"_s + scrambled(u"second-pw"_s)));
    QCOMPARE(accounts[0]->m_UniqueID, u"0123456789abcdef"_s);
    QVERIFY(accounts[1]->m_UniqueID != accounts[0]->m_UniqueID);
    SaveAccounts(accounts);
    QVERIFY(passwordsSettled());
    QCOMPARE(ini(u"Account 2"_s, u"UniqueID"_s), accounts[1]->m_UniqueID);
    QCOMPARE(keyringLookup(accounts[0]->KeyringKey()), u"first-pw"_s);
    QCOMPARE(keyringLookup(accounts[1]->KeyringKey()), u"second-pw"_s);
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
