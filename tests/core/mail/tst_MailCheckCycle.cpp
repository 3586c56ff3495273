#include "core/mail/Accounts.h"
#include "core/mail/MailCheckCycle.h"
#include "core/message/MessageStore.h"
#include "core/pop3/Pop3Client.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "platform/ProfileFile.h"
#include "support/Pop3ScriptedTransport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <numeric>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::Pop3ScriptedTransport;

namespace {

// Every scripted server greets the same way and authenticates one user; no
// PIPELINING, so the client's requests come one at a time in script order.
const QByteArray kLogOn = "S: +OK ready\n"
                          "C: CAPA\nS: +OK\nS: TOP\nS: UIDL\nS: USER\nS: RESP-CODES\nS: .\n"
                          "C: USER bob\nS: +OK\nC: PASS secret\nS: +OK Logged in.\n";
const QByteArray kQuit = "C: QUIT\nS: +OK Bye\n";
const int kLines = 2; // body lines asked for (m_Lines)

// A mailbox as the tests write it: "a:300 b:310" is message 1 with the
// Message-ID <a@test> and 300 bytes, message 2 <b@test> with 310 bytes.
struct Mailbox
{
    QStringList names;
    QList<int> sizes;

    static Mailbox parse(const QString& text)
    {
        Mailbox box;
        for (const QString& item : text.split(u' ', Qt::SkipEmptyParts)) {
            box.names << item.section(u':', 0, 0);
            box.sizes << item.section(u':', 1).toInt();
        }
        return box;
    }
    qsizetype count() const { return names.size(); }
    int total() const { return std::accumulate(sizes.begin(), sizes.end(), 0); }
};

QString idOf(const QString& name)
{
    return u'<' + name + u"@test>"_s;
}

QStringList idsOf(const QString& names)
{
    QStringList ids;
    for (const QString& n : names.split(u' ', Qt::SkipEmptyParts))
        ids << idOf(n);
    return ids;
}

// The server's side of the requests the client is expected to make, in order:
// "LIST n" and "TOP n" (for TOP n <kLines>) answered from box.
QByteArray answer(const Mailbox& box, const QStringList& requests)
{
    QByteArray s =
        "C: STAT\nS: +OK " + QByteArray::number(box.count()) + ' ' + QByteArray::number(box.total()) + '\n';
    for (const QString& r : requests) {
        const int n = r.section(u' ', 1).toInt();
        const QByteArray num = QByteArray::number(n);
        if (r.startsWith(u"LIST"_s)) {
            s += "C: LIST " + num + "\nS: +OK " + num + ' ' + QByteArray::number(box.sizes.value(n - 1)) +
                 '\n';
        } else {
            const QByteArray name = box.names.value(n - 1).toLatin1();
            s += "C: TOP " + num + ' ' + QByteArray::number(kLines) + "\nS: +OK\nS: Message-ID: <" + name +
                 "@test>\nS: Subject: Message " + name +
                 "\nS: From: Ann <ann@example.test>\nS: \nS: Body of " + name + "\nS: .\n";
        }
    }
    return s;
}

QStringList readLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(u"\r\n"_s);
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

} // namespace

// The mail check cycle driven by its own timers against scripted servers: one
// Pop3Client on a Pop3ScriptedTransport per account check, the real message
// store and accounts in a temporary program folder, and every hook recorded.
class tst_MailCheckCycle : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void retrievalDecisions_data();
    void retrievalDecisions();
    void messageAfterEmptyMailboxIsRetrieved();
    void errors_data();
    void errors();
    void errorPageHiddenByNextCleanCycle();
    void autoSecurityLearnsTls();
    void autoSecurityTellsOfPlainLogon();
    void interruptedDownloadResumes_data();
    void interruptedDownloadResumes();
    void unstorableMessageIsFetchedAgain();
    void mailTick_data();
    void mailTick();
    void intervalsOverMinuteTicks();
    void userCheckOfTwoAccountsKeepsItsPace();

private:
    struct AccountSpec
    {
        QString server;
        int interval = 3;
        int noOfMessages = 0;
        int prevMessageSize = 0;
        QStringList ids;
        // Most tests are about the cycle, not about how the link is secured.
        QString security = u"None"_s;
    };
    // One scripted server per account check, in the order the cycle asks.
    struct Check
    {
        QPointer<Pop3ScriptedTransport> transport;
        QString host;
        QList<QByteArray> clientLines;
        QStringList failures;
        bool finished = false;
    };

    void setUpAccounts(const QList<AccountSpec>& accounts);
    // The next client the cycle makes plays this dialogue.
    void queueServer(const QByteArray& dialogue, const QString& refusal = {});
    // Runs one cycle to its hand-over to the announcement.
    bool runCycle(const std::function<void()>& start);
    QStringList statuses() const;
    QStringList connectedServers() const;
    QString idFile(int position) const { return Account::identifierFileFor(AccountSection(position)); }
    QStringList storedFiles() const
    {
        return QDir(m_dir->filePath(u"msg"_s)).entryList({u"*.tem"_s}, QDir::Files);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<MessageStore> m_store;
    AccountList m_accounts;
    QList<MailMessage> m_newMessages;
    std::unique_ptr<MailCheckCycle> m_cycle;

    QList<std::pair<QByteArray, QString>> m_servers; // dialogue, refusal
    QList<Check> m_checks;
    QStringList m_log; // every hook call, in order
    QList<std::pair<QString, qint64>> m_timeline;
    QElapsedTimer m_clock;
    QString m_errorText;
    int m_announcements = 0;
};

