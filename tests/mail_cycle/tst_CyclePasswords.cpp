// How a check waits for passwords the keyring keeps, with a keyring the test
// controls (the real one: tests/keyring): an account whose password comes
// late is checked after the others, one that never comes gets a clear error
// without holding up the rest, the program's end does not wait for it, and
// each kind of keyring failure is told in its own words.
#include "mail/AccountPasswords.h"
#include "mail/pop/Pop3Client.h"
#include "support/CycleRig.h"
#include "support/Pop3ScriptedTransport.h"

#include <QCoro/QCoroSignal>
#include <QElapsedTimer>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;
using platform::Keyring;

namespace {

// Answers reads from its entries, or holds them until released.
class FakeKeyring : public QObject, public Keyring
{
    Q_OBJECT
public:
    QHash<QString, Reply> entries;
    bool holdReads = false;
    QStringList reads;

    QCoro::Task<Reply> read(QString key) override
    {
        reads << key;
        if (holdReads) co_await qCoro(this, &FakeKeyring::released);
        co_return entries.value(key, Reply{Status::NotFound, QString(), u"Entry not found"_s});
    }
    QCoro::Task<Reply> write(QString key, QString password) override
    {
        entries.insert(key, Reply{Status::Ok, password, QString()});
        co_return Reply{Status::Ok, QString(), QString()};
    }
    QCoro::Task<Reply> remove(QString key) override
    {
        entries.remove(key);
        co_return Reply{Status::Ok, QString(), QString()};
    }
    void release()
    {
        holdReads = false;
        Q_EMIT released();
    }

Q_SIGNALS:
    void released();
};

// An empty mailbox of user, whose password is user + "-pw".
QByteArray emptyMailbox(const QString& user)
{
    const QByteArray u = user.toUtf8();
    return "S: +OK ready\nC: CAPA\nS: +OK\nS: USER\nS: .\nC: USER " + u + "\nS: +OK\nC: PASS " + u +
           "-pw\nS: +OK\nC: STAT\nS: +OK 0 0\nC: QUIT\nS: +OK\n";
}

} // namespace

class tst_CyclePasswords : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void latePasswordIsCheckedLast();
    void passwordThatNeverComesFailsItsAccountAlone();
    void programEndDoesNotWaitForTheKeyring();
    void keyringFailures_data();
    void keyringFailures();
    void timedCheckReadsOnlyDueAccounts();

private:
    // keyring1 (password in the keyring) and file2 (password in the file).
    bool load(const QString& firstInterval = u"3"_s);
    void expectServers(const QStringList& users);

    // What each server saw, taken when its account's check ended.
    struct Server
    {
        QString host;
        QStringList failures;
        bool finished = false;
    };

    FakeKeyring m_keyring;
    std::unique_ptr<CycleRig> m_rig;
    QPointer<Pop3ScriptedTransport> m_transport; // the latest
    QList<Server> m_servers;
    QStringList m_scripts; // users, in the order the checks are expected
};

void tst_CyclePasswords::init()
{
    Keyring::install(&m_keyring);
    m_keyring.entries = {{u"keyring1@one.test"_s, {Keyring::Status::Ok, u"keyring1-pw"_s, QString()}}};
    m_keyring.holdReads = false;
    m_keyring.reads.clear();
    m_servers.clear();
    m_rig = std::make_unique<CycleRig>();
}

void tst_CyclePasswords::cleanup()
{
    // A read still held would never end.
    m_keyring.release();
    QTest::qWait(10);
    // A reading moves the entry named the old way; that ends with the test.
    QVERIFY(QTest::qWaitFor([] { return !AccountPasswords::Busy(); }, 5000));
    m_rig.reset();
    Keyring::install(nullptr);
}

bool tst_CyclePasswords::load(const QString& firstInterval)
{
    if (!m_rig->load(u"[Account]\nConnectionType=2\nPOPServer=one.test\nAccountName=keyring1\nPassword=\n"
                     u"KeyringEntry=keyring1@one.test\nSecurity=None\nCheckInterval="_s +
                     firstInterval + u"\n[Account 2]\nPOPServer=two.test\nAccountName=file2\nPassword="_s +
                     CAccount::Scramble(u"file2-pw"_s) + u"\nSecurity=None\n[General]\nNoOfAccounts=2\n"_s))
        return false;
    m_rig->cycle->hooks.makeClient = [this] {
        auto transport = std::make_unique<Pop3ScriptedTransport>();
        if (m_scripts.isEmpty())
            transport->refuseConnection(u"no server expected"_s);
        else
            transport->script(emptyMailbox(m_scripts.takeFirst()));
        m_transport = transport.get();
        m_servers.append(Server{});
        return std::make_unique<Pop3Client>(std::move(transport));
    };
    auto& status = m_rig->cycle->hooks.setStatusText;
    status = [this, before = status](const QString& text) {
        before(text);
        if (text == u"Idle."_s && m_transport) {
            m_servers.last() = {m_transport->connectedHost(), m_transport->failures(),
                                m_transport->scriptFinished()};
            m_transport.clear();
        }
    };
    return true;
}

void tst_CyclePasswords::expectServers(const QStringList& users)
{
    m_scripts = users;
}

