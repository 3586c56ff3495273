// The options dialog driven through its widgets: what reaches the files on OK
// and not on Cancel, the account list, and the edge cases of filling it.
#include "OptionsFixture.h"
#include "support/Widgets.h"

#include "core/pop3/Pop3Client.h"
#include "core/settings/IniValues.h"
#include "core/settings/Program.h"
#include "gui/dialogs/FilterDialog.h"
#include "gui/dialogs/RuleDialog.h"
#include "gui/options/OptionsAccountsPage.h"
#include "gui/options/OptionsCharacterPage.h"
#include "gui/options/OptionsDialog.h"
#include "gui/options/OptionsGeneralPage.h"
#include "gui/options/OptionsListPage.h"
#include "gui/options/OptionsWhatToSayPage.h"
#include "gui/signin/SignInRow.h"
#include "gui/widgets/Dialogs.h"
#include "platform/Shell.h"
#include "support/Pop3ScriptedTransport.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

namespace {

const QString threeAccounts =
    u"[General]\nNoOfAccounts=3\n"
    u"[Account]\nUserName=Ann\nConnectionType=2\nPOPServer=one.test\nAccountName=one\n"
    u"Password=679*\n"
    u"[Account 2]\nPOPServer=two.test\nAccountName=two\nPassword=679*\n"
    u"[Account 3]\nPOPServer=three.test\nAccountName=three\nPassword=679*\n"
    u"[Character]\nName=vela.acs\n"_s;

// Shows the page holding control, as the user would before using it.
void showPageOf(OptionsDialog& dlg, QWidget* control)
{
    for (int i = 0; i < child<QTabWidget>(&dlg, u"tabOptions"_s)->count(); ++i)
        if (child<QTabWidget>(&dlg, u"tabOptions"_s)->widget(i)->isAncestorOf(control))
            child<QTabWidget>(&dlg, u"tabOptions"_s)->setCurrentIndex(i);
}

void retype(QLineEdit* field, const QString& text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

// "type:<text>", "choose:<entry>" or "click".
void act(OptionsDialog& dlg, const QString& control, const QString& action)
{
    QWidget* w = dlg.findChild<QWidget*>(control);
    QVERIFY2(w, qPrintable(control));
    showPageOf(dlg, w);
    if (action.startsWith(u"type:"_s))
        retype(qobject_cast<QLineEdit*>(w), action.mid(5));
    else if (action.startsWith(u"choose:"_s))
        Choose(qobject_cast<QComboBox*>(w), action.mid(7));
    else
        qobject_cast<QAbstractButton*>(w)->click();
}

QStringList entries(const QTreeWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(0);
    return out;
}

} // namespace

class tst_OptionsDialog : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void okSavesEachPageAndCancelNothing_data();
    void okSavesEachPageAndCancelNothing();
    void editorsReachTheirFilesOnOkOnly_data();
    void editorsReachTheirFilesOnOkOnly();
    void accountsAddedAndRemovedRenumber();
    void oneAccountCannotBeRemoved();
    void okStopsOnMissingAccountSettings_data();
    void okStopsOnMissingAccountSettings();
    void autoStartFollowsTheBox();
    void linesAboveHundredShowFifteen();
    void unknownFontAndSizeFallBack();
    void fontFamilies_data();
    void fontFamilies();
    void fontListNamesEachFamilyOnce();
    void characterFilesListedOnce();
    void numericFieldsTakeDigitsOnly_data();
    void numericFieldsTakeDigitsOnly();
    void numberFieldsRefuseWhatCannotWork_data();
    void numberFieldsRefuseWhatCannotWork();
    void checksUseTheSavedAccountsUntilOK();
    void keysThatTypeNothingLeaveTheFilteredFields_data();
    void keysThatTypeNothingLeaveTheFilteredFields();
    void blankCannotBeTypedIntoSymbols();
    void showOptionsOpensOnRememberedPage();
    void focusStaysOnTheListPage_data();
    void focusStaysOnTheListPage();
    void browseAndWebButtons();
    void accountFieldSelectedOnFocus();
    void passwordInTheKeyringNeedsNoRetyping();
    void signInKindReachesTheAccount_data();
    void signInKindReachesTheAccount();
    void serverProposesSignIn();
};

void tst_OptionsDialog::okSavesEachPageAndCancelNothing_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("accounts: server") << u"txtPOPServer"_s << u"type:mail.example.org"_s << u"Account"_s
                                      << u"POPServer"_s << u"mail.example.org"_s;
    QTest::newRow("accounts: connection")
        << u"optModemUser"_s << u"click"_s << u"Account"_s << u"ConnectionType"_s << u"1"_s;
    QTest::newRow("general: name") << u"txtUserName"_s << u"type:Bea"_s << u"Account"_s << u"UserName"_s
                                   << u"Bea"_s;
    QTest::newRow("general: notification")
        << u"chkNotification"_s << u"click"_s << u"General"_s << u"DesktopNotification"_s << u"No"_s;
    QTest::newRow("general: clock") << u"cboSayTimeEvery"_s << u"choose:15 Minutes"_s << u"General"_s
                                    << u"SayTimeEvery"_s << u"3"_s;
    QTest::newRow("character: behaviour")
        << u"cboBehavior"_s << u"choose:Character Is Silent"_s << u"Character"_s << u"Behavior"_s << u"3"_s;
    QTest::newRow("character: animation")
        << u"chkFast"_s << u"click"_s << u"Character"_s << u"Fast"_s << u"No"_s;
    QTest::newRow("what to say: lines")
        << u"cboLines"_s << u"choose:5"_s << u"General"_s << u"MessageLines"_s << u"5"_s;
    QTest::newRow("what to say: prefix") << u"txtMessagePrefix"_s << u"type:Mail from"_s << u"General"_s
                                         << u"MessagePrefix"_s << u"Mail from"_s;
    QTest::newRow("rules: only matching")
        << u"chkSpecifySenders"_s << u"click"_s << u"General"_s << u"SpecifySenders"_s << u"Yes"_s;
}

void tst_OptionsDialog::okSavesEachPageAndCancelNothing()
{
    QFETCH(QString, control);
    QFETCH(QString, action);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);

    for (const bool ok : {false, true}) {
        OptionsFixture f;
        const QByteArray before = f.iniBytes();
        OptionsDialog dlg(*f.services);
        dlg.Init();
        dlg.show();
        act(dlg, control, action);
        if (QTest::currentTestFailed()) return;
        (ok ? child<QPushButton>(&dlg, u"cmdOK"_s) : child<QPushButton>(&dlg, u"cmdCancel"_s))->click();
        QVERIFY(!dlg.isVisible());
        if (ok) {
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(f.ini(section, key), value);
        } else {
            QCOMPARE(f.iniBytes(), before);
            QVERIFY(!f.fileExists(u"Welcome.txt"_s));
        }
    }
}

