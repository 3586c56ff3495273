#include "core/mail/Account.h"
#include "core/pop3/Pop3Client.h"
#include "support/CuttingProxy.h"
#include "support/DovecotFixture.h"
#include "support/E2eProgram.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::Account;
using orvella::Pop3Client;
using orvella::test::DovecotFixture;
using orvella::test::E2eProgram;

// Failures a user can act on, through the built program against the private
// Dovecot (user e2e4, which has mail waiting): the Error page's text as the
// trace shows it, the character's words after the user's check, and nothing
// stored or lost.
class tst_E2eMailErrors : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void errorPageAndNothingStored_data();
    void errorPageAndNothingStored();
    void droppedDownloadResumes();

private:
    std::optional<DovecotFixture> m_dovecot;
    const QString m_user = u"e2e4"_s;
};

void tst_E2eMailErrors::initTestCase()
{
    QString error;
    m_dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &error);
    QVERIFY2(m_dovecot, qPrintable(error));
    QVERIFY(m_dovecot->clear(m_user));
    QVERIFY(
        m_dovecot->deliver(m_user, {"Message-ID: <waiting@e2e.test>\r\nSubject: waiting\r\n\r\nbody\r\n"}));
}

void tst_E2eMailErrors::errorPageAndNothingStored_data()
{
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("port"); // "pop3", "pop3s" or "closed"
    QTest::addColumn<bool>("trusted"); // TrustedCertificate = the server's fingerprint
    QTest::addColumn<bool>("rightPassword");
    QTest::addColumn<QString>("description"); // what follows the connecting sentence; %1 the fingerprint
    QTest::addColumn<int>("code");

    QTest::newRow("certificate not trusted")
        << u"TLS"_s << u"pop3s"_s << false << true << u"%1"_s << int(Pop3Client::ErrorCertificate);
    QTest::newRow("connection refused") << u"None"_s << u"closed"_s << true << true << u"Connection refused"_s
                                        << int(Pop3Client::ErrorConnect);
    QTest::newRow("wrong password") << u"None"_s << u"pop3"_s << true << false
                                    << u"[AUTH] Authentication failed."_s
                                    << int(Pop3Client::ErrorAuthentication);
}

void tst_E2eMailErrors::errorPageAndNothingStored()
{
    QFETCH(QString, security);
    QFETCH(QString, port);
    QFETCH(bool, trusted);
    QFETCH(bool, rightPassword);
    QFETCH(QString, description);
    QFETCH(int, code);
    const DovecotFixture& d = *m_dovecot;

    int portNumber = port == u"pop3"_s ? d.pop3Port : d.pop3sPort;
    if (port == u"closed"_s) {
        // A port that was free a moment ago: nothing listens there.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        portNumber = probe.serverPort();
        probe.close();
    }
    const QString password = rightPassword ? d.password(m_user) : u"not-the-password"_s;

    E2eProgram program;
    QVERIFY(program.writeSettings(
        "[Account]\r\nUserName=Tester\r\nConnectionType=2\r\nPOPServer=" + d.host.toLatin1() +
        "\r\nAccountName=" + m_user.toLatin1() + "\r\nPassword=" + Account::Scramble(password).toLatin1() +
        "\r\nCheckInterval=60\r\nPort=" + QByteArray::number(portNumber) + "\r\nSecurity=" +
        security.toLatin1() + "\r\nTrustedCertificate=" + (trusted ? d.certSha256.toLatin1() : QByteArray()) +
        "\r\n[General]\r\nDontCheck=Yes\r\nSayTime=No\r\nShowTips=No\r\n"));
    QVERIFY2(program.start(), qPrintable(program.output()));
    QVERIFY2(program.checkNow(), qPrintable(program.traced(u"status"_s).join(u" | "_s)));

    // The Error page's text: the connecting sentence, then the failure in the
    // server's or the system's words and its number.
    const QStringList errors = program.checkErrors();
    QCOMPARE(errors.size(), 1);
    const QString text = errors.first();
    const QString expected = u"There was an error connecting to the mail server.\r\nDescription: "
                             u"An error occurred while connecting to "_s +
                             d.host + u" with account "_s + m_user + u".\r\n\r\n"_s;
    QVERIFY2(text.startsWith(expected), qPrintable(text));
    const QString rest = text.mid(expected.size()).section(u"\r\n"_s, 0, 0);
    if (description == u"%1"_s) {
        // The certificate's problem, naming it by its fingerprint so the user
        // can compare it and trust it.
        QVERIFY2(rest.contains(d.certSha256), qPrintable(rest));
    } else {
        QVERIFY2(rest.startsWith(description), qPrintable(rest));
    }
    QVERIFY2(rest.endsWith(u" ("_s + QString::number(code) + u')'), qPrintable(rest));
    QVERIFY(text.contains(u"Make sure your account information is correct."_s));

    // The user asked, so the character tells where to look.
    QVERIFY2(
        program.waitForTraced(u"speak"_s, u"Error retrieving E-mail. Check the 'Error' Tab for details."_s),
        qPrintable(program.traced(u"speak"_s).join(u" | "_s)));
    QCOMPARE(program.traced(u"status"_s),
             (QStringList{u"Connecting to "_s + d.host, u"Disconnecting from mail server."_s, u"Idle."_s}));

    // Nothing stored, nothing counted.
    QVERIFY2(program.exit(), qPrintable(program.output()));
    QCOMPARE(program.storedMessages(), QStringList());
    QVERIFY(!QFile::exists(program.file(u"Account.DAT"_s)));
    QCOMPARE(program.setting(u"Account"_s, u"NoOfMessages"_s), u"0"_s);
    QCOMPARE(program.setting(u"Account"_s, u"PrevMessageSize"_s), u"0"_s);
}

