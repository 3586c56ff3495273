// Servers that never end what they send: an endless status, header or body
// line, a trickle that never finishes, a message far past its listed size;
// and servers on a real socket that stop answering. Each is given up on soon,
// with one Error that says what happened, instead of holding the check (and
// every account after it) for ever.
#include "mail/pop/Pop3Client.h"
#include "mail/pop/Pop3LineReader.h"
#include "support/Pop3TestSession.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <vector>

using namespace orvella;
using namespace orvella::test;
using namespace orvella::test::pop3script;
using namespace Qt::Literals::StringLiterals;

namespace {

// A listener on loopback that accepts, sends the scripted answers (the
// greeting, then one for each command line received) and then keeps the
// connection open without another word.
class GoesSilent : public QObject
{
public:
    explicit GoesSilent(QList<QByteArray> answers) : m_answers(std::move(answers))
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                m_sockets.emplace_back(socket);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    while (socket->canReadLine()) {
                        socket->readLine();
                        answer(socket);
                    }
                });
                answer(socket);
            }
        });
    }
    quint16 port() const { return m_server.serverPort(); }
    // Since the last answer, or since the connection was accepted.
    qint64 silentFor() const { return m_sinceLastWord.isValid() ? m_sinceLastWord.elapsed() : -1; }

private:
    void answer(QTcpSocket* socket)
    {
        m_sinceLastWord.start();
        if (!m_answers.isEmpty()) socket->write(m_answers.takeFirst());
    }

    QTcpServer m_server;
    std::vector<std::unique_ptr<QTcpSocket>> m_sockets;
    QList<QByteArray> m_answers;
    QElapsedTimer m_sinceLastWord;
};

// Results are taken into variables: g++ 12 resumes a dead frame after a
// co_await inside an if's condition.
QCoro::Task<bool> logOnAndRetrieve(Pop3Client& client, PopServerSettings settings)
{
    const bool loggedOn = co_await client.logOn(std::move(settings));
    if (!loggedOn) co_return false;
    const bool retrieved = co_await client.retrieve(1, 1, 5);
    co_return retrieved;
}

} // namespace

class Pop3HostileServerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runaway_data();
    void runaway();
    void withinLimits();
    void overlongLineAndSizeLimit();
    void silenceWithTheDefaultDeadline();
};

void Pop3HostileServerTest::runaway_data()
{
    QTest::addColumn<QByteArray>("capa");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArray>("dialogue"); // after STAT
    QTest::addColumn<QByteArray>("prefix");   // sent as it stands before the endless part
    QTest::addColumn<QByteArray>("stream");   // sent again and again
    QTest::addColumn<int>("trickleMs");       // 0: as fast as the client reads
    QTest::addColumn<int>("maxMessageBytes"); // 0: the default
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QString>("errorText");

    const int protocol = Pop3Client::ErrorProtocol;
    const int timeout = Pop3Client::ErrorTimeout;
    const QByteArray header = "C: TOP 1 5\nS: +OK\nS: Subject: endless\nS: \n";
    QTest::newRow("endless status line")
        << kCapaPlain << 5 << QByteArray("C: TOP 1 5\n") << QByteArray("+OK ") << QByteArray("x") << 0 << 0
        << protocol << u"more than 4 KB where a status line belongs"_s;
    QTest::newRow("endless header line")
        << kCapaPlain << 5 << QByteArray("C: TOP 1 5\nS: +OK\n") << QByteArray("Subject: ") << QByteArray("x")
        << 0 << 0 << protocol << u"header line of more than 8 KB in message 1"_s;
    QTest::newRow("endless body line") << kCapaPlain << 5 << header << QByteArray() << QByteArray("x") << 0
                                       << 0 << protocol << u"line of more than 1 MB in message 1"_s;
    QTest::newRow("message far past its LIST size")
        << kCapaPipelining << 0
        << QByteArray(
               "C: LIST\nC: RETR 1\nS: +OK\nS: 1 300\nS: 2 20\nS: .\nS: +OK\nS: Subject: endless\nS: \n")
        << QByteArray() << QByteArray("0123456789\r\n") << 0 << 1000 << protocol
        << u"more than 1600 bytes for message 1, which it listed as 300 bytes"_s;
    QTest::newRow("message far past the size of the whole mailbox")
        << kCapaPlain << 0 << QByteArray("C: RETR 1\nS: +OK\nS: Subject: endless\nS: \n") << QByteArray()
        << QByteArray("0123456789\r\n") << 0 << 1000 << protocol
        << u"more than 1640 bytes for message 1 without ending it"_s;
    QTest::newRow("a trickle of whole lines that never ends")
        << kCapaPlain << 5 << header << QByteArray() << QByteArray("line\r\n") << 2 << 0 << timeout
        << u"sent message 1 too slowly"_s;
    QTest::newRow("a status line trickled byte by byte")
        << kCapaPlain << 5 << QByteArray("C: TOP 1 5\n") << QByteArray("+OK") << QByteArray(" ") << 2 << 0
        << timeout << u"sent its answer too slowly"_s;
}

