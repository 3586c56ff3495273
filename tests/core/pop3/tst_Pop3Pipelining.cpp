// Pipelined retrieval against scripted servers: the sizes asked for first,
// events in message order, requests in flight bounded by bytes (not a small
// count), no deadlock with a server whose buffers fill, and a server that
// stops reading.
#include "core/pop3/Pop3Client.h"
#include "core/pop3/Pop3Pipeline.h"
#include "support/Pop3TestSession.h"

#include <QCoro/QCoroTask>
#include <QTest>
#include <deque>

using namespace orvella;
using namespace orvella::test;
using namespace orvella::test::pop3script;
using namespace Qt::Literals::StringLiterals;

namespace {

// A server holding `count` messages of `bodyLines` lines each, each listed
// as `listedSize` bytes, answering LIST, TOP, RETR and QUIT.
std::function<QByteArray(const QByteArray&)> mailbox(int count, int bodyLines, qint64 listedSize)
{
    return [=](const QByteArray& line) -> QByteArray {
        const QList<QByteArray> w = line.split(' ');
        const int n = w.value(1).toInt();
        const QByteArray size = QByteArray::number(listedSize);
        if (line == "LIST") {
            QByteArray a = "+OK " + QByteArray::number(count) + " messages\r\n";
            for (int i = 1; i <= count; ++i)
                a += QByteArray::number(i) + ' ' + size + "\r\n";
            return a + ".\r\n";
        }
        if (line == "QUIT") return "+OK Bye\r\n";
        if (n < 1 || n > count) return "-ERR no such message\r\n";
        if (w[0] == "LIST" && w.size() == 2) return "+OK " + w[1] + ' ' + size + "\r\n";
        if (w[0] == "TOP" && w.size() == 3)
            return "+OK\r\n" + messageText(n, std::min(bodyLines, w[2].toInt())) + ".\r\n";
        if (w[0] == "RETR" && w.size() == 2) return "+OK\r\n" + messageText(n, bodyLines) + ".\r\n";
        return "-ERR unknown command\r\n";
    };
}

} // namespace

class tst_Pop3Pipelining : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sizesFirst_data();
    void sizesFirst();
    void bytesInFlight_data();
    void bytesInFlight();
    void serverThatStopsReading();
    void absurdMessageCount();
    void errorKeepsSessionUsable();
    void withoutPipelining();
};

// The sizes go out with the first requests, in one write; whatever the
// server makes of them, the messages arrive whole and in order.
void tst_Pop3Pipelining::sizesFirst_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("lines");
    QTest::addColumn<QByteArray>("dialogue");

    QTest::newRow("one LIST for most of the mailbox")
        << 3 << 1 << 3 << 2
        << "C: LIST\nC: TOP 1 2\nC: TOP 2 2\nC: TOP 3 2\nS: +OK 3 messages\nS: 1 90\nS: 2 90\nS: 3 90\nS: "
           ".\n" +
               topAnswer(1, 2) + topAnswer(2, 2) + topAnswer(3, 2);
    QTest::newRow("LIST refused: the retrieval goes on without sizes")
        << 2 << 1 << 2 << 2
        << "C: LIST\nC: TOP 1 2\nC: TOP 2 2\nS: -ERR not now\n" + topAnswer(1, 2) + topAnswer(2, 2);
    QTest::newRow("LIST lines that are no listing are passed over")
        << 2 << 1 << 2 << 2
        << "C: LIST\nC: TOP 1 2\nC: TOP 2 2\nS: +OK\nS: garbage\nS: 2 lots\nS: 0 5\nS: .\n" +
               topAnswer(1, 2) + topAnswer(2, 2);
    QTest::newRow("a size for each of a few messages of many")
        << 100 << 99 << 100 << 1
        << "C: LIST 99\nC: LIST 100\nC: TOP 99 1\nC: TOP 100 1\nS: +OK 99 90\nS: -ERR no such message\n" +
               topAnswer(99, 1) + topAnswer(100, 1);
    QTest::newRow("entire messages") << 2 << 1 << 2 << 0
                                     << "C: LIST\nC: RETR 1\nC: RETR 2\nS: +OK\nS: 1 90\nS: 2 90\nS: .\n" +
                                            topAnswer(1, 0) + topAnswer(2, 0);
}

