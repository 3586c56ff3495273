// The POP3 session against scripted servers: dialogues of server and client
// lines, certificate decisions, failures at every step. Pipelining and
// servers that never end an answer have tests of their own.
#include "core/pop3/Pop3Client.h"
#include "support/Pop3EventRecorder.h"
#include "support/Pop3ScriptedTransport.h"
#include "support/Pop3TestSession.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using namespace orvella;
using namespace orvella::test;
using namespace orvella::test::pop3script;
using namespace Qt::Literals::StringLiterals;

namespace {

QSslCertificate testCertificate()
{
    QFile f(QStringLiteral(ORVELLA_POP_TEST_DATA "/selfsigned.pem"));
    if (!f.open(QIODevice::ReadOnly)) return QSslCertificate();
    return QSslCertificate(f.readAll(), QSsl::Pem);
}

// XOAUTH2: a server that lists the mechanism, and pipelining (which must not
// carry STAT along: a refusal wants one more client line).
const QByteArray kCapaXOAuth2 = "C: CAPA\nS: +OK\nS: TOP\nS: PIPELINING\nS: SASL PLAIN XOAUTH2\nS: .\n";
// A token as long as real ones (1-2 KB), so its response follows the "+ ".
const QString kLongToken = u"EwBIA8l6BAAU"_s + QString(1400, u'x') + u"/+="_s;
// Placeholder in the dialogues for the row's response line.
const QByteArray kLongResponse = "<long response>";
// base64({"status":"401","schemes":"bearer","scope":"https://mail.google.com/"})
const QByteArray kChallenge401 =
    "eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIiwic2NvcGUiOiJodHRwczovL21haWwuZ29vZ2xlLmNvbS8ifQ==";

const QString kTestFingerprint =
    u"EB:FD:23:0D:12:42:A9:29:B2:55:48:0B:78:F1:BA:8A:BF:9E:31:20:A6:32:C5:DF:22:6E:26:CE:7B:EB:1E:40"_s;

} // namespace

class tst_Pop3Client : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void logOn_data();
    void logOn();
    void badSettings_data();
    void badSettings();
    void connectFailures();
    void certificate_data();
    void certificate();
    void xoauth2_data();
    void xoauth2();
    void tokenOnlyWhereSafe_data();
    void tokenOnlyWhereSafe();

    void retrieveTop();
    void retrieveEntireMessage();
    void bytesArriveInPieces();
    void headerEdgeCases();
    void messageSize();
    void requestChecks();

    void dropAtEveryStep_data();
    void dropAtEveryStep();
    void silenceAtEveryStep_data();
    void silenceAtEveryStep();
    void logOffCases();
};

