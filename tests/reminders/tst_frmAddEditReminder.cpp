#include "ReminderFixture.h"

#include "reminders/CReminder.h"
#include "reminders/UpDownEdit.h"
#include "reminders/frmAddEditReminder.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimeEdit>
#include <QToolButton>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::platform::Dialogs;
using orvella::test::at;
using orvella::test::ReminderFixture;

namespace {

const QDateTime Now = at(u"2024-05-06 12:00"_s);

QString nonNumeric(const QString& text)
{
    return u"You have entered a non numeric value: "_s + text + u". Please enter a value between 1 and 99."_s;
}
const QString Zero = u"0 is not a valid value for the 'Repeat Every' field. Please enter at least 1."_s;
const QString Maximum =
    u"The maximum value for the 'Repeat Every' field is 99. Please enter a value between 1 and 99."_s;
const QString PastQuestion =
    u"The date and time you specified are in the past. Are you sure you want to add this reminder?"_s;

// A program folder, the clock at Now, and the editor filled from reminder.
struct Editor
{
    ReminderFixture fx;
    CReminder reminder;
    std::unique_ptr<frmAddEditReminder> dlg;

    Editor()
    {
        fx.setNow(Now);
        reminder.m_When = at(u"2024-05-07 15:00"_s);
    }
    frmAddEditReminder& open()
    {
        dlg = std::make_unique<frmAddEditReminder>(*fx.settings, fx.speech.get());
        dlg->Init(&reminder, &fx.agent);
        return *dlg;
    }
};

QString accessibleName(QWidget* w)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

} // namespace

class tst_frmAddEditReminder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void fillsFromTheReminder_data();
    void fillsFromTheReminder();
    void okNeedsContents();
    void intervalMessages_data();
    void intervalMessages();
    void confirmDate_data();
    void confirmDate();
    void clearSignaled_data();
    void clearSignaled();
    void weekdays_data();
    void weekdays();
    void storesWhatTheFormHolds();
    void cancelLeavesTheReminder();
    void intervalBoxesTakeDigits();
    void nowAndBrowse();
    void screenReaderNames();
    void timeShowsHoursAndMinutes_data();
    void timeShowsHoursAndMinutes();
    void keyboardPath();
    void screenshots();
};

