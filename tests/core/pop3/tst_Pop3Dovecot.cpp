// The POP3 client against a real Dovecot on loopback (CTest fixture
// "dovecot"): every security mode, the self-signed certificate trusted by
// fingerprint and refused without it, a wrong password, retrieval of 20
// lines and of entire messages, dot-stuffed lines. Each test group has its
// own user, so groups never see each other's mail.
#include "core/pop3/Pop3Client.h"
#include "core/pop3/Pop3SocketTransport.h"
#include "support/DovecotFixture.h"
#include "support/Pop3EventRecorder.h"

#include <QCoro/QCoroTask>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace orvella;
using namespace orvella::test;
using namespace Qt::Literals::StringLiterals;

namespace {

// A message of `bodyLines` numbered lines, with a folded header and bytes
// outside ASCII.
QByteArray makeMessage(int n, int bodyLines)
{
    QByteArray m = "From: Sender " + QByteArray::number(n) +
                   " <sender@example.test>\n"
                   "To: reader@example.test\n"
                   "Subject: Test message " +
                   QByteArray::number(n) +
                   "\n"
                   " folded onto a second line\n"
                   "Message-ID: <msg" +
                   QByteArray::number(n) +
                   "@example.test>\n"
                   "Content-Type: text/plain; charset=iso-8859-1\n"
                   "X-Latin: caf\xe9\n"
                   "\n";
    for (int i = 1; i <= bodyLines; ++i)
        m += "Body line " + QByteArray::number(i) + " of message " + QByteArray::number(n) + "\n";
    return m;
}

struct Client
{
    Client() : client(std::make_unique<Pop3Client>()), recorder(client.get()) {}
    bool logOn(const PopServerSettings& s) { return QCoro::waitFor(client->logOn(s)); }
    bool retrieve(int first, int last, int lines)
    {
        return QCoro::waitFor(client->retrieve(first, last, lines));
    }
    void logOff() { QCoro::waitFor(client->logOff()); }
    std::unique_ptr<Pop3Client> client;
    Pop3EventRecorder recorder;
};

} // namespace

class tst_Pop3Dovecot : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void security_data();
    void security();
    void certificateRefusedWithoutFingerprint_data();
    void certificateRefusedWithoutFingerprint();
    void wrongPassword();
    void connectionRefused();
    void silentServer();
    void deliveryScript();
    void retrieveTopAndEntire();
    void dotStuffedLines();
    void bigMessageOverTls();
    void pipelinedLikeOneAtATime();

private:
    std::optional<DovecotFixture> m_dovecot;
};

void tst_Pop3Dovecot::initTestCase()
{
    QString error;
    m_dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &error);
    QVERIFY2(m_dovecot, qPrintable(error));
    // The system store must not vouch for our self-signed certificate, or the
    // refusal tests prove nothing.
    QVERIFY(QSslSocket::supportsSsl());
}

// Each mode logs on, counts two messages and logs off.
void tst_Pop3Dovecot::security_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("implicitPort");
    QTest::addColumn<bool>("encrypted");

    QTest::newRow("None on the plain port") << u"None"_s << false << false;
    QTest::newRow("STARTTLS with the trusted fingerprint") << u"STARTTLS"_s << false << true;
    QTest::newRow("Auto uses the offered STLS") << u"Auto"_s << false << true;
    QTest::newRow("TLS on the POP3S port") << u"TLS"_s << true << true;
}

void tst_Pop3Dovecot::security()
{
    QFETCH(QString, security);
    QFETCH(bool, implicitPort);
    QFETCH(bool, encrypted);
    const QString user = u"pop3plain"_s;
    QVERIFY(m_dovecot->clear(user));
    QVERIFY(m_dovecot->deliver(user, {makeMessage(1, 3), makeMessage(2, 3)}));

    Client c;
    PopServerSettings s = m_dovecot->settings(user);
    s.security = security;
    s.port = implicitPort ? m_dovecot->pop3sPort : m_dovecot->pop3Port;
    s.trustedCertificate = m_dovecot->certSha256;
    QVERIFY2(c.logOn(s), qPrintable(c.recorder.errors.join(u'\n')));
    QCOMPARE(c.client->isEncrypted(), encrypted);
    // Dovecot deems loopback secure and offers SASL PLAIN even without TLS.
    QCOMPARE(c.client->authMechanism(), u"PLAIN"_s);
    QVERIFY(c.client->capabilities().has("PIPELINING"));
    QCOMPARE(c.client->messageCount(), 2);
    c.logOff();
    QVERIFY(c.recorder.errors.isEmpty());
}