// Each row is one server dialogue from the greeting to STAT (or to the failure).
void tst_Pop3Client::logOn_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("dialogue");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("mechanism");
    QTest::addColumn<bool>("implicitTls");
    QTest::addColumn<bool>("encrypted");
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QString>("errorText");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("credentialsSent");

    QTest::newRow("user/pass, server without CAPA")
        << u"Auto"_s << 110 << kGreeting + "C: CAPA\nS: -ERR unknown command\n" + kUserPass + kStat << true
        << u"USER"_s << false << false << 0 << QString() << u"secret"_s << true;
    QTest::newRow("SASL PLAIN where the server deems plain text safe")
        << u"None"_s << 110 << kGreeting + kCapaSasl + kAuthPlain + kStat << true << u"PLAIN"_s << false
        << false << 0 << QString() << u"secret"_s << true;
    QTest::newRow("APOP when the greeting offers it and there is no TLS")
        << u"Auto"_s << 110
        << QByteArray("S: +OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\n") + kCapaPlain +
               "C: APOP bob c4c9334bac560ecc979e58001b3e22fb\nS: +OK maildrop has 2 messages\n" + kStat
        << true << u"APOP"_s << false << false << 0 << QString() << u"tanstaaf"_s << true;
    QTest::newRow("STLS in Auto mode, CAPA again, SASL PLAIN over TLS (not APOP)")
        << u"Auto"_s << 110
        << QByteArray("S: +OK ready <1.2@host>\n") + kCapaStls + "C: STLS\nS: +OK Begin TLS\n!tls\n" +
               kCapaSasl + kAuthPlain + kStat
        << true << u"PLAIN"_s << false << true << 0 << QString() << u"secret"_s << true;
    QTest::newRow("STARTTLS, then user/pass over TLS when SASL is not offered")
        << u"STARTTLS"_s << 110
        << kGreeting + kCapaStls + "C: STLS\nS: +OK\n!tls\n" + kCapaPlain + kUserPass + kStat << true
        << u"USER"_s << false << true << 0 << QString() << u"secret"_s << true;
    QTest::newRow("Auto on port 995 is implicit TLS")
        << u"Auto"_s << 995 << kGreeting + kCapaSasl + kAuthPlain + kStat << true << u"PLAIN"_s << true
        << true << 0 << QString() << u"secret"_s << true;
    QTest::newRow("TLS on another port is implicit TLS")
        << u"tls"_s << 1995 << kGreeting + kCapaPlain + kUserPass + kStat << true << u"USER"_s << true << true
        << 0 << QString() << u"secret"_s << true;
    QTest::newRow("None ignores an offered STLS")
        << u"None"_s << 110 << kGreeting + kCapaStls + kUserPass + kStat << true << u"USER"_s << false
        << false << 0 << QString() << u"secret"_s << true;
    QTest::newRow("empty security means Auto")
        << QString() << 110
        << kGreeting + kCapaStls + "C: STLS\nS: +OK\n!tls\n" + kCapaPlain + kUserPass + kStat << true
        << u"USER"_s << false << true << 0 << QString() << u"secret"_s << true;
    QTest::newRow("long credentials: SASL PLAIN answers after the continuation")
        << u"None"_s << 110
        << kGreeting + kCapaSasl + "C: AUTH PLAIN\nS: + \nC: " +
               QByteArray(QByteArray(1, '\0') + "bob" + '\0' + QByteArray(300, 'p')).toBase64() +
               "\nS: +OK\n" + kStat
        << true << u"PLAIN"_s << false << false << 0 << QString() << QString(300, u'p') << true;
    QTest::newRow("STARTTLS required but not offered: fails closed")
        << u"STARTTLS"_s << 110 << kGreeting + kCapaPlain + "C: QUIT\n"
        << false << QString() << false << false << int(Pop3Client::ErrorTlsUnavailable)
        << u"does not offer STARTTLS"_s << u"secret"_s << false;
    QTest::newRow("STLS refused") << u"Auto"_s << 110
                                  << kGreeting + kCapaStls + "C: STLS\nS: -ERR TLS not available now\n"
                                  << false << QString() << false << false << int(Pop3Client::ErrorTls)
                                  << u"TLS not available now"_s << u"secret"_s << false;
    QTest::newRow("data injected between STLS and the handshake")
        << u"Auto"_s << 110 << kGreeting + kCapaStls + "C: STLS\nS: +OK\nS: +OK injected\n"
        << false << QString() << false << false << int(Pop3Client::ErrorProtocol)
        << u"before the secure connection"_s << u"secret"_s << false;
    QTest::newRow("wrong password")
        << u"Auto"_s << 110
        << kGreeting + kCapaPlain +
               "C: USER bob\nS: +OK\nC: PASS secret\nS: -ERR [AUTH] Authentication failed.\n"
        << false << QString() << false << false << int(Pop3Client::ErrorAuthentication)
        << u"[AUTH] Authentication failed."_s << u"secret"_s << true;
    QTest::newRow("unknown user") << u"Auto"_s << 110
                                  << kGreeting + kCapaPlain + "C: USER bob\nS: -ERR no such user\n"
                                  << false << QString() << false << false
                                  << int(Pop3Client::ErrorAuthentication) << u"no such user"_s << u"secret"_s
                                  << true;
    QTest::newRow("SASL PLAIN refused")
        << u"None"_s << 110
        << kGreeting + kCapaSasl + "C: AUTH PLAIN AGJvYgBzZWNyZXQ=\nS: -ERR [AUTH] Authentication failed.\n"
        << false << QString() << false << false << int(Pop3Client::ErrorAuthentication)
        << u"[AUTH] Authentication failed."_s << u"secret"_s << true;
    QTest::newRow("SASL server wants another round: cancelled")
        << u"None"_s << 110
        << kGreeting + kCapaSasl + "C: AUTH PLAIN AGJvYgBzZWNyZXQ=\nS: + more\nC: *\nS: -ERR cancelled\n"
        << false << QString() << false << false << int(Pop3Client::ErrorAuthentication) << u"cancelled"_s
        << u"secret"_s << true;
    QTest::newRow("mailbox in use")
        << u"Auto"_s << 110
        << kGreeting + kCapaPlain +
               "C: USER bob\nS: +OK\nC: PASS secret\nS: -ERR [IN-USE] Mailbox is locked\n"
        << false << QString() << false << false << int(Pop3Client::ErrorMailboxInUse)
        << u"[IN-USE] Mailbox is locked"_s << u"secret"_s << true;
    QTest::newRow("greeting refuses")
        << u"Auto"_s << 110 << QByteArray("S: -ERR [SYS/TEMP] Too many connections\n") << false << QString()
        << false << false << int(Pop3Client::ErrorServerUnavailable) << u"[SYS/TEMP] Too many connections"_s
        << u"secret"_s << false;
    QTest::newRow("garbage greeting")
        << u"Auto"_s << 110 << QByteArray("S: 220 smtp.example.test ESMTP\n") << false << QString() << false
        << false << int(Pop3Client::ErrorProtocol) << u"220 smtp.example.test ESMTP"_s << u"secret"_s
        << false;
    QTest::newRow("garbage STAT") << u"Auto"_s << 110
                                  << kGreeting + kCapaPlain + kUserPass + "C: STAT\nS: +OK many\n"
                                  << false << QString() << false << false << int(Pop3Client::ErrorProtocol)
                                  << u"message count"_s << u"secret"_s << true;
    QTest::newRow("endless CAPA") << u"Auto"_s << 110
                                  << kGreeting + "C: CAPA\nS: +OK\n" + QByteArray("S: X-CAP\n").repeated(250)
                                  << false << QString() << false << false << int(Pop3Client::ErrorProtocol)
                                  << u"does not end"_s << u"secret"_s << false;
    QTest::newRow("server closes after refusing")
        << u"Auto"_s << 110 << kGreeting + kCapaPlain + "C: USER bob\nS: -ERR go away\n!drop\n"
        << false << QString() << false << false << int(Pop3Client::ErrorAuthentication) << u"go away"_s
        << u"secret"_s << true;
}