void Pop3HostileServerTest::runaway()
{
    QFETCH(QByteArray, capa);
    QFETCH(int, lines);
    QFETCH(QByteArray, dialogue);
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, stream);
    QFETCH(int, trickleMs);
    QFETCH(int, maxMessageBytes);
    QFETCH(int, errorCode);
    QFETCH(QString, errorText);

    Session s;
    s.server->script(kGreeting + capa + kUserPass + kStat + dialogue);
    if (!prefix.isEmpty()) s.server->serverRaw(prefix);
    if (trickleMs > 0)
        s.server->trickle(stream, trickleMs);
    else
        s.server->endless(stream);
    PopServerSettings set = settings();
    set.responseTimeoutMs = 300;
    if (maxMessageBytes > 0) set.maxMessageBytes = maxMessageBytes;
    QVERIFY(s.logOn(set));

    QElapsedTimer timer;
    timer.start();
    auto running = s.client->retrieve(1, 1, lines);
    if (!QTest::qWaitFor([&] { return running.isReady(); }, 30000)) {
        // Cut the request short so the client can be destroyed, then fail.
        s.logOff();
        QVERIFY(QTest::qWaitFor([&] { return running.isReady(); }, 5000));
        QFAIL(qPrintable(u"still reading after %1 s and %2 bytes"_s.arg(timer.elapsed() / 1000)
                             .arg(s.server->bytesRead())));
    }
    QVERIFY(!QCoro::waitFor(running));
    QCOMPARE(s.recorder->errorCodes, QList<int>{errorCode});
    QVERIFY2(s.errors().first().contains(errorText), qPrintable(s.errors().first()));
    // Given up on long before a gigabyte, and the message never ends.
    QVERIFY2(s.server->bytesRead() < 4 * 1024 * 1024, qPrintable(QString::number(s.server->bytesRead())));
    QVERIFY(!s.recorder->events.contains(u"end"_s));
    QVERIFY(!s.client->isLoggedOn());
    QVERIFY(s.server->closedByClient());
    s.logOff();
    QCOMPARE(s.errors().size(), 1);
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
}

// Lines just at the limits are mail like any other.
void Pop3HostileServerTest::withinLimits()
{
    Session s;
    const QByteArray subject = "Subject: " + QByteArray(Pop3Client::HeaderLineLimit - 9, 's');
    const QByteArray body(Pop3Client::BodyLineLimit, 'b');
    s.server->script(kGreeting + kCapaPlain + kUserPass + "C: STAT\nS: +OK 1 1100000\n" +
                     "C: RETR 1\nS: +OK " + QByteArray(Pop3Client::StatusLineLimit - 4, 'k') +
                     "\nS: " + subject + "\nS: \nS: " + body + "\nS: .\n" + kQuit);
    QVERIFY(s.logOn(settings()));
    QVERIFY(s.retrieve(1, 1, 0));
    QCOMPARE(s.recorder->events.size(), 4);
    QCOMPARE(s.recorder->events[1], u"H Subject: "_s + QString(Pop3Client::HeaderLineLimit - 9, u's'));
    QCOMPARE(s.recorder->events[2], u"T "_s + QString(orvella::pop3::Pop3LineReader::MaxLineLength, u'b'));
    s.logOff();
    QVERIFY2(s.errors().isEmpty(), qPrintable(s.errors().join(u'\n')));
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
}

