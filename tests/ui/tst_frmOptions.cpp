// The options dialog driven through its widgets: what reaches the files on OK
// and not on Cancel, the account list, and the edge cases of filling it.
#include "OptionsFixture.h"

#include "mail/pop/Pop3Client.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "rules/frmAddEditFilter.h"
#include "rules/frmAddEditRule.h"
#include "settings/ModOrvella.h"
#include "settings/Program.h"
#include "support/Pop3ScriptedTransport.h"
#include "ui/OptionsAccountsPage.h"
#include "ui/OptionsCharacterPage.h"
#include "ui/OptionsFiltersPage.h"
#include "ui/OptionsGeneralPage.h"
#include "ui/OptionsRulesPage.h"
#include "ui/OptionsWhatToSayPage.h"
#include "ui/frmOptions.h"

#include <QAbstractButton>
#include <QAccessible>
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
void showPageOf(frmOptions& dlg, QWidget* control)
{
    for (int i = 0; i < dlg.tabOptions->count(); ++i)
        if (dlg.tabOptions->widget(i)->isAncestorOf(control)) dlg.tabOptions->setCurrentIndex(i);
}

void retype(QLineEdit* field, const QString& text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    QTest::keyClicks(field, text);
}

// "type:<text>", "choose:<entry>" or "click".
void act(frmOptions& dlg, const QString& control, const QString& action)
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

class tst_frmOptions : public QObject
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
};

void tst_frmOptions::okSavesEachPageAndCancelNothing_data()
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

void tst_frmOptions::okSavesEachPageAndCancelNothing()
{
    QFETCH(QString, control);
    QFETCH(QString, action);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);

    for (const bool ok : {false, true}) {
        OptionsFixture f;
        const QByteArray before = f.iniBytes();
        frmOptions dlg(*f.services);
        dlg.Init();
        dlg.show();
        act(dlg, control, action);
        if (QTest::currentTestFailed()) return;
        (ok ? dlg.cmdOK : dlg.cmdCancel)->click();
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

void tst_frmOptions::editorsReachTheirFilesOnOkOnly_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel") << false;
}