void tst_Pop3Client::logOn()
{
    QFETCH(QString, security);
    QFETCH(int, port);
    QFETCH(QByteArray, dialogue);
    QFETCH(bool, ok);
    QFETCH(QString, mechanism);
    QFETCH(bool, implicitTls);
    QFETCH(bool, encrypted);
    QFETCH(int, errorCode);
    QFETCH(QString, errorText);
    QFETCH(QString, password);
    QFETCH(bool, credentialsSent);

    Session s;
    s.server->script(dialogue);
    s.server->setCertificate(testCertificate(), {});
    PopServerSettings set = settings(security, port);
    set.password = password;
    QCOMPARE(s.logOn(set), ok);
    QCOMPARE(s.server->usedImplicitTls(), implicitTls);
    QCOMPARE(s.server->connectedHost(), u"mail.example.test"_s);
    QCOMPARE(int(s.server->connectedPort()), port);
    if (ok) {
        QVERIFY2(s.errors().isEmpty(), qPrintable(s.errors().join(u'\n')));
        QCOMPARE(s.client->authMechanism(), mechanism);
        QCOMPARE(s.client->isEncrypted(), encrypted);
        QCOMPARE(s.client->messageCount(), 2);
        QCOMPARE(s.client->mailboxSize(), qint64(320));
        QVERIFY(s.client->isLoggedOn());
    } else {
        QCOMPARE(s.recorder->errorCodes, QList<int>{errorCode});
        QVERIFY2(s.errors().first().contains(errorText), qPrintable(s.errors().first()));
        QVERIFY(!s.client->isLoggedOn());
    }
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
    QVERIFY(s.server->scriptFinished());
    // Fail closed: no password went out on a connection that should have been secured.
    if (!credentialsSent) {
        for (const QByteArray& line : s.server->clientLines())
            QVERIFY(!line.startsWith("PASS") && !line.startsWith("USER") && !line.startsWith("AUTH"));
    }
}

void tst_Pop3Client::badSettings_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("errorText");

    QTest::newRow("unknown security") << u"security"_s << u"SSL-ish"_s << u"SSL-ish"_s;
    QTest::newRow("no host") << u"host"_s << u"  "_s << u"No incoming mail server"_s;
    QTest::newRow("port 0") << u"port"_s << u"0"_s << u"port 0"_s;
    QTest::newRow("port too big") << u"port"_s << u"70000"_s << u"port 70000"_s;
    QTest::newRow("fingerprint too short") << u"trusted"_s << u"AB:CD"_s << u"AB:CD"_s;
    QTest::newRow("fingerprint not hex") << u"trusted"_s << QString(64, u'g') << u"SHA-256"_s;
    QTest::newRow("line break in password") << u"password"_s << u"x\r\nDELE 1"_s << u"line break"_s;
    QTest::newRow("line break in user") << u"user"_s << u"bob\nQUIT"_s << u"line break"_s;
}

void tst_Pop3Client::badSettings()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, errorText);
    Session s;
    PopServerSettings set = settings();
    if (field == u"security")
        set.security = value;
    else if (field == u"host")
        set.host = value;
    else if (field == u"port")
        set.port = value.toInt();
    else if (field == u"trusted")
        set.trustedCertificate = value;
    else if (field == u"password")
        set.password = value;
    else if (field == u"user")
        set.user = value;
    QVERIFY(!s.logOn(set));
    QCOMPARE(s.recorder->errorCodes, QList<int>{Pop3Client::ErrorBadSettings});
    QVERIFY2(s.errors().first().contains(errorText), qPrintable(s.errors().first()));
    QCOMPARE(s.server->connectCount(), 0);
}

void tst_Pop3Client::connectFailures()
{
    {
        Session s;
        s.server->refuseConnection(u"Connection refused"_s);
        QVERIFY(!s.logOn(settings()));
        QCOMPARE(s.errors(),
                 QStringList{QString::number(Pop3Client::ErrorConnect) + u" Connection refused"_s});
        // A failed logon leaves nothing to log off from, and says nothing more.
        s.logOff();
        QCOMPARE(s.errors().size(), 1);
    }
    {
        Session s;
        s.server->hangOnConnect();
        PopServerSettings set = settings();
        set.connectTimeoutMs = 100;
        QVERIFY(!s.logOn(set));
        QCOMPARE(s.recorder->errorCodes, QList<int>{Pop3Client::ErrorConnectTimeout});
        QVERIFY2(s.errors().first().contains(u"mail.example.test port 110"_s),
                 qPrintable(s.errors().first()));
        QVERIFY(s.server->closedByClient());
    }
}

// The certificate decision, for implicit TLS and STLS alike.
void tst_Pop3Client::certificate_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("problems");
    QTest::addColumn<QString>("trusted");
    QTest::addColumn<bool>("ok");

    QTest::newRow("TLS: system trusts it") << u"TLS"_s << false << QString() << true;
    QTest::newRow("TLS: self-signed, not trusted") << u"TLS"_s << true << QString() << false;
    QTest::newRow("TLS: self-signed, fingerprint trusted") << u"TLS"_s << true << kTestFingerprint << true;
    QTest::newRow("TLS: fingerprint lower case without colons")
        << u"TLS"_s << true << kTestFingerprint.toLower().remove(u':') << true;
    QTest::newRow("TLS: another fingerprint trusted") << u"TLS"_s << true << u"00"_s.repeated(32) << false;
    QTest::newRow("STARTTLS: self-signed, not trusted") << u"STARTTLS"_s << true << QString() << false;
    QTest::newRow("STARTTLS: self-signed, fingerprint trusted")
        << u"STARTTLS"_s << true << kTestFingerprint << true;
    QTest::newRow("Auto with STLS: self-signed, not trusted") << u"Auto"_s << true << QString() << false;
}