void Pop3HostileServerTest::overlongLineAndSizeLimit()
{
    {
        // A line beyond the line limit is cut to it, and the message goes on.
        Session s;
        const QByteArray huge(200 * 1024, 'x');
        s.server->script(kGreeting + kCapaPlain + kUserPass + kStat +
                         "C: RETR 1\nS: +OK\nS: Subject: big\nS: \nS: " + huge + "\nS: after\nS: .\n" +
                         kQuit);
        QVERIFY(s.logOn(settings()));
        QVERIFY(s.retrieve(1, 1, 0));
        QCOMPARE(s.recorder->events.size(), 5);
        QCOMPARE(s.recorder->events[2],
                 u"T "_s + QString(orvella::pop3::Pop3LineReader::MaxLineLength, u'x'));
        QCOMPARE(s.recorder->events[3], u"T after"_s);
        s.logOff();
        QVERIFY(s.errors().isEmpty());
        QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
    }
    {
        // A message beyond the size limit is cut there; it still ends, and the
        // next one is whole.
        Session s;
        s.server->script(kGreeting + kCapaPlain + kUserPass + kStat +
                         "C: RETR 1\nS: +OK\nS: Subject: many\nS: \n" +
                         QByteArray("S: 0123456789\n").repeated(50) + "S: .\n" +
                         "C: RETR 2\nS: +OK\nS: Subject: small\nS: \nS: 0123456789\nS: .\n" + kQuit);
        PopServerSettings set = settings();
        set.maxMessageBytes = 100;
        QVERIFY(s.logOn(set));
        QVERIFY(s.retrieve(1, 2, 0));
        // "Subject: many" + CR LF, CR LF, then 12 bytes a line: 6 lines fit into 100 bytes.
        QStringList expected{u"start 1"_s, u"H Subject: many"_s};
        for (int i = 0; i < 6; ++i)
            expected << u"T 0123456789"_s;
        expected << u"end"_s << u"start 2"_s << u"H Subject: small"_s << u"T 0123456789"_s << u"end"_s;
        QCOMPARE(s.recorder->events, expected);
        s.logOff();
        QVERIFY(s.errors().isEmpty());
        QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
    }
    {
        // A server that never ends a message is given up on, once far past the
        // cut, instead of keeping the check busy forever.
        Session s;
        s.server->script(kGreeting + kCapaPlain + kUserPass + kStat +
                         "C: RETR 1\nS: +OK\nS: Subject: endless\nS: \n" +
                         QByteArray("S: 0123456789\n").repeated(200) + "!silence\n");
        s.client->setMaxStreamBytes(1000);
        PopServerSettings set = settings();
        set.maxMessageBytes = 100;
        QVERIFY(s.logOn(set));
        QVERIFY(!s.retrieve(1, 1, 0));
        QCOMPARE(s.recorder->errorCodes, QList<int>{Pop3Client::ErrorProtocol});
        QVERIFY(!s.recorder->events.contains(u"end"_s));
        QVERIFY(!s.client->isLoggedOn());
        QVERIFY(s.server->closedByClient());
    }
}

// The deadline as every account has it (the tests above shorten it): a server
// that stops answering, at the greeting or after any command, is reported
// within half a minute. The servers run side by side, so the test waits for
// one deadline, not three.
void Pop3HostileServerTest::silenceWithTheDefaultDeadline()
{
    struct Case
    {
        const char* name;
        QList<QByteArray> answers;
        std::unique_ptr<GoesSilent> server;
        std::unique_ptr<Pop3Client> client;
        std::unique_ptr<Pop3EventRecorder> recorder;
        std::optional<QCoro::Task<bool>> running;
        qint64 reportedAfter = -1; // ms of silence when the error came
    };
    const QByteArray greeting = "+OK POP3 ready\r\n";
    const QByteArray capa = "+OK\r\nTOP\r\nUSER\r\n.\r\n";
    Case cases[] = {
        {"never greets", {}},
        {"silent after USER", {greeting, capa}},
        {"silent in the middle of a message",
         {greeting, capa, "+OK\r\n", "+OK Logged in.\r\n", "+OK 1 120\r\n", "+OK\r\nSubject: half\r\n"}},
    };
    for (Case& c : cases) {
        c.server = std::make_unique<GoesSilent>(c.answers);
        QVERIFY(c.server->port() != 0);
        c.client = std::make_unique<Pop3Client>();
        c.recorder = std::make_unique<Pop3EventRecorder>(c.client.get());
        connect(c.client.get(), &Pop3Client::Error, this, [&c] {
            if (c.reportedAfter < 0) c.reportedAfter = c.server->silentFor();
        });
        PopServerSettings set; // its deadlines as they are
        set.host = u"127.0.0.1"_s;
        set.port = c.server->port();
        set.user = u"bob"_s;
        set.password = u"secret"_s;
        set.security = u"None"_s;
        c.running.emplace(logOnAndRetrieve(*c.client, set));
    }
    // Waited on far past the deadline, so that a late report fails below
    // with its time instead of as a time-out.
    QVERIFY(QTest::qWaitFor(
        [&] {
            for (const Case& c : cases)
                if (!c.running->isReady()) return false;
            return true;
        },
        120000));
    for (Case& c : cases) {
        QVERIFY2(!QCoro::waitFor(*c.running), c.name);
        QVERIFY2(c.recorder->errorCodes == QList<int>{Pop3Client::ErrorTimeout},
                 qPrintable(c.recorder->errors.join(u'\n')));
        // Reported at the deadline; the margin is for a loaded machine.
        QVERIFY2(c.reportedAfter >= 0 && c.reportedAfter < 45000,
                 qPrintable(u"%1: reported after %2 s of silence"_s.arg(QLatin1StringView(c.name))
                                .arg(c.reportedAfter / 1000)));
        QVERIFY2(c.recorder->errors.first().contains(u"nothing received for 30 s"_s),
                 qPrintable(c.recorder->errors.first()));
        QVERIFY(!c.recorder->events.contains(u"end"_s));
        QVERIFY(!c.client->isLoggedOn());
    }
}

QTEST_GUILESS_MAIN(Pop3HostileServerTest)
#include "Pop3HostileServerTest.moc"
