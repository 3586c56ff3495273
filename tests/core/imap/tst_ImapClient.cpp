// The IMAP client against scripted servers: the kinds of sign-in (LOGIN
// quoted or with literals, AUTHENTICATE PLAIN, XOAUTH2 and its error
// challenge, STARTTLS, PREAUTH), EXAMINE, listing UIDs, fetching with
// literals and pipelining, IDLE, and servers that misbehave: each ends within
// the deadlines with one Error and a client that can still log off.
#include "core/imap/ImapClient.h"
#include "support/ScriptedTransport.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace orvella;
using namespace orvella::imap;
using namespace orvella::test;
using namespace Qt::Literals::StringLiterals;

namespace {

const QByteArray kGreeting = "S: * OK [CAPABILITY IMAP4rev1 IDLE ESEARCH AUTH=PLAIN SASL-IR] ready\n";
// base64("\0bob\0secret")
const QByteArray kLogin = "C: A1 AUTHENTICATE PLAIN AGJvYgBzZWNyZXQ=\n"
                          "S: A1 OK [CAPABILITY IMAP4rev1 IDLE ESEARCH] Logged in\n";
const QByteArray kExamine = "C: A2 EXAMINE \"INBOX\"\n"
                            "S: * FLAGS (\\Answered \\Seen)\n"
                            "S: * 3 EXISTS\n"
                            "S: * 0 RECENT\n"
                            "S: * OK [UIDVALIDITY 3857529045] UIDs valid\n"
                            "S: * OK [UIDNEXT 4392] Predicted next UID\n"
                            "S: A2 OK [READ-ONLY] EXAMINE completed\n";
const QByteArray kToken = "ya29.secret-token";

ImapServerSettings settings(const QString& security = u"None"_s, int port = 143)
{
    ImapServerSettings s;
    s.host = u"mail.example.test"_s;
    s.port = port;
    s.user = u"bob"_s;
    s.password = u"secret"_s;
    s.security = security;
    s.connectTimeoutMs = 2000;
    s.responseTimeoutMs = 2000;
    return s;
}

struct Session
{
    Session()
    {
        auto t = std::make_unique<ScriptedTransport>();
        server = t.get();
        client = std::make_unique<ImapClient>(std::move(t));
        QObject::connect(client.get(), &ImapClient::Error, client.get(),
                         [this](int code, const QString& text) {
                             codes.append(code);
                             errors.append(text);
                         });
        QObject::connect(client.get(), &ImapClient::messageFetched, client.get(),
                         [this](const ImapMessage& m) { messages.append(m); });
    }
    ~Session()
    {
        // Whatever happened, the client only read: no command that changes
        // the mailbox, no body fetch that would mark a message seen.
        for (const QByteArray& line : server->clientLines()) {
            const QByteArray command = line.mid(line.indexOf(' ') + 1).toUpper();
            for (const char* verb : {"SELECT", "STORE", "EXPUNGE", "COPY", "MOVE", "DELETE", "UID STORE",
                                     "UID EXPUNGE", "UID MOVE", "UID COPY"})
                QVERIFY2(!command.startsWith(verb), line.constData());
            QVERIFY2(!command.contains("BODY[") && !command.contains("RFC822 ") &&
                         !command.endsWith("RFC822)"),
                     line.constData());
        }
    }
    bool logOn(const ImapServerSettings& s) { return QCoro::waitFor(client->logOn(s)); }
    void logOff() { QCoro::waitFor(client->logOff()); }
    bool examine() { return QCoro::waitFor(client->examine()).has_value(); }

    ScriptedTransport* server;
    std::unique_ptr<ImapClient> client;
    QList<int> codes;
    QStringList errors;
    QList<ImapMessage> messages;
};

} // namespace

class tst_ImapClient : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void logOn_data();
    void logOn();
    void xoauth2_data();
    void xoauth2();
    void examineAndList_data();
    void examineAndList();
    void fetchPipelined();
    void fetchParts_data();
    void fetchParts();
    void fetchRefusedKeepsSession();
    void idle();
    void idleEndsAfterItsTime();
    void idleRefusals_data();
    void idleRefusals();
    void hostile_data();
    void hostile();
    void logOffNeverHangs();
};

