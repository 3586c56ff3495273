// Do Not Disturb as the desktop's notification server tells it (its
// "Inhibited" property, on a private session bus), against the private
// Dovecot: new mail in Do Not Disturb is posted as a notification and not
// spoken (nothing in the program's audio), "Read" on the notification still
// reads it, and once Do Not Disturb ends the next mail is spoken again.
#include "core/mail/Account.h"
#include "support/DovecotFixture.h"
#include "support/E2eProgram.h"
#include "support/NotificationServer.h"
#include "support/TraceFile.h"

#include <QFileInfo>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

namespace {

const QString User = u"quiet1"_s;

QByteArray mail(const char* from, const char* subject, const char* id, const char* body)
{
    return QByteArray("From: ") + from + "\r\nTo: quiet1@example.test\r\nSubject: " + subject +
           "\r\nMessage-ID: <" + id + ">\r\nDate: Thu, 10 Dec 2026 09:00:00 +0000\r\n\r\n" + body;
}

// Seconds of audio in the program's audio file so far (none without a file).
double audioSeconds(const QString& path)
{
    return QFileInfo::exists(path) ? readWav(path).seconds() : 0.0;
}

} // namespace

class tst_E2eDoNotDisturb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void quietWhileInhibited();
};

void tst_E2eDoNotDisturb::quietWhileInhibited()
{
    QString why;
    const auto dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &why);
    QVERIFY2(dovecot, qPrintable(why));
    QVERIFY(dovecot->clear(User));
    NotificationServer server;
    QVERIFY2(server.registered(), "run on a private session bus (SESSION_BUS)");
    server.setInhibited(true);

    E2eProgram p;
    QVERIFY(p.writeSettings((u"[Account]\r\nUserName=Tester\r\nConnectionType=2\r\nPOPServer="_s +
                             dovecot->host + u"\r\nAccountName="_s + User + u"\r\nPassword="_s +
                             Account::Scramble(dovecot->password(User)) + u"\r\nPort="_s +
                             QString::number(dovecot->pop3Port) +
                             u"\r\nSecurity=None\r\n[General]\r\nSayTime=No\r\nSayNoNewMessages=No\r\n"_s)
                                .toUtf8()));
    QVERIFY(p.start());
    const QString wav = p.file(u"../audio.wav"_s);
    QVERIFY2(p.waitForTraced(u"do-not-disturb"_s, u"on"_s), qPrintable(p.output()));
    // The first minute tick's check of the empty mailbox.
    QVERIFY2(p.waitForStatus(u"Idle."_s, 1), qPrintable(p.output()));

    QVERIFY(dovecot->deliver(User, {mail("Ann <ann@example.test>", "Quiet please", "q1@example.test",
                                         "Spoken only when asked.\r\n")}));
    QVERIFY(p.checkNow());
    QVERIFY(server.waitForNotices(1, 30000));
    QCOMPARE(server.notices[0].summary, u"1 New Message"_s);
    QCOMPARE(p.storedMessages().size(), 1);
    // A moment for anything that would be said.
    QTest::qWait(3000);
    QCOMPARE(p.traced(u"speak"_s), QStringList());
    QCOMPARE(p.traced(u"sound"_s), QStringList());
    QCOMPARE(audioSeconds(wav), 0.0);

    // What was not said is read when the user asks.
    server.invokeAction(server.notices[0].id, u"read"_s);
    QVERIFY2(p.waitForTraced(u"speak"_s, u"Spoken only when asked."_s, 60000), qPrintable(p.output()));
    QTRY_VERIFY_WITH_TIMEOUT(audioSeconds(wav) > 1.0, 30000);
    QVERIFY(p.waitForStatus(u"Finished reading message(s)."_s, 1, 60000));
    const double heard = audioSeconds(wav);

    // Do Not Disturb ends: the next mail is announced and read aloud again.
    server.setInhibited(false);
    QVERIFY(p.waitForTraced(u"do-not-disturb"_s, u"off"_s));
    QVERIFY(dovecot->deliver(
        User, {mail("Bob <bob@example.test>", "Loud again", "q2@example.test", "The meeting is over.\r\n")}));
    QVERIFY(p.checkNow());
    QVERIFY2(p.waitForTraced(u"speak"_s, u"The meeting is over."_s, 60000), qPrintable(p.output()));
    QVERIFY(p.waitForTraced(u"sound"_s, u"NewMail.wav"_s, 1000));
    QTRY_VERIFY_WITH_TIMEOUT(audioSeconds(wav) > heard + 1.0, 30000);
    QVERIFY(p.exit());
}

QTEST_GUILESS_MAIN(tst_E2eDoNotDisturb)
#include "tst_E2eDoNotDisturb.moc"
