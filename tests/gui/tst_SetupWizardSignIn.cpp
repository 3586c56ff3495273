// The wizard's kind of sign-in: what a typed server proposes, the password
// step for the Microsoft and Google sign-ins, and what Finish keeps of a
// sign-in.
#include "WizardRig.h"
#include "support/Widgets.h"

#include "gui/signin/SignInRow.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrlQuery>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

class tst_SetupWizardSignIn : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void serverProposesKind_data();
    void serverProposesKind();
    void kindChosenByHandStays();
    void accountKindNeedsSignInNotPassword_data();
    void accountKindNeedsSignInNotPassword();
    void signInOpensTheBrowser();
    void finishKeepsTokensOutOfTheFile();

private:
    WizardFolders m_folders;
};

namespace {

QString kindOf(SetupWizard* w)
{
    return child<QComboBox>(w, u"cboSignIn"_s)->currentData().toString();
}

// The server typed as a user types it, then Next.
void typeServer(SetupWizard* w, const QString& server)
{
    auto* field = child<QLineEdit>(w, u"txtPOPServer"_s);
    field->selectAll();
    QTest::keyClicks(field, server);
}

} // namespace

void tst_SetupWizardSignIn::initTestCase()
{
    m_folders.initTestCase();
}

void tst_SetupWizardSignIn::init()
{
    m_folders.init();
    // A registration of the tests' own, and an authority nothing answers at.
    qputenv("ORVELLA_MS_CLIENT_ID", "test-client");
    qputenv("ORVELLA_GOOGLE_CLIENT_ID", "test-client");
    qputenv("ORVELLA_OAUTH_AUTHORITY", "http://127.0.0.1:9");
}

void tst_SetupWizardSignIn::cleanup()
{
    m_folders.cleanup();
}

void tst_SetupWizardSignIn::serverProposesKind_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("security");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("appPasswordSteps");

    // Security and port start at STARTTLS and 110 so that a proposal shows.
    QTest::newRow("Outlook.com") << u"outlook.office365.com"_s << u"Microsoft"_s << u"TLS"_s << u"995"_s
                                 << false;
    QTest::newRow("Outlook.com's other server, capitals, trailing dot")
        << u"POP-MAIL.Outlook.COM."_s << u"Microsoft"_s << u"TLS"_s << u"995"_s << false;
    // An app password is what most Gmail users can make: Password stays.
    QTest::newRow("Gmail") << u"pop.gmail.com"_s << u"Password"_s << u"TLS"_s << u"995"_s << true;
    QTest::newRow("other server") << u"pop.example.net"_s << u"Password"_s << u"STARTTLS"_s << u"110"_s
                                  << false;
    QTest::newRow("Outlook.com's web address is no POP server")
        << u"outlook.com"_s << u"Password"_s << u"STARTTLS"_s << u"110"_s << false;
}

void tst_SetupWizardSignIn::serverProposesKind()
{
    QFETCH(QString, server);
    QFETCH(QString, kind);
    QFETCH(QString, security);
    QFETCH(QString, port);
    QFETCH(bool, appPasswordSteps);

    Rig rig;
    auto w = rig.open(SetupWizard::PageServer);
    auto* cboSecurity = child<QComboBox>(w, u"cboSecurity"_s);
    cboSecurity->setCurrentIndex(cboSecurity->findData(u"STARTTLS"_s));
    QCOMPARE(child<QLineEdit>(w, u"txtPort"_s)->text(), u"110"_s);

    typeServer(w.get(), server);
    QCOMPARE(kindOf(w.get()), kind);
    QCOMPARE(cboSecurity->currentData().toString(), security);
    QCOMPARE(child<QLineEdit>(w, u"txtPort"_s)->text(), port);

    // No web mail question for the known servers; the password page tells Gmail's steps.
    rig.answers = {1};
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    if (server == u"outlook.com"_s) {
        QCOMPARE(rig.questions.size(), 1);
        return;
    }
    QVERIFY(rig.questions.isEmpty());
    QCOMPARE(w->currentPage(), int(SetupWizard::PageAccountName));
    child<QLineEdit>(w, u"txtAccountName"_s)->setText(u"jo@example.net"_s);
    if (!ProposeSignIn(server)) Dialogs::queueAnswer(true); // "@ in an account name?" for other servers
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    QCOMPARE(w->currentPage(), int(SetupWizard::PagePassword));
    QCOMPARE(w->lblWizard[502]->isVisible(), appPasswordSteps);
    QVERIFY(Dialogs::takeAsked().size() == (ProposeSignIn(server) ? 0 : 1));
    if (appPasswordSteps) {
        QVERIFY(w->lblWizard[502]->text().contains(u"myaccount.google.com/apppasswords"_s));
        QVERIFY(rig.spoken().join(u' ').contains(u"2-Step Verification"_s));
    }
}