void tst_ImapClient::logOn_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("dialogue");
    QTest::addColumn<QString>("mechanism"); // empty: the log-on fails
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QString>("errorText");

    const QByteArray loggedIn = "S: A1 OK [CAPABILITY IMAP4rev1 IDLE] Logged in\n";
    QTest::newRow("LOGIN quoted") << u"None"_s << u"bob"_s << u"secret"_s
                                  << QByteArray("S: * OK [CAPABILITY IMAP4rev1] ready\n"
                                                "C: A1 LOGIN \"bob\" \"secret\"\n") +
                                         loggedIn
                                  << u"LOGIN"_s << 0 << QString();
    QTest::newRow("LOGIN with escapes in a quoted string")
        << u"None"_s << u"bob"_s << u"pa\"ss\\"_s
        << QByteArray("S: * OK [CAPABILITY IMAP4rev1] ready\n"
                      "C: A1 LOGIN \"bob\" \"pa\\\"ss\\\\\"\n") +
               loggedIn
        << u"LOGIN"_s << 0 << QString();
    QTest::newRow("LOGIN with a literal for a non-ASCII name")
        << u"None"_s << u"b\u00f8b"_s << u"secret"_s
        << QByteArray("S: * OK [CAPABILITY IMAP4rev1] ready\n"
                      "C: A1 LOGIN {4}\n"
                      "S: + go ahead\n"
                      "C: b\xc3\xb8"
                      "b \"secret\"\n") +
               loggedIn
        << u"LOGIN"_s << 0 << QString();
    QTest::newRow("LOGIN with LITERAL+ waits for nothing")
        << u"None"_s << u"b\u00f8b"_s << u"secret"_s
        << QByteArray("S: * OK [CAPABILITY IMAP4rev1 LITERAL+] ready\n"
                      "C: A1 LOGIN {4+}\n"
                      "C: b\xc3\xb8"
                      "b \"secret\"\n") +
               loggedIn
        << u"LOGIN"_s << 0 << QString();
    QTest::newRow("AUTHENTICATE PLAIN with SASL-IR")
        << u"None"_s << u"bob"_s << u"secret"_s << kGreeting + kLogin << u"PLAIN"_s << 0 << QString();
    QTest::newRow("AUTHENTICATE PLAIN after a continuation")
        << u"None"_s << u"bob"_s << u"secret"_s
        << QByteArray("S: * OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\n"
                      "C: A1 AUTHENTICATE PLAIN\n"
                      "S: +\n"
                      "C: AGJvYgBzZWNyZXQ=\n") +
               loggedIn
        << u"PLAIN"_s << 0 << QString();
    QTest::newRow("capabilities asked for, and again after the sign-in")
        << u"None"_s << u"bob"_s << u"secret"_s
        << QByteArray("S: * OK ready\n"
                      "C: A1 CAPABILITY\n"
                      "S: * CAPABILITY IMAP4rev1\n"
                      "S: A1 OK\n"
                      "C: A2 LOGIN \"bob\" \"secret\"\n"
                      "S: A2 OK Logged in\n"
                      "C: A3 CAPABILITY\n"
                      "S: * CAPABILITY IMAP4rev1 IDLE\n"
                      "S: A3 OK\n")
        << u"LOGIN"_s << 0 << QString();
    QTest::newRow("STARTTLS in Auto, capabilities forgotten after it")
        << u"Auto"_s << u"bob"_s << u"secret"_s
        << QByteArray("S: * OK [CAPABILITY IMAP4rev1 STARTTLS LOGINDISABLED] ready\n"
                      "C: A1 STARTTLS\n"
                      "S: A1 OK Begin TLS negotiation now\n"
                      "!tls\n"
                      "C: A2 CAPABILITY\n"
                      "S: * CAPABILITY IMAP4rev1 AUTH=PLAIN\n"
                      "S: A2 OK\n"
                      "C: A3 AUTHENTICATE PLAIN\n"
                      "S: + \n"
                      "C: AGJvYgBzZWNyZXQ=\n"
                      "S: A3 OK [CAPABILITY IMAP4rev1 IDLE] Logged in\n")
        << u"PLAIN"_s << 0 << QString();
    QTest::newRow("PREAUTH signs in nothing")
        << u"None"_s << u"bob"_s << u"secret"_s
        << QByteArray("S: * PREAUTH [CAPABILITY IMAP4rev1 IDLE] welcome, bob\n") << u"PREAUTH"_s << 0
        << QString();

    QTest::newRow("STARTTLS required but not offered: no credentials sent")
        << u"STARTTLS"_s << u"bob"_s << u"secret"_s
        << QByteArray("S: * OK [CAPABILITY IMAP4rev1 AUTH=PLAIN] ready\n"
                      "C: A1 LOGOUT\n")
        << QString() << int(ImapClient::ErrorTlsUnavailable) << u"does not offer STARTTLS"_s;
    QTest::newRow("password refused")
        << u"None"_s << u"bob"_s << u"secret"_s
        << QByteArray("S: * OK [CAPABILITY IMAP4rev1] ready\n"
                      "C: A1 LOGIN \"bob\" \"secret\"\n"
                      "S: A1 NO [AUTHENTICATIONFAILED] Authentication failed.\n")
        << QString() << int(ImapClient::ErrorAuthentication) << u"Authentication failed."_s;
    QTest::newRow("literal refused instead of continued")
        << u"None"_s << u"b\u00f8b"_s << u"secret"_s
        << QByteArray("S: * OK [CAPABILITY IMAP4rev1] ready\n"
                      "C: A1 LOGIN {4}\n"
                      "S: A1 BAD no literals today\n")
        << QString() << int(ImapClient::ErrorAuthentication) << u"no literals today"_s;
    QTest::newRow("no password over plain text")
        << u"None"_s << u"bob"_s << u"secret"_s
        << QByteArray("S: * OK [CAPABILITY IMAP4rev1 LOGINDISABLED] ready\n") << QString()
        << int(ImapClient::ErrorAuthentication) << u"LOGINDISABLED"_s;
    QTest::newRow("BYE greeting") << u"None"_s << u"bob"_s << u"secret"_s
                                  << QByteArray("S: * BYE Too many connections\n") << QString()
                                  << int(ImapClient::ErrorServerUnavailable) << u"Too many connections"_s;
    QTest::newRow("not an IMAP server")
        << u"None"_s << u"bob"_s << u"secret"_s << QByteArray("S: +OK POP3 ready\n") << QString()
        << int(ImapClient::ErrorProtocol) << u"not IMAP"_s;
    QTest::newRow("unknown security")
        << u"Maybe"_s << u"bob"_s << u"secret"_s << QByteArray() << QString()
        << int(ImapClient::ErrorBadSettings) << u"Unknown connection security"_s;
}

