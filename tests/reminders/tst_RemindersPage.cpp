#include "ReminderFixture.h"

#include "reminders/CRemindersSet.h"
#include "reminders/ReminderListModel.h"
#include "reminders/RemindersPage.h"
#include "reminders/frmAddEditReminder.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeView>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using orvella::platform::Dialogs;
using orvella::test::at;
using orvella::test::ReminderFixture;

namespace {

// The page over a reminder set of its own program folder; the modal-dialog
// flag's changes are recorded.
struct Page
{
    ReminderFixture fx;
    CRemindersSet set;
    RemindersPage page;
    QList<bool> modal;

    Page()
    {
        page.ModalDialogShown = [this](bool shown) { modal << shown; };
        page.resize(640, 300);
    }
    void attach()
    {
        set.Load();
        page.Attach(set, *fx.settings, fx.speech.get(), &fx.agent);
    }
    void add(const QString& contents, const QDateTime& when, int recurs = CReminder::Never)
    {
        page.model()->addReminder(fx.makeSaved(contents, when, recurs));
    }
    void select(int row)
    {
        page.lvReminders->selectionModel()->setCurrentIndex(page.sortedModel()->index(row, 0),
                                                            QItemSelectionModel::ClearAndSelect |
                                                                QItemSelectionModel::Rows);
    }
    int selectedRow() const
    {
        const QModelIndexList rows = page.lvReminders->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.constFirst().row();
    }
    // The first column's texts, top to bottom.
    QStringList names() const
    {
        QStringList out;
        for (int row = 0; row < page.sortedModel()->rowCount(); ++row)
            out << page.sortedModel()->index(row, 0).data().toString();
        return out;
    }
    QStringList filesInFolder() const { return QDir(fx.remindersFolder()).entryList(QDir::Files); }
};

// Runs act on the reminder editor as soon as it shows modally.
void whenEditorShows(QObject* context, std::function<void(frmAddEditReminder&)> act)
{
    auto* poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [poll, act] {
        auto* dlg = qobject_cast<frmAddEditReminder*>(QApplication::activeModalWidget());
        if (!dlg) return;
        poll->stop();
        poll->deleteLater();
        act(*dlg);
    });
    poll->start(10);
}

QString accessibleName(QWidget* w)
{
    return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
}

} // namespace

class tst_RemindersPage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void addAReminder();
    void cancelledAddLeavesNothing();
    void editTheSelectedReminder();
    void doubleClickEdits();
    void disableAndEnable();
    void readSpeaksWithoutChangingIt();
    void deleteSelectsTheNext_data();
    void deleteSelectsTheNext();
    void sortByWhen();
    void enableRemindersBox();
    void refreshShowsMovedDueTimes();
    void unsavableReminderIsTold();
    void keyboardAndScreenReader();
    void screenshot();
};

