#include "ReminderFixture.h"

#include "reminders/CRemindersSet.h"
#include "reminders/CheckReminders.h"
#include "reminders/frmReminder.h"

#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::at;
using orvella::test::ReminderFixture;

class tst_CRemindersSet : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void loadsTheFolder();
    void missingFolderIsCreated();
    void skipsADamagedFile_data();
    void skipsADamagedFile();
    void damagedFileBeforeADueReminder();
    void addAndDelete();
    void checkAlertsInOrder();
    void manyDueAtOnceAreGathered_data();
    void manyDueAtOnceAreGathered();
    void checkReminders_data();
    void checkReminders();
};

namespace {
const QByteArray goodFile = "[General]\r\nWhen=2030-01-31 15:05:00\r\nRecurs=0\r\n";

// The files of the folder in the order the file system lists them.
QStringList listed(const QString& folder)
{
    return QDir(folder).entryList({u"*.rmn"_s}, QDir::Files, QDir::Unsorted);
}
} // namespace

void tst_CRemindersSet::initTestCase()
{
    QVERIFY(test::useBerlinTime());
}

void tst_CRemindersSet::loadsTheFolder()
{
    ReminderFixture fx;
    fx.writeFile(u"100.rmn"_s, goodFile);
    fx.writeFile(u"100.rmn.content"_s, "first\r\n");
    fx.writeFile(u"200.rmn"_s, goodFile);
    fx.writeFile(u"300.old.rmn"_s, goodFile); // the identity is the name before its first dot
    fx.writeFile(u"notes.txt"_s, "not a reminder");
    CRemindersSet set;
    QVERIFY(set.Load());
    QCOMPARE(set.Count(), 3);
    QStringList order;
    for (int i = 1; i <= set.Count(); ++i)
        order << set.GetAt(i)->FileName().section(u'/', -1);
    QCOMPARE(order, listed(fx.remindersFolder()));
    QVERIFY(set.GetReminder(u"300"_s));
    QCOMPARE(set.GetReminder(u"300"_s)->FileName(), fx.remindersFolder() + u"/300.old.rmn"_s);
    QCOMPARE(set.GetReminder(u"100"_s)->DisplayName(), u"first"_s);
    QVERIFY(!set.GetReminder(u"400"_s));
    QVERIFY(!set.GetAt(0));
    QVERIFY(!set.GetAt(4));
    QVERIFY(set.LoadError().isEmpty());

    // Loading again replaces, never doubles.
    QVERIFY(set.Load());
    QCOMPARE(set.Count(), 3);
}

void tst_CRemindersSet::missingFolderIsCreated()
{
    ReminderFixture fx;
    CRemindersSet set;
    QVERIFY(set.Load());
    QCOMPARE(set.Count(), 0);
    QVERIFY(QDir(fx.remindersFolder()).exists());
}

void tst_CRemindersSet::skipsADamagedFile_data()
{
    QTest::addColumn<QString>("badName");
    QTest::addColumn<QByteArray>("badFile");
    QTest::newRow("damaged date") << u"200.rmn"_s << QByteArray("[General]\r\nWhen=soon\r\n");
    QTest::newRow("recurrence no number")
        << u"200.rmn"_s << QByteArray("[General]\r\nWhen=2030-01-31 15:05:00\r\nRecurs=weekly\r\n");
    // The head of an executable: NUL bytes among a few letters.
    QTest::newRow("binary garbage") << u"200.rmn"_s << QByteArray::fromHex("7f454c46020100005768656e3dfffe");
    QTest::newRow("second file of one identity") << u"100.copy.rmn"_s << goodFile;
}

// A damaged file costs its own reminder only: every other file loads, and
// the one skipped is named once.
void tst_CRemindersSet::skipsADamagedFile()
{
    QFETCH(QString, badName);
    QFETCH(QByteArray, badFile);
    ReminderFixture fx;
    const QStringList good{u"100.rmn"_s, u"300.rmn"_s, u"400.rmn"_s, u"500.rmn"_s};
    for (const QString& name : good)
        fx.writeFile(name, goodFile);
    fx.writeFile(badName, badFile);
    CRemindersSet set;
    QVERIFY(!set.Load());
    QCOMPARE(set.Count(), 4);
    for (const QString& name : good)
        QVERIFY2(set.GetReminder(name.section(u'.', 0, 0)), qPrintable(name));
    // Of two files of one identity, the one listed first is loaded.
    QString skipped = badName;
    if (badName.startsWith(u"100."_s)) {
        const QStringList files = listed(fx.remindersFolder());
        const bool copyFirst = files.indexOf(badName) < files.indexOf(u"100.rmn"_s);
        skipped = copyFirst ? u"100.rmn"_s : badName;
        QCOMPARE(set.GetReminder(u"100"_s)->FileName().section(u'/', -1), copyFirst ? badName : u"100.rmn"_s);
    }
    const QString error = set.LoadError();
    QCOMPARE(error.count(fx.remindersFolder() + u'/' + skipped), 1);
    QVERIFY2(error.contains(u"skipped"_s) && error.contains(u"other reminders were loaded"_s),
             qPrintable(error));

    // Loading again says the same, once.
    QVERIFY(!set.Load());
    QCOMPARE(set.Count(), 4);
    QCOMPARE(set.LoadError(), error);
}