void tst_Pop3Client::certificate()
{
    QFETCH(QString, security);
    QFETCH(bool, problems);
    QFETCH(QString, trusted);
    QFETCH(bool, ok);

    const QSslCertificate cert = testCertificate();
    QVERIFY(!cert.isNull());
    Session s;
    s.server->setCertificate(cert, problems ? QList<QSslError::SslError>{QSslError::SelfSignedCertificate,
                                                                         QSslError::HostNameMismatch}
                                            : QList<QSslError::SslError>{});
    if (security == u"TLS") {
        s.server->script(kGreeting + kCapaSasl + kAuthPlain + kStat);
    } else {
        s.server->script(kGreeting + kCapaStls + "C: STLS\nS: +OK\n!tls\n");
        if (ok) s.server->script(kCapaSasl + kAuthPlain + kStat);
    }
    PopServerSettings set = settings(security);
    set.trustedCertificate = trusted;
    QCOMPARE(s.logOn(set), ok);
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
    if (ok) {
        QVERIFY(s.errors().isEmpty());
        QVERIFY(s.client->isEncrypted());
        QVERIFY(s.client->rejectedCertificate().isEmpty());
        return;
    }
    QCOMPARE(s.recorder->errorCodes, QList<int>{Pop3Client::ErrorCertificate});
    // Kept for the user to look at and trust.
    QCOMPARE(s.client->rejectedCertificate(), kTestFingerprint);
    const QString error = s.errors().first();
    QVERIFY2(error.contains(kTestFingerprint), qPrintable(error));
    QVERIFY2(error.contains(u"self-signed"_s), qPrintable(error));
    QVERIFY2(error.contains(u"mail.example.test"_s), qPrintable(error));
    for (const QByteArray& line : s.server->clientLines())
        QVERIFY(!line.startsWith("PASS") && !line.startsWith("USER") && !line.startsWith("AUTH"));
}

// One row per XOAUTH2 dialogue over TLS, from CAPA to STAT or to the failure.
void tst_Pop3Client::xoauth2_data()
{
    QTest::addColumn<QString>("token");
    QTest::addColumn<QByteArray>("dialogue");
    QTest::addColumn<int>("errorCode"); // 0: the log-on succeeds
    QTest::addColumn<QStringList>("errorWords");

    const QByteArray longAuth = "C: AUTH XOAUTH2\nS: + \nC: " + kLongResponse + "\n";
    QTest::newRow("long token after the continuation")
        << kLongToken << kCapaXOAuth2 + longAuth + "S: +OK Logged in.\n" + kStat << 0 << QStringList();
    // The exact bytes: "user=bob" ^A "auth=Bearer ya29.a0/Af+h=" ^A ^A.
    QTest::newRow("short token inline, with / + and =")
        << u"ya29.a0/Af+h="_s
        << kCapaXOAuth2 + "C: AUTH XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgeWEyOS5hMC9BZitoPQEB\nS: +OK\n" + kStat
        << 0 << QStringList();
    // 21 + 157 + 2 bytes make 240 of base64: with "AUTH XOAUTH2 " and CR LF, 255 octets.
    QTest::newRow("inline up to 255 octets")
        << QString(157, u't') << kCapaXOAuth2 + "C: AUTH XOAUTH2 " + kLongResponse + "\nS: +OK\n" + kStat << 0
        << QStringList();
    QTest::newRow("a token one byte longer: after the continuation")
        << QString(158, u't')
        << kCapaXOAuth2 + "C: AUTH XOAUTH2\nS: + \nC: " + kLongResponse + "\nS: +OK\n" + kStat << 0
        << QStringList();
    QTest::newRow("mechanism missing from the list: sent all the same")
        << u"tok123"_s
        << kCapaPlain + "C: AUTH XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgdG9rMTIzAQE=\nS: +OK\n" + kStat << 0
        << QStringList();
    QTest::newRow("refused with a JSON challenge")
        << kLongToken
        << kCapaXOAuth2 + longAuth + "S: + " + kChallenge401 + "\nC: \nS: -ERR [AUTH] Invalid credentials\n"
        << int(Pop3Client::ErrorTokenRefused)
        << QStringList{u"status 401"_s, u"https://mail.google.com/"_s, u"expired or was revoked"_s,
                       u"[AUTH] Invalid credentials"_s};
    QTest::newRow("refused with another status")
        << kLongToken
        << kCapaXOAuth2 + longAuth + "S: + eyJzdGF0dXMiOiI0MDAiLCJzY2hlbWVzIjoiYmVhcmVyIn0=\nC: \nS: -ERR\n"
        << int(Pop3Client::ErrorTokenRefused) << QStringList{u"status 400"_s, u"was refused"_s};
    QTest::newRow("refused with a bare -ERR after the response")
        << kLongToken << kCapaXOAuth2 + longAuth + "S: -ERR Authentication failure\n"
        << int(Pop3Client::ErrorTokenRefused) << QStringList{u"expired"_s, u"Authentication failure"_s};
    QTest::newRow("short token refused where the server lists XOAUTH2")
        << u"tok123"_s
        << kCapaXOAuth2 + "C: AUTH XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgdG9rMTIzAQE=\nS: -ERR [AUTH] "
                          "Authentication failed.\n"
        << int(Pop3Client::ErrorTokenRefused) << QStringList{u"[AUTH] Authentication failed."_s};
    QTest::newRow("-ERR at once: mechanism not offered")
        << kLongToken
        << kCapaPlain + "C: AUTH XOAUTH2\nS: -ERR [AUTH] Unsupported authentication mechanism.\n"
        << int(Pop3Client::ErrorAuthentication)
        << QStringList{u"does not offer OAuth2"_s, u"Unsupported authentication mechanism."_s};
    QTest::newRow("short token, -ERR, mechanism not listed")
        << u"tok123"_s
        << kCapaPlain + "C: AUTH XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgdG9rMTIzAQE=\nS: -ERR unknown command\n"
        << int(Pop3Client::ErrorAuthentication) << QStringList{u"does not offer OAuth2"_s};
    QTest::newRow("challenge not base64")
        << kLongToken << kCapaXOAuth2 + longAuth + "S: + %%% not base64 %%%\nC: \nS: -ERR\n"
        << int(Pop3Client::ErrorTokenRefused) << QStringList{u"expired or was revoked"_s};
    QTest::newRow("challenge base64 but not JSON")
        << kLongToken << kCapaXOAuth2 + longAuth + "S: + PGh0bWw+bm90IGpzb248L2h0bWw+\nC: \nS: -ERR denied\n"
        << int(Pop3Client::ErrorTokenRefused) << QStringList{u"expired or was revoked"_s, u"denied"_s};
    QTest::newRow("a second challenge is cancelled")
        << kLongToken
        << kCapaXOAuth2 + longAuth + "S: + " + kChallenge401 + "\nC: \nS: + more\nC: *\nS: -ERR\n"
        << int(Pop3Client::ErrorTokenRefused) << QStringList{u"status 401"_s};
    QTest::newRow("+OK where -ERR ends a refusal")
        << kLongToken << kCapaXOAuth2 + longAuth + "S: + " + kChallenge401 + "\nC: \nS: +OK\n"
        << int(Pop3Client::ErrorProtocol) << QStringList{u"makes no sense"_s};
    QTest::newRow("token accepted, mailbox in use")
        << kLongToken << kCapaXOAuth2 + longAuth + "S: -ERR [IN-USE] Mailbox is locked\n"
        << int(Pop3Client::ErrorMailboxInUse) << QStringList{u"[IN-USE] Mailbox is locked"_s};
    QTest::newRow("server echoes the token and its response")
        << kLongToken
        << kCapaXOAuth2 + longAuth + "S: -ERR bad token " + kLongToken.toLatin1() + " in " + kLongResponse +
               "\n"
        << int(Pop3Client::ErrorTokenRefused) << QStringList{u"bad token (hidden)"_s};
    QTest::newRow("server echoes the short token in nonsense")
        << u"tok123"_s
        << kCapaXOAuth2 +
               "C: AUTH XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgdG9rMTIzAQE=\nS: + x\nC: \nS: ?? tok123\n"
        << int(Pop3Client::ErrorProtocol) << QStringList{u"not POP3"_s};
    QTest::newRow("connection dropped after the empty response")
        << kLongToken << kCapaXOAuth2 + longAuth + "S: + " + kChallenge401 + "\nC: \n!drop\n"
        << int(Pop3Client::ErrorConnectionLost) << QStringList();
}