void tst_frmAddEditReminder::initTestCase()
{
    QVERIFY(test::useBerlinTime());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_frmAddEditReminder::init()
{
    Dialogs::reset();
}

void tst_frmAddEditReminder::fillsFromTheReminder_data()
{
    QTest::addColumn<int>("recurs");
    QTest::addColumn<int>("every");
    QTest::addColumn<bool>("everyWeekDay");
    QTest::addColumn<QString>("days");
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<int>("page");             // -1: no page
    QTest::addColumn<QString>("weekdayBoxes"); // Sunday .. Saturday
    QTest::addColumn<QString>("shownGesture");
    QTest::newRow("never") << 0 << 1 << false << QString() << u"Wave"_s << -1 << u"0000000"_s << u"Wave"_s;
    QTest::newRow("every 3 days") << 1 << 3 << false << QString() << u"Wave"_s << 0 << u"0000000"_s
                                  << u"Wave"_s;
    QTest::newRow("every weekday") << 1 << 1 << true << QString() << u"Wave"_s << 0 << u"0000000"_s
                                   << u"Wave"_s;
    QTest::newRow("every 2 weeks on Monday and Friday")
        << 2 << 2 << false << u"2,6"_s << u"Wave"_s << 1 << u"0100010"_s << u"Wave"_s;
    QTest::newRow("every 4 months") << 3 << 4 << false << QString() << u"Wave"_s << 2 << u"0000000"_s
                                    << u"Wave"_s;
    QTest::newRow("yearly") << 4 << 1 << false << QString() << u"Wave"_s << 3 << u"0000000"_s << u"Wave"_s;
    QTest::newRow("a gesture the character lacks")
        << 0 << 1 << false << QString() << u"Dance"_s << -1 << u"0000000"_s << u"None"_s;
    QTest::newRow("a looping gesture is no choice")
        << 0 << 1 << false << QString() << u"Reading"_s << -1 << u"0000000"_s << u"None"_s;
}

void tst_frmAddEditReminder::fillsFromTheReminder()
{
    QFETCH(int, recurs);
    QFETCH(int, every);
    QFETCH(bool, everyWeekDay);
    QFETCH(QString, days);
    QFETCH(QString, gesture);
    QFETCH(int, page);
    QFETCH(QString, weekdayBoxes);
    QFETCH(QString, shownGesture);
    Editor e;
    e.reminder.m_Contents = u"Call the garage"_s;
    QVERIFY(e.reminder.Save(true));
    e.reminder.m_Recurs = recurs;
    e.reminder.m_Every = every;
    e.reminder.m_EveryWeekDay = everyWeekDay;
    e.reminder.m_Days = days;
    e.reminder.m_Gesture = gesture;
    e.reminder.m_IfLate = 1;
    e.reminder.m_Popup = false;
    e.reminder.m_SoundFile = u"/sounds/bell.wav"_s;
    frmAddEditReminder& d = e.open();

    QCOMPARE(d.windowTitle(), u"Add Orvella Reminder"_s);
    QCOMPARE(d.txtContents->toPlainText(), u"Call the garage"_s);
    QCOMPARE(d.dtDate->date(), QDate(2024, 5, 7));
    QCOMPARE(d.dtTime->time(), QTime(15, 0));
    QVERIFY(d.optRecur[size_t(recurs)]->isChecked());
    QCOMPARE(d.chosenKind(), recurs);
    QCOMPARE(d.picRecur->isVisibleTo(&d), page >= 0);
    if (page >= 0) QCOMPARE(d.tabRecur->currentIndex(), page);
    QCOMPARE(d.cboIfLate->currentIndex(), 1);
    QVERIFY(!d.chkPopupWindow->isChecked());
    QCOMPARE(d.txtReminderSoundFile->text(), u"/sounds/bell.wav"_s);
    QCOMPARE(d.cboReminderGesture->currentText(), shownGesture);
    QCOMPARE(d.cboReminderGesture->itemText(0), u"None"_s);
    QCOMPARE(d.cboReminderGesture->findText(u"Reading"_s), -1);
    QVERIFY(d.cmdOK->isEnabled());

    QCOMPARE(d.optEveryDaily[1]->isChecked(), everyWeekDay);
    QCOMPARE(d.everyWeekDayChosen(), everyWeekDay);
    const QString expectedEvery = QString::number(every);
    QCOMPARE(d.txtEveryDaily->text(), recurs == 1 ? expectedEvery : u"1"_s);
    QCOMPARE(d.txtEveryWeekly->text(), recurs == 2 ? expectedEvery : u"1"_s);
    QCOMPARE(d.txtMonths->text(), recurs == 3 ? expectedEvery : u"1"_s);
    QString boxes;
    for (QCheckBox* b : d.chkWeekly)
        boxes += b->isChecked() ? u'1' : u'0';
    QCOMPARE(boxes, weekdayBoxes);
}

void tst_frmAddEditReminder::okNeedsContents()
{
    Editor e;
    frmAddEditReminder& d = e.open();
    QVERIFY(!d.cmdOK->isEnabled());
    QTest::keyClicks(d.txtContents, u"   "_s);
    QVERIFY(!d.cmdOK->isEnabled());
    QTest::keyClick(d.txtContents, Qt::Key_Return);
    QVERIFY(!d.cmdOK->isEnabled());
    QTest::keyClicks(d.txtContents, u"x"_s);
    QVERIFY(d.cmdOK->isEnabled());
    d.txtContents->clear();
    QVERIFY(!d.cmdOK->isEnabled());
}

void tst_frmAddEditReminder::intervalMessages_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("everyWeekDay");
    QTest::addColumn<QString>("daily");
    QTest::addColumn<QString>("weekly");
    QTest::addColumn<QString>("monthly");
    QTest::addColumn<QString>("message"); // empty: accepted
    QTest::newRow("daily 0") << 1 << false << u"0"_s << u"1"_s << u"1"_s << Zero;
    QTest::newRow("daily 100") << 1 << false << u"100"_s << u"1"_s << u"1"_s << Maximum;
    QTest::newRow("daily empty") << 1 << false << QString() << u"1"_s << u"1"_s << nonNumeric(QString());
    QTest::newRow("daily 0.4 rounds to 0") << 1 << false << u"0.4"_s << u"1"_s << u"1"_s << Zero;
    QTest::newRow("daily 99.5 rounds to 100") << 1 << false << u"99.5"_s << u"1"_s << u"1"_s << Maximum;
    QTest::newRow("every weekday still checks the box") << 1 << true << u"0"_s << u"1"_s << u"1"_s << Zero;
    QTest::newRow("weekly, pasted letters")
        << 2 << false << u"1"_s << u"2x"_s << u"1"_s << nonNumeric(u"2x"_s);
    QTest::newRow("weekly 1") << 2 << false << u"0"_s << u"1"_s << u"0"_s << QString();
    QTest::newRow("monthly 99") << 3 << false << u"1"_s << u"1"_s << u"99"_s << QString();
    QTest::newRow("another page's box is not looked at")
        << 3 << false << u"0"_s << u"abc"_s << u"5"_s << QString();
    QTest::newRow("yearly looks at no box") << 4 << false << u"0"_s << u"0"_s << u"0"_s << QString();
    QTest::newRow("never looks at no box") << 0 << false << u"0"_s << u"0"_s << u"0"_s << QString();
}