void tst_RemindersPage::initTestCase()
{
    QVERIFY(test::useBerlinTime());
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void tst_RemindersPage::addAReminder()
{
    Page p;
    p.fx.settings->m_ReminderRecur = 2;
    p.fx.settings->m_ReminderGesture = u"Wave"_s;
    p.attach();
    p.fx.setNow(at(u"2024-05-06 14:37"_s));
    QVERIFY(!p.page.cmdEditReminder->isEnabled());
    bool checked = false;
    whenEditorShows(this, [&](frmAddEditReminder& d) {
        // A new reminder: today at the next full hour, the kind last confirmed,
        // reminded anyway, with its window, and OK waiting for a text.
        checked = d.windowTitle() == u"Add Orvella Reminder"_s && d.dtDate->date() == QDate(2024, 5, 6) &&
                  d.dtTime->time() == QTime(15, 0) && d.optRecur[2]->isChecked() &&
                  d.cboIfLate->currentIndex() == 0 && d.chkPopupWindow->isChecked() &&
                  !d.cmdOK->isEnabled() && d.cboReminderGesture->currentText() == u"Wave"_s &&
                  p.modal == QList<bool>{true};
        QTest::keyClicks(d.txtContents, u"Call mum"_s);
        d.chkWeekly[1]->setChecked(true);
        d.cmdOK->click();
    });
    p.page.cmdAddReminder->click();
    QVERIFY(checked);
    QCOMPARE(p.modal, (QList<bool>{true, false}));
    QCOMPARE(p.set.Count(), 1);
    CReminder* r = p.set.GetAt(1);
    QCOMPARE(p.page.selectedReminder(), r);
    QCOMPARE(r->m_Days, u"2"_s);
    QCOMPARE(p.filesInFolder(), (QStringList{r->m_UniqueID + u".rmn"_s, r->m_UniqueID + u".rmn.content"_s}));
    QCOMPARE(p.names(), QStringList{u"Call mum"_s});
    for (QPushButton* b :
         {p.page.cmdReadReminder, p.page.cmdEDReminder, p.page.cmdEditReminder, p.page.cmdDeleteReminder})
        QVERIFY(b->isEnabled());
    QCOMPARE(p.page.cmdEDReminder->text(), u"Disab&le"_s);
}

void tst_RemindersPage::cancelledAddLeavesNothing()
{
    Page p;
    p.attach();
    whenEditorShows(this, [](frmAddEditReminder& d) {
        QTest::keyClicks(d.txtContents, u"Never mind"_s);
        d.cmdCancel->click();
    });
    p.page.cmdAddReminder->click();
    QCOMPARE(p.modal, (QList<bool>{true, false}));
    QCOMPARE(p.set.Count(), 0);
    QVERIFY(p.filesInFolder().isEmpty());
}

void tst_RemindersPage::editTheSelectedReminder()
{
    Page p;
    p.attach();
    p.add(u"Old words"_s, at(u"2030-01-01 10:00"_s));
    p.select(0);
    QString title;
    whenEditorShows(this, [&](frmAddEditReminder& d) {
        title = d.windowTitle();
        d.txtContents->setPlainText(u"New words"_s);
        d.optRecur[3]->click();
        d.cmdOK->click();
    });
    p.page.cmdEditReminder->click();
    QCOMPARE(title, u"Edit Orvella Reminder"_s);
    QCOMPARE(p.modal, (QList<bool>{true, false}));
    CReminder* r = p.set.GetAt(1);
    QCOMPARE(p.fx.readFile(r->m_UniqueID + u".rmn.content"_s), QByteArray("New words\r\n"));
    QCOMPARE(p.names(), QStringList{u"New words"_s});
    QVERIFY(p.page.sortedModel()->index(0, 1).data().toString().endsWith(u", Every 1 month(s)"_s));
    QCOMPARE(p.selectedRow(), 0);
}

void tst_RemindersPage::doubleClickEdits()
{
    Page p;
    p.attach();
    p.add(u"First"_s, at(u"2030-01-01 10:00"_s));
    p.add(u"Second"_s, at(u"2030-01-02 10:00"_s));
    p.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p.page));
    QString edited;
    whenEditorShows(this, [&](frmAddEditReminder& d) {
        edited = d.txtContents->toPlainText();
        d.cmdCancel->click();
    });
    const QRect second = p.page.lvReminders->visualRect(p.page.sortedModel()->index(1, 0));
    QTest::mouseClick(p.page.lvReminders->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(p.page.lvReminders->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(edited, u"Second"_s);
    QCOMPARE(p.modal, (QList<bool>{true, false}));
}

void tst_RemindersPage::disableAndEnable()
{
    Page p;
    p.attach();
    p.add(u"Gym"_s, at(u"2030-01-01 10:00"_s));
    p.select(0);
    const QIcon enabledIcon = p.page.sortedModel()->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
    p.page.cmdEDReminder->click();
    QCOMPARE(p.page.sortedModel()->index(0, 2).data().toString(), u"No"_s);
    QVERIFY(p.page.sortedModel()->index(0, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey() !=
            enabledIcon.cacheKey());
    QCOMPARE(p.page.cmdEDReminder->text(), u"Enab&le"_s);
    const QString file = p.set.GetAt(1)->m_UniqueID + u".rmn"_s;
    QVERIFY(p.fx.readFile(file).contains("Enabled=No\r\n"));
    p.page.cmdEDReminder->click();
    QCOMPARE(p.page.sortedModel()->index(0, 2).data().toString(), u"Yes"_s);
    QCOMPARE(p.page.cmdEDReminder->text(), u"Disab&le"_s);
    QVERIFY(p.fx.readFile(file).contains("Enabled=Yes\r\n"));
}

void tst_RemindersPage::readSpeaksWithoutChangingIt()
{
    Page p;
    p.attach();
    p.add(u"Already told"_s, at(u"2024-05-06 10:00"_s));
    CReminder* r = p.set.GetAt(1);
    r->m_Popup = true;
    r->setLastSignaled(at(u"2024-05-06 10:00"_s));
    QVERIFY(r->Save(false));
    const QByteArray before = p.fx.readFile(r->m_UniqueID + u".rmn"_s);
    p.select(0);
    p.fx.agent.takeCalls();
    p.page.cmdReadReminder->click();
    QCOMPARE(p.fx.takeSpoken(), QStringList{u"Already told"_s});
    QCOMPARE(r->lastSignaled(), at(u"2024-05-06 10:00"_s));
    QCOMPARE(r->m_When, at(u"2024-05-06 10:00"_s));
    QVERIFY(!r->window());
    QCOMPARE(p.fx.readFile(r->m_UniqueID + u".rmn"_s), before);
}

void tst_RemindersPage::deleteSelectsTheNext_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("selectedAfter");
    QTest::newRow("the last of three") << 3 << 2 << 1;
    QTest::newRow("the middle of three") << 3 << 1 << 1;
    QTest::newRow("the first of three") << 3 << 0 << 0;
    QTest::newRow("the only one") << 1 << 0 << -1;
}

void tst_RemindersPage::deleteSelectsTheNext()
{
    QFETCH(int, count);
    QFETCH(int, selected);
    QFETCH(int, selectedAfter);
    Page p;
    p.attach();
    const QStringList names{u"one"_s, u"two"_s, u"three"_s};
    for (int i = 0; i < count; ++i)
        p.add(names[i], at(u"2030-01-01 10:00"_s));
    p.select(selected);
    const QString id = p.page.selectedReminder()->m_UniqueID;
    p.page.cmdDeleteReminder->click();
    QCOMPARE(p.set.Count(), count - 1);
    QVERIFY(!p.set.GetReminder(id));
    QVERIFY(!p.filesInFolder().join(u' ').contains(id + u".rmn"_s));
    QCOMPARE(p.selectedRow(), selectedAfter);
    for (QPushButton* b :
         {p.page.cmdReadReminder, p.page.cmdEDReminder, p.page.cmdEditReminder, p.page.cmdDeleteReminder})
        QCOMPARE(b->isEnabled(), selectedAfter >= 0);
    QVERIFY(p.modal.isEmpty()); // no question asked
}

void tst_RemindersPage::sortByWhen()
{
    Page p;
    p.attach();
    p.add(u"December"_s, at(u"2024-12-01 10:00"_s));
    p.add(u"January"_s, at(u"2025-01-05 10:00"_s));
    p.add(u"February"_s, at(u"2024-02-03 10:00"_s));
    p.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p.page));
    QHeaderView* header = p.page.lvReminders->header();
    // The three columns share the list's width; the hidden one takes none.
    QVERIFY(header->length() <= p.page.lvReminders->viewport()->width());
    QVERIFY(header->sectionSize(ReminderListModel::ColWhen) >
            header->sectionSize(ReminderListModel::ColReminder));
    const auto clickHeader = [&](int section) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(section) + 5, header->height() / 2));
    };
    // As text, "1/5/2025 ..." would come before "12/1/2024 ...".
    clickHeader(ReminderListModel::ColWhen);
    QCOMPARE(p.names(), (QStringList{u"February"_s, u"December"_s, u"January"_s}));
    QCOMPARE(p.page.sortColumn(), int(ReminderListModel::ColSortedWhen));
    QCOMPARE(header->sortIndicatorSection(), int(ReminderListModel::ColWhen));
    clickHeader(ReminderListModel::ColWhen);
    QCOMPARE(p.names(), (QStringList{u"January"_s, u"December"_s, u"February"_s}));
    QCOMPARE(p.page.sortOrder(), Qt::DescendingOrder);
    clickHeader(ReminderListModel::ColReminder);
    QCOMPARE(p.names(), (QStringList{u"December"_s, u"February"_s, u"January"_s}));
    QCOMPARE(p.page.sortOrder(), Qt::AscendingOrder);
}