void tst_Pop3Client::xoauth2()
{
    QFETCH(QString, token);
    QFETCH(QByteArray, dialogue);
    QFETCH(int, errorCode);
    QFETCH(QStringList, errorWords);

    const QByteArray response = QByteArray("user=bob\x01"
                                           "auth=Bearer " +
                                           token.toLatin1() + "\x01\x01")
                                    .toBase64();
    Session s;
    s.server->setCertificate(testCertificate(), {});
    s.server->script(kGreeting + dialogue.replace(kLongResponse, response));
    PopServerSettings set = settings(u"TLS"_s, 995);
    set.accessToken = token;
    QCOMPARE(s.logOn(set), errorCode == 0);
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
    QVERIFY(s.server->scriptFinished());
    QCOMPARE(s.client->authMechanism(), u"XOAUTH2"_s);
    if (errorCode == 0) {
        QVERIFY2(s.errors().isEmpty(), qPrintable(s.errors().join(u'\n')));
        QCOMPARE(s.client->messageCount(), 2);
    } else {
        QCOMPARE(s.recorder->errorCodes, QList<int>{errorCode});
        for (const QString& words : errorWords)
            QVERIFY2(s.errors().first().contains(words), qPrintable(s.errors().first()));
    }
    // The password never goes out, and the token never comes back in words.
    for (const QByteArray& line : s.server->clientLines())
        QVERIFY(!line.contains("secret") && !line.startsWith("PASS") && !line.startsWith("AUTH PLAIN"));
    for (const QString& error : s.errors()) {
        QVERIFY2(!error.contains(token), qPrintable(error));
        QVERIFY2(!error.contains(QString::fromLatin1(response)), qPrintable(error));
        QVERIFY2(!error.contains(token.left(16)), qPrintable(error));
    }
}

// A bearer token goes only over TLS or to this machine; elsewhere the
// log-on fails before the token is written.
void tst_Pop3Client::tokenOnlyWhereSafe_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QByteArray>("dialogue");
    QTest::addColumn<int>("errorCode"); // 0: the log-on succeeds
    QTest::addColumn<QString>("errorText");

    const QByteArray noStls = "C: CAPA\nS: +OK\nS: USER\nS: SASL PLAIN XOAUTH2\nS: .\n";
    const QByteArray signIn = "C: AUTH XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgdG9rMTIzAQE=\nS: +OK\n" + kStat;
    QTest::newRow("security None, remote host: nothing sent")
        << u"mail.example.test"_s << u"None"_s << u"tok123"_s << QByteArray()
        << int(Pop3Client::ErrorBadSettings) << u"never sent unencrypted"_s;
    QTest::newRow("a name that only begins like loopback")
        << u"127.example.test"_s << u"None"_s << u"tok123"_s << QByteArray()
        << int(Pop3Client::ErrorBadSettings) << u"never sent unencrypted"_s;
    QTest::newRow("Auto without STLS, remote host: QUIT, no AUTH")
        << u"mail.example.test"_s << u"Auto"_s << u"tok123"_s << kGreeting + noStls + "C: QUIT\n"
        << int(Pop3Client::ErrorTlsUnavailable) << u"never sent unencrypted"_s;
    QTest::newRow("Auto with STLS: the token goes after TLS")
        << u"mail.example.test"_s << u"Auto"_s << u"tok123"_s
        << kGreeting + kCapaStls + "C: STLS\nS: +OK\n!tls\n" + noStls + signIn << 0 << QString();
    QTest::newRow("None to 127.0.0.1")
        << u"127.0.0.1"_s << u"None"_s << u"tok123"_s << kGreeting + noStls + signIn << 0 << QString();
    QTest::newRow("Auto without STLS to 127.8.9.10")
        << u"127.8.9.10"_s << u"Auto"_s << u"tok123"_s << kGreeting + noStls + signIn << 0 << QString();
    QTest::newRow("None to ::1") << u"::1"_s << u"None"_s << u"tok123"_s << kGreeting + noStls + signIn << 0
                                 << QString();
    QTest::newRow("None to LocalHost")
        << u"LocalHost"_s << u"None"_s << u"tok123"_s << kGreeting + noStls + signIn << 0 << QString();
    QTest::newRow("line break in the token")
        << u"mail.example.test"_s << u"TLS"_s << u"tok\r\n123"_s << QByteArray()
        << int(Pop3Client::ErrorBadSettings) << u"control characters"_s;
}