void tst_frmAddEditReminder::intervalMessages()
{
    QFETCH(int, kind);
    QFETCH(bool, everyWeekDay);
    QFETCH(QString, daily);
    QFETCH(QString, weekly);
    QFETCH(QString, monthly);
    QFETCH(QString, message);
    Editor e;
    frmAddEditReminder& d = e.open();
    d.optRecur[size_t(kind)]->click();
    d.optEveryDaily[everyWeekDay ? 1 : 0]->click();
    d.txtEveryDaily->setText(daily);
    d.txtEveryWeekly->setText(weekly);
    d.txtMonths->setText(monthly);
    QTest::keyClicks(d.txtContents, u"Change the filter"_s);
    Dialogs::queueAnswer(true);
    d.cmdOK->click();
    const QList<Dialogs::Asked> asked = Dialogs::takeAsked();
    if (message.isEmpty()) {
        QVERIFY(asked.isEmpty());
        QVERIFY(d.m_OK);
        QCOMPARE(e.reminder.m_Recurs, kind);
        return;
    }
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].title, u"Invalid Data"_s);
    QCOMPARE(asked[0].text, message);
    QVERIFY(!d.m_OK);
    QCOMPARE(d.result(), 0);
    QCOMPARE(e.reminder.m_Recurs, 0);
    QVERIFY(e.reminder.m_Contents.isEmpty());
}

void tst_frmAddEditReminder::confirmDate_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("asks");
    QTest::addColumn<bool>("accepted");
    const QDateTime yesterday = Now.addDays(-1);
    QTest::newRow("one-time yesterday, No") << 0 << yesterday << false << true << false;
    QTest::newRow("one-time yesterday, Yes") << 0 << yesterday << true << true << true;
    QTest::newRow("daily yesterday") << 1 << yesterday << true << false << true;
    QTest::newRow("one-time tomorrow") << 0 << Now.addDays(1) << true << false << true;
}

void tst_frmAddEditReminder::confirmDate()
{
    QFETCH(int, kind);
    QFETCH(QDateTime, when);
    QFETCH(bool, answer);
    QFETCH(bool, asks);
    QFETCH(bool, accepted);
    Editor e;
    e.reminder.m_When = when;
    e.reminder.m_Recurs = kind;
    e.reminder.m_Contents = u"Old text"_s;
    frmAddEditReminder& d = e.open();
    QTest::keyClicks(d.txtContents, u"Renew the passport"_s);
    Dialogs::queueAnswer(answer);
    d.cmdOK->click();
    const QList<Dialogs::Asked> asked = Dialogs::takeAsked();
    QCOMPARE(asked.size(), asks ? 1 : 0);
    if (asks) {
        QCOMPARE(asked[0].title, u"Confirm Date"_s);
        QCOMPARE(asked[0].text, PastQuestion);
    }
    QCOMPARE(d.m_OK, accepted);
    QCOMPARE(e.reminder.m_Contents, accepted ? u"Renew the passport"_s : u"Old text"_s);
}

void tst_frmAddEditReminder::clearSignaled_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<int>("newKind");
    QTest::addColumn<bool>("cleared");
    const QDateTime past = Now.addDays(-2);
    QTest::newRow("one-time moved into the future") << 0 << Now.addSecs(3600) << 0 << true;
    QTest::newRow("one-time left in the past") << 0 << past << 0 << false;
    QTest::newRow("kind changed") << 0 << past << 1 << true;
    QTest::newRow("daily left in the past") << 1 << past << 1 << false;
}