void tst_MailCheckCycle::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    Program() = ProgramValues{};
    Program().AppPath = m_dir->path();
    Program().SupportURL = u"https://support.example.test/orvella"_s;
    platform::invalidateProfileCache();
    m_servers.clear();
    m_checks.clear();
    m_log.clear();
    m_timeline.clear();
    m_errorText.clear();
    m_announcements = 0;
    m_newMessages.clear();
    m_clock.start();
}

void tst_MailCheckCycle::cleanup()
{
    // The accounts write their counters and identifiers when released, so
    // they go before the folder does.
    m_cycle.reset();
    m_store.reset();
    m_accounts.clear();
    m_settings.reset();
    m_dir.reset();
}

void tst_MailCheckCycle::setUpAccounts(const QList<AccountSpec>& accounts)
{
    platform::ProfileFile ini(Account::settingsFile());
    ini.write(u"Account"_s, u"ConnectionType"_s, u"2"_s);
    ini.write(u"General"_s, u"NoOfAccounts"_s, QString::number(accounts.size()));
    for (int i = 0; i < accounts.size(); ++i) {
        const AccountSpec& a = accounts[i];
        const QString section = AccountSection(i + 1);
        ini.write(section, u"POPServer"_s, a.server);
        ini.write(section, u"AccountName"_s, u"bob"_s);
        ini.write(section, u"Password"_s, Account::Scramble(u"secret"_s));
        ini.write(section, u"CheckInterval"_s, QString::number(a.interval));
        ini.write(section, u"Port"_s, u"110"_s);
        ini.write(section, u"NoOfMessages"_s, QString::number(a.noOfMessages));
        ini.write(section, u"PrevMessageSize"_s, QString::number(a.prevMessageSize));
        ini.write(section, u"Security"_s, a.security);
        if (!a.ids.isEmpty()) {
            QFile f(idFile(i + 1));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write((a.ids.join(u"\r\n"_s) + u"\r\n"_s).toUtf8());
        }
    }
    QVERIFY(ini.save());
    platform::invalidateProfileCache();

    m_settings = std::make_unique<Settings>(m_dir->path());
    m_settings->LoadInitial();
    QVERIFY(m_settings->LoadSettings());
    m_settings->m_Lines = kLines;
    m_store = std::make_unique<MessageStore>();
    m_accounts = LoadAccounts();
    QCOMPARE(m_accounts.size(), accounts.size());
    m_cycle = std::make_unique<MailCheckCycle>(m_accounts, *m_settings, *m_store, m_newMessages);

    MailCheckCycle* c = m_cycle.get();
    auto log = [this](const QString& entry) {
        m_log << entry;
        m_timeline.append({entry, m_clock.elapsed()});
    };
    connect(c, &MailCheckCycle::statusText, this, [this, log](const QString& t) {
        log(u"status: "_s + t);
        // The account's check is over: keep what its server saw.
        if (t == u"Idle."_s && !m_checks.isEmpty() && m_checks.last().transport) {
            Check& check = m_checks.last();
            check.failures = check.transport->failures();
            check.finished = check.transport->scriptFinished();
            check.host = check.transport->connectedHost();
        }
    });
    connect(c, &MailCheckCycle::connectionStatus, this, [log](const QString& t) { log(u"panel 2: "_s + t); });
    connect(c, &MailCheckCycle::checkControlsChanged, this,
            [log](bool on) { log(u"check controls: "_s + (on ? u"on"_s : u"off"_s)); });
    connect(c, &MailCheckCycle::exitEnabledChanged, this,
            [log](bool on) { log(u"exit: "_s + (on ? u"on"_s : u"off"_s)); });
    connect(c, &MailCheckCycle::readyToAnnounce, this, [this, log](bool all, bool error) {
        ++m_announcements;
        log(u"announce: checkAll="_s + (all ? u"true"_s : u"false"_s) + u" checkError="_s +
            (error ? u"true"_s : u"false"_s));
    });
    connect(c, &MailCheckCycle::errorText, this, [this, log](const QString& t) {
        m_errorText = t;
        log(u"error text"_s);
    });
    connect(c, &MailCheckCycle::errorPageVisible, this,
            [log](bool show) { log(u"error page: "_s + (show ? u"shown"_s : u"hidden"_s)); });
    c->setClientFactory([this]() -> std::unique_ptr<Pop3Client> {
        auto transport = std::make_unique<Pop3ScriptedTransport>();
        if (m_servers.isEmpty()) {
            // A check the test did not expect: it meets a closed door.
            transport->refuseConnection(u"no server scripted for this check"_s);
        } else {
            const auto [dialogue, refusal] = m_servers.takeFirst();
            transport->script(dialogue);
            if (!refusal.isEmpty()) transport->refuseConnection(refusal);
            // A certificate the system would trust, for the servers that offer TLS.
            QFile pem(QStringLiteral(ORVELLA_TEST_DATA_DIR "/../core/pop3/data/selfsigned.pem"));
            if (pem.open(QIODevice::ReadOnly)) transport->setCertificate(QSslCertificate(pem.readAll()), {});
        }
        Check check;
        check.transport = transport.get();
        m_checks.append(check);
        const qsizetype index = m_checks.size() - 1;
        transport->onWrite = [this, index](const QByteArray& data) {
            for (const QByteArray& line : data.split('\n'))
                if (!line.trimmed().isEmpty()) m_checks[index].clientLines << line.trimmed();
        };
        return std::make_unique<Pop3Client>(std::move(transport));
    });
    // Unless a test measures the pace, the steps come quickly.
    c->setStepDelay([](int ms) { return ms / 50; });
}