// Notices of a fixed length (every message the same size) and a connection
// that drops halfway through the download: the next check retrieves every
// message not yet stored, through the real server.
void tst_E2eMailErrors::droppedDownloadResumes()
{
    const DovecotFixture& d = *m_dovecot;
    const QString user = u"dropped"_s;
    QVERIFY(d.clear(user));
    auto notice = [](int n) -> QByteArray {
        return "Message-ID: <notice" + QByteArray::number(n) +
               "@e2e.test>\r\nFrom: Alerts <alerts@example.test>\r\nSubject: Notice " +
               QByteArray::number(n) + "\r\n\r\nThe same words in every notice.\r\n";
    };
    orvella::test::CuttingProxy proxy(d.host, quint16(d.pop3Port));
    E2eProgram program;
    QVERIFY(program.writeSettings(
        "[Account]\r\nConnectionType=2\r\nPOPServer=127.0.0.1\r\nAccountName=" + user.toLatin1() +
        "\r\nPassword=" + Account::Scramble(d.password(user)).toLatin1() +
        "\r\nPort=" + QByteArray::number(proxy.port()) +
        "\r\nSecurity=None\r\n[General]\r\nDontCheck=Yes\r\nSayTime=No\r\n"
        "ShowTips=No\r\n[Character]\r\nBehavior=3\r\n"));
    QVERIFY(d.deliver(user, {notice(1), notice(2), notice(3)}));
    QVERIFY2(program.start(), qPrintable(program.output()));
    QVERIFY2(program.checkNow(),
             qPrintable((program.traced(u"status"_s) + program.checkErrors()).join(u" | "_s)));
    QCOMPARE(program.storedMessages().size(), 3);

    // Four more; the link drops while the third of them (message 6) arrives.
    QVERIFY(d.deliver(user, {notice(4), notice(5), notice(6), notice(7)}));
    proxy.cutBefore("Message-ID: <notice", 3);
    QVERIFY2(program.checkNow(),
             qPrintable((program.traced(u"status"_s) + program.checkErrors()).join(u" | "_s)));
    QCOMPARE(proxy.cuts(), 1);
    QCOMPARE(program.storedMessages().size(), 5);
    QVERIFY(!program.checkErrors().isEmpty());

    QVERIFY(program.checkNow());
    QCOMPARE(program.storedMessages().size(), 7);
    QStringList expected;
    for (int n = 1; n <= 7; ++n)
        expected << u"<notice%1@e2e.test>"_s.arg(n);
    QCOMPARE(program.identifiers(), expected);
    QVERIFY2(program.exit(), qPrintable(program.output()));
    QCOMPARE(program.setting(u"Account"_s, u"NoOfMessages"_s), u"7"_s);
}

QTEST_GUILESS_MAIN(tst_E2eMailErrors)
#include "tst_E2eMailErrors.moc"