void tst_ImapClient::logOn()
{
    QFETCH(QString, security);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QByteArray, dialogue);
    QFETCH(QString, mechanism);
    QFETCH(int, errorCode);
    QFETCH(QString, errorText);

    Session s;
    s.server->script(dialogue);
    ImapServerSettings settings_ = settings(security);
    settings_.user = user;
    settings_.password = password;
    const bool ok = s.logOn(settings_);
    QVERIFY2(s.server->failures().isEmpty(), qPrintable(s.server->failures().join(u'\n')));
    if (mechanism.isEmpty()) {
        QVERIFY(!ok);
        QCOMPARE(s.codes, QList<int>{errorCode});
        QVERIFY2(s.errors.first().contains(errorText), qPrintable(s.errors.first()));
        QVERIFY(!s.client->isLoggedOn());
        // Credentials go out only where the server may take them.
        if (errorCode != ImapClient::ErrorAuthentication || errorText == u"LOGINDISABLED") {
            for (const QByteArray& line : s.server->clientLines())
                QVERIFY2(!line.contains("secret") && !line.contains("AGJvYgBzZWNyZXQ="), line.constData());
        }
    } else {
        QVERIFY2(ok, qPrintable(s.errors.join(u'\n')));
        QVERIFY(s.server->scriptFinished());
        QCOMPARE(s.client->authMechanism(), mechanism);
        QVERIFY(s.client->hasCapability("IDLE"));
    }
}

