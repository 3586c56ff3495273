#include "gui/dialogs/FilterDialog.h"
#include "support/Widgets.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using orvella::test::child;
using namespace orvella;

class tst_FilterDialog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void okWritesTheFilter_data();
    void okWritesTheFilter();
    void cancelLeavesTheFilter();
    void fillsFromTheFilter();
};

void tst_FilterDialog::okWritesTheFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("line filter") << u">"_s << 0 << true;
    QTest::newRow("cut filter") << u"-----"_s << 1 << true;
    QTest::newRow("leading blank kept") << u" >"_s << 0 << true;
    QTest::newRow("blanks refused") << u"   "_s << 1 << false;
    QTest::newRow("empty refused") << QString() << 0 << false;
}

void tst_FilterDialog::okWritesTheFilter()
{
    QFETCH(QString, typed);
    QFETCH(int, type);
    QFETCH(bool, accepted);
    Filter filter;
    FilterDialog dlg;
    QCOMPARE(dlg.windowTitle(), u"Add Filter"_s);
    dlg.Init(filter);
    dlg.show();
    child<QComboBox>(&dlg, u"cboFilterType"_s)->setCurrentIndex(type);
    QTest::keyClicks(child<QLineEdit>(&dlg, u"txtName"_s), typed);
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QCOMPARE(dlg.m_OK, accepted);
    QCOMPARE(dlg.isVisible(), !accepted);
    QCOMPARE(filter.m_Name, accepted ? typed : QString());
    QCOMPARE(filter.m_Type, accepted ? type : 0);
}

void tst_FilterDialog::cancelLeavesTheFilter()
{
    Filter filter{u"Forwarded"_s, 1};
    FilterDialog dlg;
    dlg.Init(filter);
    dlg.show();
    child<QLineEdit>(&dlg, u"txtName"_s)->selectAll();
    QTest::keyClicks(child<QLineEdit>(&dlg, u"txtName"_s), u"other"_s);
    child<QPushButton>(&dlg, u"cmdCancel"_s)->click();
    QVERIFY(!dlg.m_OK);
    QCOMPARE(filter.m_Name, u"Forwarded"_s);
    QCOMPARE(filter.m_Type, 1);
}

void tst_FilterDialog::fillsFromTheFilter()
{
    Filter filter{u"Forwarded"_s, 1};
    FilterDialog dlg;
    dlg.Init(filter);
    QCOMPARE(child<QComboBox>(&dlg, u"cboFilterType"_s)->currentText(),
             u"Read the message until you reach..."_s);
    QCOMPARE(child<QComboBox>(&dlg, u"cboFilterType"_s)->itemText(0),
             u"Don't read lines that start with..."_s);
    QCOMPARE(child<QLineEdit>(&dlg, u"txtName"_s)->text(), u"Forwarded"_s);
    QCOMPARE(child<QLabel>(&dlg, u"lblFilterInstructions"_s)->buddy(), child<QLineEdit>(&dlg, u"txtName"_s));
    QCOMPARE(child<QLineEdit>(&dlg, u"txtName"_s)->accessibleName(), u"The following text..."_s);
    QCOMPARE(child<QComboBox>(&dlg, u"cboFilterType"_s)->accessibleName(), u"Filter Type"_s);
    // Activation selects the whole text, so typing replaces it.
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QCOMPARE(child<QLineEdit>(&dlg, u"txtName"_s)->selectedText(), u"Forwarded"_s);
    QTest::keyClicks(child<QLineEdit>(&dlg, u"txtName"_s), u"Sent"_s);
    QCOMPARE(child<QLineEdit>(&dlg, u"txtName"_s)->text(), u"Sent"_s);
}

QTEST_MAIN(tst_FilterDialog)
#include "tst_FilterDialog.moc"
