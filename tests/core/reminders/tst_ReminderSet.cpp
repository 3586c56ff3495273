#include "support/ReminderFixture.h"

#include "core/reminders/ReminderSet.h"
#include "core/reminders/CheckReminders.h"

#include <QApplication>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::at;
using orvella::test::ReminderFixture;

class tst_ReminderSet : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void loadsTheFolder();
    void missingFolderIsCreated();
    void stopsAtAnUnreadableFile_data();
    void stopsAtAnUnreadableFile();
    void addAndDelete();
    void checkAlertsInOrder();
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

void tst_ReminderSet::initTestCase()
{
    QVERIFY(test::useBerlinTime());
}

void tst_ReminderSet::loadsTheFolder()
{
    ReminderFixture fx;
    fx.writeFile(u"100.rmn"_s, goodFile);
    fx.writeFile(u"100.rmn.content"_s, "first\r\n");
    fx.writeFile(u"200.rmn"_s, goodFile);
    fx.writeFile(u"300.old.rmn"_s, goodFile); // the identity is the name before its first dot
    fx.writeFile(u"notes.txt"_s, "not a reminder");
    ReminderSet set;
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

void tst_ReminderSet::missingFolderIsCreated()
{
    ReminderFixture fx;
    ReminderSet set;
    QVERIFY(set.Load());
    QCOMPARE(set.Count(), 0);
    QVERIFY(QDir(fx.remindersFolder()).exists());
}

void tst_ReminderSet::stopsAtAnUnreadableFile_data()
{
    QTest::addColumn<QString>("badName");
    QTest::addColumn<QByteArray>("badFile");
    QTest::newRow("damaged date") << u"200.rmn"_s << QByteArray("[General]\r\nWhen=soon\r\n");
    QTest::newRow("second file of one identity") << u"100.copy.rmn"_s << goodFile;
}

void tst_ReminderSet::stopsAtAnUnreadableFile()
{
    QFETCH(QString, badName);
    QFETCH(QByteArray, badFile);
    ReminderFixture fx;
    for (const QString& name : {u"100.rmn"_s, u"300.rmn"_s, u"400.rmn"_s, u"500.rmn"_s})
        fx.writeFile(name, goodFile);
    fx.writeFile(badName, badFile);
    const QStringList files = listed(fx.remindersFolder());
    // Where the loading stops: at the damaged file, or at the second file of an identity.
    qsizetype stop = files.indexOf(badName);
    if (badName.startsWith(u"100."_s)) stop = std::max(files.indexOf(badName), files.indexOf(u"100.rmn"_s));
    ReminderSet set;
    QVERIFY(!set.Load());
    QCOMPARE(qsizetype(set.Count()), stop);
    QVERIFY(set.LoadError().contains(fx.remindersFolder() + u'/' + files[stop]));
}

void tst_ReminderSet::addAndDelete()
{
    ReminderFixture fx;
    ReminderSet set;
    QVERIFY(set.Load());
    QVERIFY2(!set.Add(std::make_unique<Reminder>()), "a reminder without identity is refused");
    auto a = fx.makeSaved(u"a"_s, at(u"2030-01-01 10:00"_s));
    const QString id = a->m_UniqueID;
    QVERIFY(set.Add(std::move(a)));
    auto twin = std::make_unique<Reminder>();
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

void tst_ReminderSet::checkAlertsInOrder()
{
    ReminderFixture fx;
    ReminderSet set;
    set.alert = fx.alert;
    auto weekdays = fx.makeSaved(u"Stand-up meeting"_s, at(u"2024-05-06 09:00"_s), Reminder::Daily);
    weekdays->m_EveryWeekDay = true;
    weekdays->m_Popup = true;
    auto monthly = fx.makeSaved(u"Pay the rent"_s, at(u"2024-05-06 09:00"_s), Reminder::Monthly);
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

void tst_ReminderSet::checkReminders_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("modal");
    QTest::newRow("reminders on") << true << false;
    QTest::newRow("reminders off") << false << false;
    QTest::newRow("a modal dialog open") << true << true;
}

void tst_ReminderSet::checkReminders()
{
    QFETCH(bool, enabled);
    QFETCH(bool, modal);
    ReminderFixture fx;
    ReminderSet set;
    set.alert = fx.alert;
    QVERIFY(set.Add(fx.makeSaved(u"Long overdue"_s, at(u"2024-01-06 09:00"_s), Reminder::Daily)));
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

QTEST_MAIN(tst_ReminderSet)
#include "tst_ReminderSet.moc"