void tst_frmAddEditReminder::clearSignaled()
{
    QFETCH(int, kind);
    QFETCH(QDateTime, when);
    QFETCH(int, newKind);
    QFETCH(bool, cleared);
    Editor e;
    e.reminder.m_Recurs = kind;
    e.reminder.m_When = at(u"2024-05-01 09:00"_s);
    e.reminder.m_Contents = u"Alerted before"_s;
    QVERIFY(e.reminder.Save(true));
    e.reminder.setLastSignaled(at(u"2024-05-01 09:00"_s));
    frmAddEditReminder& d = e.open();
    d.optRecur[size_t(newKind)]->click();
    d.dtDate->setDate(when.date());
    d.dtTime->setTime(when.time());
    Dialogs::queueAnswer(true); // a one-time reminder left in the past is confirmed
    d.cmdOK->click();
    QVERIFY(d.m_OK);
    QCOMPARE(!e.reminder.lastSignaled().isValid(), cleared);
}

void tst_frmAddEditReminder::weekdays_data()
{
    QTest::addColumn<QString>("boxes"); // Sunday .. Saturday
    QTest::addColumn<QString>("days");
    QTest::newRow("Monday and Friday") << u"0100010"_s << u"2,6"_s;
    QTest::newRow("no day") << u"0000000"_s << QString();
    QTest::newRow("every day") << u"1111111"_s << u"1,2,3,4,5,6,7"_s;
    QTest::newRow("Saturday and Sunday") << u"1000001"_s << u"1,7"_s;
}

void tst_frmAddEditReminder::weekdays()
{
    QFETCH(QString, boxes);
    QFETCH(QString, days);
    Editor e;
    e.reminder.m_Days = u"3"_s; // rebuilt, not added to
    frmAddEditReminder& d = e.open();
    d.optRecur[2]->click();
    for (int i = 0; i < 7; ++i)
        d.chkWeekly[size_t(i)]->setChecked(boxes[i] == u'1');
    d.txtEveryWeekly->setText(u"3"_s);
    QTest::keyClicks(d.txtContents, u"Yoga"_s);
    d.cmdOK->click();
    QVERIFY(d.m_OK);
    QCOMPARE(e.reminder.m_Days, days);
    QCOMPARE(e.reminder.m_Every, 3);
}

void tst_frmAddEditReminder::storesWhatTheFormHolds()
{
    Editor e;
    e.reminder.m_Every = 7;
    frmAddEditReminder& d = e.open();
    // The every-weekday choice is kept whatever kind is chosen at the end.
    d.optRecur[1]->click();
    d.optEveryDaily[1]->click();
    d.optRecur[4]->click();
    d.txtEveryDaily->setText(u"5"_s);
    d.txtMonths->setText(u"6"_s);
    d.dtDate->setDate(QDate(2024, 6, 1));
    d.dtTime->setTime(QTime(10, 15, 42));
    d.cboIfLate->setCurrentIndex(1);
    d.chkPopupWindow->setChecked(false);
    d.cboReminderGesture->setCurrentText(u"Wave"_s);
    d.txtReminderSoundFile->setText(u"/no/such/file.wav"_s);
    d.txtContents->setPlainText(u"  Mother's birthday \n"_s);
    d.cmdOK->click();
    QVERIFY(d.m_OK);
    const CReminder& r = e.reminder;
    QCOMPARE(r.m_Recurs, int(CReminder::Yearly));
    QCOMPARE(r.m_Every, 1);
    QVERIFY(r.m_EveryWeekDay);
    QCOMPARE(r.m_When, at(u"2024-06-01 10:15"_s)); // hours and minutes only
    QCOMPARE(r.m_IfLate, 1);
    QVERIFY(!r.m_Popup);
    QCOMPARE(r.m_Gesture, u"Wave"_s);
    QCOMPARE(r.m_SoundFile, u"/no/such/file.wav"_s);
    QCOMPARE(r.m_Contents, u"Mother's birthday"_s);
    // Remembered for the next new reminder.
    QCOMPARE(e.fx.settings->m_ReminderGesture, u"Wave"_s);
    QCOMPARE(e.fx.settings->m_ReminderSoundFile, u"/no/such/file.wav"_s);
    QCOMPARE(e.fx.settings->m_ReminderRecur, 4);
    // The editor writes no file: the caller saves.
    QVERIFY(r.m_UniqueID.isEmpty());
}