void tst_MailCheckCycle::queueServer(const QByteArray& dialogue, const QString& refusal)
{
    m_servers.append({dialogue, refusal});
}

bool tst_MailCheckCycle::runCycle(const std::function<void()>& start)
{
    QSignalSpy finished(m_cycle.get(), &MailCheckCycle::finished);
    start();
    if (!m_cycle->running()) return false;
    return finished.wait(20000) && !m_cycle->running();
}

QStringList tst_MailCheckCycle::statuses() const
{
    QStringList s;
    for (const QString& entry : m_log)
        if (entry.startsWith(u"status: "_s)) s << entry.mid(8);
    return s;
}

QStringList tst_MailCheckCycle::connectedServers() const
{
    QStringList s;
    for (const QString& status : statuses())
        if (status.startsWith(u"Connecting to "_s)) s << status.mid(14);
    return s;
}

void tst_MailCheckCycle::retrievalDecisions_data()
{
    QTest::addColumn<int>("noOfMessages");
    QTest::addColumn<int>("prevMessageSize");
    QTest::addColumn<QString>("knownIds");
    QTest::addColumn<QString>("mailbox");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("expectedNew");
    QTest::addColumn<QString>("expectedIds");
    QTest::addColumn<int>("expectedNoOfMessages");
    QTest::addColumn<int>("expectedPrevMessageSize");

    QTest::newRow("nothing changed: count and last size equal")
        << 3 << 300 << u"a b c"_s << u"a:100 b:200 c:300"_s << QStringList{u"LIST 3"_s} << u""_s << u"a b c"_s
        << 3 << 300;
    QTest::newRow("two new: only N+1 and N+2 retrieved")
        << 3 << 300 << u"a b c"_s << u"a:100 b:200 c:300 d:400 e:500"_s
        << QStringList{u"LIST 3"_s, u"TOP 4"_s, u"TOP 5"_s, u"LIST 5"_s} << u"d e"_s << u"a b c d e"_s << 5
        << 500;
    QTest::newRow("one deleted, one added: all retrieved, only the new kept")
        << 3 << 300 << u"a b c"_s << u"b:200 c:300 d:310"_s
        << QStringList{u"LIST 3"_s, u"TOP 1"_s, u"TOP 2"_s, u"TOP 3"_s, u"LIST 3"_s} << u"d"_s << u"b c d"_s
        << 3 << 310;
    QTest::newRow("more messages but message N changed: all retrieved")
        << 2 << 200 << u"a b"_s << u"b:200 x:250 y:260"_s
        << QStringList{u"LIST 2"_s, u"TOP 1"_s, u"TOP 2"_s, u"TOP 3"_s, u"LIST 3"_s} << u"x y"_s << u"b x y"_s
        << 3 << 260;
    QTest::newRow("fewer messages than before: all retrieved")
        << 3 << 300 << u"a b c"_s << u"a:100 c:300"_s << QStringList{u"TOP 1"_s, u"TOP 2"_s, u"LIST 2"_s}
        << u""_s << u"a c"_s << 2 << 300;
    QTest::newRow("first check of a new account")
        << 0 << 0 << u""_s << u"a:100 b:200"_s << QStringList{u"TOP 1"_s, u"TOP 2"_s, u"LIST 2"_s} << u"a b"_s
        << u"a b"_s << 2 << 200;
    QTest::newRow("identifier already known in other letter case is not new")
        << 0 << 0 << u"A"_s << u"a:100 b:200"_s << QStringList{u"TOP 1"_s, u"TOP 2"_s, u"LIST 2"_s} << u"b"_s
        << u"a b"_s << 2 << 200;
    QTest::newRow("empty mailbox: identifiers forgotten, file deleted")
        << 3 << 300 << u"a b c"_s << u""_s << QStringList{} << u""_s << u""_s << 0 << 0;
}