void tst_OptionsDialog::editorsReachTheirFilesOnOkOnly_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel") << false;
}

void tst_OptionsDialog::editorsReachTheirFilesOnOkOnly()
{
    QFETCH(bool, ok);
    OptionsFixture f;
    f.filters = {Filter{u">"_s, 0}};
    OptionsDialog dlg(*f.services);
    dlg.Init();
    dlg.show();
    child<QTabWidget>(&dlg, u"tabOptions"_s)->setCurrentWidget(child<OptionsListPage>(&dlg, u"pageRules"_s));

    bool flagWhileEditing = false;
    WhenModal(u"frmAddEditRule"_s, [&](QWidget* w) {
        auto* editor = static_cast<RuleDialog*>(w);
        flagWhileEditing = (QApplication::activeModalWidget() != nullptr);
        QCOMPARE(editor->windowTitle(), u"Add Rule"_s);
        QTest::keyClicks(child<QLineEdit>(editor, u"txtName"_s), u"boss@example.com"_s);
        child<QPushButton>(editor, u"cmdOK"_s)->click();
    });
    child<QPushButton>(child<OptionsListPage>(&dlg, u"pageRules"_s), u"cmdAddRule"_s)->click();
    QVERIFY(flagWhileEditing);
    QVERIFY(!(QApplication::activeModalWidget() != nullptr));
    QCOMPARE(child<QListWidget>(child<OptionsListPage>(&dlg, u"pageRules"_s), u"lstRules"_s)->count(), 1);
    QCOMPARE(child<QListWidget>(child<OptionsListPage>(&dlg, u"pageRules"_s), u"lstRules"_s)->item(0)->text(),
             u"Look for \"boss@example.com\" in sender's name or E-mail address."_s);

    // Editing works on the rule in the list; its caption names it.
    WhenModal(u"frmAddEditRule"_s, [&](QWidget* w) {
        auto* editor = static_cast<RuleDialog*>(w);
        QCOMPARE(editor->windowTitle(), u"Edit Rule for boss@example.com"_s);
        child<QRadioButton>(editor, u"optSayNothing"_s)->click();
        child<QPushButton>(editor, u"cmdOK"_s)->click();
    });
    child<QPushButton>(child<OptionsListPage>(&dlg, u"pageRules"_s), u"cmdEditRule"_s)->click();
    QCOMPARE(f.rules.size(), 1);
    QCOMPARE(f.rules[0].m_WhatToSay, u"Nothing"_s);

    child<QTabWidget>(&dlg, u"tabOptions"_s)
        ->setCurrentWidget(child<OptionsListPage>(&dlg, u"pageFilters"_s));
    child<QListWidget>(child<OptionsListPage>(&dlg, u"pageFilters"_s), u"lstFilters"_s)->setCurrentRow(0);
    child<QPushButton>(child<OptionsListPage>(&dlg, u"pageFilters"_s), u"cmdRemoveFilter"_s)->click();
    WhenModal(u"frmAddEditFilter"_s, [&](QWidget* w) {
        auto* editor = static_cast<FilterDialog*>(w);
        QCOMPARE(editor->windowTitle(), u"Add Filter"_s);
        child<QComboBox>(editor, u"cboFilterType"_s)->setCurrentIndex(1);
        QTest::keyClicks(child<QLineEdit>(editor, u"txtName"_s), u"-----"_s);
        child<QPushButton>(editor, u"cmdOK"_s)->click();
    });
    child<QPushButton>(child<OptionsListPage>(&dlg, u"pageFilters"_s), u"cmdAddFilter"_s)->click();
    QCOMPARE(child<QListWidget>(child<OptionsListPage>(&dlg, u"pageFilters"_s), u"lstFilters"_s)->count(), 1);
    QCOMPARE(
        child<QListWidget>(child<OptionsListPage>(&dlg, u"pageFilters"_s), u"lstFilters"_s)->item(0)->text(),
        u"Read message until you reach \"-----\"."_s);

    (ok ? child<QPushButton>(&dlg, u"cmdOK"_s) : child<QPushButton>(&dlg, u"cmdCancel"_s))->click();
    // What the editors changed stays in memory either way.
    QCOMPARE(f.rules.size(), 1);
    QCOMPARE(f.filters.size(), 1);
    QCOMPARE(f.fileExists(u"Rules.INI"_s), ok);
    QCOMPARE(f.fileExists(u"Filters.INI"_s), ok);
    if (ok) {
        QCOMPARE(LoadRules().value(0).m_Name, u"boss@example.com"_s);
        QCOMPARE(LoadRules().value(0).m_WhatToSay, u"Nothing"_s);
        QCOMPARE(LoadFilters().size(), 1);
        QCOMPARE(LoadFilters().value(0).m_Name, u"-----"_s);
    }
}

void tst_OptionsDialog::accountsAddedAndRemovedRenumber()
{
    OptionsFixture f(threeAccounts);
    OptionsDialog dlg(*f.services);
    dlg.Init();
    dlg.show();
    OptionsAccountsPage& page = *child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s);
    QCOMPARE(entries(child<QTreeWidget>(&page, u"lstAccounts"_s)),
             (QStringList{u"Default Account"_s, u"Account 2"_s, u"Account 3"_s}));
    QCOMPARE(child<QLineEdit>(&page, u"txtPOPServer"_s)->text(), u"one.test"_s);
    QVERIFY(!child<QPushButton>(&page, u"cmdRemoveAccount"_s)->isEnabled());

    child<QTreeWidget>(&page, u"lstAccounts"_s)
        ->setCurrentItem(child<QTreeWidget>(&page, u"lstAccounts"_s)->topLevelItem(1));
    QCOMPARE(child<QLineEdit>(&page, u"txtPOPServer"_s)->text(), u"two.test"_s);
    QVERIFY(child<QPushButton>(&page, u"cmdRemoveAccount"_s)->isEnabled());
    child<QPushButton>(&page, u"cmdRemoveAccount"_s)->click();
    // The account behind moves up and shows under the name it is saved with.
    QCOMPARE(entries(child<QTreeWidget>(&page, u"lstAccounts"_s)),
             (QStringList{u"Default Account"_s, u"Account 2"_s}));
    QCOMPARE(child<QTreeWidget>(&page, u"lstAccounts"_s)
                 ->indexOfTopLevelItem(child<QTreeWidget>(&page, u"lstAccounts"_s)->currentItem()),
             1);
    QCOMPARE(child<QLineEdit>(&page, u"txtPOPServer"_s)->text(), u"three.test"_s);

    // A new account starts empty, although the section it will be saved in
    // still holds the account that moved up.
    child<QPushButton>(&page, u"cmdAddAccount"_s)->click();
    QCOMPARE(entries(child<QTreeWidget>(&page, u"lstAccounts"_s)),
             (QStringList{u"Default Account"_s, u"Account 2"_s, u"Account 3"_s}));
    QCOMPARE(child<QLineEdit>(&page, u"txtPOPServer"_s)->text(), QString());
    QCOMPARE(child<QLineEdit>(&page, u"txtAccountName"_s)->text(), QString());
    QCOMPARE(child<QLineEdit>(&page, u"txtPassword"_s)->text(), QString());
    QCOMPARE(child<QLineEdit>(&page, u"txtCheckInterval"_s)->text(), u"3"_s);
    QCOMPARE(child<QLineEdit>(&page, u"txtPort"_s)->text(), u"110"_s);
    retype(child<QLineEdit>(&page, u"txtPOPServer"_s), u"four.test"_s);
    retype(child<QLineEdit>(&page, u"txtAccountName"_s), u"four"_s);
    // The program's accounts are the saved ones until OK.
    QCOMPARE(f.accounts.size(), 3);
    QCOMPARE(f.accounts[1]->m_PopServer, u"two.test"_s);

    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QVERIFY(!dlg.isVisible());
    QCOMPARE(f.accounts.size(), 3);
    QCOMPARE(f.accounts[1]->m_PopServer, u"three.test"_s);
    QCOMPARE(f.accounts[2]->m_PopServer, u"four.test"_s);
    QCOMPARE(f.accounts[2]->m_AccountID, u"Account 3"_s);
    QVERIFY(!f.accounts[2]->HasPassword());
    QCOMPARE(f.ini(u"General"_s, u"NoOfAccounts"_s), u"3"_s);
    QCOMPARE(f.ini(u"Account"_s, u"POPServer"_s), u"one.test"_s);
    QCOMPARE(f.ini(u"Account 2"_s, u"POPServer"_s), u"three.test"_s);
    QCOMPARE(f.ini(u"Account 2"_s, u"AccountName"_s), u"three"_s);
    QCOMPARE(f.ini(u"Account 3"_s, u"POPServer"_s), u"four.test"_s);
    QCOMPARE(f.ini(u"Account 3"_s, u"AccountName"_s), u"four"_s);
    // Nothing of the account that moved up stays with the new one.
    QCOMPARE(f.ini(u"Account 3"_s, u"Password"_s), QString());
    QCOMPARE(f.ini(u"Account 3"_s, u"NoOfMessages"_s), u"0"_s);
}