void tst_frmOptions::editorsReachTheirFilesOnOkOnly()
{
    QFETCH(bool, ok);
    OptionsFixture f;
    f.filters = {CFilter{u">"_s, 0}};
    frmOptions dlg(*f.services);
    dlg.Init();
    dlg.show();
    dlg.tabOptions->setCurrentWidget(dlg.pageRules);

    bool flagWhileEditing = false;
    WhenModal(u"frmAddEditRule"_s, [&](QWidget* w) {
        auto* editor = static_cast<frmAddEditRule*>(w);
        flagWhileEditing = f.modalFlag;
        QCOMPARE(editor->windowTitle(), u"Add Rule"_s);
        QTest::keyClicks(editor->txtName, u"boss@example.com"_s);
        editor->cmdOK->click();
    });
    dlg.pageRules->cmdAddRule->click();
    QVERIFY(flagWhileEditing);
    QVERIFY(!f.modalFlag);
    QCOMPARE(dlg.pageRules->lstRules->count(), 1);
    QCOMPARE(dlg.pageRules->lstRules->item(0)->text(),
             u"Look for \"boss@example.com\" in sender's name or E-mail address."_s);

    // Editing works on the rule in the list; its caption names it.
    WhenModal(u"frmAddEditRule"_s, [&](QWidget* w) {
        auto* editor = static_cast<frmAddEditRule*>(w);
        QCOMPARE(editor->windowTitle(), u"Edit Rule for boss@example.com"_s);
        editor->optSayNothing->click();
        editor->cmdOK->click();
    });
    dlg.pageRules->cmdEditRule->click();
    QCOMPARE(f.rules.size(), 1);
    QCOMPARE(f.rules[0].m_WhatToSay, u"Nothing"_s);

    dlg.tabOptions->setCurrentWidget(dlg.pageFilters);
    dlg.pageFilters->lstFilters->setCurrentRow(0);
    dlg.pageFilters->cmdRemoveFilter->click();
    WhenModal(u"frmAddEditFilter"_s, [&](QWidget* w) {
        auto* editor = static_cast<frmAddEditFilter*>(w);
        QCOMPARE(editor->windowTitle(), u"Add Filter"_s);
        editor->cboFilterType->setCurrentIndex(1);
        QTest::keyClicks(editor->txtName, u"-----"_s);
        editor->cmdOK->click();
    });
    dlg.pageFilters->cmdAddFilter->click();
    QCOMPARE(dlg.pageFilters->lstFilters->count(), 1);
    QCOMPARE(dlg.pageFilters->lstFilters->item(0)->text(), u"Read message until you reach \"-----\"."_s);

    (ok ? dlg.cmdOK : dlg.cmdCancel)->click();
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

void tst_frmOptions::accountsAddedAndRemovedRenumber()
{
    OptionsFixture f(threeAccounts);
    frmOptions dlg(*f.services);
    dlg.Init();
    dlg.show();
    OptionsAccountsPage& page = *dlg.pageAccounts;
    QCOMPARE(entries(page.lstAccounts), (QStringList{u"Default Account"_s, u"Account 2"_s, u"Account 3"_s}));
    QCOMPARE(page.txtPOPServer->text(), u"one.test"_s);
    QVERIFY(!page.cmdRemoveAccount->isEnabled());

    page.lstAccounts->setCurrentItem(page.lstAccounts->topLevelItem(1));
    QCOMPARE(page.txtPOPServer->text(), u"two.test"_s);
    QVERIFY(page.cmdRemoveAccount->isEnabled());
    page.cmdRemoveAccount->click();
    // The account behind moves up and shows under the name it is saved with.
    QCOMPARE(entries(page.lstAccounts), (QStringList{u"Default Account"_s, u"Account 2"_s}));
    QCOMPARE(page.lstAccounts->indexOfTopLevelItem(page.lstAccounts->currentItem()), 1);
    QCOMPARE(page.txtPOPServer->text(), u"three.test"_s);

    // A new account starts empty, although the section it will be saved in
    // still holds the account that moved up.
    page.cmdAddAccount->click();
    QCOMPARE(entries(page.lstAccounts), (QStringList{u"Default Account"_s, u"Account 2"_s, u"Account 3"_s}));
    QCOMPARE(page.txtPOPServer->text(), QString());
    QCOMPARE(page.txtAccountName->text(), QString());
    QCOMPARE(page.txtPassword->text(), QString());
    QCOMPARE(page.txtCheckInterval->text(), u"3"_s);
    QCOMPARE(page.txtPort->text(), u"110"_s);
    retype(page.txtPOPServer, u"four.test"_s);
    retype(page.txtAccountName, u"four"_s);
    // The program's accounts are the saved ones until OK.
    QCOMPARE(f.accounts.size(), 3);
    QCOMPARE(f.accounts[1]->m_PopServer, u"two.test"_s);

    dlg.cmdOK->click();
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

void tst_frmOptions::oneAccountCannotBeRemoved()
{
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    OptionsAccountsPage& page = *dlg.pageAccounts;
    QCOMPARE(entries(page.lstAccounts), QStringList{u"Default Account"_s});
    QVERIFY(!page.cmdRemoveAccount->isEnabled());
    page.cmdRemoveAccount->click();
    QCOMPARE(f.accounts.size(), 1);

    // A section that does not exist gives the defaults, and the new account
    // travels encrypted.
    page.cmdAddAccount->click();
    QCOMPARE(entries(page.lstAccounts), (QStringList{u"Default Account"_s, u"Account 2"_s}));
    QCOMPARE(page.txtPOPServer->text(), QString());
    QCOMPARE(page.txtCheckInterval->text(), u"3"_s);
    QCOMPARE(page.txtPort->text(), u"110"_s);
    QCOMPARE(page.cboSecurity->currentText(), u"STARTTLS"_s);
    QVERIFY(page.cmdRemoveAccount->isEnabled());
    page.lstAccounts->setCurrentItem(page.lstAccounts->topLevelItem(0));
    QVERIFY(!page.cmdRemoveAccount->isEnabled());
    page.lstAccounts->setCurrentItem(page.lstAccounts->topLevelItem(1));
    page.cmdRemoveAccount->click();
    QCOMPARE(entries(page.lstAccounts), QStringList{u"Default Account"_s});
    QVERIFY(!page.cmdRemoveAccount->isEnabled());
    dlg.cmdOK->click();
    QCOMPARE(f.accounts.size(), 1);
}

void tst_frmOptions::okStopsOnMissingAccountSettings_data()
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

void tst_frmOptions::okStopsOnMissingAccountSettings()
{
    QFETCH(QString, field);
    QFETCH(bool, dontCheck);
    QFETCH(QString, message);
    OptionsFixture f;
    f.settings->m_DontCheck = dontCheck;
    const QByteArray before = f.iniBytes();
    frmOptions dlg(*f.services);
    dlg.Init();
    dlg.show();
    auto* edit = dlg.findChild<QLineEdit*>(field);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QString());
    dlg.cmdOK->click();
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

void tst_frmOptions::autoStartFollowsTheBox()
{
    OptionsFixture f;
    QVERIFY(!IsAutoStartEnabled());
    for (const bool on : {true, false}) {
        frmOptions dlg(*f.services);
        dlg.Init();
        QCOMPARE(dlg.InitialAutoStart, !on);
        QCOMPARE(dlg.pageGeneral->chkAutoStart->isChecked(), !on);
        QCOMPARE(dlg.pageGeneral->chkAutoStart->text(), u"Start Orvella in the s&ystem tray when I log in"_s);
        dlg.pageGeneral->chkAutoStart->click();
        dlg.cmdOK->click();
        QCOMPARE(IsAutoStartEnabled(), on);
    }
}

void tst_frmOptions::linesAboveHundredShowFifteen()
{
    OptionsFixture f;
    f.settings->m_Lines = 101;
    f.settings->m_SayFirstLine = false;
    frmOptions dlg(*f.services);
    dlg.Init();
    OptionsWhatToSayPage& page = *dlg.pageWhatToSay;
    QCOMPARE(page.cboLines->count(), 101);
    QCOMPARE(page.cboLines->itemText(0), u"Entire Message"_s);
    QCOMPARE(page.cboLines->currentText(), u"15"_s);
    QCOMPARE(f.settings->m_Lines, 15);
    QVERIFY(!page.cboLines->isEnabled());
    page.chkSayFirstLine->click();
    QVERIFY(page.cboLines->isEnabled());
}

// The settings' default font, "MS Sans Serif", is installed on no Linux: it
// keeps its name through OK, and the balloon keeps the system's font.
void tst_frmOptions::unknownFontAndSizeFallBack()
{
    if (QFontDatabase::hasFamily(u"MS Sans Serif"_s)) QSKIP("MS Sans Serif is installed here");
    OptionsFixture f;
    f.settings->m_FontName = u"MS Sans Serif"_s;
    f.settings->m_FontSize = 13;
    {
        frmOptions dlg(*f.services);
        dlg.Init();
        OptionsCharacterPage& page = *dlg.pageCharacter;
        QVERIFY(page.cboFontName->count() > 0);
        QCOMPARE(page.cboFontName->currentIndex(), -1);
        QCOMPARE(page.cboFontName->placeholderText(), u"MS Sans Serif (not installed)"_s);
        QVERIFY(page.cboFontName->accessibleDescription().contains(u"not installed"_s));
        QCOMPARE(page.cboFontSize->currentText(), u"10"_s);
        dlg.cmdOK->click();
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
        frmOptions dlg(*f.services);
        dlg.Init();
        QCOMPARE(dlg.pageCharacter->cboFontName->currentText(), family);
        QCOMPARE(dlg.pageCharacter->cboFontName->placeholderText(), QString());
        QCOMPARE(dlg.pageCharacter->cboFontSize->currentText(), u"14"_s);
        dlg.cmdOK->click();
    }
    QCOMPARE(f.ini(u"Character"_s, u"FontName"_s), family + u" [Foundry]"_s);

    // A font the user chooses is written.
    frmOptions dlg(*f.services);
    dlg.Init();
    dlg.show();
    const QString chosen = dlg.pageCharacter->cboFontName->itemText(0);
    Choose(dlg.pageCharacter->cboFontName, chosen);
    dlg.cmdOK->click();
    QCOMPARE(f.ini(u"Character"_s, u"FontName"_s), chosen);
}

void tst_frmOptions::fontFamilies_data()
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

void tst_frmOptions::fontFamilies()
{
    QFETCH(QStringList, installed);
    QTEST(OptionsCharacterPage::FontFamilies(installed), "listed");
}

// What the dialog lists on this system: every family once, none with a foundry.
void tst_frmOptions::fontListNamesEachFamilyOnce()
{
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    QComboBox* list = dlg.pageCharacter->cboFontName;
    QSet<QString> seen;
    for (int i = 0; i < list->count(); ++i) {
        const QString name = list->itemText(i);
        QVERIFY2(!name.endsWith(u']'), qPrintable(name));
        QVERIFY2(!seen.contains(name.toCaseFolded()), qPrintable(name));
        seen.insert(name.toCaseFolded());
    }
    QCOMPARE(list->currentText(), u"DejaVu Sans"_s);
}

void tst_frmOptions::characterFilesListedOnce()
{
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    QComboBox* list = dlg.pageCharacter->cboCharacter;
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->itemText(i);
    QCOMPARE(names, (QStringList{u"other.acs"_s, u"vela.acs"_s, u"third.acs"_s}));
    QCOMPARE(list->currentText(), u"vela.acs"_s);
    QCOMPARE(dlg.LoadedCharacter, u"vela.acs"_s);
    QCOMPARE(dlg.pageCharacter->lblCharacterMessage->text(),
             u"To add more characters, go to our web site by clicking the download button above."_s);
}

void tst_frmOptions::numericFieldsTakeDigitsOnly_data()
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

void tst_frmOptions::numericFieldsTakeDigitsOnly()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, stored);
    OptionsFixture f;
    frmOptions dlg(*f.services);
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
    dlg.cmdOK->click();
    // A number that cannot work keeps the dialog open (0 in the table).
    QCOMPARE(dlg.isVisible(), stored == 0);
    const CAccount& account = *f.accounts.first();
    QCOMPARE(field == u"txtPort"_s ? account.m_Port : account.m_CheckInterval,
             stored == 0 ? (field == u"txtPort"_s ? 110 : 3) : stored);
}