void tst_MailCheckCycle::retrievalDecisions()
{
    QFETCH(int, noOfMessages);
    QFETCH(int, prevMessageSize);
    QFETCH(QString, knownIds);
    QFETCH(QString, mailbox);
    QFETCH(QStringList, requests);
    QFETCH(QString, expectedNew);
    QFETCH(QString, expectedIds);
    QFETCH(int, expectedNoOfMessages);
    QFETCH(int, expectedPrevMessageSize);

    const QString server = u"pop.example.test"_s;
    setUpAccounts({{server, 3, noOfMessages, prevMessageSize, idsOf(knownIds)}});
    if (QTest::currentTestFailed()) return;
    const QByteArray idFileBefore = [&] {
        QFile f(idFile(1));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const Mailbox box = Mailbox::parse(mailbox);
    queueServer(kLogOn + answer(box, requests) + kQuit);

    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));

    // The server saw exactly the expected requests: nothing else retrieved.
    QCOMPARE(m_checks.size(), 1);
    const Check& check = m_checks.first();
    QVERIFY2(check.failures.isEmpty(), qPrintable(check.failures.join(u"; "_s)));
    QVERIFY(check.finished);
    QList<QByteArray> expectedLines{"CAPA", "USER bob", "PASS secret", "STAT"};
    for (const QString& r : requests)
        expectedLines << (r.startsWith(u"TOP"_s) ? r.toLatin1() + ' ' + QByteArray::number(kLines)
                                                 : r.toLatin1());
    expectedLines << "QUIT";
    QCOMPARE(check.clientLines, expectedLines);

    // What was kept, what the account knows now, and its counters.
    QStringList newIds;
    for (const MailMessage& m : std::as_const(m_newMessages))
        newIds << m.m_ID;
    QCOMPARE(newIds, idsOf(expectedNew));
    QCOMPARE(storedFiles().size(), newIds.size());
    QCOMPARE(m_store->model()->rowCount(), newIds.size());
    const Account& account = *m_accounts.first();
    QStringList known = account.MessageIDs().values();
    // Letter case of a known identifier is the stored one.
    for (QString& id : known)
        id = id.toLower();
    QCOMPARE(known, idsOf(expectedIds));
    QCOMPARE(account.m_NoOfMessages, expectedNoOfMessages);
    QCOMPARE(account.m_PrevMessageSize, expectedPrevMessageSize);

    // The identifier file holds the set as it is now (no file for an empty set).
    if (expectedIds.isEmpty()) {
        QVERIFY(!QFile::exists(idFile(1)));
    } else if (requests.filter(u"TOP"_s).isEmpty()) {
        QFile f(idFile(1));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), idFileBefore);
    } else {
        QStringList onDisk = readLines(idFile(1));
        for (QString& id : onDisk)
            id = id.toLower();
        QCOMPARE(onDisk, idsOf(expectedIds));
    }

    // Progress in the status bar, the controls and the hand-over.
    const bool downloads = !requests.filter(u"TOP"_s).isEmpty();
    QStringList expectedStatuses{u"Connecting to "_s + server, u"Checking for new messages on "_s + server};
    if (downloads) expectedStatuses << u"Downloading messages from "_s + server;
    expectedStatuses << u"Disconnecting from mail server."_s << u"Idle."_s;
    QCOMPARE(statuses(), expectedStatuses);
    QCOMPARE(m_log.first(), u"exit: off"_s);
    QCOMPARE(m_log.at(1), u"check controls: off"_s);
    QVERIFY(m_log.contains(u"panel 2: Online"_s));
    QCOMPARE(m_log.last(), u"announce: checkAll=true checkError=false"_s);
    QVERIFY(m_log.contains(u"exit: on"_s));
    QVERIFY(!m_log.contains(u"check controls: on"_s)); // the announcement gives them back
    QVERIFY(m_log.contains(u"error page: hidden"_s));
    QVERIFY(!m_log.contains(u"error text"_s));
    QCOMPARE(m_cycle->AccountIndex, 0);
}

// The counters of a mailbox that was emptied describe nothing any more: a
// later message with the old count and last size must still be retrieved.
void tst_MailCheckCycle::messageAfterEmptyMailboxIsRetrieved()
{
    setUpAccounts({{u"pop.example.test"_s, 3, 1, 100, idsOf(u"a"_s)}});
    if (QTest::currentTestFailed()) return;
    queueServer(kLogOn + "C: STAT\nS: +OK 0 0\n" + kQuit);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QCOMPARE(m_accounts.first()->m_NoOfMessages, 0);
    QCOMPARE(m_accounts.first()->m_PrevMessageSize, 0);

    const Mailbox box = Mailbox::parse(u"b:100"_s);
    queueServer(kLogOn + answer(box, {u"TOP 1"_s, u"LIST 1"_s}) + kQuit);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QVERIFY2(m_checks.last().failures.isEmpty(), qPrintable(m_checks.last().failures.join(u"; "_s)));
    QCOMPARE(m_newMessages.size(), 1);
    QCOMPARE(m_newMessages.first().m_ID, idOf(u"b"_s));
    QCOMPARE(m_accounts.first()->MessageIDs().values(), idsOf(u"b"_s));
}