void tst_OptionsDialog::oneAccountCannotBeRemoved()
{
    OptionsFixture f;
    OptionsDialog dlg(*f.services);
    dlg.Init();
    OptionsAccountsPage& page = *child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s);
    QCOMPARE(entries(child<QTreeWidget>(&page, u"lstAccounts"_s)), QStringList{u"Default Account"_s});
    QVERIFY(!child<QPushButton>(&page, u"cmdRemoveAccount"_s)->isEnabled());
    child<QPushButton>(&page, u"cmdRemoveAccount"_s)->click();
    QCOMPARE(f.accounts.size(), 1);

    // A section that does not exist gives the defaults, and the new account
    // travels encrypted.
    child<QPushButton>(&page, u"cmdAddAccount"_s)->click();
    QCOMPARE(entries(child<QTreeWidget>(&page, u"lstAccounts"_s)),
             (QStringList{u"Default Account"_s, u"Account 2"_s}));
    QCOMPARE(child<QLineEdit>(&page, u"txtPOPServer"_s)->text(), QString());
    QCOMPARE(child<QLineEdit>(&page, u"txtCheckInterval"_s)->text(), u"3"_s);
    QCOMPARE(child<QLineEdit>(&page, u"txtPort"_s)->text(), u"110"_s);
    QCOMPARE(child<QComboBox>(&page, u"cboSecurity"_s)->currentText(), u"STARTTLS"_s);
    QVERIFY(child<QPushButton>(&page, u"cmdRemoveAccount"_s)->isEnabled());
    child<QTreeWidget>(&page, u"lstAccounts"_s)
        ->setCurrentItem(child<QTreeWidget>(&page, u"lstAccounts"_s)->topLevelItem(0));
    QVERIFY(!child<QPushButton>(&page, u"cmdRemoveAccount"_s)->isEnabled());
    child<QTreeWidget>(&page, u"lstAccounts"_s)
        ->setCurrentItem(child<QTreeWidget>(&page, u"lstAccounts"_s)->topLevelItem(1));
    child<QPushButton>(&page, u"cmdRemoveAccount"_s)->click();
    QCOMPARE(entries(child<QTreeWidget>(&page, u"lstAccounts"_s)), QStringList{u"Default Account"_s});
    QVERIFY(!child<QPushButton>(&page, u"cmdRemoveAccount"_s)->isEnabled());
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QCOMPARE(f.accounts.size(), 1);
}

void tst_OptionsDialog::okStopsOnMissingAccountSettings_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("dontCheck");
    QTest::addColumn<QString>("message");
    QTest::newRow("server")
        << u"txtPOPServer"_s << false
        << u"Your Incoming mail server address was not specified.\r\nPlease fill in the Incoming "
           u"mail server in the options screen."_s;
    QTest::newRow("account name")
        << u"txtAccountName"_s << false
        << u"Your account name is not specified.\r\nPlease fill in your account name in "
           u"the options screen"_s;
    QTest::newRow("password")
        << u"txtPassword"_s << false
        << u"Your password is not specified.\r\nPlease fill in your password in the options "
           u"screen."_s;
    QTest::newRow("checking off") << u"txtPOPServer"_s << true << QString();
}

void tst_OptionsDialog::okStopsOnMissingAccountSettings()
{
    QFETCH(QString, field);
    QFETCH(bool, dontCheck);
    QFETCH(QString, message);
    OptionsFixture f;
    f.settings->m_DontCheck = dontCheck;
    const QByteArray before = f.iniBytes();
    OptionsDialog dlg(*f.services);
    dlg.Init();
    dlg.show();
    auto* edit = dlg.findChild<QLineEdit*>(field);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QString());
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    if (message.isEmpty()) {
        QVERIFY(!dlg.isVisible());
        QVERIFY(f.shown.isEmpty());
        QCOMPARE(f.ini(u"Account"_s, u"POPServer"_s), QString());
        return;
    }
    QVERIFY(dlg.isVisible());
    QCOMPARE(f.shown.size(), 1);
    QCOMPARE(f.shown[0].text, message);
    QVERIFY(!f.shown[0].sayIt);
    QCOMPARE(f.iniBytes(), before);
}

void tst_OptionsDialog::autoStartFollowsTheBox()
{
    OptionsFixture f;
    QVERIFY(!IsAutoStartEnabled());
    for (const bool on : {true, false}) {
        OptionsDialog dlg(*f.services);
        dlg.Init();
        QCOMPARE(dlg.InitialAutoStart, !on);
        QCOMPARE(child<QCheckBox>(child<OptionsGeneralPage>(&dlg, u"pageGeneral"_s), u"chkAutoStart"_s)
                     ->isChecked(),
                 !on);
        QCOMPARE(
            child<QCheckBox>(child<OptionsGeneralPage>(&dlg, u"pageGeneral"_s), u"chkAutoStart"_s)->text(),
            u"Start Orvella in the s&ystem tray when I log in"_s);
        child<QCheckBox>(child<OptionsGeneralPage>(&dlg, u"pageGeneral"_s), u"chkAutoStart"_s)->click();
        child<QPushButton>(&dlg, u"cmdOK"_s)->click();
        QCOMPARE(IsAutoStartEnabled(), on);
    }
}