// Picked by hand, the kind is the user's: a server typed afterwards proposes nothing.
void tst_SetupWizardSignIn::kindChosenByHandStays()
{
    Rig rig;
    auto w = rig.open(SetupWizard::PageServer);
    auto* list = child<QComboBox>(w, u"cboSignIn"_s);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_End); // "Google account", chosen as with the keyboard
    QCOMPARE(kindOf(w.get()), u"Google"_s);
    typeServer(w.get(), u"outlook.office365.com"_s);
    QCOMPARE(kindOf(w.get()), u"Google"_s);
}

void tst_SetupWizardSignIn::accountKindNeedsSignInNotPassword_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("clientId");
    QTest::newRow("Microsoft") << u"Microsoft"_s << true;
    QTest::newRow("Google") << u"Google"_s << true;
    QTest::newRow("Microsoft, no registration in the build") << u"Microsoft"_s << false;
    QTest::newRow("Google, no registration in the build") << u"Google"_s << false;
}

void tst_SetupWizardSignIn::accountKindNeedsSignInNotPassword()
{
    QFETCH(QString, kind);
    QFETCH(bool, clientId);
    if (!clientId) {
        qputenv("ORVELLA_MS_CLIENT_ID", "");
        qputenv("ORVELLA_GOOGLE_CLIENT_ID", "");
    }
    Rig rig;
    rig.accounts.clear();
    auto w = rig.open(SetupWizard::PageServer);
    auto* list = child<QComboBox>(w, u"cboSignIn"_s);
    list->setCurrentIndex(list->findData(kind));
    Q_EMIT list->activated(list->currentIndex());
    child<QLineEdit>(w, u"txtPOPServer"_s)->setText(u"pop.example.net"_s);
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    child<QLineEdit>(w, u"txtAccountName"_s)->setText(u"jo"_s);
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    QCOMPARE(w->currentPage(), int(SetupWizard::PagePassword));

    auto* password = child<QLineEdit>(w, u"txtPassword"_s);
    QVERIFY(!password->isEnabled());
    QVERIFY2(QAccessible::queryAccessibleInterface(password)
                 ->text(QAccessible::Description)
                 .contains(u"Not used: this account signs in with its"_s),
             "the password field says why it is off");
    auto* signIn = child<QPushButton>(w, u"cmdSignIn"_s);
    QVERIFY(signIn->isVisible());
    QCOMPARE(signIn->isEnabled(), clientId);
    QCOMPARE(child<QPushButton>(w, u"cmdSignInCode"_s)->isVisible(), kind == u"Microsoft"_s);
    auto* note = child<QLabel>(w, u"lblSignInNote"_s);
    QCOMPARE(note->isVisible(), !clientId);
    if (!clientId) {
        const QString service = kind == u"Microsoft"_s ? u"Microsoft"_s : u"Google"_s;
        QCOMPARE(note->text(),
                 u"This build of Orvella has no %1 sign-in registered. See the README for how to "
                 u"register one."_s.arg(service));
        QCOMPARE(QAccessible::queryAccessibleInterface(note)->text(QAccessible::Name), note->text());
    }

    // A password typed before is no sign-in: Next waits for one.
    password->setText(u"s3cret"_s);
    QVERIFY(!child<QAbstractButton>(w, u"cmdNext"_s)->isEnabled());
    Q_EMIT w->findChild<SignInRow*>()->signedIn(u"{\"a\":\"tokens\"}"_s);
    QVERIFY(child<QAbstractButton>(w, u"cmdNext"_s)->isEnabled());
    QCOMPARE(child<QLabel>(w, u"lblSignInStatus"_s)->text(), u"Signed in."_s);
    QCOMPARE(QAccessible::queryAccessibleInterface(child<QLabel>(w, u"lblSignInStatus"_s))
                 ->text(QAccessible::Name),
             u"Signed in."_s);

    // Another kind wants its own sign-in, and Password its password.
    child<QPushButton>(w, u"cmdBack"_s)->click();
    child<QPushButton>(w, u"cmdBack"_s)->click();
    const QString other = kind == u"Microsoft"_s ? u"Google"_s : u"Microsoft"_s;
    list->setCurrentIndex(list->findData(other));
    Q_EMIT list->activated(list->currentIndex());
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    QCOMPARE(w->currentPage(), int(SetupWizard::PagePassword));
    QVERIFY(!child<QAbstractButton>(w, u"cmdNext"_s)->isEnabled());
    QVERIFY(child<QLabel>(w, u"lblSignInStatus"_s)->text().isEmpty());
}