void tst_Pop3Pipelining::sizesFirst()
{
    QFETCH(int, count);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, lines);
    QFETCH(QByteArray, dialogue);
    Session s;
    s.server->script(kGreeting + kCapaPipelining + kUserPass + "C: STAT\nS: +OK " +
                     QByteArray::number(count) + " 9000\n" + dialogue + kQuit);
    QVERIFY(s.logOn(settings()));
    const qsizetype writesBefore = s.server->writeBatches().size();
    QVERIFY(s.retrieve(first, last, lines));
    s.logOff();
    QCOMPARE(s.recorder->events, topEvents(first, last, lines));
    QVERIFY2(s.errors().isEmpty(), qPrintable(s.errors().join(u'\n')));
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
    QVERIFY(s.server->scriptFinished());
    // Sizes and requests in one write, then QUIT.
    QCOMPARE(s.server->writeBatches().size(), writesBefore + 2);
}

// Requests in flight are bounded by bytes: many short answers keep thousands
// of requests in flight, a few big messages only a few. The server's buffers
// are small, so it stops reading while its answers are not read: a client
// that wrote everything before reading would hang here.
void tst_Pop3Pipelining::bytesInFlight_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("lines");
    QTest::addColumn<qint64>("listedSize");
    QTest::addColumn<int>("minInFlight");
    QTest::addColumn<int>("maxInFlight");
    QTest::addColumn<int>("maxWrites");

    QTest::newRow("TOP of 3,000 short messages") << 3000 << 2 << qint64(400) << 1000 << 3000 << 12;
    QTest::newRow("RETR of messages listed as 3 MB")
        << 8 << 0 << qint64(3 * 1024 * 1024) << 1
        << int(pop3::Pop3Pipeline::AnswerBudget / pop3::Pop3Pipeline::UnknownRetrGuess) << 10;
}

void tst_Pop3Pipelining::bytesInFlight()
{
    QFETCH(int, count);
    QFETCH(int, lines);
    QFETCH(qint64, listedSize);
    QFETCH(int, minInFlight);
    QFETCH(int, maxInFlight);
    QFETCH(int, maxWrites);
    const int bodyLines = 2;
    Session s;
    s.server->script(kGreeting + kCapaPipelining + kUserPass + "C: STAT\nS: +OK " +
                     QByteArray::number(count) + ' ' + QByteArray::number(listedSize * count) + '\n');
    s.server->responder = mailbox(count, bodyLines, listedSize);
    s.server->setOutputLimit(16 * 1024);
    QVERIFY(s.logOn(settings()));
    const qsizetype writesBefore = s.server->writeBatches().size();

    std::deque<qsizetype> inFlight;
    qint64 inFlightBytes = 0, mostBytes = 0;
    qsizetype most = 0;
    s.server->onWrite = [&](const QByteArray& data) {
        for (const QByteArray& line : data.split('\n')) {
            if (!line.startsWith("TOP ") && !line.startsWith("RETR ")) continue;
            inFlight.push_back(line.size() + 1);
            inFlightBytes += line.size() + 1;
        }
        most = std::max(most, qsizetype(inFlight.size()));
        mostBytes = std::max(mostBytes, inFlightBytes);
    };
    connect(s.client.get(), &Pop3Client::EndTransfer, s.client.get(), [&] {
        inFlightBytes -= inFlight.front();
        inFlight.pop_front();
    });
    QVERIFY(s.retrieve(1, count, lines));
    s.logOff();
    QVERIFY2(s.errors().isEmpty(), qPrintable(s.errors().join(u'\n')));
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
    QCOMPARE(s.recorder->events, topEvents(1, count, lines == 0 ? bodyLines : std::min(lines, bodyLines)));

    QVERIFY2(most >= minInFlight && most <= maxInFlight, qPrintable(QString::number(most)));
    QVERIFY2(mostBytes <= pop3::Pop3Pipeline::RequestBudget, qPrintable(QString::number(mostBytes)));
    // Few writes, each of many requests: at a real distance, few round trips.
    const qsizetype writes = s.server->writeBatches().size() - writesBefore - 1; // QUIT
    QVERIFY2(writes <= maxWrites, qPrintable(QString::number(writes)));
}