void tst_OptionsDialog::linesAboveHundredShowFifteen()
{
    OptionsFixture f;
    f.settings->m_Lines = 101;
    f.settings->m_SayFirstLine = false;
    OptionsDialog dlg(*f.services);
    dlg.Init();
    OptionsWhatToSayPage& page = *child<OptionsWhatToSayPage>(&dlg, u"pageWhatToSay"_s);
    QCOMPARE(child<QComboBox>(&page, u"cboLines"_s)->count(), 101);
    QCOMPARE(child<QComboBox>(&page, u"cboLines"_s)->itemText(0), u"Entire Message"_s);
    QCOMPARE(child<QComboBox>(&page, u"cboLines"_s)->currentText(), u"15"_s);
    QCOMPARE(f.settings->m_Lines, 15);
    QVERIFY(!child<QComboBox>(&page, u"cboLines"_s)->isEnabled());
    child<QCheckBox>(&page, u"chkSayFirstLine"_s)->click();
    QVERIFY(child<QComboBox>(&page, u"cboLines"_s)->isEnabled());
}

// The settings' default font, "MS Sans Serif", is installed on no Linux: it
// keeps its name through OK, and the balloon keeps the system's font.
void tst_OptionsDialog::unknownFontAndSizeFallBack()
{
    if (QFontDatabase::hasFamily(u"MS Sans Serif"_s)) QSKIP("MS Sans Serif is installed here");
    OptionsFixture f;
    f.settings->m_FontName = u"MS Sans Serif"_s;
    f.settings->m_FontSize = 13;
    {
        OptionsDialog dlg(*f.services);
        dlg.Init();
        OptionsCharacterPage& page = *child<OptionsCharacterPage>(&dlg, u"pageCharacter"_s);
        QVERIFY(child<QComboBox>(&page, u"cboFontName"_s)->count() > 0);
        QCOMPARE(child<QComboBox>(&page, u"cboFontName"_s)->currentIndex(), -1);
        QCOMPARE(child<QComboBox>(&page, u"cboFontName"_s)->placeholderText(),
                 u"MS Sans Serif (not installed)"_s);
        QVERIFY(
            child<QComboBox>(&page, u"cboFontName"_s)->accessibleDescription().contains(u"not installed"_s));
        QCOMPARE(child<QComboBox>(&page, u"cboFontSize"_s)->currentText(), u"10"_s);
        child<QPushButton>(&dlg, u"cmdOK"_s)->click();
        QVERIFY(!dlg.isVisible());
    }
    QCOMPARE(f.settings->m_FontName, u"MS Sans Serif"_s);
    QCOMPARE(f.ini(u"Character"_s, u"FontName"_s), u"MS Sans Serif"_s);
    QCOMPARE(f.agent.balloonFontName, u"MS Sans Serif"_s);

    // An installed font, even under a name with its foundry, and a listed
    // size show as they are; OK writes what was stored.
    const QString installed = QFontDatabase::families().constLast();
    const QString family = OptionsCharacterPage::FamilyName(installed);
    f.settings->m_FontName = family + u" [Foundry]"_s;
    f.settings->m_FontSize = 14;
    {
        OptionsDialog dlg(*f.services);
        dlg.Init();
        QCOMPARE(child<QComboBox>(child<OptionsCharacterPage>(&dlg, u"pageCharacter"_s), u"cboFontName"_s)
                     ->currentText(),
                 family);
        QCOMPARE(child<QComboBox>(child<OptionsCharacterPage>(&dlg, u"pageCharacter"_s), u"cboFontName"_s)
                     ->placeholderText(),
                 QString());
        QCOMPARE(child<QComboBox>(child<OptionsCharacterPage>(&dlg, u"pageCharacter"_s), u"cboFontSize"_s)
                     ->currentText(),
                 u"14"_s);
        child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    }
    QCOMPARE(f.ini(u"Character"_s, u"FontName"_s), family + u" [Foundry]"_s);

    // A font the user chooses is written.
    OptionsDialog dlg(*f.services);
    dlg.Init();
    dlg.show();
    const QString chosen =
        child<QComboBox>(child<OptionsCharacterPage>(&dlg, u"pageCharacter"_s), u"cboFontName"_s)
            ->itemText(0);
    Choose(child<QComboBox>(child<OptionsCharacterPage>(&dlg, u"pageCharacter"_s), u"cboFontName"_s), chosen);
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QCOMPARE(f.ini(u"Character"_s, u"FontName"_s), chosen);
}

void tst_OptionsDialog::fontFamilies_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("plain names") << QStringList{u"DejaVu Sans"_s, u"Nimbus Roman"_s}
                                 << QStringList{u"DejaVu Sans"_s, u"Nimbus Roman"_s};
    QTest::newRow("one family of two foundries")
        << QStringList{u"C059 [UKWN]"_s, u"C059 [URW]"_s, u"D050000L"_s}
        << QStringList{u"C059"_s, u"D050000L"_s};
    QTest::newRow("a name in another letter case")
        << QStringList{u"Noto Sans"_s, u"noto sans"_s} << QStringList{u"Noto Sans"_s};
    QTest::newRow("brackets that are the name") << QStringList{u"[x]"_s} << QStringList{u"[x]"_s};
    QTest::newRow("nothing installed") << QStringList{} << QStringList{};
}

void tst_OptionsDialog::fontFamilies()
{
    QFETCH(QStringList, installed);
    QTEST(OptionsCharacterPage::FontFamilies(installed), "listed");
}

// What the dialog lists on this system: every family once, none with a foundry.
void tst_OptionsDialog::fontListNamesEachFamilyOnce()
{
    OptionsFixture f;
    OptionsDialog dlg(*f.services);
    dlg.Init();
    QComboBox* list =
        child<QComboBox>(child<OptionsCharacterPage>(&dlg, u"pageCharacter"_s), u"cboFontName"_s);
    QSet<QString> seen;
    for (int i = 0; i < list->count(); ++i) {
        const QString name = list->itemText(i);
        QVERIFY2(!name.endsWith(u']'), qPrintable(name));
        QVERIFY2(!seen.contains(name.toCaseFolded()), qPrintable(name));
        seen.insert(name.toCaseFolded());
    }
    QCOMPARE(list->currentText(), u"DejaVu Sans"_s);
}