void tst_frmAddEditReminder::cancelLeavesTheReminder()
{
    Editor e;
    frmAddEditReminder& d = e.open();
    d.optRecur[3]->click();
    QTest::keyClicks(d.txtContents, u"Never mind"_s);
    d.cmdCancel->click();
    QVERIFY(!d.m_OK);
    QCOMPARE(e.reminder.m_Recurs, 0);
    QVERIFY(e.reminder.m_Contents.isEmpty());
    QCOMPARE(e.fx.settings->m_ReminderRecur, 0);
}

void tst_frmAddEditReminder::intervalBoxesTakeDigits()
{
    Editor e;
    frmAddEditReminder& d = e.open();
    QLineEdit* box = d.txtEveryDaily->edit;
    box->selectAll();
    QTest::keyClicks(box, u"1a2.-b "_s);
    QCOMPARE(box->text(), u"12"_s);
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), u"1"_s);
    QTest::keyClick(box, Qt::Key_Up);
    QCOMPARE(box->text(), u"2"_s);
    QTest::keyClick(box, Qt::Key_Down);
    QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->text(), u"1"_s); // never below 1
    box->setText(u"99"_s);
    d.txtEveryDaily->up->click();
    QCOMPARE(box->text(), u"99"_s); // never above 99
}

void tst_frmAddEditReminder::nowAndBrowse()
{
    Editor e;
    frmAddEditReminder& d = e.open();
    e.fx.setNow(at(u"2024-05-06 14:37:12"_s));
    d.cmdNow->click();
    QCOMPARE(d.dtDate->date(), QDate(2024, 5, 6));
    QCOMPARE(QTime(d.dtTime->time().hour(), d.dtTime->time().minute()), QTime(14, 37));

    const QString sound = e.fx.dir.filePath(u"Sounds/Bell.wav"_s);
    QDir().mkpath(e.fx.dir.filePath(u"Sounds"_s));
    QFile(sound).open(QIODevice::WriteOnly);
    e.fx.agent.takeCalls();
    Dialogs::queueFileName(sound);
    d.cmdReminderSoundBrowse->click();
    QCOMPARE(d.txtReminderSoundFile->text(), sound);
    QVERIFY(e.fx.agent.takeCalls().contains(u"SpeakFile(%1)"_s.arg(sound)));
    QCOMPARE(Dialogs::takeAsked().constFirst().text, e.fx.dir.path() + u"/Sounds"_s);
    Dialogs::queueFileName(QString()); // cancelled
    d.cmdReminderSoundBrowse->click();
    QCOMPARE(d.txtReminderSoundFile->text(), sound);
}

void tst_frmAddEditReminder::screenReaderNames()
{
    Editor e;
    frmAddEditReminder& d = e.open();
    const QList<std::pair<QWidget*, QString>> names{
        {d.dtDate, u"Date"_s},
        {d.dtTime, u"Time"_s},
        {d.cmdNow, u"Now"_s},
        {d.optRecur[0], u"Never"_s},
        {d.optRecur[4], u"Yearly"_s},
        {d.optEveryDaily[0], u"Repeat every"_s},
        {d.txtEveryDaily->edit, u"Repeat every day(s)"_s},
        {d.txtEveryWeekly->edit, u"Repeat every week(s)"_s},
        {d.chkWeekly[1], u"Monday"_s},
        {d.txtMonths->edit, u"Repeat every month(s)"_s},
        {d.txtContents, u"Contents"_s},
        {d.chkPopupWindow, u"Popup reminder window"_s},
        {d.txtReminderSoundFile, u"Play this sound file"_s},
        {d.cmdReminderSoundBrowse, u"Browse..."_s},
        {d.cmdOK, u"OK"_s},
        {d.cmdCancel, u"Cancel"_s},
    };
    for (const auto& [widget, name] : names)
        QCOMPARE(accessibleName(widget), name);
    // On this desktop a drop-down list is named by its present choice; its
    // label reaches the screen reader through the labelled-by relation.
    for (const auto& [combo, label] :
         {std::pair{d.cboIfLate, u"If Late:"_s}, std::pair{d.cboReminderGesture, u"Make this gesture:"_s}}) {
        QStringList labels;
        const auto relations = QAccessible::queryAccessibleInterface(combo)->relations(QAccessible::Label);
        for (const auto& relation : relations)
            labels << relation.first->text(QAccessible::Name);
        QVERIFY2(labels.contains(label), qPrintable(labels.join(u'|'))); // the group box labels it too
        QCOMPARE(combo->accessibleName(), label.chopped(1));
    }
    // Nothing a user can reach is nameless.
    const QList<QWidget*> all = d.findChildren<QWidget*>();
    for (QWidget* w : all) {
        if (w->objectName().startsWith(u"qt_"_s)) // a part of a Qt control, spoken as that control
            continue;
        if (w->focusPolicy() & Qt::TabFocus || qobject_cast<QAbstractButton*>(w))
            QVERIFY2(!accessibleName(w).isEmpty(),
                     qPrintable(w->objectName() + u' ' + QString::fromLatin1(w->metaObject()->className())));
    }
}