void tst_frmOptions::numberFieldsRefuseWhatCannotWork_data()
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
void tst_frmOptions::numberFieldsRefuseWhatCannotWork()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    OptionsFixture f(threeAccounts);
    const QByteArray before = f.iniBytes();
    frmOptions dlg(*f.services);
    dlg.Init();
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    OptionsAccountsPage& page = *dlg.pageAccounts;
    auto* edit = dlg.findChild<QLineEdit*>(field);
    QLabel* label = field == u"txtPort"_s ? page.lblPortMessage : page.lblIntervalMessage;
    page.lstAccounts->setCurrentItem(page.lstAccounts->topLevelItem(1));
    retype(edit, typed);
    QVERIFY(label->isVisible());
    page.lstAccounts->setCurrentItem(page.lstAccounts->topLevelItem(0));
    QVERIFY(!label->isVisible());
    dlg.tabOptions->setCurrentWidget(dlg.pageGeneral);

    dlg.cmdOK->click();
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.tabOptions->currentWidget(), dlg.pageAccounts);
    QCOMPARE(page.lstAccounts->indexOfTopLevelItem(page.lstAccounts->currentItem()), 1);
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
    dlg.cmdOK->click();
    QVERIFY(!dlg.isVisible());
    QCOMPARE(f.ini(u"Account 2"_s, field == u"txtPort"_s ? u"Port"_s : u"CheckInterval"_s), u"7"_s);
}

