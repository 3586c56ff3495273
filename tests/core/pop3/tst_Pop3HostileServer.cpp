// Servers that never end what they send: an endless status, header or body
// line, a trickle that never finishes, a message far past its listed size.
// Each is given up on soon, with one Error that says what happened, instead
// of holding the check (and every account after it) for ever.
#include "core/pop3/Pop3Client.h"
#include "core/pop3/Pop3LineReader.h"
#include "support/Pop3TestSession.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QTest>

using namespace orvella;
using namespace orvella::test;
using namespace orvella::test::pop3script;
using namespace Qt::Literals::StringLiterals;

class tst_Pop3HostileServer : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void runaway_data();
    void runaway();
    void withinLimits();
    void overlongLineAndSizeLimit();
};

void tst_Pop3HostileServer::runaway_data()
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

void tst_Pop3HostileServer::runaway()
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
void tst_Pop3HostileServer::withinLimits()
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

void tst_Pop3HostileServer::overlongLineAndSizeLimit()
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

QTEST_GUILESS_MAIN(tst_Pop3HostileServer)
#include "tst_Pop3HostileServer.moc"
