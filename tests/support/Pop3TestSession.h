#pragma once

// A Pop3Client on a scripted server with its events written down, and the
// pieces of dialogue most scripted sessions share (script lines as
// Pop3ScriptedTransport reads them).

#include "core/pop3/Pop3Client.h"
#include "support/Pop3EventRecorder.h"
#include "support/Pop3ScriptedTransport.h"

#include <QCoro/QCoroTask>
#include <QTest>
#include <memory>

namespace orvella::test::pop3script {

inline const QByteArray kGreeting = "S: +OK POP3 ready\n";
inline const QByteArray kCapaPlain = "C: CAPA\nS: +OK\nS: TOP\nS: USER\nS: RESP-CODES\nS: .\n";
inline const QByteArray kCapaStls = "C: CAPA\nS: +OK\nS: TOP\nS: STLS\nS: USER\nS: .\n";
inline const QByteArray kCapaSasl = "C: CAPA\nS: +OK\nS: TOP\nS: USER\nS: SASL PLAIN LOGIN\nS: .\n";
inline const QByteArray kCapaPipelining = "C: CAPA\nS: +OK\nS: TOP\nS: USER\nS: PIPELINING\nS: .\n";
inline const QByteArray kUserPass = "C: USER bob\nS: +OK\nC: PASS secret\nS: +OK Logged in.\n";
// base64("\0bob\0secret")
inline const QByteArray kAuthPlain = "C: AUTH PLAIN AGJvYgBzZWNyZXQ=\nS: +OK Logged in.\n";
inline const QByteArray kStat = "C: STAT\nS: +OK 2 320\n";
inline const QByteArray kQuit = "C: QUIT\nS: +OK Bye\n";

inline PopServerSettings settings(const QString& security = QStringLiteral("Auto"), int port = 110)
{
    PopServerSettings s;
    s.host = QStringLiteral("mail.example.test");
    s.port = port;
    s.user = QStringLiteral("bob");
    s.password = QStringLiteral("secret");
    s.security = security;
    s.connectTimeoutMs = 2000;
    s.responseTimeoutMs = 2000;
    return s;
}

// Message n as the server holds it: a subject and `bodyLines` numbered lines.
inline QByteArray messageText(int n, int bodyLines)
{
    QByteArray m = "Subject: message " + QByteArray::number(n) + "\r\n\r\n";
    for (int i = 1; i <= bodyLines; ++i)
        m += "line " + QByteArray::number(i) + " of " + QByteArray::number(n) + "\r\n";
    return m;
}

// The answer to TOP n lines (or RETR n) of such a message, as script lines.
inline QByteArray topAnswer(int n, int lines)
{
    QByteArray s = "S: +OK\nS: Subject: message " + QByteArray::number(n) + "\nS: \n";
    for (int i = 1; i <= lines; ++i)
        s += "S: line " + QByteArray::number(i) + " of " + QByteArray::number(n) + "\n";
    return s + "S: .\n";
}

// The events a retrieval of such messages first..last with `lines` lines gives.
inline QStringList topEvents(int first, int last, int lines)
{
    QStringList events;
    for (int n = first; n <= last; ++n) {
        events << QStringLiteral("start %1").arg(n) << QStringLiteral("H Subject: message %1").arg(n);
        for (int i = 1; i <= lines; ++i)
            events << QStringLiteral("T line %1 of %2").arg(i).arg(n);
        events << QStringLiteral("end");
    }
    return events;
}

// A client on a scripted server, with its events written down.
struct Session
{
    Session()
    {
        auto t = std::make_unique<Pop3ScriptedTransport>();
        server = t.get();
        client = std::make_unique<Pop3Client>(std::move(t));
        recorder = std::make_unique<Pop3EventRecorder>(client.get());
    }
    ~Session()
    {
        // The client must never delete mail, whatever the test did.
        for (const QByteArray& line : server->clientLines())
            QVERIFY2(!line.toUpper().startsWith("DELE"), line.constData());
    }
    bool logOn(const PopServerSettings& s) { return QCoro::waitFor(client->logOn(s)); }
    bool retrieve(int first, int last, int lines)
    {
        return QCoro::waitFor(client->retrieve(first, last, lines));
    }
    void logOff() { QCoro::waitFor(client->logOff()); }
    QStringList errors() const { return recorder->errors; }
    QStringList failures() const { return server->failures(); }

    Pop3ScriptedTransport* server;
    std::unique_ptr<Pop3Client> client;
    std::unique_ptr<Pop3EventRecorder> recorder;
};

} // namespace orvella::test::pop3script