void tst_Pop3Client::tokenOnlyWhereSafe()
{
    QFETCH(QString, host);
    QFETCH(QString, security);
    QFETCH(QString, token);
    QFETCH(QByteArray, dialogue);
    QFETCH(int, errorCode);
    QFETCH(QString, errorText);

    Session s;
    s.server->setCertificate(testCertificate(), {});
    s.server->script(dialogue);
    PopServerSettings set = settings(security);
    set.host = host;
    set.accessToken = token;
    QCOMPARE(s.logOn(set), errorCode == 0);
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
    QVERIFY(s.server->scriptFinished());
    if (errorCode == 0) {
        QVERIFY2(s.errors().isEmpty(), qPrintable(s.errors().join(u'\n')));
        return;
    }
    QCOMPARE(s.recorder->errorCodes, QList<int>{errorCode});
    QVERIFY2(s.errors().first().contains(errorText), qPrintable(s.errors().first()));
    if (dialogue.isEmpty()) QCOMPARE(s.server->connectCount(), 0);
    for (const QByteArray& line : s.server->clientLines())
        QVERIFY2(!line.startsWith("AUTH") && !line.startsWith("PASS"), line.constData());
}

void tst_Pop3Client::retrieveTop()
{
    Session s;
    s.server->script(kGreeting + kCapaPlain + kUserPass + kStat +
                     "C: TOP 1 3\n"
                     "S: +OK top of message follows\n"
                     "S: Received: from a\n"
                     "S: \tby b\n"
                     "S: Subject: a folded\n"
                     "S:  subject\n"
                     "S: From: Ann <ann@example.test>\n"
                     "S: \n"
                     "S: first line\n"
                     "S: ..starts with a dot\n"
                     "S: \n"
                     "S: .\n"
                     "C: TOP 2 3\n"
                     "S: +OK\n"
                     "S: Subject: second\n"
                     "S: \n"
                     "S: ...\n"
                     "S: .\n" +
                     kQuit);
    QVERIFY(s.logOn(settings()));
    QVERIFY(s.retrieve(1, 2, 3));
    QCOMPARE(s.recorder->events, (QStringList{
                                     u"start 1"_s,
                                     u"H Received: from a\tby b"_s,
                                     u"H Subject: a folded subject"_s,
                                     u"H From: Ann <ann@example.test>"_s,
                                     u"T first line"_s,
                                     u"T .starts with a dot"_s,
                                     u"T "_s,
                                     u"end"_s,
                                     u"start 2"_s,
                                     u"H Subject: second"_s,
                                     u"T .."_s,
                                     u"end"_s,
                                 }));
    // Bytes count what arrived for the message, line ends included.
    QCOMPARE(s.recorder->lastBytes, qint64(QByteArray("Subject: second\r\n\r\n..\r\n").size()));
    s.logOff();
    QVERIFY(s.errors().isEmpty());
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
    QVERIFY(s.server->scriptFinished());
}

void tst_Pop3Client::retrieveEntireMessage()
{
    Session s;
    s.server->script(kGreeting + kCapaPlain + kUserPass + kStat + "C: RETR 2\nS: +OK 120 octets\n");
    // Raw bytes: not UTF-8, and a Latin-1 header value.
    s.server->serverRaw("Subject: caf\xe9\r\nContent-Type: text/plain; charset=iso-8859-1\r\n\r\n"
                        "na\xefve \xfc\xdf\r\n.\r\n");
    s.server->script(kQuit);
    QVERIFY(s.logOn(settings()));
    QByteArray header, body;
    connect(s.client.get(), &Pop3Client::Header, s.client.get(),
            [&](const QString& f, const QString& v) { header += f.toLatin1() + ": " + v.toLatin1() + '\n'; });
    connect(s.client.get(), &Pop3Client::Transfer, s.client.get(),
            [&](qint64, const QString& t) { body += t.toLatin1() + '\n'; });
    QVERIFY(s.retrieve(2, 2, 0));
    // Every byte comes back exactly with toLatin1().
    QCOMPARE(header, QByteArray("Subject: caf\xe9\nContent-Type: text/plain; charset=iso-8859-1\n"));
    QCOMPARE(body, QByteArray("na\xefve \xfc\xdf\n"));
    s.logOff();
    QVERIFY(s.errors().isEmpty());
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
}

void tst_Pop3Client::bytesArriveInPieces()
{
    // Seven bytes per read: every line and the terminator arrive split.
    Session s;
    s.server->setChunkSize(7);
    s.server->script(kGreeting + kCapaPlain + kUserPass + kStat + "C: TOP 1 2\n" + topAnswer(1, 2) + kQuit);
    QVERIFY(s.logOn(settings()));
    QVERIFY(s.retrieve(1, 1, 2));
    QCOMPARE(s.recorder->events, (QStringList{u"start 1"_s, u"H Subject: message 1"_s, u"T line 1 of 1"_s,
                                              u"T line 2 of 1"_s, u"end"_s}));
    s.logOff();
    QVERIFY(s.errors().isEmpty());
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
}