void tst_ImapClient::xoauth2_data()
{
    QTest::addColumn<QByteArray>("capabilities");
    QTest::addColumn<QByteArray>("dialogue");
    QTest::addColumn<QString>("errorText"); // empty: signed in

    const QByteArray initial = QByteArray("user=bob@example.test\x01"
                                          "auth=Bearer " +
                                          kToken + "\x01\x01")
                                   .toBase64();
    const QByteArray challenge =
        QByteArray(R"({"status":"400","schemes":"Bearer","scope":"https://mail.google.com/"})").toBase64();
    QTest::newRow("with SASL-IR") << QByteArray("AUTH=XOAUTH2 SASL-IR")
                                  << "C: A1 AUTHENTICATE XOAUTH2 " + initial +
                                         "\nS: A1 OK [CAPABILITY IMAP4rev1] Hi\n"
                                  << QString();
    QTest::newRow("after a continuation")
        << QByteArray("AUTH=XOAUTH2")
        << "C: A1 AUTHENTICATE XOAUTH2\nS: +\nC: " + initial + "\nS: A1 OK [CAPABILITY IMAP4rev1] Hi\n"
        << QString();
    QTest::newRow("refused with a JSON challenge")
        << QByteArray("AUTH=XOAUTH2 SASL-IR")
        << "C: A1 AUTHENTICATE XOAUTH2 " + initial + "\nS: + " + challenge +
               "\nC: \nS: A1 NO [AUTHENTICATIONFAILED] Invalid credentials (Failure)\n"
        << u"refused the access token (status 400); it asks for access to https://mail.google.com/: "
           u"Invalid credentials (Failure)"_s;
    QTest::newRow("not offered") << QByteArray("AUTH=PLAIN") << QByteArray()
                                 << u"does not offer signing in with an access token"_s;
}

void tst_ImapClient::xoauth2()
{
    QFETCH(QByteArray, capabilities);
    QFETCH(QByteArray, dialogue);
    QFETCH(QString, errorText);

    Session s;
    s.server->script("S: * OK [CAPABILITY IMAP4rev1 " + capabilities + "] ready\n" + dialogue);
    ImapServerSettings settings_ = settings();
    settings_.user = u"bob@example.test"_s;
    settings_.accessToken = QString::fromLatin1(kToken);
    const bool ok = s.logOn(settings_);
    QVERIFY2(s.server->failures().isEmpty(), qPrintable(s.server->failures().join(u'\n')));
    QVERIFY(s.server->scriptFinished());
    if (errorText.isEmpty()) {
        QVERIFY2(ok, qPrintable(s.errors.join(u'\n')));
        QCOMPARE(s.client->authMechanism(), u"XOAUTH2"_s);
        return;
    }
    QVERIFY(!ok);
    QCOMPARE(s.codes, QList<int>{ImapClient::ErrorAuthentication});
    QVERIFY2(s.errors.first().contains(errorText), qPrintable(s.errors.first()));
    QVERIFY(!s.errors.first().contains(QString::fromLatin1(kToken)));
}

void tst_ImapClient::examineAndList_data()
{
    QTest::addColumn<QByteArray>("loginCapabilities");
    QTest::addColumn<quint32>("lastKnown");
    QTest::addColumn<QByteArray>("dialogue");
    QTest::addColumn<QList<quint32>>("uids");

    QTest::newRow("ESEARCH") << QByteArray("IMAP4rev1 ESEARCH") << 4389u
                             << QByteArray("C: A3 UID SEARCH RETURN (ALL) UID 4390:*\n"
                                           "S: * ESEARCH (TAG \"A3\") UID ALL 4390:4391,4393\n"
                                           "S: A3 OK done\n")
                             << QList<quint32>{4390, 4391, 4393};
    QTest::newRow("ESEARCH, nothing new") << QByteArray("IMAP4rev1 ESEARCH") << 4391u
                                          << QByteArray("C: A3 UID SEARCH RETURN (ALL) UID 4392:*\n"
                                                        "S: * ESEARCH (TAG \"A3\") UID\n"
                                                        "S: A3 OK done\n")
                                          << QList<quint32>{};
    QTest::newRow("UID FETCH") << QByteArray("IMAP4rev1") << 4389u
                               << QByteArray("C: A3 UID FETCH 4390:* (UID)\n"
                                             "S: * 2 FETCH (UID 4390)\n"
                                             "S: * 3 FETCH (UID 4391)\n"
                                             "S: A3 OK done\n")
                               << QList<quint32>{4390, 4391};
    // "n:*" always names the last message, even when its UID is below n.
    QTest::newRow("UID FETCH, the last message below the range")
        << QByteArray("IMAP4rev1") << 4391u
        << QByteArray("C: A3 UID FETCH 4392:* (UID)\n"
                      "S: * 3 FETCH (UID 4391)\n"
                      "S: A3 OK done\n")
        << QList<quint32>{};
}

void tst_ImapClient::examineAndList()
{
    QFETCH(QByteArray, loginCapabilities);
    QFETCH(quint32, lastKnown);
    QFETCH(QByteArray, dialogue);
    QFETCH(QList<quint32>, uids);

    Session s;
    s.server->script(kGreeting + "C: A1 AUTHENTICATE PLAIN AGJvYgBzZWNyZXQ=\nS: A1 OK [CAPABILITY " +
                     loginCapabilities + "] Logged in\n" + kExamine + dialogue);
    QVERIFY(s.logOn(settings()));
    const auto box = QCoro::waitFor(s.client->examine());
    QVERIFY2(box, qPrintable(s.errors.join(u'\n')));
    QCOMPARE(box->uidValidity, 3857529045u);
    QCOMPARE(box->uidNext, 4392u);
    QCOMPARE(box->exists, 3u);
    const auto listed = QCoro::waitFor(s.client->uidsAbove(lastKnown));
    QVERIFY2(listed, qPrintable(s.errors.join(u'\n')));
    QCOMPARE(*listed, uids);
    QVERIFY2(s.server->failures().isEmpty(), qPrintable(s.server->failures().join(u'\n')));
}

// Both fetches go out before the first answer (the script would wait for
// ever otherwise), and the literals come through byte for byte: CR LF, a bare
// CR, a NUL, a line that looks like the response's end.
void tst_ImapClient::fetchPipelined()
{
    static const char raw[] = "Subject: one\r\n\r\nbare\rCR and a NUL \0 here\r\n)\r\nA4 OK fake\r\n";
    const QByteArray first(raw, sizeof raw - 1);
    const QByteArray second = "Subject: two\r\n\r\nbody\r\n";
    Session s;
    s.server->script(kGreeting + kLogin + kExamine +
                     "C: A3 UID FETCH 4390 (UID RFC822.SIZE BODY.PEEK[])\n"
                     "C: A4 UID FETCH 4391 (UID RFC822.SIZE BODY.PEEK[])\n");
    const QByteArray size = QByteArray::number(first.size());
    s.server->serverRaw("* 2 FETCH (UID 4390 RFC822.SIZE " + size + " BODY[] {" + size + "}\r\n" + first +
                        ")\r\n");
    s.server->serverRaw("* 2 FETCH (FLAGS (\\Seen))\r\nA3 OK done\r\n");
    s.server->serverRaw("* 3 FETCH (RFC822.SIZE 22 UID 4391 BODY[] {22}\r\n" + second +
                        ")\r\nA4 OK done\r\n");
    QVERIFY(s.logOn(settings()));
    QVERIFY(s.examine());
    QVERIFY2(QCoro::waitFor(s.client->fetch({4390, 4391})), qPrintable(s.errors.join(u'\n')));
    QCOMPARE(s.messages.size(), 2);
    QCOMPARE(s.messages[0].uid, 4390u);
    QCOMPARE(s.messages[0].bytes, first);
    QCOMPARE(s.messages[0].size, first.size());
    QCOMPARE(s.messages[1].uid, 4391u);
    QCOMPARE(s.messages[1].bytes, second);
    QVERIFY(!s.messages[1].truncated && !s.messages[1].partial);
    QVERIFY2(s.server->failures().isEmpty(), qPrintable(s.server->failures().join(u'\n')));
}

void tst_ImapClient::fetchParts_data()
{
    QTest::addColumn<qint64>("textBytes");
    QTest::addColumn<qint64>("maxMessageBytes");
    QTest::addColumn<QByteArray>("dialogue");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("truncated");
    QTest::addColumn<bool>("partial");

    QTest::newRow("header and the body's beginning")
        << qint64(5) << qint64(1000)
        << QByteArray("C: A3 UID FETCH 7 (UID RFC822.SIZE BODY.PEEK[HEADER] BODY.PEEK[TEXT]<0.5>)\n"
                      "S: * 1 FETCH (UID 7 RFC822.SIZE 40 BODY[HEADER] {8}\n"
                      "S: A: b\n"
                      "S: \n"
                      "S:  BODY[TEXT]<0> {5}\n"
                      "S: 12345)\n"
                      "S: A3 OK done\n")
        << QByteArray("A: b\r\n\r\n12345") << false << true;
    QTest::newRow("a short message whole in its parts")
        << qint64(100) << qint64(1000)
        << QByteArray("C: A3 UID FETCH 7 (UID RFC822.SIZE BODY.PEEK[HEADER] BODY.PEEK[TEXT]<0.100>)\n"
                      "S: * 1 FETCH (UID 7 RFC822.SIZE 13 BODY[HEADER] {8}\n"
                      "S: A: b\n"
                      "S: \n"
                      "S:  BODY[TEXT]<0> {5}\n"
                      "S: 12345)\n"
                      "S: A3 OK done\n")
        << QByteArray("A: b\r\n\r\n12345") << false << false;
    QTest::newRow("cut at the message cap") << qint64(-1) << qint64(10)
                                            << QByteArray("C: A3 UID FETCH 7 (UID RFC822.SIZE BODY.PEEK[])\n"
                                                          "S: * 1 FETCH (UID 7 RFC822.SIZE 28 BODY[] {28}\n"
                                                          "S: 0123456789012345678901234567)\n"
                                                          "S: A3 OK done\n")
                                            << QByteArray("0123456789") << true << false;
}

void tst_ImapClient::fetchParts()
{
    QFETCH(qint64, textBytes);
    QFETCH(qint64, maxMessageBytes);
    QFETCH(QByteArray, dialogue);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, truncated);
    QFETCH(bool, partial);

    Session s;
    // The script adds CR LF to each line; the literals' sizes count them.
    s.server->script(kGreeting + kLogin + kExamine + dialogue);
    ImapServerSettings settings_ = settings();
    settings_.maxMessageBytes = maxMessageBytes;
    QVERIFY(s.logOn(settings_));
    QVERIFY(s.examine());
    QVERIFY2(QCoro::waitFor(s.client->fetch({7}, textBytes)), qPrintable(s.errors.join(u'\n')));
    QCOMPARE(s.messages.size(), 1);
    QCOMPARE(s.messages[0].bytes, bytes);
    QCOMPARE(s.messages[0].truncated, truncated);
    QCOMPARE(s.messages[0].partial, partial);
}