void tst_MailCheckCycle::errors_data()
{
    QTest::addColumn<QByteArray>("dialogue");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QString>("description");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("expectedStatuses");
    QTest::addColumn<QString>("expectedNew");
    QTest::addColumn<QString>("expectedIds");
    QTest::addColumn<int>("expectedNoOfMessages");
    QTest::addColumn<int>("expectedPrevMessageSize");

    const QString server = u"pop.example.test"_s;
    const QString connecting =
        u"An error occurred while connecting to pop.example.test with account bob.\r\n\r\n"_s;
    const QStringList failedLogOn{u"Connecting to "_s + server, u"Disconnecting from mail server."_s,
                                  u"Idle."_s};
    const QStringList failedSearch{u"Connecting to "_s + server, u"Checking for new messages on "_s + server,
                                   u"Disconnecting from mail server."_s, u"Idle."_s};
    const QStringList failedDownload{
        u"Connecting to "_s + server, u"Checking for new messages on "_s + server,
        u"Downloading messages from "_s + server, u"Disconnecting from mail server."_s, u"Idle."_s};
    const QByteArray greeting = "S: +OK ready\nC: CAPA\nS: +OK\nS: TOP\nS: USER\nS: RESP-CODES\nS: .\n";

    QTest::newRow("wrong password")
        << greeting + "C: USER bob\nS: +OK\nC: PASS secret\nS: -ERR [AUTH] Authentication failed.\n"
        << QString() << connecting + u"[AUTH] Authentication failed."_s
        << int(Pop3Client::ErrorAuthentication) << failedLogOn << u""_s << u"a b c"_s << 3 << 300;
    QTest::newRow("connection refused")
        << QByteArray() << u"Connection refused"_s << connecting + u"Connection refused"_s
        << int(Pop3Client::ErrorConnect) << failedLogOn << u""_s << u"a b c"_s << 3 << 300;
    QTest::newRow("size of the last message refused")
        << kLogOn + "C: STAT\nS: +OK 3 600\nC: LIST 3\nS: -ERR [SYS/TEMP] index busy\n" + kQuit << QString()
        << u"[SYS/TEMP] index busy"_s << int(Pop3Client::ErrorServerUnavailable) << failedSearch << u""_s
        << u"a b c"_s << 3 << 300;
    // The messages before the failure are kept and known; the counters stop
    // at the last one retrieved, so the next cycle retrieves the rest.
    QTest::newRow("retrieval cut off after the first new message")
        << kLogOn + answer(Mailbox::parse(u"a:100 b:200 c:300 d:400 e:500"_s), {u"LIST 3"_s, u"TOP 4"_s}) +
               "C: TOP 5 2\nS: -ERR no such message\nC: LIST 4\nS: +OK 4 400\n" + kQuit
        << QString() << u"no such message"_s << int(Pop3Client::ErrorServer) << failedDownload << u"d"_s
        << u"a b c d"_s << 4 << 400;
}

void tst_MailCheckCycle::errors()
{
    QFETCH(QByteArray, dialogue);
    QFETCH(QString, refusal);
    QFETCH(QString, description);
    QFETCH(int, code);
    QFETCH(QStringList, expectedStatuses);
    QFETCH(QString, expectedNew);
    QFETCH(QString, expectedIds);
    QFETCH(int, expectedNoOfMessages);
    QFETCH(int, expectedPrevMessageSize);

    setUpAccounts({{u"pop.example.test"_s, 3, 3, 300, idsOf(u"a b c"_s)}});
    if (QTest::currentTestFailed()) return;
    queueServer(dialogue, refusal);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));

    QVERIFY2(m_checks.first().failures.isEmpty(), qPrintable(m_checks.first().failures.join(u"; "_s)));
    QVERIFY2(m_checks.first().finished, m_checks.first().clientLines.join(", ").constData());
    const QString expectedText =
        u"There was an error connecting to the mail server.\r\n"
        u"Description: "_s +
        description + u" ("_s + QString::number(code) +
        u")\r\n\r\n"
        u"Make sure your account information is correct. You can change it, in the 'E-mail Accounts' tab "
        u"located "
        u"in the 'Options' screen.\r\n\r\n"
        u"1. You can check the settings of your default mail program. You should be able to find there, the "
        u"incoming mail server address and the account name.\r\n\r\n"
        u"2. If you can not find the account information, please contact your Internet Service Provider and "
        u"ask "
        u"them for the correct settings.\r\n\r\n"
        u"3. If you need further assistance, please check the Orvella support page at "
        u"https://support.example.test/orvella"_s;
    QCOMPARE(m_errorText, expectedText);
    QCOMPARE(statuses(), expectedStatuses);
    QVERIFY(m_log.contains(u"error page: shown"_s));
    QVERIFY(!m_log.contains(u"error page: hidden"_s));
    QCOMPARE(m_log.last(), u"announce: checkAll=true checkError=true"_s);
    QVERIFY(m_cycle->CheckError);

    // Nothing known is lost.
    QStringList newIds;
    for (const MailMessage& m : std::as_const(m_newMessages))
        newIds << m.m_ID;
    QCOMPARE(newIds, idsOf(expectedNew));
    QCOMPARE(storedFiles().size(), newIds.size());
    const Account& account = *m_accounts.first();
    QCOMPARE(account.MessageIDs().values(), idsOf(expectedIds));
    QCOMPARE(account.m_NoOfMessages, expectedNoOfMessages);
    QCOMPARE(account.m_PrevMessageSize, expectedPrevMessageSize);
    // The identifiers of what was stored are on disk at once, not only at exit.
    QCOMPARE(readLines(idFile(1)), idsOf(expectedIds));
    m_accounts.first().reset();
    m_accounts.clear();
    QCOMPARE(readLines(idFile(1)), idsOf(expectedIds));
}