void tst_OptionsDialog::characterFilesListedOnce()
{
    OptionsFixture f;
    OptionsDialog dlg(*f.services);
    dlg.Init();
    QComboBox* list =
        child<QComboBox>(child<OptionsCharacterPage>(&dlg, u"pageCharacter"_s), u"cboCharacter"_s);
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->itemText(i);
    QCOMPARE(names, (QStringList{u"other.acs"_s, u"vela.acs"_s, u"third.acs"_s}));
    QCOMPARE(list->currentText(), u"vela.acs"_s);
    QCOMPARE(dlg.LoadedCharacter, u"vela.acs"_s);
    QCOMPARE(child<QLabel>(child<OptionsCharacterPage>(&dlg, u"pageCharacter"_s), u"lblCharacterMessage"_s)
                 ->text(),
             u"To add more characters, go to our web site by clicking the download button above."_s);
}

void tst_OptionsDialog::numericFieldsTakeDigitsOnly_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("stored");
    QTest::newRow("interval: letters dropped") << u"txtCheckInterval"_s << u"1a-5.x"_s << u"15"_s << 15;
    QTest::newRow("interval: three digits at most") << u"txtCheckInterval"_s << u"12345"_s << u"123"_s << 123;
    QTest::newRow("port: letters dropped") << u"txtPort"_s << u"9o9 5"_s << u"995"_s << 995;
    QTest::newRow("port: backspace works") << u"txtPort"_s << u"1100\b"_s << u"110"_s << 110;
    QTest::newRow("port: emptied") << u"txtPort"_s << u"x\b"_s << QString() << 0;
}

void tst_OptionsDialog::numericFieldsTakeDigitsOnly()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, stored);
    OptionsFixture f;
    OptionsDialog dlg(*f.services);
    dlg.Init();
    dlg.show();
    auto* edit = dlg.findChild<QLineEdit*>(field);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    for (QChar c : typed) {
        if (c == u'\b')
            QTest::keyClick(edit, Qt::Key_Backspace);
        else
            QTest::keyClicks(edit, QString(c));
    }
    QCOMPARE(edit->text(), shown);
    // Pasted text holding anything but digits is refused whole.
    edit->insert(u"b7"_s);
    QCOMPARE(edit->text(), shown);
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    // A number that cannot work keeps the dialog open (0 in the table).
    QCOMPARE(dlg.isVisible(), stored == 0);
    const Account& account = *f.accounts.first();
    QCOMPARE(field == u"txtPort"_s ? account.m_Port : account.m_CheckInterval,
             stored == 0 ? (field == u"txtPort"_s ? 110 : 3) : stored);
}

void tst_OptionsDialog::numberFieldsRefuseWhatCannotWork_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    const QString port = u"Type a port number from 1 to 65535."_s;
    const QString interval = u"Type a number of minutes, 1 or more."_s;
    QTest::newRow("port above 65535") << u"txtPort"_s << u"99999"_s << port;
    QTest::newRow("port 0") << u"txtPort"_s << u"0"_s << port;
    QTest::newRow("port empty") << u"txtPort"_s << QString() << port;
    QTest::newRow("interval empty") << u"txtCheckInterval"_s << QString() << interval;
    QTest::newRow("interval 0") << u"txtCheckInterval"_s << u"000"_s << interval;
}

// A number that cannot work, in an account that is not showing: OK shows
// that account, the message beside the field and the focus in it, and saves
// nothing; a number that works takes the message away.
void tst_OptionsDialog::numberFieldsRefuseWhatCannotWork()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    OptionsFixture f(threeAccounts);
    const QByteArray before = f.iniBytes();
    OptionsDialog dlg(*f.services);
    dlg.Init();
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    OptionsAccountsPage& page = *child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s);
    auto* edit = dlg.findChild<QLineEdit*>(field);
    QLabel* label = field == u"txtPort"_s ? child<QLabel>(&page, u"lblPortMessage"_s)
                                          : child<QLabel>(&page, u"lblIntervalMessage"_s);
    child<QTreeWidget>(&page, u"lstAccounts"_s)
        ->setCurrentItem(child<QTreeWidget>(&page, u"lstAccounts"_s)->topLevelItem(1));
    retype(edit, typed);
    QVERIFY(label->isVisible());
    child<QTreeWidget>(&page, u"lstAccounts"_s)
        ->setCurrentItem(child<QTreeWidget>(&page, u"lstAccounts"_s)->topLevelItem(0));
    QVERIFY(!label->isVisible());
    child<QTabWidget>(&dlg, u"tabOptions"_s)
        ->setCurrentWidget(child<OptionsGeneralPage>(&dlg, u"pageGeneral"_s));

    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QVERIFY(dlg.isVisible());
    QCOMPARE(child<QTabWidget>(&dlg, u"tabOptions"_s)->currentWidget(),
             child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s));
    QCOMPARE(child<QTreeWidget>(&page, u"lstAccounts"_s)
                 ->indexOfTopLevelItem(child<QTreeWidget>(&page, u"lstAccounts"_s)->currentItem()),
             1);
    QCOMPARE(edit->text(), typed);
    QTRY_VERIFY(edit->hasFocus());
    QVERIFY(label->isVisible());
    QCOMPARE(label->text(), message);
    // What a screen reader finds: the message by its name, and with the field.
    QCOMPARE(QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name), message);
    QVERIFY2(QAccessible::queryAccessibleInterface(edit)->text(QAccessible::Description).contains(message),
             qPrintable(edit->accessibleDescription()));
    QCOMPARE(f.iniBytes(), before);
    QCOMPARE(f.accounts[1]->m_Port, 110);
    QCOMPARE(f.accounts[1]->m_CheckInterval, 3);

    retype(edit, u"7"_s);
    QVERIFY(!label->isVisible());
    QVERIFY(!edit->accessibleDescription().contains(message));
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QVERIFY(!dlg.isVisible());
    QCOMPARE(f.ini(u"Account 2"_s, field == u"txtPort"_s ? u"Port"_s : u"CheckInterval"_s), u"7"_s);
}

