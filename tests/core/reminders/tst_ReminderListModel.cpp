#include "support/ReminderFixture.h"

#include "core/reminders/ReminderListModel.h"
#include "core/reminders/ReminderSet.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::test::at;
using orvella::test::ReminderFixture;

class tst_ReminderListModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void keepsTheModelContract();
    void rowsShowTheirReminders();
    void sortsByTheHiddenColumn();
};

void tst_ReminderListModel::initTestCase()
{
    QVERIFY(test::useBerlinTime());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_ReminderListModel::keepsTheModelContract()
{
    ReminderFixture fx;
    ReminderSet set;
    QVERIFY(set.Add(fx.makeSaved(u"one"_s, at(u"2030-01-01 10:00"_s))));
    ReminderListModel model;
    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&model);
    sorted.setDynamicSortFilter(true);
    sorted.sort(ReminderListModel::ColSortedWhen);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester sortedTester(&sorted, QAbstractItemModelTester::FailureReportingMode::QtTest);

    model.setReminderSet(&set);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.addReminder(fx.makeSaved(u"two"_s, at(u"2029-01-01 10:00"_s))), 1);
    QCOMPARE(model.addReminder(fx.makeSaved(u"three"_s, at(u"2031-01-01 10:00"_s))), 2);
    QCOMPARE(model.addReminder(std::make_unique<Reminder>()), -1); // no identity: refused
    QCOMPARE(sorted.index(0, 0).data().toString(), u"two"_s);

    // A due time that moves re-sorts the rows.
    Reminder* two = set.GetAt(2);
    two->m_When = at(u"2032-01-01 10:00"_s);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.reminderChanged(two->m_UniqueID);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(sorted.index(2, 0).data().toString(), u"two"_s);
    model.refreshAll();

    model.deleteReminder(set.GetAt(1)->m_UniqueID);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(set.Count(), 2);
    model.deleteReminder(u"nobody"_s);
    QCOMPARE(model.rowCount(), 2);
    model.setReminderSet(nullptr);
    QCOMPARE(model.rowCount(), 0);
}

void tst_ReminderListModel::rowsShowTheirReminders()
{
    ReminderFixture fx;
    ReminderSet set;
    auto r = fx.makeSaved(u"Line one\r\nline two of a rather long reminder"_s, at(u"2030-01-31 15:05"_s),
                          Reminder::Monthly, 2);
    const QString id = r->m_UniqueID;
    QVERIFY(set.Add(std::move(r)));
    ReminderListModel model;
    model.setReminderSet(&set);

    QCOMPARE(model.columnCount(), 4);
    const QStringList headers{u"Reminder"_s, u"When"_s, u"Enabled"_s, QString()};
    for (int c = 0; c < 4; ++c)
        QCOMPARE(model.headerData(c, Qt::Horizontal).toString(), headers[c]);
    QCOMPARE(model.index(0, 0).data().toString(), u"Line one line two of a rather..."_s);
    QCOMPARE(model.index(0, 1).data().toString(), u"1/31/2030 03:05 PM, Every 2 month(s)"_s);
    QCOMPARE(model.index(0, 2).data().toString(), u"Yes"_s);
    QCOMPARE(model.index(0, 3).data().toString(), u"2030/01/31  15:05"_s);
    for (int c = 0; c < 4; ++c)
        QCOMPARE(model.index(0, c).data(ReminderListModel::IdRole).toString(), id);

    QCOMPARE(model.index(0, 0).data(ReminderListModel::EnabledRole), QVariant(true));
    set.GetAt(1)->m_Enabled = false;
    model.reminderChanged(id);
    QCOMPARE(model.index(0, 2).data().toString(), u"No"_s);
    QCOMPARE(model.index(0, 0).data(ReminderListModel::EnabledRole), QVariant(false));
}

void tst_ReminderListModel::sortsByTheHiddenColumn()
{
    // "When" texts in the US short form sort apart from time order: 1/5/2025
    // comes before 12/1/2024 as text.
    ReminderFixture fx;
    ReminderSet set;
    QVERIFY(set.Add(fx.makeSaved(u"December"_s, at(u"2024-12-01 10:00"_s))));
    QVERIFY(set.Add(fx.makeSaved(u"January"_s, at(u"2025-01-05 10:00"_s))));
    QVERIFY(set.Add(fx.makeSaved(u"February"_s, at(u"2024-02-03 10:00"_s))));
    ReminderListModel model;
    model.setReminderSet(&set);
    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&model);
    auto names = [&] {
        QStringList out;
        for (int row = 0; row < sorted.rowCount(); ++row)
            out << sorted.index(row, 0).data().toString();
        return out;
    };
    sorted.sort(ReminderListModel::ColWhen);
    QCOMPARE(names(), (QStringList{u"January"_s, u"December"_s, u"February"_s}));
    sorted.sort(ReminderListModel::ColSortedWhen);
    QCOMPARE(names(), (QStringList{u"February"_s, u"December"_s, u"January"_s}));
    sorted.sort(ReminderListModel::ColSortedWhen, Qt::DescendingOrder);
    QCOMPARE(names(), (QStringList{u"January"_s, u"December"_s, u"February"_s}));
}

QTEST_MAIN(tst_ReminderListModel)
#include "tst_ReminderListModel.moc"
