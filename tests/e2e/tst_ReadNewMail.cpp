#include "core/mail/Account.h"
#include "support/DovecotFixture.h"
#include "support/Files.h"
#include "support/NotificationServer.h"
#include "support/ProgramRunner.h"
#include "support/TraceFile.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

namespace {

QByteArray mail(const char* from, const char* subject, const char* id, const char* body)
{
    return QByteArray("From: ") + from + "\r\nTo: tester@example.com\r\nSubject: " + subject +
           "\r\nMessage-ID: <" + id +
           ">\r\nDate: Thu, 10 Dec 2026 09:00:00 +0000\r\n"
           "Content-Type: text/plain; charset=utf-8\r\n\r\n" +
           body;
}

} // namespace

// The main path from end to end: mail arrives on a real server, the minute
// tick finds it, and the character announces it and reads it aloud, shaped by
// a rule and a filter; the desktop's notification server is told of it too,
// and its "Read" button reads the mail again.
class tst_ReadNewMail : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void announcesAndReadsInOrder();
};

void tst_ReadNewMail::announcesAndReadsInOrder()
{
    QString why;
    const auto dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &why);
    QVERIFY2(dovecot, qPrintable(why));
    const QString user = u"reader1"_s;
    QVERIFY(dovecot->clear(user));
    QVERIFY(dovecot->deliver(
        user, {mail("Alice <alice@example.com>", "Lunch plans", "lunch@example.com",
                    "Shall we meet at noon?\r\n> an old quoted line\r\nSee you there.\r\n"),
               mail("Promo <offers@spam.example>", "Big sale", "sale@spam.example", "Buy now!\r\n"),
               mail("Bob <bob@example.com>", "Weekly report", "report@example.com",
                    "The numbers look good.\r\n")}));

    // The desktop's notification server, on the test's private session bus.
    NotificationServer notifications;
    QVERIFY(notifications.registered());

    ProgramRunner runner;
    writeFile(runner.file(u"Zentra.INI"_s),
              (u"[Account]\r\nUserName=Tester\r\nConnectionType=2\r\nPOPServer="_s + dovecot->host +
               u"\r\nAccountName="_s + user + u"\r\nPassword="_s +
               Account::Scramble(dovecot->password(user)) + u"\r\nPort="_s +
               QString::number(dovecot->pop3Port) + u"\r\nSecurity=None\r\n[General]\r\nSayTime=No\r\n"_s)
                  .toUtf8());
    writeFile(runner.file(u"Rules.INI"_s),
              "[Rule 1]\r\nName=spam.example\r\nWhatToSay=Nothing\r\nType=0\r\n");
    writeFile(runner.file(u"Filters.INI"_s), "[Filter 1]\r\nType=0\r\nName=>\r\n");
    const QString trace = runner.file(u"../trace.jsonl"_s);
    const QString wav = runner.file(u"../audio.wav"_s);
    // Started into the tray: the first minute tick comes after 3 s and checks the account.
    QVERIFY(runner.start({u"-AUTOSTART"_s, u"--trace"_s, trace, u"--audio-file"_s, wav}));
    QVERIFY2(runner.waitUntilListening(), runner.output().constData());

    TraceFile t(trace);
    const qsizetype finished = t.waitFor(u"status"_s, u"Finished reading message(s)."_s, 150000);
    QVERIFY2(finished >= 0, qPrintable(TraceFile::dump(t.read()) + QString::fromUtf8(runner.output())));
    QVERIFY(t.waitFor(u"status"_s, u"Idle."_s, 10000, finished) > finished);

    // Checking is enabled again: a user-started check runs and finds nothing new.
    QCOMPARE(runner.runSecond({u"--check-now"_s}), 0);
    QVERIFY2(t.waitFor(u"speak"_s, u"No new messages"_s, 60000, finished) > finished,
             qPrintable(TraceFile::dump(t.read())));

    // One notice for the check, without the message the rule silences.
    QVERIFY(notifications.waitForNotices(1));
    const NotificationServer::Notice first = notifications.notices.first();
    QCOMPARE(first.summary, u"2 New Messages"_s);
    QVERIFY2(first.body.contains(u"Lunch plans"_s) && first.body.contains(u"Weekly report"_s),
             qPrintable(first.body));
    QVERIFY(!first.body.contains(u"Big sale"_s));
    QVERIFY(first.actions.contains(u"read"_s));

    // The next check's notice takes the place of the first one.
    const qsizetype before = t.read().size();
    QVERIFY(dovecot->deliver(user, {mail("Carol <carol@example.com>", "Train times", "train@example.com",
                                         "The train leaves at six.\r\n")}));
    QCOMPARE(runner.runSecond({u"--check-now"_s}), 0);
    QVERIFY2(notifications.waitForNotices(2, 60000), qPrintable(TraceFile::dump(t.read())));
    const NotificationServer::Notice second = notifications.notices.at(1);
    QCOMPARE(second.summary, u"1 New Message"_s);
    QVERIFY(second.body.contains(u"Carol: Train times"_s));
    QCOMPARE(second.replacesId, first.id);
    const qsizetype read = t.waitFor(u"speak"_s, u"The train leaves at six."_s, 60000, before);
    QVERIFY2(read >= 0, qPrintable(TraceFile::dump(t.read())));
    const qsizetype again = t.waitFor(u"status"_s, u"Finished reading message(s)."_s, 60000, read);
    QVERIFY2(again > read, qPrintable(TraceFile::dump(t.read())));
    QVERIFY(t.waitFor(u"status"_s, u"Idle."_s, 10000, again) > again);

    // "Read" on the notice reads its mail aloud again.
    notifications.invokeAction(second.id, u"read"_s);
    QVERIFY2(t.waitFor(u"speak"_s, u"The train leaves at six."_s, 60000, again) > again,
             qPrintable(TraceFile::dump(t.read())));

    QCOMPARE(runner.runSecond({u"--exit"_s}), 0);
    QCOMPARE(runner.waitForExit(30000), 0);

    const QList<TraceEntry> e = t.read();
    const QString dump = TraceFile::dump(e);
    auto at = [&](const QString& kind, const QString& needle, qsizetype from) {
        return TraceFile::find(e, kind, needle, from);
    };
    QVERIFY2(at(u"status"_s, u"Downloading messages from "_s + dovecot->host, 0) >= 0, qPrintable(dump));
    const qsizetype sound = at(u"sound"_s, u"NewMail.wav"_s, 0);
    const qsizetype count = at(u"speak"_s, u"3 New Messages."_s, 0);
    QVERIFY2(sound >= 0 && count > sound, qPrintable(dump));

    // Message 1, filtered: between its bookmarks, without the quoted line.
    const qsizetype m1 = at(u"bookmark"_s, u"1"_s, count);
    QCOMPARE(e[m1].arg.toInt(), 1);
    const qsizetype text1 = at(u"speak"_s, u"Shall we meet at noon?"_s, m1);
    QVERIFY2(text1 > m1, qPrintable(dump));
    QVERIFY(e[text1].text().contains(u"Message from Alice"_s));
    QVERIFY(e[text1].text().contains(u"See you there."_s));
    QVERIFY(!e[text1].text().contains(u"old quoted line"_s));
    const qsizetype end1 = at(u"bookmark"_s, u"100001"_s, text1);
    QVERIFY2(end1 > text1, qPrintable(dump));

    // Message 2, silenced by the rule: its two bookmarks with nothing spoken between.
    const qsizetype m2 = at(u"bookmark"_s, u"2"_s, end1);
    const qsizetype end2 = at(u"bookmark"_s, u"100002"_s, m2);
    QVERIFY2(m2 > end1 && end2 > m2, qPrintable(dump));
    for (qsizetype i = m2 + 1; i < end2; ++i)
        QVERIFY2(!(e[i].kind == u"speak"_s && !e[i].text().startsWith(u"\\Mrk="_s)), qPrintable(dump));
    QCOMPARE(at(u"speak"_s, u"Big sale"_s, 0), -1);

    // Message 3, read the ordinary way.
    const qsizetype m3 = at(u"bookmark"_s, u"3"_s, end2);
    const qsizetype text3 = at(u"speak"_s, u"The numbers look good."_s, m3);
    const qsizetype end3 = at(u"bookmark"_s, u"100003"_s, text3);
    QVERIFY2(m3 > end2 && text3 > m3 && end3 > text3 && finished > end3, qPrintable(dump));

    // Every message is stored, the silenced one too.
    QCOMPARE(QDir(runner.file(u"msg"_s)).entryList({u"*.tem"_s}, QDir::Files).size(), 4);

    const WavSamples audio = readWav(wav);
    QVERIFY2(audio.seconds() > 5.0, qPrintable(QString::number(audio.seconds())));
    QVERIFY2(audio.voicedFraction() > 0.3, qPrintable(QString::number(audio.voicedFraction())));
}

QTEST_MAIN(tst_ReadNewMail)
#include "tst_ReadNewMail.moc"