// A check while the dialog is open goes to the saved server, never to one
// being typed; after OK, to the new one. Cancel leaves the accounts alone.
void tst_OptionsDialog::checksUseTheSavedAccountsUntilOK()
{
    OptionsFixture f;
    QStringList statuses;
    MailCheckCycle& cycle = *f.cycle();
    connect(&cycle, &MailCheckCycle::statusText, this, [&](const QString& text) { statuses << text; });
    cycle.setStepDelay([](int) { return 0; });
    cycle.setClientFactory([] {
        auto transport = std::make_unique<Pop3ScriptedTransport>();
        transport->refuseConnection(u"refused"_s);
        return std::make_unique<Pop3Client>(std::move(transport));
    });
    const auto check = [&] {
        statuses.clear();
        QSignalSpy finished(&cycle, &MailCheckCycle::finished);
        cycle.CheckAllMailServers();
        return finished.wait(20000);
    };

    for (const bool ok : {false, true}) {
        OptionsDialog dlg(*f.services);
        dlg.Init();
        dlg.show();
        OptionsAccountsPage& page = *child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s);
        retype(child<QLineEdit>(&page, u"txtPOPServer"_s), u"half.typ"_s);
        retype(child<QLineEdit>(&page, u"txtPassword"_s), u"typed"_s);
        QVERIFY(check());
        QVERIFY2(statuses.contains(u"Connecting to pop.test"_s), qPrintable(statuses.join(u"; "_s)));
        QVERIFY(!statuses.join(u"; "_s).contains(u"half.typ"_s));
        QCOMPARE(f.accounts[0]->m_Password, u"abc"_s);
        (ok ? child<QPushButton>(&dlg, u"cmdOK"_s) : child<QPushButton>(&dlg, u"cmdCancel"_s))->click();
        QCOMPARE(f.accounts[0]->m_PopServer, ok ? u"half.typ"_s : u"pop.test"_s);
        QCOMPARE(f.accounts[0]->m_Password, ok ? u"typed"_s : u"abc"_s);
    }
    QVERIFY(check());
    QVERIFY2(statuses.contains(u"Connecting to half.typ"_s), qPrintable(statuses.join(u"; "_s)));
}

void tst_OptionsDialog::keysThatTypeNothingLeaveTheFilteredFields_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("closes");
    QTest::newRow("interval: Tab moves on") << u"txtCheckInterval"_s << int(Qt::Key_Tab) << false;
    QTest::newRow("port: Tab moves on") << u"txtPort"_s << int(Qt::Key_Tab) << false;
    QTest::newRow("port: Shift+Tab moves back") << u"txtPort"_s << int(Qt::Key_Backtab) << false;
    QTest::newRow("symbols: Tab moves on") << u"txtFilteredSymbols"_s << int(Qt::Key_Tab) << false;
    QTest::newRow("interval: Escape cancels") << u"txtCheckInterval"_s << int(Qt::Key_Escape) << true;
    QTest::newRow("port: Return presses OK") << u"txtPort"_s << int(Qt::Key_Return) << true;
}