void tst_RemindersPage::enableRemindersBox()
{
    Page p;
    p.attach();
    QVERIFY(p.page.chkEnableReminders->isChecked());
    QSignalSpy clicked(&p.page, &RemindersPage::enableRemindersClicked);
    p.page.chkEnableReminders->click();
    QVERIFY(!p.fx.settings->m_EnableReminders);
    QCOMPARE(clicked.size(), 1);
    p.fx.settings->m_EnableReminders = true; // another control changed it
    p.page.ApplySetting();
    QVERIFY(p.page.chkEnableReminders->isChecked());
    QCOMPARE(clicked.size(), 1);
}

void tst_RemindersPage::refreshShowsMovedDueTimes()
{
    Page p;
    p.attach();
    p.add(u"Rent"_s, at(u"2024-05-06 09:00"_s), CReminder::Monthly);
    const QString before = p.page.sortedModel()->index(0, 1).data().toString();
    p.set.Check(at(u"2024-05-06 09:00"_s));
    QVERIFY(p.set.m_ReSched);
    p.page.RefreshReminderList();
    const QString after = p.page.sortedModel()->index(0, 1).data().toString();
    QVERIFY(before.startsWith(u"5/6/2024"_s));
    QVERIFY(after.startsWith(u"6/6/2024"_s));
}