void tst_Pop3Dovecot::certificateRefusedWithoutFingerprint_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("implicitPort");
    QTest::addColumn<QString>("trusted");

    QTest::newRow("TLS, nothing trusted") << u"TLS"_s << true << QString();
    QTest::newRow("STARTTLS, nothing trusted") << u"STARTTLS"_s << false << QString();
    QTest::newRow("Auto with STLS, nothing trusted") << u"Auto"_s << false << QString();
    QTest::newRow("TLS, another certificate trusted") << u"TLS"_s << true << u"ab"_s.repeated(32);
}

void tst_Pop3Dovecot::certificateRefusedWithoutFingerprint()
{
    QFETCH(QString, security);
    QFETCH(bool, implicitPort);
    QFETCH(QString, trusted);
    Client c;
    PopServerSettings s = m_dovecot->settings(u"pop3tls"_s);
    s.security = security;
    s.port = implicitPort ? m_dovecot->pop3sPort : m_dovecot->pop3Port;
    s.trustedCertificate = trusted;
    QVERIFY(!c.logOn(s));
    QCOMPARE(c.recorder.errorCodes, QList<int>{Pop3Client::ErrorCertificate});
    const QString error = c.recorder.errors.first();
    QVERIFY2(error.contains(m_dovecot->certSha256), qPrintable(error));
    // Qt's own reason is part of the description.
    QVERIFY2(error.contains(u"self signed"_s, Qt::CaseInsensitive) ||
                 error.contains(u"self-signed"_s, Qt::CaseInsensitive),
             qPrintable(error));
    QVERIFY(!c.client->isLoggedOn());
    c.logOff();
    QCOMPARE(c.recorder.errors.size(), 1);
}

void tst_Pop3Dovecot::wrongPassword()
{
    Client c;
    PopServerSettings s = m_dovecot->settings(u"pop3bad"_s);
    s.password = u"not the password"_s;
    QVERIFY(!c.logOn(s));
    QCOMPARE(c.recorder.errors, QStringList{QString::number(Pop3Client::ErrorAuthentication) +
                                            u" [AUTH] Authentication failed."_s});
    c.logOff();
    QCOMPARE(c.recorder.errors.size(), 1);
}

void tst_Pop3Dovecot::connectionRefused()
{
    // A port nobody listens on: take a free one and close it again.
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    Client c;
    PopServerSettings s = m_dovecot->settings(u"pop3plain"_s);
    s.port = port;
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!c.logOn(s));
    // Refused at once, not after the connect time-out.
    QVERIFY(timer.elapsed() < s.connectTimeoutMs / 2);
    QCOMPARE(c.recorder.errors,
             QStringList{QString::number(Pop3Client::ErrorConnect) + u" Connection refused"_s});
}

void tst_Pop3Dovecot::silentServer()
{
    // A real socket that accepts and never says a word.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    std::vector<std::unique_ptr<QTcpSocket>> accepted;
    connect(&server, &QTcpServer::newConnection, this, [&] {
        while (server.hasPendingConnections())
            accepted.emplace_back(server.nextPendingConnection());
    });
    Client c;
    PopServerSettings s = m_dovecot->settings(u"pop3plain"_s);
    s.port = server.serverPort();
    s.responseTimeoutMs = 300;
    QVERIFY(!c.logOn(s));
    QCOMPARE(c.recorder.errorCodes, QList<int>{Pop3Client::ErrorTimeout});
    QVERIFY(c.recorder.errors.first().contains(u"The server stopped answering"_s));
}

