// The desktop notifications against a notification server on a private
// session bus: what reaches the server, how a slot's notice replaces the one
// before, what a server without buttons or markup gets, the buttons' way
// back, and a desktop without a server or without a bus.
#include "platform/DesktopNotifications.h"
#include "support/NotificationServer.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::platform::DesktopNotifications;
using orvella::test::NotificationServer;

namespace {

DesktopNotifications::Notice notice(const QString& summary, const QString& body = u"body"_s)
{
    DesktopNotifications::Notice n;
    n.summary = summary;
    n.body = body;
    n.actions = {{u"read"_s, u"Read"_s}, {u"open"_s, u"Open"_s}};
    n.icon = u"mail-unread"_s;
    n.category = u"email.arrived"_s;
    return n;
}

// Waits until the notifications have nothing on its way.
bool settled(const DesktopNotifications& n)
{
    return QTest::qWaitFor([&] { return !n.busy(); }, 10000);
}

} // namespace

class tst_DesktopNotifications : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void slotNoticeReplacesItsLast();
    void noticesInQuickSuccessionNeverStack();
    void serverAbilities_data();
    void serverAbilities();
    void actionsComeBackToTheirSlot();
    void withoutServerNothingFails();
    void withoutBusNothingFails();
};

void tst_DesktopNotifications::initTestCase()
{
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run on a private session bus (SESSION_BUS)");
}

void tst_DesktopNotifications::slotNoticeReplacesItsLast()
{
    NotificationServer server;
    QVERIFY(server.registered());
    DesktopNotifications n;
    QSignalSpy sent(&n, &DesktopNotifications::sent);

    n.show(u"mail"_s, notice(u"1 New Message"_s));
    QVERIFY(server.waitForNotices(1));
    QVERIFY(settled(n));
    n.show(u"mail"_s, notice(u"2 New Messages"_s));
    n.show(u"other"_s, notice(u"Reminder!"_s));
    QVERIFY(server.waitForNotices(3));
    QVERIFY(settled(n));

    const auto& got = server.notices;
    QCOMPARE(got[0].appName, u"Orvella"_s);
    QCOMPARE(got[0].replacesId, 0u);
    QCOMPARE(got[0].icon, u"mail-unread"_s);
    QCOMPARE(got[0].hints.value(u"category"_s).toString(), u"email.arrived"_s);
    QCOMPARE(got[0].hints.value(u"desktop-entry"_s).toString(), u"org.orvella.Orvella"_s);
    QCOMPARE(got[0].timeout, -1);
    // The second notice of the slot takes the first one's place; another slot stands apart.
    const auto mail =
        std::find_if(got.begin() + 1, got.end(), [](const auto& x) { return x.summary.startsWith(u'2'); });
    const auto other =
        std::find_if(got.begin(), got.end(), [](const auto& x) { return x.summary == u"Reminder!"_s; });
    QCOMPARE(mail->replacesId, got[0].id);
    QCOMPARE(other->replacesId, 0u);
    QVERIFY(other->id != got[0].id);
    QCOMPARE(n.notificationId(u"mail"_s), got[0].id);
    QCOMPARE(sent.size(), 3);
    for (const auto& args : sent)
        QVERIFY(args.at(1).toBool());
}

void tst_DesktopNotifications::noticesInQuickSuccessionNeverStack()
{
    NotificationServer server;
    QVERIFY(server.registered());
    DesktopNotifications n;
    // Asked before the server has given the first its number.
    for (int i = 1; i <= 4; ++i)
        n.show(u"mail"_s, notice(QString::number(i) + u" New Messages"_s));
    QVERIFY(settled(n));
    QVERIFY(!server.notices.isEmpty());
    QCOMPARE(server.notices.last().summary, u"4 New Messages"_s);
    QCOMPARE(server.notices.first().replacesId, 0u);
    for (qsizetype i = 1; i < server.notices.size(); ++i)
        QCOMPARE(server.notices[i].replacesId, server.notices.first().id);
}

