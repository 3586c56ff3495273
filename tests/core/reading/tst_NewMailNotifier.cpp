// The new-mail notice: its words for every number of messages, the rules
// that keep a message out of it, the switch in the settings, and its buttons
// "Read" and "Open" (the first one read through a recording character).
#include "core/reading/MessageReader.h"
#include "core/reading/NewMailNotifier.h"
#include "core/settings/Settings.h"
#include "core/speech/SpeechOutput.h"
#include "support/FakeAgent.h"
#include "support/NotificationServer.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::FakeAgent;
using orvella::test::NotificationServer;

Q_DECLARE_METATYPE(QList<orvella::MailMessage>)
Q_DECLARE_METATYPE(orvella::RuleList)

namespace {

MailMessage mail(const QString& from, const QString& subject)
{
    MailMessage m;
    m.m_FullFrom = from;
    m.m_Subject = subject;
    m.m_Content = u"Body of "_s + subject + u"\r\n"_s;
    m.m_ID = u'<' + subject + u"@test>"_s;
    return m;
}

QList<MailMessage> mails(int count)
{
    QList<MailMessage> out;
    for (int i = 1; i <= count; ++i)
        out << mail(u"Sender %1 <s%1@example.test>"_s.arg(i), u"Subject %1"_s.arg(i));
    return out;
}

Rule rule(int type, const QString& name, const QString& whatToSay)
{
    Rule r;
    r.m_Type = type;
    r.m_Name = name;
    r.m_WhatToSay = whatToSay;
    return r;
}

} // namespace

class tst_NewMailNotifier : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void words_data();
    void words();
    void ignoredMessagesStayOut_data();
    void ignoredMessagesStayOut();
    void switchedOffPostsNothing();
    void readButtonReadsTheNotifiedMail();
    void openButtonAsksForTheWindow();

private:
    std::unique_ptr<Settings> m_settings;
    RuleList m_rules;
    std::unique_ptr<NotificationServer> m_server;
    std::unique_ptr<platform::DesktopNotifications> m_notifications;
    std::unique_ptr<NewMailNotifier> m_notifier;
};

void tst_NewMailNotifier::init()
{
    m_settings = std::make_unique<Settings>(u"/nowhere"_s);
    m_rules.clear();
    m_server = std::make_unique<NotificationServer>();
    QVERIFY2(m_server->registered(), "run on a private session bus (SESSION_BUS)");
    m_notifications = std::make_unique<platform::DesktopNotifications>();
    m_notifier = std::make_unique<NewMailNotifier>(*m_notifications, *m_settings, m_rules);
}

void tst_NewMailNotifier::cleanup()
{
    m_notifier.reset();
    m_notifications.reset();
    m_server.reset();
}

void tst_NewMailNotifier::words_data()
{
    QTest::addColumn<QList<MailMessage>>("messages");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("body");
    QTest::newRow("one") << mails(1) << u"1 New Message"_s << u"Sender 1: Subject 1"_s;
    QTest::newRow("three listed") << mails(3) << u"3 New Messages"_s
                                  << u"Sender 1: Subject 1\nSender 2: Subject 2\nSender 3: Subject 3"_s;
    QTest::newRow("five, two counted")
        << mails(5) << u"5 New Messages"_s
        << u"Sender 1: Subject 1\nSender 2: Subject 2\nSender 3: Subject 3\nand 2 more"_s;
    QTest::newRow("address only, no subject")
        << QList<MailMessage>{mail(u"<bare@example.test>"_s, QString()),
                              mail(u"plain@example.test"_s, u"  "_s)}
        << u"2 New Messages"_s << u"bare@example.test: (no subject)\nplain@example.test: (no subject)"_s;
    QTest::newRow("no sender at all") << QList<MailMessage>{mail(QString(), u"Hello"_s)} << u"1 New Message"_s
                                      << u"(unknown sender): Hello"_s;
    QTest::newRow("folded and long subject")
        << QList<MailMessage>{mail(u"\"Ann Lee\" <ann@example.test>"_s,
                                   u"Line one\r\n  line two "_s + QString(100, u'x'))}
        << u"1 New Message"_s << u"Ann Lee: Line one line two "_s + QString(61, u'x') + u'…';
}

void tst_NewMailNotifier::words()
{
    QFETCH(QList<MailMessage>, messages);
    QFETCH(QString, summary);
    QFETCH(QString, body);
    m_notifier->NewMailArrived(messages);
    QVERIFY(m_server->waitForNotices(1));
    const auto& n = m_server->notices[0];
    QCOMPARE(n.summary, summary);
    QCOMPARE(n.body, body);
    QCOMPARE(n.actions, (QStringList{u"read"_s, u"Read"_s, u"open"_s, u"Open"_s}));
    QCOMPARE(n.icon, u"mail-unread"_s);
}