// dovecot-deliver.sh, which end-to-end tests use: empties a mailbox, then
// delivers files in order, CR LF or LF.
void tst_Pop3Dovecot::deliveryScript()
{
    const QString user = u"pop3empty"_s;
    const QString script = QStringLiteral(ORVELLA_TEST_SCRIPTS_DIR "/dovecot-deliver.sh");
    QCOMPARE(QProcess::execute(script, {m_dovecot->dir, user, u"--clear"_s}), 0);
    {
        Client c;
        QVERIFY(c.logOn(m_dovecot->settings(user)));
        QCOMPARE(c.client->messageCount(), 0);
        // Nothing to retrieve is no error.
        QVERIFY(c.retrieve(1, 0, 20));
        QVERIFY(c.recorder.events.isEmpty());
        c.logOff();
        QVERIFY(c.recorder.errors.isEmpty());
    }
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString first = tmp.filePath(u"first.eml"_s), second = tmp.filePath(u"second.eml"_s);
    QFile f1(first), f2(second);
    QVERIFY(f1.open(QIODevice::WriteOnly) && f2.open(QIODevice::WriteOnly));
    f1.write("Subject: first\r\n\r\nwith CR LF\r\n");
    f2.write("Subject: second\n\nwith LF\n");
    f1.close();
    f2.close();
    QCOMPARE(QProcess::execute(script, {m_dovecot->dir, user, first, second}), 0);
    {
        Client c;
        QVERIFY(c.logOn(m_dovecot->settings(user)));
        QCOMPARE(c.client->messageCount(), 2);
        QVERIFY(c.retrieve(1, 2, 0));
        QCOMPARE(c.recorder.events,
                 (QStringList{u"start 1"_s, u"H Subject: first"_s, u"T with CR LF"_s, u"end"_s, u"start 2"_s,
                              u"H Subject: second"_s, u"T with LF"_s, u"end"_s}));
        c.logOff();
    }
    // An unknown user is an error, not a silent success.
    QVERIFY(QProcess::execute(script, {m_dovecot->dir, u"nobody"_s, first}) != 0);
    QCOMPARE(QProcess::execute(script, {m_dovecot->dir, user, u"--clear"_s}), 0);
}

void tst_Pop3Dovecot::retrieveTopAndEntire()
{
    const QString user = u"pop3retr"_s;
    QVERIFY(m_dovecot->clear(user));
    QList<QByteArray> messages;
    for (int n = 1; n <= 5; ++n)
        messages.append(makeMessage(n, 30 + n));
    QVERIFY(m_dovecot->deliver(user, messages));

    for (const bool pipelining : {true, false}) {
        Client c;
        c.client->setPipeliningAllowed(pipelining);
        PopServerSettings s = m_dovecot->settings(user);
        s.security = u"STARTTLS"_s;
        s.trustedCertificate = m_dovecot->certSha256;
        QVERIFY2(c.logOn(s), qPrintable(c.recorder.errors.join(u'\n')));
        QCOMPARE(c.client->messageCount(), 5);

        // Sizes as the server counts them: CR LF line ends.
        for (int n = 1; n <= 5; ++n) {
            const auto size = QCoro::waitFor(c.client->messageSize(n));
            QVERIFY(size);
            QCOMPARE(*size, qint64(messages[n - 1].size() + messages[n - 1].count('\n')));
        }

        // Headers plus 20 lines.
        QVERIFY(c.retrieve(1, 5, 20));
        QStringList expected;
        for (int n = 1; n <= 5; ++n) {
            expected << u"start %1"_s.arg(n) << u"H From: Sender %1 <sender@example.test>"_s.arg(n)
                     << u"H To: reader@example.test"_s
                     << u"H Subject: Test message %1 folded onto a second line"_s.arg(n)
                     << u"H Message-ID: <msg%1@example.test>"_s.arg(n)
                     << u"H Content-Type: text/plain; charset=iso-8859-1"_s << u"H X-Latin: caf\u00e9"_s;
            for (int i = 1; i <= 20; ++i)
                expected << u"T Body line %1 of message %2"_s.arg(i).arg(n);
            expected << u"end"_s;
        }
        QCOMPARE(c.recorder.events, expected);
        c.recorder.clear();

        // The entire messages: every body line, exactly.
        QVERIFY(c.retrieve(2, 4, 0));
        QStringList whole;
        for (int n = 2; n <= 4; ++n) {
            whole << u"start %1"_s.arg(n) << expected.mid((n - 1) * 28 + 1, 6);
            for (int i = 1; i <= 30 + n; ++i)
                whole << u"T Body line %1 of message %2"_s.arg(i).arg(n);
            whole << u"end"_s;
        }
        QCOMPARE(c.recorder.events, whole);
        c.logOff();
        QVERIFY(c.recorder.errors.isEmpty());
    }
}