// Sign in opens the service's page (with the verifier's challenge) through
// the desktop's handler; nothing answers there, so the row waits.
void tst_SetupWizardSignIn::signInOpensTheBrowser()
{
    Rig rig;
    rig.accounts.clear();
    auto w = rig.open(SetupWizard::PageServer);
    QVERIFY(QTest::qWaitForWindowActive(w.get()));
    typeServer(w.get(), u"outlook.office365.com"_s);
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    child<QLineEdit>(w, u"txtAccountName"_s)->setText(u"jo@outlook.com"_s);
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    QCOMPARE(w->currentPage(), int(SetupWizard::PagePassword));
    QCOMPARE(focused(), child<QPushButton>(w, u"cmdSignIn"_s));
    child<QPushButton>(w, u"cmdSignIn"_s)->click();
    QTRY_COMPARE(m_folders.opened.size(), 1);
    const QUrl page(m_folders.opened[0]);
    QCOMPARE(page.toString(QUrl::RemoveQuery), u"http://127.0.0.1:9/ms/authorize"_s);
    const QUrlQuery query(page);
    QCOMPARE(query.queryItemValue(u"code_challenge_method"_s), u"S256"_s);
    QCOMPARE(query.queryItemValue(u"login_hint"_s, QUrl::FullyDecoded), u"jo@outlook.com"_s);
    QVERIFY(!child<QAbstractButton>(w, u"cmdNext"_s)->isEnabled());
}

void tst_SetupWizardSignIn::finishKeepsTokensOutOfTheFile()
{
    Rig rig;
    auto w = rig.open(SetupWizard::PageServer);
    typeServer(w.get(), u"outlook.office365.com"_s);
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    child<QLineEdit>(w, u"txtAccountName"_s)->setText(u"jo@outlook.com"_s);
    child<QAbstractButton>(w, u"cmdNext"_s)->click();
    const QString secret = u"{\"access\":\"tok\"}"_s;
    Q_EMIT w->findChild<SignInRow*>()->signedIn(secret);
    for (QLineEdit* field : w->findChildren<QLineEdit*>())
        QVERIFY2(!field->text().contains(u"tok"_s), qPrintable(field->objectName()));
    while (w->currentPage() != SetupWizard::PageThankYou)
        child<QAbstractButton>(w, u"cmdNext"_s)->click();
    const std::shared_ptr<Account> account = rig.accounts.first();
    child<QPushButton>(w, u"cmdFinish"_s)->click();
    QVERIFY(w->m_Completed);
    QCOMPARE(account->m_SignIn, Account::SignIn::Microsoft);
    QCOMPARE(account->m_Password, secret);
    QCOMPARE(account->m_Security, u"TLS"_s);
    QCOMPARE(account->m_Port, 995);
    QCOMPARE(ini(u"Account"_s, u"SignIn"_s), u"Microsoft"_s);
    QVERIFY(ini(u"Account"_s, u"Password"_s) == u"<absent>"_s || ini(u"Account"_s, u"Password"_s).isEmpty());
}

QTEST_MAIN(tst_SetupWizardSignIn)
#include "tst_SetupWizardSignIn.moc"