void tst_NewMailNotifier::ignoredMessagesStayOut_data()
{
    QTest::addColumn<RuleList>("rules");
    QTest::addColumn<QString>("summary"); // empty: no notice at all
    QTest::addColumn<QString>("body");
    const RuleList ignoreSender2{rule(0, u"s2@example"_s, u"Nothing"_s)};
    QTest::newRow("no rules") << RuleList{} << u"3 New Messages"_s
                              << u"Sender 1: Subject 1\nSender 2: Subject 2\nSender 3: Subject 3"_s;
    QTest::newRow("one ignored") << ignoreSender2 << u"2 New Messages"_s
                                 << u"Sender 1: Subject 1\nSender 3: Subject 3"_s;
    QTest::newRow("a speaking rule keeps its message")
        << RuleList{rule(1, u"subject 1"_s, QString())} << u"3 New Messages"_s
        << u"Sender 1: Subject 1\nSender 2: Subject 2\nSender 3: Subject 3"_s;
    // The first matching rule decides, as when the message is read.
    QTest::newRow("first match speaks")
        << RuleList{rule(1, u"Subject 2"_s, QString()), rule(0, u"example.test"_s, u"Nothing"_s)}
        << u"1 New Message"_s << u"Sender 2: Subject 2"_s;
    QTest::newRow("all ignored") << RuleList{rule(0, u"example.test"_s, u"Nothing"_s)} << QString()
                                 << QString();
}

void tst_NewMailNotifier::ignoredMessagesStayOut()
{
    QFETCH(RuleList, rules);
    QFETCH(QString, summary);
    QFETCH(QString, body);
    m_rules = rules;
    m_notifier->NewMailArrived(mails(3));
    QVERIFY(QTest::qWaitFor([&] { return !m_notifications->busy(); }, 5000));
    if (summary.isEmpty()) {
        QTest::qWait(200);
        QVERIFY(m_server->notices.isEmpty());
        return;
    }
    QVERIFY(m_server->waitForNotices(1));
    QCOMPARE(m_server->notices[0].summary, summary);
    QCOMPARE(m_server->notices[0].body, body);
    // "Read" reads the whole check, the ignored messages passed over by their rule.
    QCOMPARE(m_notifier->NotifiedMessages().size(), 3);
}

void tst_NewMailNotifier::switchedOffPostsNothing()
{
    m_settings->m_DesktopNotification = false;
    m_notifier->NewMailArrived(mails(2));
    m_notifier->NewMailArrived({});
    QTest::qWait(300);
    QVERIFY(m_server->notices.isEmpty());
    QCOMPARE(m_notifier->NotifiedMessages().size(), 2);
}

void tst_NewMailNotifier::readButtonReadsTheNotifiedMail()
{
    m_settings->m_Hide = false;
    m_settings->m_WAVNewMessages.clear();
    FakeAgent agent;
    SpeechOutput speech(agent, *m_settings);
    MessageReader reader(speech, *m_settings, m_rules);
    connect(&agent, &IAgent::Bookmark, this, [&](int id) { reader.onBookmark(id); });
    QList<bool> checkControls;
    connect(&reader, &MessageReader::checkControlsChanged, this, [&](bool on) { checkControls << on; });
    bool checkRunning = false;
    QList<bool> started;
    connect(m_notifier.get(), &NewMailNotifier::readRequested, this,
            [&] { started << m_notifier->ReadNotifiedMail(reader, checkRunning); });

    m_notifier->NewMailArrived(mails(2));
    QVERIFY(m_server->waitForNotices(1));
    QVERIFY(QTest::qWaitFor([&] { return !m_notifications->busy(); }, 5000));

    // While a check runs, nothing is read.
    checkRunning = true;
    m_server->invokeAction(m_server->notices[0].id, u"read"_s);
    QVERIFY(QTest::qWaitFor([&] { return started.size() == 1; }, 5000));
    QCOMPARE(started, QList<bool>{false});
    QVERIFY(agent.calls.isEmpty());

    checkRunning = false;
    m_server->invokeAction(m_server->notices[0].id, u"read"_s);
    QVERIFY(QTest::qWaitFor([&] { return started.size() == 2; }, 5000));
    QCOMPARE(started.last(), true);
    QVERIFY(reader.ReadingActive);
    QCOMPARE(checkControls, QList<bool>{false});
    agent.runQueue();
    const QString spoken = agent.calls.join(u'\n');
    QVERIFY2(spoken.contains(u"Subject 1"_s) && spoken.contains(u"Subject 2"_s), qPrintable(spoken));
    // The reading ended: checking is on again and the list is empty, yet a
    // second "Read" reads the same mail again.
    QVERIFY(!reader.ReadingActive);
    QCOMPARE(checkControls.last(), true);
    QVERIFY(m_notifier->ReadNotifiedMail(reader, false));
    QVERIFY(reader.ReadingActive);
    QVERIFY(!m_notifier->ReadNotifiedMail(reader, false));
}

void tst_NewMailNotifier::openButtonAsksForTheWindow()
{
    QSignalSpy open(m_notifier.get(), &NewMailNotifier::openRequested);
    QSignalSpy read(m_notifier.get(), &NewMailNotifier::readRequested);
    m_notifier->NewMailArrived(mails(1));
    QVERIFY(m_server->waitForNotices(1));
    QVERIFY(QTest::qWaitFor([&] { return !m_notifications->busy(); }, 5000));
    m_server->invokeAction(m_server->notices[0].id, u"open"_s);
    QVERIFY(open.wait(5000));
    QCOMPARE(read.size(), 0);
}

QTEST_MAIN(tst_NewMailNotifier)
#include "tst_NewMailNotifier.moc"