void tst_ImapClient::fetchRefusedKeepsSession()
{
    Session s;
    s.server->script(kGreeting + kLogin + kExamine +
                     "C: A3 UID FETCH 7 (UID RFC822.SIZE BODY.PEEK[])\n"
                     "C: A4 UID FETCH 8 (UID RFC822.SIZE BODY.PEEK[])\n"
                     "C: A5 UID FETCH 9 (UID RFC822.SIZE BODY.PEEK[])\n"
                     "S: A3 NO [UNAVAILABLE] Temporary failure\n"
                     "S: * 2 FETCH (UID 8 RFC822.SIZE 2 BODY[] {2}\n"
                     "S: \n"
                     "S: )\n"
                     "S: A4 OK done\n"
                     "S: A5 OK done\n"
                     "C: A6 NOOP\n"
                     "S: * 4 EXISTS\n"
                     "S: A6 OK done\n");
    QVERIFY(s.logOn(settings()));
    QVERIFY(s.examine());
    QSignalSpy newMail(s.client.get(), &ImapClient::newMail);
    QVERIFY(!QCoro::waitFor(s.client->fetch({7, 8, 9})));
    QCOMPARE(s.codes, QList<int>{ImapClient::ErrorServerUnavailable});
    QVERIFY(s.client->isLoggedOn());
    // The answers already on their way were read past (9 is gone from the
    // mailbox: no FETCH, just OK); the session goes on.
    QVERIFY(QCoro::waitFor(s.client->noop()));
    QCOMPARE(newMail.size(), 1);
    QCOMPARE(newMail.first().first().toUInt(), 4u);
    QVERIFY2(s.server->failures().isEmpty(), qPrintable(s.server->failures().join(u'\n')));
}

