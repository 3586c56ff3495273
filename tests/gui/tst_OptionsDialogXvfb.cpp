// The options dialog and the editors as real windows on an X server: every
// control a page shows lies inside the window at its opening size. With
// ORVELLA_SCREENSHOT_DIR set, each page and editor is also saved there as PNG.
#include "OptionsFixture.h"
#include "support/Widgets.h"

#include "gui/dialogs/FilterDialog.h"
#include "gui/dialogs/RuleDialog.h"
#include "gui/options/OptionsAccountsPage.h"
#include "gui/options/OptionsDialog.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

namespace {

const QString twoAccounts =
    u"[General]\nNoOfAccounts=2\nMessagePrefix=Message from\n"
    u"[Account]\nUserName=Anna\nConnectionType=2\nPOPServer=pop.example.org\nAccountName=anna\n"
    u"Password=679*1372*2079*\nSecurity=STARTTLS\n"
    u"[Account 2]\nPOPServer=mail.club.example\nAccountName=garden\nPassword=679*\nPort=995\nSecurity=TLS\n"
    u"[Character]\nName=vela.acs\nFontName=DejaVu Sans\nFontSize=12\n"_s;

void save(QWidget* w, const QString& name)
{
    const QString dir = qEnvironmentVariable("ORVELLA_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    QVERIFY(w->window()->grab().save(dir + u'/' + name + u".png"_s));
}

// Every control the window shows lies inside it, none cut off by its edge.
void verifyInside(QWidget* window)
{
    const QRect area = window->rect();
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) ||
                             qobject_cast<QLineEdit*>(w) || qobject_cast<QLabel*>(w);
        if (!control || !w->isVisible() || w->objectName().startsWith(u"qt_"_s)) continue;
        const QRect r(w->mapTo(window, QPoint(0, 0)), w->size());
        QVERIFY2(area.contains(r), qPrintable(w->objectName() + u" / "_s + w->accessibleName()));
        QVERIFY2(w->width() >= w->minimumSizeHint().width() || qobject_cast<QLabel*>(w),
                 qPrintable(w->objectName()));
    }
}

} // namespace

class tst_OptionsDialogXvfb : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pagesFitTheirWindow();
    void editorsFitTheirWindows();
};

void tst_OptionsDialogXvfb::pagesFitTheirWindow()
{
    OptionsFixture f(twoAccounts);
    f.rules = {Rule{u"boss@example.com"_s}, Rule{u"invoice"_s, 1}, Rule{u"newsletter"_s, 2, u"Nothing"_s}};
    f.filters = {Filter{u">"_s, 0}, Filter{u"-----Original Message-----"_s, 1}};
    f.accounts[1]->m_RejectedCertificate =
        u"3F:9A:00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF:01:23:45:67:"
        u"89:AB:CD:EF:10:32:54:76:98:BA"_s;
    OptionsDialog dlg(*f.services);
    dlg.Init();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const char* names[] = {"options-accounts",    "options-general", "options-character",
                           "options-what-to-say", "options-rules",   "options-filters"};
    for (int i = 0; i < child<QTabWidget>(&dlg, u"tabOptions"_s)->count(); ++i) {
        child<QTabWidget>(&dlg, u"tabOptions"_s)->setCurrentIndex(i);
        QTest::qWait(50);
        verifyInside(&dlg);
        save(&dlg, QString::fromLatin1(names[i]));
    }
    // The second account with the certificate its last check refused.
    child<QTabWidget>(&dlg, u"tabOptions"_s)->setCurrentIndex(0);
    child<QTreeWidget>(child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s), u"lstAccounts"_s)
        ->setCurrentItem(
            child<QTreeWidget>(child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s), u"lstAccounts"_s)
                ->topLevelItem(1));
    QTest::qWait(50);
    verifyInside(&dlg);
    save(&dlg, u"options-accounts-certificate"_s);
}

void tst_OptionsDialogXvfb::editorsFitTheirWindows()
{
    OptionsFixture f;
    Rule rule{u"boss@example.com"_s};
    rule.m_MyMessage = u"Your boss wrote."_s;
    RuleDialog ruleEditor(f.rules, f.speech.get());
    ruleEditor.setWindowTitle(u"Edit Rule for boss@example.com"_s);
    ruleEditor.Init(rule, &f.agent, RuleDialog::EditMode);
    ruleEditor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&ruleEditor));
    verifyInside(&ruleEditor);
    save(&ruleEditor, u"rule-editor"_s);
    ruleEditor.close();

    Filter filter{u"-----Original Message-----"_s, 1};
    FilterDialog filterEditor;
    filterEditor.setWindowTitle(u"Edit Filter"_s);
    filterEditor.Init(filter);
    filterEditor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&filterEditor));
    verifyInside(&filterEditor);
    save(&filterEditor, u"filter-editor"_s);
}

QTEST_MAIN(tst_OptionsDialogXvfb)
#include "tst_OptionsDialogXvfb.moc"
