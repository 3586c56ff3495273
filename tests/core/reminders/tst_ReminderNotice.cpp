// A reminder's desktop notification, read by a notification server on a
// private session bus: posted when the reminder's window opens while the
// character is hidden, with the window's words, and replaced by the same
// reminder's next alert.
#include "platform/DesktopNotifications.h"
#include "support/NotificationServer.h"
#include "support/ReminderFixture.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

class tst_ReminderNotice : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void postedWhenTheWindowOpensUnseen_data();
    void postedWhenTheWindowOpensUnseen();
    void nextAlertReplacesTheNotice();
};

void tst_ReminderNotice::initTestCase()
{
    QVERIFY(useBerlinTime());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_ReminderNotice::postedWhenTheWindowOpensUnseen_data()
{
    QTest::addColumn<bool>("popup");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("notice");
    QTest::newRow("window, character hidden") << true << true << true;
    QTest::newRow("window, character shown") << true << false << false;
    QTest::newRow("no window, character hidden") << false << true << false;
}

void tst_ReminderNotice::postedWhenTheWindowOpensUnseen()
{
    QFETCH(bool, popup);
    QFETCH(bool, hidden);
    QFETCH(bool, notice);
    ReminderFixture fx;
    NotificationServer server;
    QVERIFY2(server.registered(), "run on a private session bus (SESSION_BUS)");
    platform::DesktopNotifications notifications;
    fx.alert.notifications = &notifications;
    fx.alert.characterHidden = [hidden] { return hidden; };
    auto r = fx.makeSaved(u"Call the dentist\r\nabout Tuesday"_s, at(u"2024-05-06 16:00"_s), Reminder::Daily);
    r->m_Popup = popup;
    r->Check(fx.alert, at(u"2024-05-06 16:00"_s));
    // The reminder speaks either way.
    QCOMPARE(fx.takeSpoken(), QStringList{u"Call the dentist\r\nabout Tuesday"_s});
    if (!notice) {
        QTest::qWait(300);
        QVERIFY(server.notices.isEmpty());
        return;
    }
    QVERIFY(server.waitForNotices(1));
    QCOMPARE(server.notices[0].summary, u"Reminder!"_s);
    QCOMPARE(server.notices[0].body, u"04:00 PM,  Monday, May 6, 2024\nCall the dentist\nabout Tuesday"_s);
    QCOMPARE(server.notices[0].icon, u"appointment-soon"_s);
    QVERIFY(server.notices[0].actions.isEmpty());
}

void tst_ReminderNotice::nextAlertReplacesTheNotice()
{
    ReminderFixture fx;
    NotificationServer server;
    QVERIFY(server.registered());
    platform::DesktopNotifications notifications;
    fx.alert.notifications = &notifications;
    fx.alert.characterHidden = [] { return true; };
    auto a = fx.makeSaved(u"Stand up"_s, at(u"2024-05-06 10:00"_s), Reminder::Daily);
    auto b = fx.makeSaved(u"Water the plants"_s, at(u"2024-05-06 10:00"_s), Reminder::Daily);
    a->m_Popup = b->m_Popup = true;
    a->Check(fx.alert, at(u"2024-05-06 10:00"_s));
    QVERIFY(server.waitForNotices(1));
    b->Check(fx.alert, at(u"2024-05-06 10:00"_s));
    QVERIFY(server.waitForNotices(2));
    a->Check(fx.alert, at(u"2024-05-07 10:00"_s));
    QVERIFY(server.waitForNotices(3));
    const auto& n = server.notices;
    // Side by side like their windows; a reminder's next alert takes its own notice's place.
    QCOMPARE(n[1].replacesId, 0u);
    QVERIFY(n[1].id != n[0].id);
    QCOMPARE(n[2].replacesId, n[0].id);
    QVERIFY(n[2].body.startsWith(u"10:00 AM,  Tuesday, May 7, 2024\n"_s));
}

QTEST_MAIN(tst_ReminderNotice)
#include "tst_ReminderNotice.moc"