void tst_Pop3Client::headerEdgeCases()
{
    Session s;
    s.server->script(kGreeting + kCapaPlain + kUserPass + kStat +
                     // Only a header, no empty line and no body.
                     "C: RETR 1\nS: +OK\nS: Subject: only a header\nS:  folded at the end\nS: .\n"
                     // A line that is no header field ends the header: it and what follows are body.
                     "C: RETR 2\nS: +OK\nS: From: a@b\nS: not a header line\nS: To: c@d\nS: .\n"
                     "C: RETR 1\n");
    // Bare LF line ends, and an empty message.
    s.server->serverRaw("+OK\nSubject: lf\n\nbody\n.\n");
    s.server->script("C: RETR 2\nS: +OK\nS: .\n" + kQuit);
    QVERIFY(s.logOn(settings()));
    QVERIFY(s.retrieve(1, 2, 0));
    QVERIFY(s.retrieve(1, 2, 0));
    QCOMPARE(s.recorder->events, (QStringList{
                                     u"start 1"_s,
                                     u"H Subject: only a header folded at the end"_s,
                                     u"end"_s,
                                     u"start 2"_s,
                                     u"H From: a@b"_s,
                                     u"T not a header line"_s,
                                     u"T To: c@d"_s,
                                     u"end"_s,
                                     u"start 1"_s,
                                     u"H Subject: lf"_s,
                                     u"T body"_s,
                                     u"end"_s,
                                     u"start 2"_s,
                                     u"end"_s,
                                 }));
    s.logOff();
    QVERIFY(s.errors().isEmpty());
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
}

void tst_Pop3Client::messageSize()
{
    Session s;
    s.server->script(kGreeting + kCapaPlain + kUserPass + kStat + "C: LIST 2\nS: +OK 2 1234\n" +
                     "C: LIST 1\nS: -ERR no such message\n" + "C: LIST 1\nS: +OK 2 99\n");
    QVERIFY(s.logOn(settings()));
    QCOMPARE(QCoro::waitFor(s.client->messageSize(2)), std::optional<qint64>(1234));
    QCOMPARE(QCoro::waitFor(s.client->messageSize(1)), std::nullopt);
    QCOMPARE(s.errors(), QStringList{QString::number(Pop3Client::ErrorServer) + u" no such message"_s});
    QVERIFY(s.client->isLoggedOn());
    // An answer about another message: the session is out of step and is closed.
    QCOMPARE(QCoro::waitFor(s.client->messageSize(1)), std::nullopt);
    QCOMPARE(s.recorder->errorCodes.last(), int(Pop3Client::ErrorProtocol));
    QVERIFY(!s.client->isLoggedOn());
    // Out of range: refused before anything is sent.
    const auto sent = s.server->clientLines().size();
    QCOMPARE(QCoro::waitFor(s.client->messageSize(3)), std::nullopt);
    QCOMPARE(s.server->clientLines().size(), sent);
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
}

void tst_Pop3Client::requestChecks()
{
    Session s;
    // Nothing works before logOn.
    QVERIFY(!s.retrieve(1, 1, 0));
    QCOMPARE(s.recorder->errorCodes, QList<int>{Pop3Client::ErrorNotLoggedOn});
    s.recorder->clear();

    s.server->script(kGreeting + kCapaPlain + kUserPass + kStat + "C: TOP 1 5\n" + topAnswer(1, 0));
    QVERIFY(s.logOn(settings()));
    // first > last: nothing to do, nothing sent.
    QVERIFY(s.retrieve(3, 2, 5));
    QVERIFY(s.recorder->errors.isEmpty());
    // Out of range and negative line counts are refused without asking the server.
    QVERIFY(!s.retrieve(0, 1, 5));
    QVERIFY(!s.retrieve(1, 3, 5));
    QVERIFY(!s.retrieve(1, 1, -1));
    QCOMPARE(s.recorder->errorCodes, (QList<int>{Pop3Client::ErrorBadRequest, Pop3Client::ErrorBadRequest,
                                                 Pop3Client::ErrorBadRequest}));
    s.recorder->clear();
    // A second request while one runs fails at once and leaves the first alone.
    auto first = s.client->retrieve(1, 1, 5);
    QVERIFY(!QCoro::waitFor(s.client->retrieve(1, 1, 5)));
    QCOMPARE(s.recorder->errorCodes, QList<int>{Pop3Client::ErrorBusy});
    QVERIFY(QCoro::waitFor(first));
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
}

namespace {

// A whole session: logon, size, retrieval of two messages, log off.
QList<QByteArray> fullDialogue()
{
    QList<QByteArray> steps;
    const QByteArray all = kGreeting + kCapaPipelining + kUserPass + kStat + "C: LIST 2\nS: +OK 2 160\n" +
                           "C: LIST\nC: TOP 1 2\nC: TOP 2 2\nS: +OK 2 messages\nS: 1 160\nS: 2 160\nS: .\n" +
                           topAnswer(1, 2) + topAnswer(2, 2) + kQuit;
    for (const QByteArray& l : all.split('\n')) {
        if (!l.isEmpty()) steps.append(l);
    }
    return steps;
}

void runFullSession(Session& s, const PopServerSettings& set, int& failedAt)
{
    failedAt = 0;
    if (!s.logOn(set)) {
        failedAt = 1;
        return;
    }
    if (!QCoro::waitFor(s.client->messageSize(2))) {
        failedAt = 2;
        return;
    }
    if (!s.retrieve(1, 2, 2)) {
        failedAt = 3;
        return;
    }
    s.logOff();
}

} // namespace

void tst_Pop3Client::dropAtEveryStep_data()
{
    QTest::addColumn<int>("serverSteps");
    const QList<QByteArray> steps = fullDialogue();
    int serverSteps = 0;
    QTest::addRow("before the greeting") << 0;
    for (const QByteArray& step : steps) {
        if (!step.startsWith("S: ")) continue;
        ++serverSteps;
        QTest::addRow("after server line %d \"%s\"", serverSteps, step.mid(3).constData()) << serverSteps;
    }
}