void tst_OptionsDialog::keysThatTypeNothingLeaveTheFilteredFields()
{
    // A keyboard user must be able to leave a field that takes digits only.
    QFETCH(QString, field);
    QFETCH(int, key);
    QFETCH(bool, closes);
    OptionsFixture f;
    OptionsDialog dlg(*f.services);
    dlg.Init();
    auto* edit = dlg.findChild<QLineEdit*>(field);
    for (int i = 0; i < child<QTabWidget>(&dlg, u"tabOptions"_s)->count(); ++i)
        if (child<QTabWidget>(&dlg, u"tabOptions"_s)->widget(i)->isAncestorOf(edit))
            child<QTabWidget>(&dlg, u"tabOptions"_s)->setCurrentIndex(i);
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    const QString before = edit->text();
    QTest::keyClick(edit, Qt::Key(key), key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
    QCOMPARE(edit->text(), before);
    if (closes)
        QTRY_VERIFY(!dlg.isVisible());
    else
        QTRY_VERIFY(!edit->hasFocus());
}

void tst_OptionsDialog::blankCannotBeTypedIntoSymbols()
{
    OptionsFixture f;
    OptionsDialog dlg(*f.services);
    dlg.Init();
    QLineEdit* symbols =
        child<QLineEdit>(child<OptionsWhatToSayPage>(&dlg, u"pageWhatToSay"_s), u"txtFilteredSymbols"_s);
    QCOMPARE(symbols->text(), u"<>*~_="_s);
    symbols->setFocus();
    symbols->end(false);
    QTest::keyClicks(symbols, u" # "_s);
    QCOMPARE(symbols->text(), u"<>*~_=#"_s);
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QCOMPARE(f.ini(u"General"_s, u"FilteredSymbols"_s), u"<>*~_=#"_s);
}

void tst_OptionsDialog::focusStaysOnTheListPage_data()
{
    QTest::addColumn<bool>("rules"); // else the filters
    QTest::newRow("rules") << true;
    QTest::newRow("filters") << false;
}

// Remove pressed from the keyboard keeps the focus on Remove while entries
// are left and then hands it to the list; a further Space changes nothing
// else (it once ticked "Read only messages..." or pressed the dialog's OK).
// Back from an editor, the focus is where it was.
void tst_OptionsDialog::focusStaysOnTheListPage()
{
    QFETCH(bool, rules);
    OptionsFixture f;
    Rule one, two;
    one.m_Name = u"one@example.org"_s;
    two.m_Name = u"two@example.org"_s;
    f.rules = {one, two};
    f.filters = {Filter{u">"_s, 0}, Filter{u"-- "_s, 1}};
    OptionsDialog dlg(*f.services);
    dlg.Init();
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QListWidget* list =
        rules ? child<QListWidget>(child<OptionsListPage>(&dlg, u"pageRules"_s), u"lstRules"_s)
              : child<QListWidget>(child<OptionsListPage>(&dlg, u"pageFilters"_s), u"lstFilters"_s);
    QPushButton* add =
        rules ? child<QPushButton>(child<OptionsListPage>(&dlg, u"pageRules"_s), u"cmdAddRule"_s)
              : child<QPushButton>(child<OptionsListPage>(&dlg, u"pageFilters"_s), u"cmdAddFilter"_s);
    QPushButton* edit =
        rules ? child<QPushButton>(child<OptionsListPage>(&dlg, u"pageRules"_s), u"cmdEditRule"_s)
              : child<QPushButton>(child<OptionsListPage>(&dlg, u"pageFilters"_s), u"cmdEditFilter"_s);
    QPushButton* remove =
        rules ? child<QPushButton>(child<OptionsListPage>(&dlg, u"pageRules"_s), u"cmdRemoveRule"_s)
              : child<QPushButton>(child<OptionsListPage>(&dlg, u"pageFilters"_s), u"cmdRemoveFilter"_s);
    child<QTabWidget>(&dlg, u"tabOptions"_s)
        ->setCurrentWidget(rules ? static_cast<QWidget*>(child<OptionsListPage>(&dlg, u"pageRules"_s))
                                 : child<OptionsListPage>(&dlg, u"pageFilters"_s));
    const QString editor = rules ? u"frmAddEditRule"_s : u"frmAddEditFilter"_s;
    auto okEditor = [&](QWidget* w) {
        auto* field = w->findChild<QLineEdit*>(u"txtName"_s);
        if (field->text().isEmpty()) QTest::keyClicks(field, u"three"_s);
        w->findChild<QPushButton*>(u"cmdOK"_s)->click();
    };

    // Back from the editor, opened with Edit and with Add.
    list->setCurrentRow(0);
    edit->setFocus();
    WhenModal(editor, okEditor);
    QTest::keyClick(edit, Qt::Key_Space);
    QCOMPARE(dlg.focusWidget(), edit);
    add->setFocus();
    WhenModal(editor, okEditor);
    QTest::keyClick(add, Qt::Key_Space);
    QCOMPARE(dlg.focusWidget(), add);
    QCOMPARE(list->count(), 3);

    list->setCurrentRow(0);
    remove->setFocus();
    for (int left = 2; left >= 1; --left) {
        QTest::keyClick(dlg.focusWidget(), Qt::Key_Space);
        QCOMPARE(list->count(), left);
        QCOMPARE(dlg.focusWidget(), remove);
    }
    QTest::keyClick(dlg.focusWidget(), Qt::Key_Space);
    QCOMPARE(list->count(), 0);
    QCOMPARE(dlg.focusWidget(), list);
    QTest::keyClick(dlg.focusWidget(), Qt::Key_Space);
    QVERIFY(dlg.isVisible());
    QVERIFY(
        !child<QCheckBox>(child<OptionsListPage>(&dlg, u"pageRules"_s), u"chkSpecifySenders"_s)->isChecked());
    QCOMPARE((rules ? f.rules.size() : f.filters.size()), 0);
    QCOMPARE((rules ? f.filters.size() : f.rules.size()), 2);
}

void tst_OptionsDialog::showOptionsOpensOnRememberedPage()
{
    OptionsFixture f;
    bool commandsUpdated = false;
    f.services->updateMessageCommands = [&] { commandsUpdated = true; };
    bool sawIt = false;
    WhenModal(u"frmOptions"_s, [&](QWidget* w) {
        auto* dlg = static_cast<OptionsDialog*>(w);
        sawIt = child<QTabWidget>(dlg, u"tabOptions"_s)->currentIndex() == 3 &&
                (QApplication::activeModalWidget() != nullptr) && !f.agent.commandEnabled(u"Options"_s) &&
                dlg->windowTitle() == u"Options"_s;
        child<QTabWidget>(dlg, u"tabOptions"_s)->setCurrentIndex(2);
        child<QPushButton>(dlg, u"cmdOK"_s)->click();
    });
    OptionsDialog::ShowOptions(*f.services, 3, nullptr);
    QVERIFY(sawIt);
    QCOMPARE(f.rememberedTab, 2);
    QVERIFY(!(QApplication::activeModalWidget() != nullptr));
    QVERIFY(commandsUpdated);
    QVERIFY(f.agent.commandEnabled(u"Options"_s));
}

void tst_OptionsDialog::browseAndWebButtons()
{
    OptionsFixture f;
    QStringList opened;
    platform::setShellRecorder(&opened);
    OptionsDialog dlg(*f.services);
    dlg.Init();
    OptionsGeneralPage& page = *child<OptionsGeneralPage>(&dlg, u"pageGeneral"_s);
    Dialogs::queueFileName(u"/usr/bin/thunderbird"_s);
    child<QPushButton>(&page, u"cmdBrowse"_s)->click();
    QCOMPARE(Dialogs::takeAsked().value(0).title, u"Select E-mail Program Path"_s);
    QCOMPARE(child<QLineEdit>(&page, u"txtEMailProgram"_s)->text(), u"/usr/bin/thunderbird"_s);
    // Cancelling the file dialog leaves the path.
    Dialogs::queueFileName(QString());
    child<QPushButton>(&page, u"cmdBrowse"_s)->click();
    QCOMPARE(child<QLineEdit>(&page, u"txtEMailProgram"_s)->text(), u"/usr/bin/thunderbird"_s);

    // The sound browsers fill their field and play the file.
    const QString wav = f.appPath() + u"/Sounds/Clock.wav"_s;
    QDir().mkpath(f.appPath() + u"/Sounds"_s);
    QFile(wav).open(QIODevice::WriteOnly);
    Dialogs::queueFileName(wav);
    child<QPushButton>(&page, u"cmdTimeSoundBrowse"_s)->click();
    QCOMPARE(child<QLineEdit>(&page, u"txtTimeSoundFile"_s)->text(), wav);
    QVERIFY(f.agent.calls.contains(u"SpeakFile("_s + wav + u')'));

    child<QPushButton>(child<OptionsCharacterPage>(&dlg, u"pageCharacter"_s), u"cmdDownload"_s)->click();
    Program().SupportURL = u"https://support.test/orvella"_s;
    child<QPushButton>(&dlg, u"cmdOnlineSupport"_s)->click();
    Program().SupportURL.clear();
    platform::setShellRecorder(nullptr);
    QCOMPARE(opened,
             (QStringList{u"https://orvella.example/orvella/char.htm"_s, u"https://support.test/orvella"_s}));
}

void tst_OptionsDialog::accountFieldSelectedOnFocus()
{
    OptionsFixture f;
    OptionsDialog dlg(*f.services);
    dlg.Init();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QLineEdit* server =
        child<QLineEdit>(child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s), u"txtPOPServer"_s);
    child<QLineEdit>(child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s), u"txtAccountName"_s)->setFocus();
    server->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(server->selectedText(), u"pop.test"_s);
    QTest::keyClicks(server, u"mail.test"_s);
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QCOMPARE(f.accounts.first()->m_PopServer, u"mail.test"_s);
}

// A password kept in the keyring is not read for the dialog: the field stays
// empty and says where the password is, and OK neither asks for it nor
// loses it. What the user types replaces it. (This test reaches no keyring.)
void tst_OptionsDialog::passwordInTheKeyringNeedsNoRetyping()
{
    OptionsFixture f(u"[Account]\nUserName=Ann\nConnectionType=2\nPOPServer=pop.test\nAccountName=ann\n"
                     u"Password=\nKeyringEntry=ann@pop.test\n[Character]\nName=vela.acs\n"_s);
    {
        OptionsDialog dlg(*f.services);
        dlg.Init();
        dlg.show();
        OptionsAccountsPage& page = *child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s);
        QCOMPARE(child<QLineEdit>(&page, u"txtPassword"_s)->text(), QString());
        QCOMPARE(child<QLineEdit>(&page, u"txtPassword"_s)->placeholderText(), u"(kept in the keyring)"_s);
        QVERIFY(child<QLineEdit>(&page, u"txtPassword"_s)->accessibleDescription().contains(u"keyring"_s));
        retype(child<QLineEdit>(&page, u"txtPOPServer"_s), u"pop.test"_s);
        child<QPushButton>(&dlg, u"cmdOK"_s)->click();
        QVERIFY(!dlg.isVisible());
        QVERIFY(f.shown.isEmpty());
        QCOMPARE(f.ini(u"Account"_s, u"Password"_s), QString());
        QCOMPARE(f.ini(u"Account"_s, u"KeyringEntry"_s), u"ann@pop.test"_s);
    }
    OptionsDialog dlg(*f.services);
    dlg.Init();
    dlg.show();
    OptionsAccountsPage& page = *child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s);
    retype(child<QLineEdit>(&page, u"txtPassword"_s), u"abc"_s);
    QCOMPARE(child<QLineEdit>(&page, u"txtPassword"_s)->placeholderText(), u"(kept in the keyring)"_s);
    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QVERIFY(!dlg.isVisible());
    // No keyring here: the new password stays scrambled in the file.
    QCOMPARE(f.ini(u"Account"_s, u"Password"_s), u"679*1372*2079*"_s);
    QCOMPARE(f.accounts[0]->m_Password, u"abc"_s);
}

