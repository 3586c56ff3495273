#include "ReminderFixture.h"

#include "reminders/frmReminder.h"

#include <QApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::at;
using orvella::test::ReminderFixture;

class tst_frmReminder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void showsTheReminder();
    void buttons_data();
    void buttons();
    void alertsFanOut_data();
    void alertsFanOut();
};

void tst_frmReminder::initTestCase()
{
    QVERIFY(test::useBerlinTime());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_frmReminder::showsTheReminder()
{
    ReminderFixture fx;
    fx.setNow(at(u"2024-01-31 15:05"_s));
    QPointer<frmReminder> w = frmReminder::Open(fx.speech.get(), u"Pick up the parcel\r\nbefore six"_s);
    QVERIFY(w->isVisible());
    QVERIFY(!w->isModal());
    QVERIFY(w->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(w->windowTitle(), u"Reminder!"_s);
    QCOMPARE(w->lblReminder->text(), u"Reminder"_s);
    // When the window opened, not when the reminder was due.
    QCOMPARE(w->lblWhen->text(), u"03:05 PM,  Wednesday, January 31, 2024"_s);
    QCOMPARE(w->txtReminder->toPlainText(), u"Pick up the parcel\nbefore six"_s);
    QVERIFY(w->txtReminder->isReadOnly());
    QCOMPARE(w->txtReminder->accessibleName(), u"Reminder"_s);
    if (!qEnvironmentVariableIsEmpty("ORVELLA_SCREENSHOT_DIR")) {
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTest::qWait(50);
        test::saveShot(w, u"reminder-window"_s);
    }
    QTest::keyClick(w, Qt::Key_Escape);
    QTRY_VERIFY(!w); // closing deletes it
}

void tst_frmReminder::buttons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("stops");
    QTest::addColumn<bool>("closes");
    QTest::newRow("Close") << u"cmdDismiss"_s << false << true;
    QTest::newRow("Stop Talking") << u"cmdStopTalking"_s << true << false;
    QTest::newRow("Close and Stop Talking") << u"cmdDismissAndStop"_s << true << true;
}

void tst_frmReminder::buttons()
{
    QFETCH(QString, button);
    QFETCH(bool, stops);
    QFETCH(bool, closes);
    ReminderFixture fx;
    fx.settings->m_Hide = false;
    QPointer<frmReminder> w = frmReminder::Open(fx.speech.get(), u"text"_s);
    fx.agent.takeCalls();
    w->findChild<QPushButton*>(button)->click();
    QCOMPARE(fx.agent.takeCalls(), stops ? QStringList{u"StopAll"_s} : QStringList{});
    if (closes)
        QTRY_VERIFY(!w);
    else
        QVERIFY(w && w->isVisible());
    delete w.data();
}

void tst_frmReminder::alertsFanOut_data()
{
    QTest::addColumn<QList<QRect>>("open");
    QTest::addColumn<QPoint>("at");
    const QSize size(400, 200);
    QTest::newRow("the first in the middle") << QList<QRect>{} << QPoint(300, 200);
    QTest::newRow("the next down and right of the newest")
        << QList<QRect>{QRect(QPoint(300, 200), size), QRect(QPoint(330, 230), size)} << QPoint(360, 260);
    QTest::newRow("back to the top left where the screen ends")
        << QList<QRect>{QRect(QPoint(590, 390), size)} << QPoint(30, 15);
}

// Each alert opens where the ones still open leave it seen: the first in
// the middle of the screen, each next one a step down and right.
void tst_frmReminder::alertsFanOut()
{
    QFETCH(QList<QRect>, open);
    QFETCH(QPoint, at);
    QCOMPARE(frmReminder::PlaceAmongAlerts(open, QSize(400, 200), QRect(0, 0, 1000, 600), 30), at);
}

QTEST_MAIN(tst_frmReminder)
#include "tst_frmReminder.moc"