void tst_Pop3Dovecot::dotStuffedLines()
{
    const QString user = u"pop3dots"_s;
    QVERIFY(m_dovecot->clear(user));
    const QList<QByteArray> body{".", "..", "...", ".hidden", ". blank", "", "end.", "."};
    QByteArray message = "Subject: dots\n\n";
    for (const QByteArray& l : body)
        message += l + '\n';
    QVERIFY(m_dovecot->deliver(user, {message, "Subject: after\n\nstill here\n"}));

    Client c;
    QVERIFY(c.logOn(m_dovecot->settings(user)));
    QCOMPARE(c.client->messageCount(), 2);
    QVERIFY(c.retrieve(1, 2, 0));
    QStringList expected{u"start 1"_s, u"H Subject: dots"_s};
    for (const QByteArray& l : body)
        expected << u"T "_s + QString::fromLatin1(l);
    expected << u"end"_s << u"start 2"_s << u"H Subject: after"_s << u"T still here"_s << u"end"_s;
    QCOMPARE(c.recorder.events, expected);
    // TOP with fewer lines than the dots: the "." line inside is no terminator.
    c.recorder.clear();
    QVERIFY(c.retrieve(1, 1, 2));
    QCOMPARE(c.recorder.events,
             (QStringList{u"start 1"_s, u"H Subject: dots"_s, u"T ."_s, u"T .."_s, u"end"_s}));
    c.logOff();
    QVERIFY(c.recorder.errors.isEmpty());
}

// A 3 MB message through TLS: more than the socket's read buffer, so reading
// must go on as the buffer drains.
void tst_Pop3Dovecot::bigMessageOverTls()
{
    const QString user = u"pop3tls"_s;
    QVERIFY(m_dovecot->clear(user));
    QByteArray message = "Subject: big\n\n";
    QCryptographicHash sent(QCryptographicHash::Sha256);
    const int lines = 40000;
    for (int i = 0; i < lines; ++i) {
        const QByteArray line = "line " + QByteArray::number(i) + ' ' + QByteArray(64, char('a' + i % 26));
        message += line + '\n';
        sent.addData(line);
    }
    QVERIFY(m_dovecot->deliver(user, {message}));

    Client c;
    PopServerSettings s = m_dovecot->settings(user);
    s.security = u"TLS"_s;
    s.port = m_dovecot->pop3sPort;
    s.trustedCertificate = m_dovecot->certSha256;
    QVERIFY(c.logOn(s));
    QCryptographicHash received(QCryptographicHash::Sha256);
    int count = 0;
    connect(c.client.get(), &Pop3Client::Transfer, this, [&](qint64, const QString& text) {
        received.addData(text.toLatin1());
        ++count;
    });
    QVERIFY(c.retrieve(1, 1, 0));
    QCOMPARE(count, lines);
    QCOMPARE(received.result(), sent.result());
    c.logOff();
    QVERIFY(c.recorder.errors.isEmpty());
}

// Thousands of requests in flight against a real server, whose buffers fill
// while the answers are read: the same events as one request at a time, for
// headers with a few lines and for entire messages.
void tst_Pop3Dovecot::pipelinedLikeOneAtATime()
{
    const QString user = u"pop3bench"_s;
    QVERIFY(m_dovecot->clear(user));
    const int count = 2500;
    QList<QByteArray> messages;
    for (int n = 1; n <= count; ++n)
        messages.append(makeMessage(n, 10 + n % 40));
    QVERIFY(m_dovecot->deliver(user, messages));

    for (const int lines : {5, 0}) {
        QStringList events[2];
        for (const bool pipelining : {true, false}) {
            Client c;
            c.client->setPipeliningAllowed(pipelining);
            QVERIFY2(c.logOn(m_dovecot->settings(user)), qPrintable(c.recorder.errors.join(u'\n')));
            QCOMPARE(c.client->messageCount(), count);
            QVERIFY2(c.retrieve(1, count, lines), qPrintable(c.recorder.errors.join(u'\n')));
            c.logOff();
            QVERIFY(c.recorder.errors.isEmpty());
            events[pipelining ? 0 : 1] = c.recorder.events;
        }
        QCOMPARE(events[0].count(u"end"_s), count);
        QCOMPARE(events[0], events[1]);
    }
}

QTEST_GUILESS_MAIN(tst_Pop3Dovecot)
#include "tst_Pop3Dovecot.moc"