void tst_DesktopNotifications::serverAbilities_data()
{
    QTest::addColumn<QStringList>("capabilities");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QString>("body");
    const QString text = u"Ann <ann@example.test>: Tom & Jerry"_s;
    QTest::newRow("buttons and markup") << QStringList{u"actions"_s, u"body"_s, u"body-markup"_s}
                                        << QStringList{u"read"_s, u"Read"_s, u"open"_s, u"Open"_s}
                                        << u"Ann &lt;ann@example.test&gt;: Tom &amp; Jerry"_s;
    QTest::newRow("plain text only") << QStringList{u"body"_s} << QStringList{} << text;
    QTest::newRow("nothing announced") << QStringList{} << QStringList{} << text;
}

void tst_DesktopNotifications::serverAbilities()
{
    QFETCH(QStringList, capabilities);
    QFETCH(QStringList, actions);
    QFETCH(QString, body);
    NotificationServer server(capabilities);
    QVERIFY(server.registered());
    DesktopNotifications n;
    n.show(u"mail"_s, notice(u"1 New Message"_s, u"Ann <ann@example.test>: Tom & Jerry"_s));
    QVERIFY(server.waitForNotices(1));
    QCOMPARE(server.notices[0].actions, actions);
    QCOMPARE(server.notices[0].body, body);
}

void tst_DesktopNotifications::actionsComeBackToTheirSlot()
{
    NotificationServer server;
    QVERIFY(server.registered());
    DesktopNotifications n;
    QSignalSpy actions(&n, &DesktopNotifications::actionInvoked);
    n.show(u"mail"_s, notice(u"1 New Message"_s));
    QVERIFY(server.waitForNotices(1));
    QVERIFY(settled(n));

    server.invokeAction(server.notices[0].id, u"read"_s);
    QVERIFY(actions.wait(5000));
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions[0].at(0).toString(), u"mail"_s);
    QCOMPARE(actions[0].at(1).toString(), u"read"_s);
    // Another program's notice is not ours.
    server.invokeAction(server.notices[0].id + 100, u"open"_s);
    QVERIFY(!actions.wait(300));

    n.close(u"mail"_s);
    QVERIFY(QTest::qWaitFor([&] { return server.closed.size() == 1; }, 5000));
    QCOMPARE(server.closed[0], server.notices[0].id);
}

void tst_DesktopNotifications::withoutServerNothingFails()
{
    DesktopNotifications n;
    QSignalSpy sent(&n, &DesktopNotifications::sent);
    n.show(u"mail"_s, notice(u"1 New Message"_s));
    n.show(u"mail"_s, notice(u"2 New Messages"_s));
    QVERIFY(settled(n));
    QVERIFY(!sent.isEmpty());
    for (const auto& args : sent)
        QVERIFY(!args.at(1).toBool());
    QCOMPARE(n.notificationId(u"mail"_s), 0u);

    // A server that starts later is found by the next notice.
    NotificationServer server;
    QVERIFY(server.registered());
    n.show(u"mail"_s, notice(u"3 New Messages"_s));
    QVERIFY(server.waitForNotices(1));
    QCOMPARE(server.notices[0].summary, u"3 New Messages"_s);
}

void tst_DesktopNotifications::withoutBusNothingFails()
{
    const QDBusConnection none(u"no bus"_s);
    QVERIFY(!none.isConnected());
    DesktopNotifications n(none, nullptr);
    QSignalSpy sent(&n, &DesktopNotifications::sent);
    n.show(u"mail"_s, notice(u"1 New Message"_s));
    QCOMPARE(sent.size(), 1);
    QVERIFY(!sent[0].at(1).toBool());
    QVERIFY(!n.busy());
    n.close(u"mail"_s);
}

QTEST_GUILESS_MAIN(tst_DesktopNotifications)
#include "tst_DesktopNotifications.moc"