// A server that reads nothing more after logging on: the client writes no
// more than its request budget, then gives up after the response timeout.
void tst_Pop3Pipelining::serverThatStopsReading()
{
    Session s;
    s.server->script(kGreeting + kCapaPipelining + kUserPass + "C: STAT\nS: +OK 50000 500000000\n!silence\n");
    PopServerSettings set = settings();
    set.responseTimeoutMs = 200;
    QVERIFY(s.logOn(set));
    qint64 written = 0;
    s.server->onWrite = [&](const QByteArray& data) { written += data.size(); };
    QVERIFY(!s.retrieve(1, 50000, 20));
    QCOMPARE(s.recorder->errorCodes, QList<int>{Pop3Client::ErrorTimeout});
    QVERIFY(written > 0);
    QVERIFY2(written <= pop3::Pop3Pipeline::RequestBudget, qPrintable(QString::number(written)));
    QVERIFY(s.server->closedByClient());
    s.logOff();
    QCOMPARE(s.errors().size(), 1);
}

// A server that claims two billion messages has three: nothing is sized by
// its claim, and the retrieval stops at the first message that is not there.
void tst_Pop3Pipelining::absurdMessageCount()
{
    Session s;
    s.server->script(kGreeting + kCapaPipelining + kUserPass + "C: STAT\nS: +OK 2147483647 300\n");
    auto three = mailbox(3, 2, 100);
    s.server->responder = [three](const QByteArray& line) -> QByteArray {
        return line == "LIST" ? QByteArray("-ERR too many to list\r\n") : three(line);
    };
    QVERIFY(s.logOn(settings()));
    QCOMPARE(s.client->messageCount(), 2147483647);
    QVERIFY(!s.retrieve(1, 2147483647, 2));
    QCOMPARE(s.recorder->events, topEvents(1, 3, 2));
    QCOMPARE(s.errors(), QStringList{QString::number(Pop3Client::ErrorServer) + u" no such message"_s});
    QVERIFY(s.client->isLoggedOn());
    s.logOff();
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
}

void tst_Pop3Pipelining::errorKeepsSessionUsable()
{
    Session s;
    s.server->script(kGreeting + kCapaPipelining + kUserPass + "C: STAT\nS: +OK 4 400\n" +
                     "C: LIST\nC: TOP 1 2\nC: TOP 2 2\nC: TOP 3 2\nC: TOP 4 2\n" +
                     "S: +OK\nS: 1 100\nS: 2 100\nS: 3 100\nS: 4 100\nS: .\n" + topAnswer(1, 2) +
                     "S: -ERR [SYS/TEMP] message 2 is gone\n" + topAnswer(3, 2) +
                     "S: -ERR no such message\n" + kQuit);
    QVERIFY(s.logOn(settings()));
    QVERIFY(!s.retrieve(1, 4, 2));
    // Message 1 is whole; nothing of the later ones leaks out; one error, in the server's words.
    QCOMPARE(s.recorder->events, topEvents(1, 1, 2));
    QCOMPARE(s.errors(), QStringList{QString::number(Pop3Client::ErrorServerUnavailable) +
                                     u" [SYS/TEMP] message 2 is gone"_s});
    QVERIFY(s.client->isLoggedOn());
    s.logOff();
    QCOMPARE(s.errors().size(), 1);
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
    QVERIFY(s.server->scriptFinished());
}

void tst_Pop3Pipelining::withoutPipelining()
{
    // The server offers PIPELINING, the client is told not to use it: one
    // request, one answer, strictly alternating, and no sizes asked for.
    Session s;
    QByteArray dialogue = kGreeting + kCapaPipelining + kUserPass + "C: STAT\nS: +OK 3 300\n";
    for (int n = 1; n <= 3; ++n)
        dialogue += "C: TOP " + QByteArray::number(n) + " 1\n" + topAnswer(n, 1);
    s.server->script(dialogue + kQuit);
    s.client->setPipeliningAllowed(false);
    QVERIFY(s.logOn(settings()));
    QVERIFY(s.retrieve(1, 3, 1));
    s.logOff();
    QCOMPARE(s.recorder->events, topEvents(1, 3, 1));
    QVERIFY(s.errors().isEmpty());
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
    for (int b : s.server->writeBatches())
        QCOMPARE(b, 1);
}

QTEST_GUILESS_MAIN(tst_Pop3Pipelining)
#include "tst_Pop3Pipelining.moc"