void tst_ImapClient::idle()
{
    Session s;
    s.server->script(kGreeting + kLogin + kExamine +
                     "C: A3 IDLE\n"
                     "S: + idling\n"
                     "S: * 2 EXPUNGE\n"
                     "S: * 4 EXISTS\n"
                     "C: DONE\n"
                     "S: A3 OK IDLE terminated\n");
    QVERIFY(s.logOn(settings()));
    QVERIFY(s.examine());
    QStringList events;
    connect(s.client.get(), &ImapClient::idling, this, [&] { events << u"idling"_s; });
    connect(s.client.get(), &ImapClient::messageExpunged, this,
            [&](quint32 n) { events << u"expunged %1"_s.arg(n); });
    connect(s.client.get(), &ImapClient::newMail, this, [&](quint32 n) {
        events << u"new mail %1"_s.arg(n);
        s.client->stopIdle();
    });
    connect(s.client.get(), &ImapClient::idleDone, this, [&] { events << u"done"_s; });
    QVERIFY2(QCoro::waitFor(s.client->idle()), qPrintable(s.errors.join(u'\n')));
    QCOMPARE(events, (QStringList{u"idling"_s, u"expunged 2"_s, u"new mail 4"_s, u"done"_s}));
    QCOMPARE(s.client->mailbox().exists, 4u);
    QVERIFY(s.server->scriptFinished());
}