// The connection ends after the given number of server lines. Whatever the
// step, the request in progress fails with one Error, nothing hangs, and log
// off is quiet.
void tst_Pop3Client::dropAtEveryStep()
{
    QFETCH(int, serverSteps);
    Session s;
    int seen = 0;
    bool dropped = false;
    for (const QByteArray& step : fullDialogue()) {
        if (step.startsWith("S: ")) {
            if (seen == serverSteps) {
                s.server->drop();
                dropped = true;
                break;
            }
            ++seen;
        }
        s.server->script(step);
    }
    int failedAt = 0;
    runFullSession(s, settings(), failedAt);
    if (!dropped) {
        // The drop comes after QUIT's answer: nothing to notice.
        QCOMPARE(failedAt, 0);
        QVERIFY(s.errors().isEmpty());
        return;
    }
    if (failedAt == 0) {
        // Dropped after the last answer: only QUIT noticed, and log off is quiet about it.
        QVERIFY(s.errors().isEmpty());
        QCOMPARE(s.server->clientLines().last(), QByteArray("QUIT"));
        return;
    }
    QCOMPARE(s.errors().size(), 1);
    QCOMPARE(s.recorder->errorCodes.first(), int(Pop3Client::ErrorConnectionLost));
    QVERIFY2(s.errors().first().contains(u"closed the connection"_s), qPrintable(s.errors().first()));
    QVERIFY(!s.client->isLoggedOn());
    s.logOff();
    QCOMPARE(s.errors().size(), 1);
    // A message cut off in the middle never reports its end.
    const QStringList& ev = s.recorder->events;
    const auto starts = ev.count(u"start 1"_s) + ev.count(u"start 2"_s);
    const auto ends = ev.count(u"end"_s);
    QVERIFY(ends == starts || (failedAt == 3 && ends == starts - 1));
    if (!ev.isEmpty() && ev.last() != u"end"_s) QCOMPARE(ends, starts - 1);
    QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
}

void tst_Pop3Client::silenceAtEveryStep_data()
{
    dropAtEveryStep_data();
}

// The server stops answering after the given number of lines: the request
// fails after the response time-out with "The server stopped answering".
void tst_Pop3Client::silenceAtEveryStep()
{
    QFETCH(int, serverSteps);
    Session s;
    int seen = 0;
    bool silenced = false;
    for (const QByteArray& step : fullDialogue()) {
        if (step.startsWith("S: ")) {
            if (seen == serverSteps) {
                s.server->silence();
                silenced = true;
                break;
            }
            ++seen;
        }
        s.server->script(step);
    }
    PopServerSettings set = settings();
    set.responseTimeoutMs = 100;
    int failedAt = 0;
    QElapsedTimer timer;
    timer.start();
    runFullSession(s, set, failedAt);
    if (!silenced) {
        QCOMPARE(failedAt, 0);
        return;
    }
    if (failedAt == 0) {
        // Silence after the last answer before QUIT: only log off waited, quietly.
        QVERIFY(s.errors().isEmpty());
        return;
    }
    QCOMPARE(s.errors().size(), 1);
    QCOMPARE(s.recorder->errorCodes.first(), int(Pop3Client::ErrorTimeout));
    QVERIFY2(s.errors().first().contains(u"The server stopped answering"_s), qPrintable(s.errors().first()));
    QVERIFY(!s.client->isLoggedOn());
    s.logOff();
    QCOMPARE(s.errors().size(), 1);
    QVERIFY(s.server->closedByClient());
}

void tst_Pop3Client::logOffCases()
{
    {
        // QUIT refused: reported, connection closed anyway.
        Session s;
        s.server->script(kGreeting + kCapaPlain + kUserPass + kStat +
                         "C: QUIT\nS: -ERR [SYS/PERM] could not update\n");
        QVERIFY(s.logOn(settings()));
        s.logOff();
        QCOMPARE(s.errors(),
                 QStringList{QString::number(Pop3Client::ErrorServer) + u" [SYS/PERM] could not update"_s});
        QVERIFY(s.server->closedByClient());
        QVERIFY(!s.client->isLoggedOn());
        // A second log off has nothing left to do.
        s.logOff();
        QCOMPARE(s.errors().size(), 1);
    }
    {
        // Log off while a retrieval waits for the server: the retrieval ends
        // at once with a lost connection, long before its time-out.
        Session s;
        s.server->script(kGreeting + kCapaPlain + kUserPass + kStat + "C: TOP 1 5\n!silence\n");
        PopServerSettings set = settings();
        set.responseTimeoutMs = 60000;
        QVERIFY(s.logOn(set));
        QElapsedTimer timer;
        timer.start();
        auto running = s.client->retrieve(1, 1, 5);
        QTimer::singleShot(50, s.client.get(), [&] { QCoro::waitFor(s.client->logOff()); });
        QVERIFY(!QCoro::waitFor(running));
        QVERIFY(timer.elapsed() < 30000);
        QCOMPARE(s.recorder->errorCodes, QList<int>{Pop3Client::ErrorConnectionLost});
        QVERIFY(s.server->closedByClient());
    }
    {
        // A new logOn on the same client starts a fresh session.
        Session s;
        s.server->script(kGreeting + kCapaPlain + "C: USER bob\nS: -ERR [AUTH] nope\n");
        QVERIFY(!s.logOn(settings()));
        s.server->script(kGreeting + kCapaPlain + kUserPass + kStat + kQuit);
        QVERIFY(s.logOn(settings()));
        QCOMPARE(s.client->messageCount(), 2);
        s.logOff();
        QCOMPARE(s.server->connectCount(), 2);
        QVERIFY2(s.failures().isEmpty(), qPrintable(s.failures().join(u'\n')));
    }
}

QTEST_GUILESS_MAIN(tst_Pop3Client)
#include "tst_Pop3Client.moc"