void tst_frmAddEditReminder::keyboardPath()
{
    Editor e;
    frmAddEditReminder& d = e.open();
    d.show();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    QTest::keyClicks(d.txtContents, u"Book the car service"_s);
    // The arrow keys choose the kind among the option buttons.
    d.optRecur[0]->setFocus();
    QTest::keyClick(d.optRecur[0], Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QVERIFY(d.optRecur[2]->isChecked());
    QCOMPARE(d.tabRecur->currentIndex(), 1);

    // Tab reaches every control of the form, the weekly page's included.
    d.dtDate->setFocus();
    QSet<QWidget*> reached;
    QStringList path;
    for (int i = 0; i < 60 && !reached.contains(d.cmdCancel); ++i) {
        reached.insert(QApplication::focusWidget());
        path << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    const QList<QWidget*> expected{d.dtDate,
                                   d.dtTime,
                                   d.cmdNow,
                                   d.optRecur[2],
                                   d.txtEveryWeekly->edit,
                                   d.chkWeekly[0],
                                   d.chkWeekly[6],
                                   d.cboIfLate,
                                   d.txtContents,
                                   d.chkPopupWindow,
                                   d.txtReminderSoundFile,
                                   d.cmdReminderSoundBrowse,
                                   d.cboReminderGesture,
                                   d.cmdOK,
                                   d.cmdCancel};
    for (QWidget* w : expected)
        QVERIFY2(reached.contains(w), qPrintable(w->objectName() + u" not in "_s + path.join(u' ')));

    // Escape cancels.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!d.isVisible());
    QVERIFY(!d.m_OK);
}

void tst_frmAddEditReminder::screenshots()
{
    if (qEnvironmentVariableIsEmpty("ORVELLA_SCREENSHOT_DIR")) QSKIP("only with ORVELLA_SCREENSHOT_DIR");
    const QStringList names{u"never"_s, u"daily"_s, u"weekly"_s, u"monthly"_s, u"yearly"_s};
    for (int kind = 0; kind < 5; ++kind) {
        Editor e;
        e.reminder.m_Recurs = kind;
        e.reminder.m_Every = kind == 3 ? 3 : 2;
        e.reminder.m_Days = u"2,4"_s;
        e.reminder.m_Gesture = u"Wave"_s;
        e.reminder.m_Contents = u"Take the bins out\r\nGreen bin first"_s;
        QVERIFY(e.reminder.Save(true));
        frmAddEditReminder& d = e.open();
        if (kind == 4) d.setWindowTitle(u"Edit Orvella Reminder"_s);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        test::saveShot(&d, u"reminder-editor-"_s + names[kind]);
    }
}

void tst_frmAddEditReminder::timeShowsHoursAndMinutes_data()
{
    QTest::addColumn<QString>("locale");
    // The C locale's short time format holds seconds.
    QTest::newRow("C") << u"C"_s;
    QTest::newRow("English (United States)") << u"en_US"_s;
    QTest::newRow("German") << u"de_DE"_s;
    QTest::newRow("Finnish") << u"fi_FI"_s;
    QTest::newRow("Korean") << u"ko_KR"_s;
}

void tst_frmAddEditReminder::timeShowsHoursAndMinutes()
{
    QFETCH(QString, locale);
    const QLocale before;
    QLocale::setDefault(QLocale(locale));
    Editor e;
    frmAddEditReminder& d = e.open();
    d.dtTime->setTime(QTime(15, 7, 42));
    const QString shown = d.dtTime->text();
    QLocale::setDefault(before);
    QVERIFY2(shown.contains(u"07"_s) && !shown.contains(u"42"_s), qPrintable(shown));
    // The hour in the locale's own way (15 or 3 in the afternoon).
    QVERIFY2(shown.contains(u"15"_s) || shown.contains(u'3'), qPrintable(shown));
}

QTEST_MAIN(tst_frmAddEditReminder)
#include "tst_frmAddEditReminder.moc"