// After one verified TLS session an "Auto" account insists on it: a man in
// the middle who strips STLS from the capabilities gets no password.
void tst_MailCheckCycle::autoSecurityLearnsTls()
{
    setUpAccounts({{u"pop.example.test"_s, 3, 0, 0, {}, u"Auto"_s}});
    if (QTest::currentTestFailed()) return;
    queueServer("S: +OK ready\nC: CAPA\nS: +OK\nS: TOP\nS: STLS\nS: USER\nS: .\nC: STLS\nS: +OK\n!tls\n"
                "C: CAPA\nS: +OK\nS: TOP\nS: USER\nS: .\nC: USER bob\nS: +OK\nC: PASS secret\nS: +OK\n"
                "C: STAT\nS: +OK 0 0\n" +
                kQuit);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QVERIFY2(m_checks.last().failures.isEmpty(), qPrintable(m_checks.last().failures.join(u"; "_s)));
    QVERIFY(!m_cycle->CheckError);
    QCOMPARE(m_accounts.first()->m_Security, u"STARTTLS"_s);
    platform::invalidateProfileCache();
    QCOMPARE(platform::ProfileFile(Account::settingsFile()).read(u"Account"_s, u"Security"_s, {}),
             u"STARTTLS"_s);

    queueServer("S: +OK ready\nC: CAPA\nS: +OK\nS: TOP\nS: USER\nS: .\n" + kQuit);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QVERIFY(m_cycle->CheckError);
    const QList<QByteArray> sent = m_checks.last().clientLines;
    QVERIFY2(std::none_of(sent.begin(), sent.end(),
                          [](const QByteArray& l) { return l.startsWith("USER") || l.startsWith("PASS"); }),
             sent.join(", ").constData());
    QVERIFY(m_errorText.contains(u"Description: An error occurred while connecting"_s));
}

// A server without TLS still works for an "Auto" account, and the user is
// told once that the password went in clear.
void tst_MailCheckCycle::autoSecurityTellsOfPlainLogon()
{
    setUpAccounts({{u"pop.example.test"_s, 3, 0, 0, {}, u"Auto"_s}});
    if (QTest::currentTestFailed()) return;
    queueServer(kLogOn + "C: STAT\nS: +OK 0 0\n" + kQuit);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QVERIFY(!m_cycle->CheckError);
    QVERIFY(m_errorText.contains(u"does not protect your password"_s));
    QCOMPARE(m_log.count(u"error page: shown"_s), 1);
    QVERIFY(!m_log.contains(u"error page: hidden"_s));
    QCOMPARE(m_log.last(), u"announce: checkAll=true checkError=false"_s);
    QCOMPARE(m_accounts.first()->m_Security, u"Auto"_s);

    m_log.clear();
    queueServer(kLogOn + "C: STAT\nS: +OK 0 0\n" + kQuit);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QVERIFY(!m_log.contains(u"error text"_s));
    QVERIFY(m_log.contains(u"error page: hidden"_s));
}

// Notices of a fixed length: every message has the same size, so the last
// message's size tells nothing. A retrieval cut short must leave the counters
// at what was retrieved, and the next check must fetch everything not stored.
void tst_MailCheckCycle::interruptedDownloadResumes_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<int>("countedAfterFirst");
    const Mailbox box = Mailbox::parse(u"a:100 b:100 c:100 d:100 e:100"_s);
    QTest::newRow("-ERR to TOP") << kLogOn + answer(box, {u"LIST 3"_s, u"TOP 4"_s}) +
                                        "C: TOP 5 2\nS: -ERR busy\n" +
                                        answer(box, {u"LIST 4"_s}).mid(answer(box, {}).size()) + kQuit
                                 << kLogOn + answer(box, {u"LIST 4"_s, u"TOP 5"_s, u"LIST 5"_s}) + kQuit << 4;
    // Without a session the size of message 4 cannot be asked: the counters
    // stay, and the message already stored is retrieved again but not kept.
    QTest::newRow("connection dropped")
        << kLogOn + answer(box, {u"LIST 3"_s, u"TOP 4"_s}) + "C: TOP 5 2\n!drop\n"
        << kLogOn + answer(box, {u"LIST 3"_s, u"TOP 4"_s, u"TOP 5"_s, u"LIST 5"_s}) + kQuit << 3;
}

void tst_MailCheckCycle::interruptedDownloadResumes()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(int, countedAfterFirst);
    setUpAccounts({{u"pop.example.test"_s, 3, 3, 100, idsOf(u"a b c"_s)}});
    if (QTest::currentTestFailed()) return;
    queueServer(first);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QVERIFY(m_cycle->CheckError);
    QCOMPARE(m_accounts.first()->m_NoOfMessages, countedAfterFirst);
    QCOMPARE(m_accounts.first()->m_PrevMessageSize, 100);
    QCOMPARE(readLines(idFile(1)), idsOf(u"a b c d"_s));

    queueServer(second);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QVERIFY2(m_checks.last().failures.isEmpty(), qPrintable(m_checks.last().failures.join(u"; "_s)));
    QVERIFY(!m_cycle->CheckError);
    QCOMPARE(m_newMessages.size(), 1);
    QCOMPARE(m_newMessages.first().m_ID, idOf(u"e"_s));
    QCOMPARE(storedFiles().size(), 2);
    QCOMPARE(m_accounts.first()->m_NoOfMessages, 5);
    QCOMPARE(readLines(idFile(1)), idsOf(u"a b c d e"_s));
}