// A check while the dialog is open goes to the saved server, never to one
// being typed; after OK, to the new one. Cancel leaves the accounts alone.
void tst_frmOptions::checksUseTheSavedAccountsUntilOK()
{
    OptionsFixture f;
    QStringList statuses;
    MailCheckCycle& cycle = *f.cycle();
    cycle.hooks.setStatusText = [&](const QString& text) { statuses << text; };
    cycle.hooks.stepDelay = [](int) { return 0; };
    cycle.hooks.makeClient = [] {
        auto transport = std::make_unique<Pop3ScriptedTransport>();
        transport->refuseConnection(u"refused"_s);
        return std::make_unique<Pop3Client>(std::move(transport));
    };
    const auto check = [&] {
        statuses.clear();
        QSignalSpy finished(&cycle, &MailCheckCycle::finished);
        cycle.CheckAllMailServers();
        return finished.wait(20000);
    };

    for (const bool ok : {false, true}) {
        frmOptions dlg(*f.services);
        dlg.Init();
        dlg.show();
        OptionsAccountsPage& page = *dlg.pageAccounts;
        retype(page.txtPOPServer, u"half.typ"_s);
        retype(page.txtPassword, u"typed"_s);
        QVERIFY(check());
        QVERIFY2(statuses.contains(u"Connecting to pop.test"_s), qPrintable(statuses.join(u"; "_s)));
        QVERIFY(!statuses.join(u"; "_s).contains(u"half.typ"_s));
        QCOMPARE(f.accounts[0]->m_Password, u"abc"_s);
        (ok ? dlg.cmdOK : dlg.cmdCancel)->click();
        QCOMPARE(f.accounts[0]->m_PopServer, ok ? u"half.typ"_s : u"pop.test"_s);
        QCOMPARE(f.accounts[0]->m_Password, ok ? u"typed"_s : u"abc"_s);
    }
    QVERIFY(check());
    QVERIFY2(statuses.contains(u"Connecting to half.typ"_s), qPrintable(statuses.join(u"; "_s)));
}