// The damaged file is listed before a reminder that is due: that reminder
// still alerts.
void tst_CRemindersSet::damagedFileBeforeADueReminder()
{
    ReminderFixture fx;
    const QByteArray due = "[General]\r\nWhen=2024-05-06 09:00:00\r\nRecurs=0\r\nPopup=No\r\n";
    fx.writeFile(u"700.rmn"_s, due);
    fx.writeFile(u"700.rmn.content"_s, "Call the dentist\r\n");
    // Named until the file system lists it first.
    QString damaged;
    for (int n = 1; n < 200 && damaged.isEmpty(); ++n) {
        const QString name = QString::number(n) + u".rmn"_s;
        fx.writeFile(name, "[General]\r\nWhen=31.02.\r\n");
        const QStringList files = listed(fx.remindersFolder());
        if (files.indexOf(name) < files.indexOf(u"700.rmn"_s))
            damaged = name;
        else
            QFile::remove(fx.remindersFolder() + u'/' + name);
    }
    QVERIFY(!damaged.isEmpty());

    CRemindersSet set;
    set.alert = fx.alert;
    QVERIFY(!set.Load());
    QCOMPARE(set.Count(), 1);
    QVERIFY(set.LoadError().contains(fx.remindersFolder() + u'/' + damaged));
    fx.agent.takeCalls();
    fx.setNow(at(u"2024-05-06 09:00"_s));
    CheckReminders(set, true, false);
    QCOMPARE(fx.takeSpoken(), QStringList{u"Call the dentist"_s});
}

void tst_CRemindersSet::addAndDelete()
{
    ReminderFixture fx;
    CRemindersSet set;
    QVERIFY(set.Load());
    QVERIFY2(!set.Add(std::make_unique<CReminder>()), "a reminder without identity is refused");
    auto a = fx.makeSaved(u"a"_s, at(u"2030-01-01 10:00"_s));
    const QString id = a->m_UniqueID;
    QVERIFY(set.Add(std::move(a)));
    auto twin = std::make_unique<CReminder>();
    twin->m_UniqueID = id;
    QVERIFY(!set.Add(std::move(twin)));
    QCOMPARE(set.Count(), 1);
    QCOMPARE(set.IndexOf(id), 0);

    set.Delete(u"nobody"_s);
    QCOMPARE(set.Count(), 1);
    set.Delete(id);
    QCOMPARE(set.Count(), 0);
    QVERIFY(listed(fx.remindersFolder()).isEmpty());
    QVERIFY(!QFile::exists(fx.remindersFolder() + u'/' + id + u".rmn.content"_s));

    // Files already gone: it still goes.
    auto b = fx.makeSaved(u"b"_s, at(u"2030-01-01 10:00"_s));
    b->DeleteFiles();
    const QString bid = b->m_UniqueID;
    QVERIFY(set.Add(std::move(b)));
    set.Delete(bid);
    QCOMPARE(set.Count(), 0);
}

void tst_CRemindersSet::checkAlertsInOrder()
{
    ReminderFixture fx;
    CRemindersSet set;
    set.alert = fx.alert;
    auto weekdays = fx.makeSaved(u"Stand-up meeting"_s, at(u"2024-05-06 09:00"_s), CReminder::Daily);
    weekdays->m_EveryWeekDay = true;
    weekdays->m_Popup = true;
    auto monthly = fx.makeSaved(u"Pay the rent"_s, at(u"2024-05-06 09:00"_s), CReminder::Monthly);
    monthly->m_Popup = true;
    QVERIFY(set.Add(std::move(weekdays)));
    QVERIFY(set.Add(std::move(monthly)));
    fx.agent.takeCalls();

    set.Check(at(u"2024-05-06 09:00"_s));
    QCOMPARE(fx.takeSpoken(), (QStringList{u"Stand-up meeting"_s, u"Pay the rent"_s}));
    QCOMPARE(fx.openWindows(), 2);
    QVERIFY2(set.m_ReSched, "the monthly reminder moved on");
    QCOMPARE(set.GetAt(2)->m_When, at(u"2024-06-06 09:00"_s));

    // Tuesday: only the every-weekday reminder alerts, and it never moves.
    set.Check(at(u"2024-05-07 09:00"_s));
    QCOMPARE(fx.takeSpoken(), QStringList{u"Stand-up meeting"_s});
    QVERIFY(!set.m_ReSched);
}

