// The copies of the accounts the options dialog edits: OK gives the program's
// accounts what the user changed and nothing else, in the dialog's order.
#include "mail/AccountDrafts.h"
#include "platform/ProfileFile.h"
#include "settings/Program.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

class TestAccountDrafts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void whatACheckLearnedMeanwhileStays();
    void removedAndAddedInTheDialogsOrder();
    void numbers_data();
    void numbers();

private:
    AccountList accounts(int count);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestAccountDrafts::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    Program().AppPath = m_dir->path();
    // No other mail program to take a new account's server from.
    qputenv("HOME", m_dir->path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_dir->path() + u"/.config"_s).toUtf8());
    qunsetenv("WINEPREFIX");
    platform::invalidateProfileCache();
}

void TestAccountDrafts::cleanup()
{
    m_dir.reset();
}

AccountList TestAccountDrafts::accounts(int count)
{
    AccountList list;
    for (int i = 1; i <= count; ++i) {
        auto a = std::make_shared<CAccount>();
        a->m_PopServer = u"pop%1.test"_s.arg(i);
        a->m_AccountName = u"user%1"_s.arg(i);
        a->m_Password = u"pw%1"_s.arg(i);
        list << a;
    }
    return list;
}

// While the dialog is open a check learns the server's security, is given
// the password the keyring kept and refuses a certificate; the user changes
// only the server. OK takes the server and keeps the rest.
void TestAccountDrafts::whatACheckLearnedMeanwhileStays()
{
    AccountList list = accounts(1);
    CAccount& account = *list[0];
    account.m_Password.clear();
    account.m_KeyringEntry = u"user1@pop1.test:110 #x"_s;
    account.m_Security = u"Auto"_s;
    AccountDrafts drafts(list);
    QVERIFY(drafts.drafts[0].passwordInKeyring);
    drafts.drafts[0].now.popServer = u"mail.test"_s;

    account.m_Security = u"STARTTLS"_s;
    account.m_Password = u"from-the-keyring"_s;
    account.m_RejectedCertificate = u"AA:BB"_s;
    QVERIFY(drafts.drafts[0].hasPassword());
    drafts.Apply(list);
    QCOMPARE(list.size(), 1);
    QCOMPARE(list[0].get(), &account);
    QCOMPARE(account.m_PopServer, u"mail.test"_s);
    QCOMPARE(account.m_Security, u"STARTTLS"_s);
    QCOMPARE(account.m_Password, u"from-the-keyring"_s);
    QCOMPARE(account.m_RejectedCertificate, u"AA:BB"_s);

    // Trusting the refused certificate settles the refusal.
    AccountDrafts again(list);
    QCOMPARE(again.drafts[0].rejectedCertificate, u"AA:BB"_s);
    again.drafts[0].now.trustedCertificate = u"aa:bb"_s;
    again.drafts[0].now.password.clear();
    QVERIFY(!again.drafts[0].hasPassword());
    again.Apply(list);
    QCOMPARE(account.m_TrustedCertificate, u"aa:bb"_s);
    QVERIFY(account.m_RejectedCertificate.isEmpty());
    QVERIFY(account.m_Password.isEmpty());
}

void TestAccountDrafts::removedAndAddedInTheDialogsOrder()
{
    AccountList list = accounts(3);
    const AccountList before = list;
    AccountDrafts drafts(list);
    drafts.remove(1);
    AccountDrafts::Draft& added = drafts.add();
    QVERIFY(added.added);
    QCOMPARE(added.now.popServer, QString());
    QCOMPARE(added.now.checkInterval, u"3"_s);
    QCOMPARE(added.now.port, u"110"_s);
    QCOMPARE(added.now.security, u"STARTTLS"_s);
    added.now.popServer = u"new.test"_s;
    added.now.checkInterval = u"7"_s;
    // Nothing reaches the accounts before Apply.
    QCOMPARE(list, before);

    drafts.Apply(list);
    QCOMPARE(list.size(), 3);
    QCOMPARE(list[0], before[0]);
    QCOMPARE(list[1], before[2]);
    QCOMPARE(list[2]->m_PopServer, u"new.test"_s);
    QCOMPARE(list[2]->m_CheckInterval, 7);
    QCOMPARE(list[2]->m_MinuteCounter, 7); // due at the next minute
    QCOMPARE(list[2]->m_Security, u"STARTTLS"_s);
    QVERIFY(!list[2]->HasPassword());
    QVERIFY(list[2]->m_UniqueID != list[0]->m_UniqueID && list[2]->m_UniqueID != list[1]->m_UniqueID);
}

void TestAccountDrafts::numbers_data()
{
    QTest::addColumn<QString>("interval");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("problem"); // AccountDrafts::Problem::Field
    QTest::newRow("both work") << u"1"_s << u"65535"_s << int(AccountDrafts::Problem::None);
    QTest::newRow("interval empty") << QString() << u"110"_s << int(AccountDrafts::Problem::Interval);
    QTest::newRow("interval 0") << u"0"_s << u"110"_s << int(AccountDrafts::Problem::Interval);
    QTest::newRow("port 0") << u"3"_s << u"0"_s << int(AccountDrafts::Problem::Port);
    QTest::newRow("port 65536") << u"3"_s << u"65536"_s << int(AccountDrafts::Problem::Port);
    QTest::newRow("port 99999") << u"3"_s << u"99999"_s << int(AccountDrafts::Problem::Port);
    QTest::newRow("port empty") << u"3"_s << QString() << int(AccountDrafts::Problem::Port);
    QTest::newRow("both: the interval first")
        << QString() << QString() << int(AccountDrafts::Problem::Interval);
}

void TestAccountDrafts::numbers()
{
    QFETCH(QString, interval);
    QFETCH(QString, port);
    QFETCH(int, problem);
    AccountList list = accounts(2);
    AccountDrafts drafts(list);
    drafts.drafts[1].now.checkInterval = interval;
    drafts.drafts[1].now.port = port;
    const AccountDrafts::Problem found = drafts.FirstProblem();
    QCOMPARE(int(found.field), problem);
    QCOMPARE(found.index, problem == AccountDrafts::Problem::None ? -1 : 1);
    QCOMPARE(found.message.isEmpty(), problem == AccountDrafts::Problem::None);
}

QTEST_GUILESS_MAIN(TestAccountDrafts)
#include "TestAccountDrafts.moc"
