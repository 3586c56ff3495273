// A check against the private Dovecot, with the notice of its new mail read
// by a notification server on a private session bus: one notice a check,
// with the right words, replaced by the next check's; a message that a rule
// ignores stays out of it; a check without new mail posts nothing.
#include "core/mail/Account.h"
#include "core/reading/NewMailNotifier.h"
#include "support/CycleRig.h"
#include "support/DovecotFixture.h"
#include "support/NotificationServer.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

namespace {

const QString User = u"notify1"_s;

QByteArray message(const QString& from, const QString& subject, const QString& id)
{
    return (u"From: "_s + from + u"\r\nTo: notify1@example.test\r\nSubject: "_s + subject +
            u"\r\nMessage-ID: <"_s + id +
            u"@example.test>\r\nDate: Tue, 10 Dec 2024 10:00:00 +0000\r\n\r\nHello.\r\n"_s)
        .toUtf8();
}

} // namespace

class tst_NotifyAfterCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void oneNoticeEachCheckReplacingTheLast();
};

void tst_NotifyAfterCheck::oneNoticeEachCheckReplacingTheLast()
{
    QString why;
    const auto dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &why);
    QVERIFY2(dovecot, qPrintable(why));
    QVERIFY(dovecot->clear(User));
    NotificationServer server;
    QVERIFY2(server.registered(), "run on a private session bus (SESSION_BUS)");

    CycleRig rig;
    QVERIFY(rig.load(CycleRig::dovecotSection(u"Account"_s, dovecot->host, dovecot->pop3Port, User,
                                              u"Password="_s + Account::Scramble(dovecot->password(User))) +
                     u"UserName=Ann\nConnectionType=2\n[General]\nNoOfAccounts=1\n"_s));
    RuleList rules{Rule{}};
    rules[0].m_Name = u"offers@shop.test"_s;
    rules[0].m_WhatToSay = u"Nothing"_s;
    platform::DesktopNotifications notifications;
    NewMailNotifier notifier(notifications, *rig.settings, rules);
    rig.onAnnounce = [&](const QList<MailMessage>& messages) { notifier.NewMailArrived(messages); };

    QVERIFY(
        dovecot->deliver(User, {message(u"Ann Example <ann@example.test>"_s, u"Lunch on Friday"_s, u"a1"_s),
                                message(u"Shop <offers@shop.test>"_s, u"Big sale"_s, u"s1"_s),
                                message(u"bob@example.test"_s, u"Minutes"_s, u"b1"_s)}));
    QVERIFY(rig.check());
    QCOMPARE(rig.newMessages.size(), 3);
    QVERIFY(server.waitForNotices(1));
    QTest::qWait(300); // a second notice would have come by now
    QCOMPARE(server.notices.size(), 1);
    QCOMPARE(server.notices[0].appName, u"Orvella"_s);
    QCOMPARE(server.notices[0].summary, u"2 New Messages"_s);
    QCOMPARE(server.notices[0].body, u"Ann Example: Lunch on Friday\nbob@example.test: Minutes"_s);
    QCOMPARE(server.notices[0].replacesId, 0u);

    // Nothing new: nothing posted.
    QVERIFY(rig.check());
    QVERIFY(rig.newMessages.isEmpty());
    QTest::qWait(300);
    QCOMPARE(server.notices.size(), 1);

    QVERIFY(dovecot->deliver(User, {message(u"\"Cleo\" <cleo@example.test>"_s, u"Re: Lunch"_s, u"c1"_s)}));
    QVERIFY(rig.check());
    QVERIFY(server.waitForNotices(2));
    QTest::qWait(300);
    QCOMPARE(server.notices.size(), 2);
    QCOMPARE(server.notices[1].summary, u"1 New Message"_s);
    QCOMPARE(server.notices[1].body, u"Cleo: Re: Lunch"_s);
    QCOMPARE(server.notices[1].replacesId, server.notices[0].id);
}

QTEST_MAIN(tst_NotifyAfterCheck)
#include "tst_NotifyAfterCheck.moc"