void tst_OptionsDialog::signInKindReachesTheAccount_data()
{
    QTest::addColumn<QString>("savedKind"); // the account's, with tokens when not Password
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("signIn");
    QTest::addColumn<bool>("okCloses");
    QTest::addColumn<QString>("problem"); // what the last check said of the saved sign-in

    QTest::newRow("password to Microsoft, signed in")
        << u"Password"_s << u"Microsoft"_s << true << true << QString();
    // A password is no sign-in: OK says the account lacks one.
    QTest::newRow("password to Google, not signed in")
        << u"Password"_s << u"Google"_s << false << false << QString();
    QTest::newRow("Microsoft kept, tokens kept")
        << u"Microsoft"_s << u"Microsoft"_s << false << true << QString();
    QTest::newRow("Google signed in anew") << u"Google"_s << u"Google"_s << true << true << QString();
    // The service no longer takes the saved sign-in: the account's page says so until a new one.
    QTest::newRow("Microsoft revoked, signed in anew")
        << u"Microsoft"_s << u"Microsoft"_s << true << true << u"Sign in to bob again: revoked."_s;
}

void tst_OptionsDialog::signInKindReachesTheAccount()
{
    QFETCH(QString, savedKind);
    QFETCH(QString, chosen);
    QFETCH(bool, signIn);
    QFETCH(bool, okCloses);
    QFETCH(QString, problem);
    qputenv("ORVELLA_MS_CLIENT_ID", "test-client");
    qputenv("ORVELLA_GOOGLE_CLIENT_ID", "test-client");
    const QString saved = u"{\"access\":\"saved-token\"}"_s;
    const QString fresh = u"{\"access\":\"fresh-token\"}"_s;

    OptionsFixture f;
    if (savedKind != u"Password"_s) {
        f.accounts[0]->m_SignIn = Account::signInFromText(savedKind);
        f.accounts[0]->m_Password = saved;
        f.accounts[0]->m_SignInProblem = problem;
    }
    OptionsDialog dlg(*f.services);
    dlg.Init();
    dlg.show();
    OptionsAccountsPage& page = *child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s);
    auto* list = child<QComboBox>(&page, u"cboSignIn"_s);
    QCOMPARE(list->currentData().toString(), savedKind);
    Choose(list, list->itemText(list->findData(chosen)));
    auto* password = child<QLineEdit>(&page, u"txtPassword"_s);
    QVERIFY(!password->isEnabled());
    QCOMPARE(password->text(), QString());
    QVERIFY(password->accessibleDescription().startsWith(u"Not used"_s));
    QVERIFY(child<QPushButton>(&page, u"cmdSignIn"_s)->isVisible());
    QCOMPARE(child<QLabel>(&page, u"lblSignInStatus"_s)->text(), savedKind != chosen ? QString()
                                                                 : problem.isEmpty() ? u"Signed in."_s
                                                                                     : problem);
    if (signIn) Q_EMIT page.findChild<SignInRow*>()->signedIn(fresh);
    if (signIn) QCOMPARE(child<QLabel>(&page, u"lblSignInStatus"_s)->text(), u"Signed in."_s);
    for (QLineEdit* field : dlg.findChildren<QLineEdit*>())
        QVERIFY2(!field->text().contains(u"token"_s), qPrintable(field->objectName()));

    child<QPushButton>(&dlg, u"cmdOK"_s)->click();
    QCOMPARE(!dlg.isVisible(), okCloses);
    if (!okCloses) {
        QCOMPARE(f.shown.size(), 1);
        QVERIFY(f.shown[0].text.contains(u"password is not specified"_s));
        QCOMPARE(f.accounts[0]->m_SignIn, Account::SignIn::Password);
        return;
    }
    QCOMPARE(f.accounts[0]->m_SignIn, Account::signInFromText(chosen));
    QCOMPARE(f.accounts[0]->m_Password, signIn ? fresh : saved);
    // A new sign-in settles the old one's problem.
    QCOMPARE(f.accounts[0]->m_SignInProblem, signIn ? QString() : problem);
    QCOMPARE(f.ini(u"Account"_s, u"SignIn"_s), chosen);
    QVERIFY(!QString::fromUtf8(f.iniBytes()).contains(u"token"_s));
}

// A known server typed proposes its sign-in, TLS and 995 until a kind is picked by hand.
void tst_OptionsDialog::serverProposesSignIn()
{
    OptionsFixture f;
    OptionsDialog dlg(*f.services);
    dlg.Init();
    dlg.show();
    OptionsAccountsPage& page = *child<OptionsAccountsPage>(&dlg, u"pageAccounts"_s);
    auto* list = child<QComboBox>(&page, u"cboSignIn"_s);
    Choose(child<QComboBox>(&page, u"cboSecurity"_s), u"STARTTLS"_s);
    retype(child<QLineEdit>(&page, u"txtPort"_s), u"110"_s);
    retype(child<QLineEdit>(&page, u"txtPOPServer"_s), u"outlook.office365.com"_s);
    QCOMPARE(list->currentData().toString(), u"Microsoft"_s);
    QCOMPARE(child<QComboBox>(&page, u"cboSecurity"_s)->currentText(), u"TLS"_s);
    QCOMPARE(child<QLineEdit>(&page, u"txtPort"_s)->text(), u"995"_s);
    QVERIFY(!child<QLabel>(&page, u"lblAppPassword"_s)->isVisible());
    QCOMPARE(child<QLineEdit>(&page, u"txtPOPServer"_s)->text(), u"outlook.office365.com"_s);

    retype(child<QLineEdit>(&page, u"txtPOPServer"_s), u"pop.gmail.com"_s);
    QCOMPARE(list->currentData().toString(), u"Password"_s);
    QVERIFY(child<QLineEdit>(&page, u"txtPassword"_s)->isEnabled());
    // The account's own password comes back with its own kind.
    QCOMPARE(child<QLineEdit>(&page, u"txtPassword"_s)->text(), f.accounts[0]->m_Password);
    QVERIFY(child<QLabel>(&page, u"lblAppPassword"_s)->isVisible());

    Choose(list, list->itemText(list->findData(u"Google"_s)));
    QVERIFY(!child<QLabel>(&page, u"lblAppPassword"_s)->isVisible());
    retype(child<QLineEdit>(&page, u"txtPOPServer"_s), u"outlook.office365.com"_s);
    QCOMPARE(list->currentData().toString(), u"Google"_s);
}

QTEST_MAIN(tst_OptionsDialog)
#include "tst_OptionsDialog.moc"