void tst_RemindersPage::unsavableReminderIsTold()
{
    Page p;
    // A file where the reminders folder should be: nothing can be written there.
    QFile blocker(p.fx.remindersFolder());
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    p.attach();
    whenEditorShows(this, [](frmAddEditReminder& d) {
        QTest::keyClicks(d.txtContents, u"Somewhere"_s);
        d.cmdOK->click();
    });
    Dialogs::queueAnswer(true);
    p.page.cmdAddReminder->click();
    const QList<Dialogs::Asked> asked = Dialogs::takeAsked();
    QCOMPARE(asked.size(), 1);
    QVERIFY(asked[0].text.startsWith(u"The reminder could not be saved in the folder "_s +
                                     p.fx.remindersFolder()));
    QCOMPARE(p.modal, (QList<bool>{true, false, true, false}));
    QCOMPARE(p.names(), QStringList{u"Somewhere"_s}); // kept for this run
}

void tst_RemindersPage::keyboardAndScreenReader()
{
    Page p;
    p.attach();
    p.add(u"Water the plants"_s, at(u"2030-01-01 10:00"_s));
    QVERIFY(!p.page.cmdEditReminder->isEnabled());
    p.page.show();
    QVERIFY(QTest::qWaitForWindowActive(&p.page));

    const QList<std::pair<QWidget*, QString>> names{
        {p.page.lvReminders, u"Reminders"_s},
        {p.page.cmdAddReminder, u"Add"_s},
        {p.page.cmdEditReminder, u"Edit"_s},
        {p.page.cmdReadReminder, u"Read"_s},
        {p.page.cmdEDReminder, u"Disable"_s},
        {p.page.cmdDeleteReminder, u"Delete"_s},
        {p.page.chkEnableReminders, u"Enable reminders"_s},
    };
    for (const auto& [widget, name] : names)
        QCOMPARE(accessibleName(widget), name);

    // Coming into the list selects the entry it reads; Tab walks the buttons in order.
    p.page.lvReminders->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(p.selectedRow(), 0);
    QVERIFY(p.page.cmdEditReminder->isEnabled());
    QStringList path;
    for (int i = 0; i < 7; ++i) {
        path << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(path,
             (QStringList{u"lvReminders"_s, u"cmdAddReminder"_s, u"cmdEditReminder"_s, u"cmdReadReminder"_s,
                          u"cmdEDReminder"_s, u"cmdDeleteReminder"_s, u"chkEnableReminders"_s}));

    // Return on an entry edits it.
    p.page.lvReminders->setFocus();
    bool opened = false;
    whenEditorShows(this, [&](frmAddEditReminder& d) {
        opened = d.txtContents->toPlainText() == u"Water the plants"_s;
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    QTest::keyClick(p.page.lvReminders, Qt::Key_Return);
    QVERIFY(opened);
    QCOMPARE(p.modal, (QList<bool>{true, false}));
}

void tst_RemindersPage::screenshot()
{
    if (qEnvironmentVariableIsEmpty("ORVELLA_SCREENSHOT_DIR")) QSKIP("only with ORVELLA_SCREENSHOT_DIR");
    Page p;
    p.attach();
    p.add(u"Pay the rent"_s, at(u"2024-06-01 09:00"_s), CReminder::Monthly);
    p.add(u"Team meeting in room 4, bring the quarterly figures"_s, at(u"2024-05-06 10:30"_s),
          CReminder::Weekly);
    p.add(u"Mother's birthday"_s, at(u"2024-09-14 08:00"_s), CReminder::Yearly);
    p.add(u"Dentist"_s, at(u"2024-05-21 15:15"_s));
    auto stretch = p.fx.makeSaved(u"Stand up and stretch"_s, at(u"2024-05-06 11:00"_s), CReminder::Daily);
    stretch->m_EveryWeekDay = true;
    stretch->m_Enabled = false;
    p.page.model()->addReminder(std::move(stretch));
    p.page.resize(720, 320);
    p.page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&p.page));
    p.page.lvReminders_ColumnClick(ReminderListModel::ColWhen);
    p.select(1);
    p.page.lvReminders->setFocus();
    QTest::qWait(50);
    test::saveShot(&p.page, u"reminders-page"_s);
}

QTEST_MAIN(tst_RemindersPage)
#include "tst_RemindersPage.moc"