void tst_frmOptions::keysThatTypeNothingLeaveTheFilteredFields_data()
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

void tst_frmOptions::keysThatTypeNothingLeaveTheFilteredFields()
{
    // A keyboard user must be able to leave a field that takes digits only.
    QFETCH(QString, field);
    QFETCH(int, key);
    QFETCH(bool, closes);
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    auto* edit = dlg.findChild<QLineEdit*>(field);
    for (int i = 0; i < dlg.tabOptions->count(); ++i)
        if (dlg.tabOptions->widget(i)->isAncestorOf(edit)) dlg.tabOptions->setCurrentIndex(i);
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

void tst_frmOptions::blankCannotBeTypedIntoSymbols()
{
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    QLineEdit* symbols = dlg.pageWhatToSay->txtFilteredSymbols;
    QCOMPARE(symbols->text(), u"<>*~_="_s);
    symbols->setFocus();
    symbols->end(false);
    QTest::keyClicks(symbols, u" # "_s);
    QCOMPARE(symbols->text(), u"<>*~_=#"_s);
    dlg.cmdOK->click();
    QCOMPARE(f.ini(u"General"_s, u"FilteredSymbols"_s), u"<>*~_=#"_s);
}

void tst_frmOptions::focusStaysOnTheListPage_data()
{
    QTest::addColumn<bool>("rules"); // else the filters
    QTest::newRow("rules") << true;
    QTest::newRow("filters") << false;
}

// Remove pressed from the keyboard keeps the focus on Remove while entries
// are left and then hands it to the list; a further Space changes nothing
// else (it once ticked "Read only messages..." or pressed the dialog's OK).
// Back from an editor, the focus is where it was.
void tst_frmOptions::focusStaysOnTheListPage()
{
    QFETCH(bool, rules);
    OptionsFixture f;
    CRule one, two;
    one.m_Name = u"one@example.org"_s;
    two.m_Name = u"two@example.org"_s;
    f.rules = {one, two};
    f.filters = {CFilter{u">"_s, 0}, CFilter{u"-- "_s, 1}};
    frmOptions dlg(*f.services);
    dlg.Init();
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QListWidget* list = rules ? dlg.pageRules->lstRules : dlg.pageFilters->lstFilters;
    QPushButton* add = rules ? dlg.pageRules->cmdAddRule : dlg.pageFilters->cmdAddFilter;
    QPushButton* edit = rules ? dlg.pageRules->cmdEditRule : dlg.pageFilters->cmdEditFilter;
    QPushButton* remove = rules ? dlg.pageRules->cmdRemoveRule : dlg.pageFilters->cmdRemoveFilter;
    dlg.tabOptions->setCurrentWidget(rules ? static_cast<QWidget*>(dlg.pageRules) : dlg.pageFilters);
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
    QVERIFY(!dlg.pageRules->chkSpecifySenders->isChecked());
    QCOMPARE((rules ? f.rules.size() : f.filters.size()), 0);
    QCOMPARE((rules ? f.filters.size() : f.rules.size()), 2);
}

void tst_frmOptions::showOptionsOpensOnRememberedPage()
{
    OptionsFixture f;
    bool commandsUpdated = false;
    f.services->updateMessageCommands = [&] { commandsUpdated = true; };
    bool sawIt = false;
    WhenModal(u"frmOptions"_s, [&](QWidget* w) {
        auto* dlg = static_cast<frmOptions*>(w);
        sawIt = dlg->tabOptions->currentIndex() == 3 && f.modalFlag &&
                !f.agent.commandEnabled(u"Options"_s) && dlg->windowTitle() == u"Options"_s;
        dlg->tabOptions->setCurrentIndex(2);
        dlg->cmdOK->click();
    });
    frmOptions::ShowOptions(*f.services, 3, nullptr);
    QVERIFY(sawIt);
    QCOMPARE(f.rememberedTab, 2);
    QVERIFY(!f.modalFlag);
    QVERIFY(commandsUpdated);
    QVERIFY(f.agent.commandEnabled(u"Options"_s));
}

void tst_frmOptions::browseAndWebButtons()
{
    OptionsFixture f;
    QStringList opened;
    platform::setShellRecorder(&opened);
    frmOptions dlg(*f.services);
    dlg.Init();
    OptionsGeneralPage& page = *dlg.pageGeneral;
    platform::Dialogs::queueFileName(u"/usr/bin/thunderbird"_s);
    page.cmdBrowse->click();
    QCOMPARE(platform::Dialogs::takeAsked().value(0).title, u"Select E-mail Program Path"_s);
    QCOMPARE(page.txtEMailProgram->text(), u"/usr/bin/thunderbird"_s);
    // Cancelling the file dialog leaves the path.
    platform::Dialogs::queueFileName(QString());
    page.cmdBrowse->click();
    QCOMPARE(page.txtEMailProgram->text(), u"/usr/bin/thunderbird"_s);

    // The sound browsers fill their field and play the file.
    const QString wav = f.appPath() + u"/Sounds/Clock.wav"_s;
    QDir().mkpath(f.appPath() + u"/Sounds"_s);
    QFile(wav).open(QIODevice::WriteOnly);
    platform::Dialogs::queueFileName(wav);
    page.cmdTimeSoundBrowse->click();
    QCOMPARE(page.txtTimeSoundFile->text(), wav);
    QVERIFY(f.agent.calls.contains(u"SpeakFile("_s + wav + u')'));

    dlg.pageCharacter->cmdDownload->click();
    Program().SupportURL = u"https://support.test/orvella"_s;
    dlg.cmdOnlineSupport->click();
    Program().SupportURL.clear();
    platform::setShellRecorder(nullptr);
    QCOMPARE(opened,
             (QStringList{u"https://orvella.example/orvella/char.htm"_s, u"https://support.test/orvella"_s}));
}

void tst_frmOptions::accountFieldSelectedOnFocus()
{
    OptionsFixture f;
    frmOptions dlg(*f.services);
    dlg.Init();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QLineEdit* server = dlg.pageAccounts->txtPOPServer;
    dlg.pageAccounts->txtAccountName->setFocus();
    server->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(server->selectedText(), u"pop.test"_s);
    QTest::keyClicks(server, u"mail.test"_s);
    dlg.cmdOK->click();
    QCOMPARE(f.accounts.first()->m_PopServer, u"mail.test"_s);
}

// A password kept in the keyring is not read for the dialog: the field stays
// empty and says where the password is, and OK neither asks for it nor
// loses it. What the user types replaces it. (This test reaches no keyring.)
void tst_frmOptions::passwordInTheKeyringNeedsNoRetyping()
{
    OptionsFixture f(u"[Account]\nUserName=Ann\nConnectionType=2\nPOPServer=pop.test\nAccountName=ann\n"
                     u"Password=\nKeyringEntry=ann@pop.test\n[Character]\nName=vela.acs\n"_s);
    {
        frmOptions dlg(*f.services);
        dlg.Init();
        dlg.show();
        OptionsAccountsPage& page = *dlg.pageAccounts;
        QCOMPARE(page.txtPassword->text(), QString());
        QCOMPARE(page.txtPassword->placeholderText(), u"(kept in the keyring)"_s);
        QVERIFY(page.txtPassword->accessibleDescription().contains(u"keyring"_s));
        retype(page.txtPOPServer, u"pop.test"_s);
        dlg.cmdOK->click();
        QVERIFY(!dlg.isVisible());
        QVERIFY(f.shown.isEmpty());
        QCOMPARE(f.ini(u"Account"_s, u"Password"_s), QString());
        QCOMPARE(f.ini(u"Account"_s, u"KeyringEntry"_s), u"ann@pop.test"_s);
    }
    frmOptions dlg(*f.services);
    dlg.Init();
    dlg.show();
    OptionsAccountsPage& page = *dlg.pageAccounts;
    retype(page.txtPassword, u"abc"_s);
    QCOMPARE(page.txtPassword->placeholderText(), u"(kept in the keyring)"_s);
    dlg.cmdOK->click();
    QVERIFY(!dlg.isVisible());
    // No keyring here: the new password stays scrambled in the file.
    QCOMPARE(f.ini(u"Account"_s, u"Password"_s), u"679*1372*2079*"_s);
    QCOMPARE(f.accounts[0]->m_Password, u"abc"_s);
}

QTEST_MAIN(tst_frmOptions)
#include "tst_frmOptions.moc"