// RFC 2177: an IDLE is renewed before the server's inactivity timer ends it.
void tst_ImapClient::idleEndsAfterItsTime()
{
    Session s;
    s.server->script(kGreeting + kLogin + kExamine +
                     "C: A3 IDLE\nS: + idling\nC: DONE\nS: A3 OK IDLE terminated\n"
                     "C: A4 IDLE\nS: + idling\nS: A4 OK server had enough\n");
    QVERIFY(s.logOn(settings()));
    QVERIFY(s.examine());
    QVERIFY2(QCoro::waitFor(s.client->idle(200)), qPrintable(s.errors.join(u'\n')));
    // The server may end an IDLE itself: no DONE then.
    QVERIFY2(QCoro::waitFor(s.client->idle(60000)), qPrintable(s.errors.join(u'\n')));
    QVERIFY(s.server->scriptFinished());
    QVERIFY2(s.server->failures().isEmpty(), qPrintable(s.server->failures().join(u'\n')));
}

void tst_ImapClient::idleRefusals_data()
{
    QTest::addColumn<QByteArray>("loginCapabilities");
    QTest::addColumn<bool>("examine");
    QTest::addColumn<QByteArray>("dialogue");
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QString>("errorText");

    QTest::newRow("not offered") << QByteArray("IMAP4rev1") << true << QByteArray()
                                 << int(ImapClient::ErrorNotSupported) << u"does not offer IDLE"_s;
    QTest::newRow("no mailbox open") << QByteArray("IMAP4rev1 IDLE") << false << QByteArray()
                                     << int(ImapClient::ErrorBadRequest) << u"No mailbox is open"_s;
    QTest::newRow("refused") << QByteArray("IMAP4rev1 IDLE") << true
                             << QByteArray("C: A3 IDLE\nS: A3 BAD not now\n") << int(ImapClient::ErrorServer)
                             << u"not now"_s;
    QTest::newRow("never confirmed") << QByteArray("IMAP4rev1 IDLE") << true
                                     << QByteArray("C: A3 IDLE\n!silence\n") << int(ImapClient::ErrorTimeout)
                                     << u"stopped answering"_s;
}

void tst_ImapClient::idleRefusals()
{
    QFETCH(QByteArray, loginCapabilities);
    QFETCH(bool, examine);
    QFETCH(QByteArray, dialogue);
    QFETCH(int, errorCode);
    QFETCH(QString, errorText);

    Session s;
    s.server->script(kGreeting + "C: A1 AUTHENTICATE PLAIN AGJvYgBzZWNyZXQ=\nS: A1 OK [CAPABILITY " +
                     loginCapabilities + "] Logged in\n" + (examine ? kExamine : QByteArray()) + dialogue);
    QVERIFY(s.logOn(settings()));
    if (examine) QVERIFY(s.examine());
    QSignalSpy idling(s.client.get(), &ImapClient::idling);
    QVERIFY(!QCoro::waitFor(s.client->idle()));
    QCOMPARE(s.codes, QList<int>{errorCode});
    QVERIFY2(s.errors.first().contains(errorText), qPrintable(s.errors.first()));
    QCOMPARE(idling.size(), 0);
    s.logOff();
    QVERIFY(!s.client->isLoggedOn());
}