void tst_CRemindersSet::manyDueAtOnceAreGathered_data()
{
    QTest::addColumn<int>("due");
    QTest::addColumn<int>("passedOver"); // due, but "only if running that day" on a later day
    QTest::addColumn<bool>("gathered");
    QTest::newRow("three: each alone") << 3 << 0 << false;
    QTest::newRow("four: gathered") << 4 << 0 << true;
    QTest::newRow("six, three of them passed over: each alone") << 6 << 3 << false;
    QTest::newRow("forty: gathered") << 40 << 0 << true;
}

// Up to a handful of reminders due at one check alert one by one, each with
// its voice and window. More speak one line that says how many are due and
// open one window that lists them; each is still marked as alerted and saved.
void tst_CRemindersSet::manyDueAtOnceAreGathered()
{
    QFETCH(int, due);
    QFETCH(int, passedOver);
    QFETCH(bool, gathered);
    ReminderFixture fx;
    CRemindersSet set;
    set.alert = fx.alert;
    QStringList ids;
    for (int i = 0; i < due; ++i) {
        auto r = std::make_unique<CReminder>();
        r->m_UniqueID = QString::number(1000 + i);
        r->m_Contents = u"Task %1"_s.arg(i);
        r->m_When = at(i < passedOver ? u"2024-05-03 09:00"_s : u"2024-05-06 09:00"_s);
        if (i < passedOver) r->m_IfLate = CReminder::OnlyIfRunningThatDay;
        QVERIFY(r->Save(true));
        ids << r->m_UniqueID;
        QVERIFY(set.Add(std::move(r)));
    }
    // Not due: not listed.
    QVERIFY(set.Add(fx.makeSaved(u"Later"_s, at(u"2024-05-06 18:00"_s))));
    fx.agent.takeCalls();

    set.Check(at(u"2024-05-06 09:00"_s));
    const QStringList spoken = fx.takeSpoken();
    const int speaking = due - passedOver;
    if (gathered) {
        QCOMPARE(spoken,
                 QStringList{u"%1 reminders are due. They are listed in the reminder window."_s.arg(due)});
        QCOMPARE(fx.openWindows(), 1);
        auto* window = qobject_cast<frmReminder*>(fx.windows.last().data());
        QVERIFY(window && window->lstReminders && window->lstReminders->isVisible());
        QVERIFY(!window->txtReminder->isVisible());
        QCOMPARE(window->lblReminder->text(), u"%1 reminders are due"_s.arg(due));
        const QAbstractItemModel* list = window->lstReminders->model();
        QCOMPARE(list->rowCount(), speaking);
        QVERIFY(list->index(0, 0).data().toString().endsWith(u"  Task 0"_s));
        QVERIFY(list->index(speaking - 1, 0).data().toString().endsWith(u"  Task %1"_s.arg(due - 1)));
    } else {
        QStringList alone;
        for (int i = passedOver; i < due; ++i)
            alone << u"Task %1"_s.arg(i);
        QCOMPARE(spoken, alone);
        QCOMPARE(fx.openWindows(), speaking);
    }
    // Every due one is marked as alerted, in its file too: nothing alerts again.
    for (const QString& id : std::as_const(ids)) {
        CReminder back;
        QVERIFY(back.Load(fx.remindersFolder() + u'/' + id + u".rmn"_s, id));
        QCOMPARE(back.lastSignaled(), at(u"2024-05-06 09:00"_s));
    }
    QVERIFY(set.GetReminder(ids.first())->lastSignaled().isValid());
    set.Check(at(u"2024-05-06 09:01"_s));
    QVERIFY(fx.takeSpoken().isEmpty());
}

void tst_CRemindersSet::checkReminders_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("modal");
    QTest::newRow("reminders on") << true << false;
    QTest::newRow("reminders off") << false << false;
    QTest::newRow("a modal dialog open") << true << true;
}

void tst_CRemindersSet::checkReminders()
{
    QFETCH(bool, enabled);
    QFETCH(bool, modal);
    ReminderFixture fx;
    CRemindersSet set;
    set.alert = fx.alert;
    QVERIFY(set.Add(fx.makeSaved(u"Long overdue"_s, at(u"2024-01-06 09:00"_s), CReminder::Daily)));
    fx.agent.takeCalls();

    fx.setNow(at(u"2024-05-06 10:00"_s));
    const bool moved = CheckReminders(set, enabled, modal);
    const bool checked = enabled && !modal;
    QCOMPARE(moved, checked);
    QCOMPARE(fx.takeSpoken(), checked ? QStringList{u"Long overdue"_s} : QStringList{});

    // The first tick with reminders on and no dialog open alerts what is due by then.
    fx.setNow(at(u"2024-05-06 10:01"_s));
    QCOMPARE(CheckReminders(set, true, false), !checked);
    QCOMPARE(fx.takeSpoken(), checked ? QStringList{} : QStringList{u"Long overdue"_s});
    QCOMPARE(set.GetAt(1)->m_When, at(u"2024-05-07 09:00"_s));
}

QTEST_MAIN(tst_CRemindersSet)
#include "tst_CRemindersSet.moc"