// A message whose file cannot be written ends the account's download there:
// the counters stop before it, nothing is queued for reading, the user reads
// why (once), and the next check, with the folder writable, fetches it.
void tst_MailCheckCycle::unstorableMessageIsFetchedAgain()
{
    setUpAccounts({{u"pop.example.test"_s, 3, 3, 100, idsOf(u"a b c"_s)}});
    if (QTest::currentTestFailed()) return;
    const QString folder = orvella::MailMessage::MessageFolder();
    QVERIFY(QDir(folder).removeRecursively());
    {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    const Mailbox box = Mailbox::parse(u"a:100 b:100 c:100 d:100 e:100"_s);
    queueServer(kLogOn + answer(box, {u"LIST 3"_s, u"TOP 4"_s}) + kQuit);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QVERIFY2(m_checks.last().failures.isEmpty(), qPrintable(m_checks.last().failures.join(u"; "_s)));
    QVERIFY(m_cycle->CheckError);
    QVERIFY2(m_errorText.startsWith(u"New mail could not be stored in the folder "_s + folder + u": "_s),
             qPrintable(m_errorText));
    QVERIFY(!m_errorText.contains(u"error connecting"_s));
    QVERIFY(m_newMessages.isEmpty());
    QCOMPARE(m_accounts.first()->m_NoOfMessages, 3);
    QCOMPARE(readLines(idFile(1)), idsOf(u"a b c"_s));

    QVERIFY(QFile::remove(folder));
    QVERIFY(QDir().mkpath(folder));
    queueServer(kLogOn + answer(box, {u"LIST 3"_s, u"TOP 4"_s, u"TOP 5"_s, u"LIST 5"_s}) + kQuit);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QVERIFY2(m_checks.last().failures.isEmpty(), qPrintable(m_checks.last().failures.join(u"; "_s)));
    QVERIFY(!m_cycle->CheckError);
    QCOMPARE(m_newMessages.size(), 2);
    QCOMPARE(storedFiles().size(), 2);
    QCOMPARE(m_accounts.first()->m_NoOfMessages, 5);
    QCOMPARE(readLines(idFile(1)), idsOf(u"a b c d e"_s));
}

void tst_MailCheckCycle::errorPageHiddenByNextCleanCycle()
{
    setUpAccounts({{u"pop.example.test"_s, 3, 1, 100, idsOf(u"a"_s)}});
    if (QTest::currentTestFailed()) return;
    const QByteArray greeting = "S: +OK ready\nC: CAPA\nS: +OK\nS: TOP\nS: USER\nS: RESP-CODES\nS: .\n";
    queueServer(greeting + "C: USER bob\nS: +OK\nC: PASS secret\nS: -ERR [AUTH] Authentication failed.\n");
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QVERIFY(m_log.contains(u"error page: shown"_s));
    QVERIFY(m_errorText.contains(u"Description: An error occurred while connecting to pop.example.test"_s));
    QCOMPARE(m_log.last(), u"announce: checkAll=true checkError=true"_s);

    // A timed cycle without error hides the page; the text stays as it was.
    m_log.clear();
    const QString errorText = m_errorText;
    queueServer(kLogOn + answer(Mailbox::parse(u"a:100"_s), {u"LIST 1"_s}) + kQuit);
    QVERIFY(runCycle([this] { m_cycle->MailTick(); }));
    QVERIFY(!m_cycle->CheckError);
    QVERIFY(m_log.contains(u"error page: hidden"_s));
    QVERIFY(!m_log.contains(u"error page: shown"_s));
    QCOMPARE(m_errorText, errorText);
    QCOMPARE(m_log.last(), u"announce: checkAll=false checkError=false"_s);
}

void tst_MailCheckCycle::mailTick_data()
{
    QTest::addColumn<int>("connectionType");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<bool>("dontCheck");
    QTest::addColumn<bool>("tickChecks");
    QTest::addColumn<QString>("panel2");

    QTest::newRow("network connection") << 2 << false << false << true << u"Online"_s;
    QTest::newRow("dial-up, connected") << 1 << true << false << true << u"Online"_s;
    QTest::newRow("dial-up, offline") << 1 << false << false << false << u"Offline"_s;
    QTest::newRow("checking switched off") << 2 << true << true << false << QString();
    QTest::newRow("checking switched off, offline") << 1 << false << true << false << QString();
}

void tst_MailCheckCycle::mailTick()
{
    QFETCH(int, connectionType);
    QFETCH(bool, reachable);
    QFETCH(bool, dontCheck);
    QFETCH(bool, tickChecks);
    QFETCH(QString, panel2);

    setUpAccounts({{u"pop.example.test"_s, 1, 1, 100, idsOf(u"a"_s)}});
    if (QTest::currentTestFailed()) return;
    m_settings->m_ConnectionType = connectionType;
    m_settings->m_DontCheck = dontCheck;
    m_cycle->setNetworkProbe([reachable] { return reachable; });
    const QByteArray unchanged = kLogOn + answer(Mailbox::parse(u"a:100"_s), {u"LIST 1"_s}) + kQuit;

    if (tickChecks) {
        queueServer(unchanged);
        QVERIFY(runCycle([this] { m_cycle->MailTick(); }));
        QCOMPARE(m_log.last(), u"announce: checkAll=false checkError=false"_s);
    } else {
        m_cycle->MailTick();
        QVERIFY(!m_cycle->running());
        QTest::qWait(50);
        // No cycle: the controls stay as they are and no server is asked.
        QVERIFY(m_checks.isEmpty());
        QCOMPARE(m_log, panel2.isEmpty() ? QStringList() : QStringList{u"panel 2: "_s + panel2});
    }
    QCOMPARE(connectedServers().size(), tickChecks ? 1 : 0);

    // The user's own check runs in every case, online or not.
    m_log.clear();
    queueServer(unchanged);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QCOMPARE(connectedServers(), QStringList{u"pop.example.test"_s});
    QVERIFY(m_log.contains(u"panel 2: Online"_s));
    QCOMPARE(m_log.last(), u"announce: checkAll=true checkError=false"_s);
}

void tst_MailCheckCycle::intervalsOverMinuteTicks()
{
    setUpAccounts(
        {{u"one.test"_s, 1, 0, 0, {}}, {u"five-a.test"_s, 5, 0, 0, {}}, {u"five-b.test"_s, 5, 0, 0, {}}});
    if (QTest::currentTestFailed()) return;
    const QByteArray empty = kLogOn + "C: STAT\nS: +OK 0 0\n" + kQuit;
    const QStringList all{u"one.test"_s, u"five-a.test"_s, u"five-b.test"_s};
    const QStringList first{u"one.test"_s};

    auto tick = [&]() -> QStringList {
        m_log.clear();
        for (int i = 0; i < 3; ++i)
            queueServer(empty);
        if (!runCycle([this] { m_cycle->MailTick(); })) return {u"the cycle did not end"_s};
        m_servers.clear();
        if (m_log.first() != u"exit: off"_s || m_log.at(1) != u"check controls: off"_s ||
            m_log.last() != u"announce: checkAll=false checkError=false"_s)
            return {u"unexpected hooks: "_s + m_log.join(u", "_s)};
        return connectedServers();
    };

    // Every account starts due, so the first tick after start-up checks all.
    QCOMPARE(tick(), all);
    QCOMPARE(tick(), first);
    // A user-started check takes every account and leaves the minute counters alone.
    m_log.clear();
    for (int i = 0; i < 3; ++i)
        queueServer(empty);
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QCOMPARE(connectedServers(), all);
    m_servers.clear();

    QCOMPARE(tick(), first);
    QCOMPARE(tick(), first);
    QCOMPARE(tick(), first);
    QCOMPARE(tick(), all); // the sixth tick: five minutes after the first
    QCOMPARE(tick(), first);
    for (const Check& c : std::as_const(m_checks))
        QVERIFY2(c.failures.isEmpty() && c.finished, qPrintable(c.host + u": "_s + c.failures.join(u"; "_s)));
}

void tst_MailCheckCycle::userCheckOfTwoAccountsKeepsItsPace()
{
    setUpAccounts(
        {{u"first.test"_s, 3, 1, 100, idsOf(u"a"_s)}, {u"second.test"_s, 3, 1, 100, idsOf(u"a"_s)}});
    if (QTest::currentTestFailed()) return;
    m_cycle->setStepDelay(nullptr); // the real delays
    const QByteArray unchanged = kLogOn + answer(Mailbox::parse(u"a:100"_s), {u"LIST 1"_s}) + kQuit;
    queueServer(unchanged);
    queueServer(unchanged);
    const QList<int> counters{m_accounts[0]->m_MinuteCounter, m_accounts[1]->m_MinuteCounter};

    const qint64 started = m_clock.elapsed();
    QVERIFY(runCycle([this] { m_cycle->CheckAllMailServers(); }));
    QCOMPARE(connectedServers(), (QStringList{u"first.test"_s, u"second.test"_s}));

    auto at = [this](const QString& entry, int occurrence = 0) -> qint64 {
        for (const auto& [e, ms] : std::as_const(m_timeline))
            if (e == entry && occurrence-- == 0) return ms;
        return -1;
    };
    const qint64 connect1 = at(u"status: Connecting to first.test"_s);
    const qint64 idle1 = at(u"status: Idle."_s, 0);
    const qint64 connect2 = at(u"status: Connecting to second.test"_s);
    const qint64 idle2 = at(u"status: Idle."_s, 1);
    const qint64 announced = at(u"announce: checkAll=true checkError=false"_s);
    QVERIFY2(
        connect1 >= 0 && idle1 >= connect1 && connect2 > idle1 && idle2 >= connect2 && announced >= idle2,
        qPrintable(u"%1 %2 %3 %4 %5"_s.arg(connect1).arg(idle1).arg(connect2).arg(idle2).arg(announced)));
    // Timers may fire a little early (coarse timers up to 5 %), never much;
    // the upper bounds only tell the three delays apart.
    const QString pace = u"first after %1 ms, second %2 ms after the first, end %3 ms after the second"_s
                             .arg(connect1 - started)
                             .arg(connect2 - idle1)
                             .arg(announced - idle2);
    QVERIFY2(connect1 - started >= 450 && connect1 - started < 2500, qPrintable(pace));
    QVERIFY2(connect2 - idle1 >= 2800 && connect2 - idle1 < 6000, qPrintable(pace));
    QVERIFY2(announced - idle2 < 1500, qPrintable(pace));
    QCOMPARE((QList<int>{m_accounts[0]->m_MinuteCounter, m_accounts[1]->m_MinuteCounter}), counters);
}

QTEST_MAIN(tst_MailCheckCycle)
#include "tst_MailCheckCycle.moc"