void tst_ImapClient::hostile_data()
{
    QTest::addColumn<QByteArray>("dialogue"); // after the fetch command
    QTest::addColumn<QByteArray>("stream");   // then sent without end
    QTest::addColumn<int>("trickleMs");       // 0: as fast as the client reads
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QString>("errorText");

    const int protocol = ImapClient::ErrorProtocol;
    QTest::newRow("a literal bigger than any message")
        << QByteArray("S: * 1 FETCH (UID 7 BODY[] {2000000000}\n") << QByteArray("x") << 0 << protocol
        << u"literal of 2000000000 bytes"_s;
    QTest::newRow("literals without end")
        << QByteArray("S: * 1 FETCH (UID 7 BODY[] {10}\n") << QByteArray("0123456789 X {10}\r\n") << 0
        << protocol << u"the connection was closed"_s;
    QTest::newRow("a line without end")
        << QByteArray() << QByteArray("x") << 0 << protocol << u"line of more than 64 KB"_s;
    QTest::newRow("a literal trickled")
        << QByteArray("S: * 1 FETCH (UID 7 BODY[] {100000}\n") << QByteArray("x") << 5
        << int(ImapClient::ErrorTimeout) << u"too slowly"_s;
    QTest::newRow("BYE mid-command") << QByteArray("S: * BYE Server shutting down\n!drop\n") << QByteArray()
                                     << 0 << int(ImapClient::ErrorConnectionLost)
                                     << u"ended the session: Server shutting down"_s;
    QTest::newRow("silence") << QByteArray("!silence\n") << QByteArray() << 0 << int(ImapClient::ErrorTimeout)
                             << u"stopped answering"_s;
    QTest::newRow("garbage") << QByteArray("S: * 1 FETCH (UID 7 \"unterminated\n") << QByteArray() << 0
                             << protocol << u"quoted string does not end"_s;
}

void tst_ImapClient::hostile()
{
    QFETCH(QByteArray, dialogue);
    QFETCH(QByteArray, stream);
    QFETCH(int, trickleMs);
    QFETCH(int, errorCode);
    QFETCH(QString, errorText);

    Session s;
    s.server->script(kGreeting + kLogin + kExamine + "C: A3 UID FETCH 7 (UID RFC822.SIZE BODY.PEEK[])\n" +
                     dialogue);
    if (!stream.isEmpty()) {
        if (trickleMs > 0)
            s.server->trickle(stream, trickleMs);
        else
            s.server->endless(stream);
    }
    QVERIFY(s.logOn(settings()));
    QVERIFY(s.examine());
    s.client->setMaxStreamBytes(8 * 1024 * 1024);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!QCoro::waitFor(s.client->fetch({7})));
    // The deadlines are 2 s; a wide margin for a loaded machine.
    QVERIFY2(clock.elapsed() < 60000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(s.codes, QList<int>{errorCode});
    QVERIFY2(s.errors.first().contains(errorText), qPrintable(s.errors.first()));
    QVERIFY(s.messages.isEmpty());
    QVERIFY(!s.client->isLoggedOn());
    s.logOff();
    QCOMPARE(s.codes.size(), 1);
}

void tst_ImapClient::logOffNeverHangs()
{
    Session s;
    s.server->script(kGreeting + kLogin + "C: A2 LOGOUT\n!silence\n");
    QVERIFY(s.logOn(settings()));
    QElapsedTimer clock;
    clock.start();
    s.logOff();
    QVERIFY(!s.client->isLoggedOn());
    QVERIFY(s.codes.isEmpty());
    QVERIFY(s.server->closedByClient());
    QVERIFY2(clock.elapsed() < 60000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_GUILESS_MAIN(tst_ImapClient)
#include "tst_ImapClient.moc"
