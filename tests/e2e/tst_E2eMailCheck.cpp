#include "core/mail/Account.h"
#include "support/DovecotFixture.h"
#include "support/E2eProgram.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::Account;
using orvella::test::DovecotFixture;
using orvella::test::E2eProgram;

namespace {

// Message n of user, CR LF as on the wire (its length is the size the server
// reports for it).
QByteArray message(const QString& user, int n)
{
    const QByteArray num = QByteArray::number(n);
    return "Message-ID: <" + num + '.' + user.toLatin1() +
           "@e2e.test>\r\n"
           "From: Ann Example <ann@example.test>\r\n"
           "To: " +
           user.toLatin1() +
           "@example.test\r\n"
           "Subject: Test message " +
           num +
           "\r\n"
           "Date: Tue, 10 Mar 2026 10:00:00 +0000\r\n"
           "\r\n"
           "Hello, this is message " +
           num + ".\r\nSecond line.\r\n";
}

QString idOf(const QString& user, int n)
{
    return u"<%1.%2@e2e.test>"_s.arg(n).arg(user);
}

} // namespace

// The built program against the private Dovecot: settings in a fresh program
// folder, mail delivered into the user's Maildir, checks started through a
// second start (--check-now) or by the first minute tick, and what the program
// keeps on disk. Each row has a Dovecot user of its own.
class tst_E2eMailCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void storesExactlyTheNewMessages_data();
    void storesExactlyTheNewMessages();

private:
    std::optional<DovecotFixture> m_dovecot;
};

void tst_E2eMailCheck::initTestCase()
{
    QString error;
    m_dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &error);
    QVERIFY2(m_dovecot, qPrintable(error));
}

void tst_E2eMailCheck::storesExactlyTheNewMessages_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("pop3s");
    QTest::addColumn<bool>("firstByMinuteTick");

    QTest::newRow("plain, first check by the minute tick") << u"e2e1"_s << u"None"_s << false << true;
    QTest::newRow("STARTTLS, certificate trusted by fingerprint")
        << u"e2e2"_s << u"STARTTLS"_s << false << false;
    QTest::newRow("POP3S, certificate trusted by fingerprint") << u"e2e3"_s << u"TLS"_s << true << false;
}

void tst_E2eMailCheck::storesExactlyTheNewMessages()
{
    QFETCH(QString, user);
    QFETCH(QString, security);
    QFETCH(bool, pop3s);
    QFETCH(bool, firstByMinuteTick);
    const DovecotFixture& d = *m_dovecot;
    QVERIFY(d.clear(user));

    E2eProgram program;
    // Checking switched off leaves every check to --check-now; switched on,
    // the first minute tick after start-up checks the account (every account
    // starts due), and the long interval keeps later ticks away.
    QVERIFY(program.writeSettings(
        "[Account]\r\nUserName=Tester\r\nConnectionType=2\r\nPOPServer=" + d.host.toLatin1() +
        "\r\nAccountName=" + user.toLatin1() +
        "\r\nPassword=" + Account::Scramble(d.password(user)).toLatin1() +
        "\r\nCheckInterval=60\r\nPort=" + QByteArray::number(pop3s ? d.pop3sPort : d.pop3Port) +
        "\r\nSecurity=" + security.toLatin1() + "\r\nTrustedCertificate=" + d.certSha256.toLatin1() +
        "\r\n[General]\r\nDontCheck=" + (firstByMinuteTick ? "No" : "Yes") +
        "\r\nSayTime=No\r\nShowTips=No\r\n"
        // Silent: new mail stays listed, nothing is read aloud.
        "[Character]\r\nBehavior=3\r\n"));
    QVERIFY(d.deliver(user, {message(user, 1), message(user, 2)}));

    QVERIFY2(program.start(), qPrintable(program.output()));
    if (firstByMinuteTick)
        QVERIFY2(program.waitForStatus(u"Idle."_s, 1),
                 qPrintable(program.traced(u"status"_s).join(u" | "_s)));
    else
        QVERIFY2(program.checkNow(), qPrintable(program.traced(u"status"_s).join(u" | "_s)));
    const QString server = d.host;
    QCOMPARE(program.traced(u"status"_s),
             (QStringList{u"Connecting to "_s + server, u"Checking for new messages on "_s + server,
                          u"Downloading messages from "_s + server, u"Disconnecting from mail server."_s,
                          u"Idle."_s}));
    QVERIFY2(program.checkErrors().isEmpty(), qPrintable(program.checkErrors().join(u"\n"_s)));
    // No keyring here: the start could not move the password out of the
    // file, and the Error page said so, once.
    QVERIFY(program.keyringNoticeGiven());
    QCOMPARE(program.traced(u"error"_s).size(), 1);
    QCOMPARE(program.storedMessages().size(), 2);
    QCOMPARE(program.identifiers(), (QStringList{idOf(user, 1), idOf(user, 2)}));

    // One more arrives: only it is retrieved and kept.
    QVERIFY(d.deliver(user, {message(user, 3)}));
    QVERIFY2(program.checkNow(), qPrintable(program.traced(u"status"_s).join(u" | "_s)));
    QCOMPARE(program.storedMessages().size(), 3);
    QCOMPARE(program.identifiers(), (QStringList{idOf(user, 1), idOf(user, 2), idOf(user, 3)}));

    // Nothing new: nothing retrieved, nothing stored, and the character says so.
    const QStringList stored = program.storedMessages();
    QVERIFY2(program.checkNow(), qPrintable(program.traced(u"status"_s).join(u" | "_s)));
    QCOMPARE(program.storedMessages(), stored);
    QCOMPARE(program.identifiers(), (QStringList{idOf(user, 1), idOf(user, 2), idOf(user, 3)}));
    QStringList statuses = program.traced(u"status"_s);
    QCOMPARE(statuses.mid(statuses.lastIndexOf(u"Connecting to "_s + server)),
             (QStringList{u"Connecting to "_s + server, u"Checking for new messages on "_s + server,
                          u"Disconnecting from mail server."_s, u"Idle."_s}));
    QVERIFY(program.waitForTraced(u"speak"_s, u"No new messages"_s));
    QVERIFY2(program.checkErrors().isEmpty(), qPrintable(program.checkErrors().join(u"\n"_s)));

    // Exit keeps the counters and every identifier.
    QVERIFY2(program.exit(), qPrintable(program.output()));
    QCOMPARE(program.setting(u"Account"_s, u"NoOfMessages"_s), u"3"_s);
    QCOMPARE(program.setting(u"Account"_s, u"PrevMessageSize"_s), QString::number(message(user, 3).size()));
    QCOMPARE(program.identifiers(), (QStringList{idOf(user, 1), idOf(user, 2), idOf(user, 3)}));
    QCOMPARE(program.storedMessages(), stored);
}

QTEST_GUILESS_MAIN(tst_E2eMailCheck)
#include "tst_E2eMailCheck.moc"