void tst_CyclePasswords::latePasswordIsCheckedLast()
{
    QVERIFY(load());
    QVERIFY(m_rig->cycle->CheckParameters());
    m_keyring.holdReads = true;
    expectServers({u"file2"_s, u"keyring1"_s});
    // The keyring answers while the other account is checked.
    auto& status = m_rig->cycle->hooks.setStatusText;
    status = [this, before = status](const QString& text) {
        before(text);
        if (text == u"Connecting to two.test"_s) m_keyring.release();
    };
    QVERIFY(m_rig->check());
    QCOMPARE(m_keyring.reads.first(), u"keyring1@one.test"_s);
    QCOMPARE(m_keyring.reads.count(u"keyring1@one.test"_s), 1);
    QCOMPARE(m_servers.size(), 2);
    for (const Server& server : std::as_const(m_servers)) {
        QVERIFY2(server.failures.isEmpty(), qPrintable(server.failures.join(u"; "_s)));
        QVERIFY(server.finished);
    }
    QCOMPARE(m_servers[0].host, u"two.test"_s);
    QCOMPARE(m_servers[1].host, u"one.test"_s);
    QVERIFY2(m_rig->errorText.isEmpty(), qPrintable(m_rig->errorText));
    QCOMPARE(m_rig->accounts[0]->m_Password, u"keyring1-pw"_s);
}

void tst_CyclePasswords::passwordThatNeverComesFailsItsAccountAlone()
{
    QVERIFY(load());
    m_rig->cycle->PasswordWait = std::chrono::milliseconds(400);
    m_keyring.holdReads = true;
    expectServers({u"file2"_s});
    QElapsedTimer took;
    took.start();
    QVERIFY(m_rig->check());
    QCOMPARE(m_servers.size(), 1);
    QVERIFY(m_servers[0].finished);
    QVERIFY(m_rig->statuses.contains(u"Waiting for the keyring to give the password for one.test"_s));
    QVERIFY(!m_rig->statuses.contains(u"Connecting to one.test"_s));
    QVERIFY(m_rig->errorTab);
    QVERIFY2(
        m_rig->errorText.contains(u"An error occurred while connecting to one.test with account keyring1."_s),
        qPrintable(m_rig->errorText));
    QVERIFY2(m_rig->errorText.contains(u"stayed locked"_s), qPrintable(m_rig->errorText));
    QVERIFY(took.elapsed() < 10000);

    // Unlocked later, the password is there for the next check, without a
    // second read (the entry meanwhile moves to the account's own key).
    m_keyring.release();
    QVERIFY(QTest::qWaitFor([&] { return !m_rig->accounts[0]->PasswordPending(); }, 5000));
    QVERIFY(QTest::qWaitFor([] { return !AccountPasswords::Busy(); }, 5000));
    const qsizetype reads = m_keyring.reads.size();
    expectServers({u"keyring1"_s, u"file2"_s});
    QVERIFY(m_rig->check());
    QCOMPARE(m_keyring.reads.size(), reads);
    QCOMPARE(m_keyring.reads.count(u"keyring1@one.test"_s), 1);
    QCOMPARE(m_servers.size(), 3);
    QVERIFY(m_servers[1].finished && m_servers[2].finished);
    QCOMPARE(m_servers[1].host, u"one.test"_s);
}

void tst_CyclePasswords::programEndDoesNotWaitForTheKeyring()
{
    QVERIFY(load());
    m_keyring.holdReads = true;
    expectServers({u"file2"_s});
    QSignalSpy finished(m_rig->cycle.get(), &MailCheckCycle::finished);
    m_rig->cycle->CheckAllMailServers();
    QVERIFY(QTest::qWaitFor(
        [&] {
            return m_rig->statuses.contains(u"Waiting for the keyring to give the password for one.test"_s);
        },
        10000));
    QElapsedTimer took;
    took.start();
    m_rig->cycle->Abort();
    QVERIFY(finished.wait(5000));
    QVERIFY(took.elapsed() < 2000);
    QVERIFY(!m_rig->cycle->running());
    // Cut short, not failed.
    QVERIFY(m_rig->errorText.isEmpty());
}

void tst_CyclePasswords::keyringFailures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("words");
    QTest::newRow("no entry") << int(Keyring::Status::NotFound)
                              << u"holds no password for this account. Please fill in your password"_s;
    QTest::newRow("locked") << int(Keyring::Status::Locked) << u"which stayed locked (refused)."_s;
    QTest::newRow("no keyring") << int(Keyring::Status::Unavailable)
                                << u"which cannot be reached (refused). Start the keyring"_s;
    QTest::newRow("other") << int(Keyring::Status::Failed)
                           << u"could not give the password of this account (refused)."_s;
}

void tst_CyclePasswords::keyringFailures()
{
    QFETCH(int, status);
    QFETCH(QString, words);
    QVERIFY(load());
    m_keyring.entries[u"keyring1@one.test"_s] = {Keyring::Status(status), QString(), u"refused"_s};
    expectServers({u"file2"_s});
    QVERIFY(m_rig->check());
    QVERIFY2(m_rig->errorText.contains(words), qPrintable(m_rig->errorText));
    QVERIFY2(m_rig->errorText.contains(u"(20)\r\n"_s), qPrintable(m_rig->errorText));
    QVERIFY(m_rig->cycle->CheckError);
    QCOMPARE(m_servers.size(), 1);
}

void tst_CyclePasswords::timedCheckReadsOnlyDueAccounts()
{
    // The first account is due every fifth minute, and was checked at start-up.
    QVERIFY(load(u"5"_s));
    m_rig->accounts[0]->m_MinuteCounter = 0;
    m_rig->accounts[1]->m_MinuteCounter = 0;
    m_rig->accounts[1]->m_CheckInterval = 1;
    expectServers({u"file2"_s});
    QSignalSpy finished(m_rig->cycle.get(), &MailCheckCycle::finished);
    m_rig->cycle->MailTick();
    QVERIFY(finished.wait(10000));
    QVERIFY(m_keyring.reads.isEmpty());
    QVERIFY(m_rig->accounts[0]->PasswordPending());
    QCOMPARE(m_servers.size(), 1);
}

QTEST_MAIN(tst_CyclePasswords)
#include "tst_CyclePasswords.moc"
