// Accounts that sign in with OAuth2, checked against the private Dovecot,
// whose passdb asks the fake sign-in service (tests/support/fake_oauth_server.py)
// whether an access token is good. The sign-in goes through the browser flow
// (the test plays the browser), the tokens live in the test's keyring, an
// expired access token is renewed without the user, and a revoked sign-in
// asks for a new one while a password account goes on being checked.
#include "core/mail/AccountPasswords.h"
#include "core/oauth/OAuthSignIn.h"
#include "core/oauth/OAuthTokens.h"
#include "support/CycleRig.h"
#include "support/DovecotFixture.h"
#include "support/FakeOAuthServer.h"
#include "support/KeyringTestTools.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

namespace {

const QString SignedInUser = u"signin1"_s;
const QString PasswordUser = u"signin2"_s;

QByteArray message(const QString& user, int n)
{
    return QStringLiteral(
               "From: Olga Example <olga@example.org>\nTo: %1@example.org\nSubject: Signed in "
               "%1 %2\nDate: Mon, 2 Sep 2024 10:00:00 +0000\nMessage-ID: <oauth-%1-%2@example.org>\n\n"
               "Body %2.\n")
        .arg(user)
        .arg(n)
        .toUtf8();
}

QStringList subjects(const QList<MailMessage>& messages)
{
    QStringList out;
    for (const MailMessage& m : messages)
        out << m.m_Subject;
    return out;
}

} // namespace

class tst_CycleOAuth : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void signedInAccountIsCheckedRenewedAndAskedToSignInAgain();

private:
    std::optional<DovecotFixture> m_dovecot;
    FakeOAuthServer m_server;
};

void tst_CycleOAuth::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("ORVELLA_TEST_KEYRING"), "run with a keyring (KEYRING)");
    QString error;
    m_dovecot = DovecotFixture::load(DovecotFixture::defaultDir(), &error);
    QVERIFY2(m_dovecot, qPrintable(error));
    QVERIFY2(m_dovecot->oauthPort > 0, "the Dovecot fixture names no introspection port");
    QVERIFY2(m_server.start({u"--port"_s, QString::number(m_dovecot->oauthPort), u"--user"_s, SignedInUser},
                            &error),
             qPrintable(error));
}

void tst_CycleOAuth::signedInAccountIsCheckedRenewedAndAskedToSignInAgain()
{
    QVERIFY(m_dovecot->clear(SignedInUser));
    QVERIFY(m_dovecot->clear(PasswordUser));
    QVERIFY(m_dovecot->deliver(SignedInUser, {message(SignedInUser, 1)}));
    QVERIFY(m_dovecot->deliver(PasswordUser, {message(PasswordUser, 1)}));

    CycleRig rig;
    const QString host = m_dovecot->host;
    const int port = m_dovecot->pop3Port;
    QVERIFY(rig.load(
        u"[General]\nNoOfAccounts=2\n"_s +
        CycleRig::dovecotSection(u"Account"_s, host, port, SignedInUser, u"SignIn=Microsoft"_s) +
        CycleRig::dovecotSection(AccountSection(2), host, port, PasswordUser,
                                 u"Password="_s + Account::Scramble(m_dovecot->password(PasswordUser)))));
    QCOMPARE(rig.accounts.size(), 2);

    // Not signed in yet: said, and the password account is still checked.
    QVERIFY(rig.check());
    QVERIFY2(rig.errorText.contains(u"has not been signed in"_s), qPrintable(rig.errorText));
    QCOMPARE(subjects(rig.newMessages), QStringList{u"Signed in signin2 1"_s});

    // The browser sign-in, the test following the page as the user's browser does.
    oauth::OAuthSignIn signIn(oauth::OAuthProvider::forProvider(oauth::Provider::Microsoft), SignedInUser);
    QSignalSpy finished(&signIn, &oauth::OAuthSignIn::finished);
    QSignalSpy failed(&signIn, &oauth::OAuthSignIn::failed);
    connect(&signIn, &oauth::OAuthSignIn::openBrowser, this, [this](const QUrl& url) {
        QTimer::singleShot(0, this, [this, url] { m_server.followSignIn(url); });
    });
    signIn.start();
    QVERIFY(QTest::qWaitFor([&] { return !finished.isEmpty() || !failed.isEmpty(); }, 30000));
    QVERIFY2(failed.isEmpty(), failed.isEmpty() ? "" : qPrintable(failed.first().first().toString()));
    const auto first = finished.first().first().value<oauth::OAuthTokens>();
    rig.accounts[0]->m_Password = first.toSecret();
    SaveAccounts(rig.accounts);
    QVERIFY(passwordsSettled());
    const QString key = rig.accounts[0]->KeyringKey();
    QCOMPARE(keyringLookup(key), first.toSecret());

    // Signed in: its mail comes, with no error.
    QVERIFY(rig.check());
    QVERIFY2(!rig.errorTab || rig.errorText.isEmpty(), qPrintable(rig.errorText));
    QCOMPARE(subjects(rig.newMessages), QStringList{u"Signed in signin1 1"_s});
    QVERIFY(rig.accounts[0]->m_SignInProblem.isEmpty());

    // The access token runs out on the service's side before its time: the
    // check renews it, without the user, and the keyring keeps the new tokens.
    int status = 0;
    m_server.call("POST", u"/control/expire"_s, &status);
    QCOMPARE(status, 200);
    QVERIFY(m_dovecot->deliver(SignedInUser, {message(SignedInUser, 2)}));
    QVERIFY(rig.check());
    QVERIFY2(!rig.errorTab || rig.errorText.isEmpty(), qPrintable(rig.errorText));
    QCOMPARE(subjects(rig.newMessages), QStringList{u"Signed in signin1 2"_s});
    QVERIFY(passwordsSettled());
    const auto renewed = oauth::OAuthTokens::fromSecret(keyringLookup(key));
    QVERIFY(renewed);
    QVERIFY(renewed->accessToken != first.accessToken);
    QVERIFY(renewed->refreshToken != first.refreshToken);

    // After a restart the tokens come from the keyring.
    QVERIFY(rig.restart());
    QVERIFY(m_dovecot->deliver(SignedInUser, {message(SignedInUser, 3)}));
    QVERIFY(rig.check());
    QCOMPARE(subjects(rig.newMessages), QStringList{u"Signed in signin1 3"_s});

    // The user revokes the sign-in: the next check asks to sign in again,
    // and the other account goes on.
    m_server.call("POST", u"/control/expire"_s, &status);
    QCOMPARE(status, 200);
    m_server.call("POST", u"/control/revoke"_s, &status);
    QCOMPARE(status, 200);
    QVERIFY(m_dovecot->deliver(SignedInUser, {message(SignedInUser, 4)}));
    QVERIFY(m_dovecot->deliver(PasswordUser, {message(PasswordUser, 2)}));
    QVERIFY(rig.check());
    QVERIFY2(rig.errorText.contains(u"Sign in to "_s + SignedInUser + u" again"_s),
             qPrintable(rig.errorText));
    QVERIFY(!rig.accounts[0]->m_SignInProblem.isEmpty());
    QCOMPARE(subjects(rig.newMessages), QStringList{u"Signed in signin2 2"_s});

    // No token anywhere in the program folder or on the Error page.
    for (const QString& token :
         {first.accessToken, first.refreshToken, renewed->accessToken, renewed->refreshToken}) {
        QVERIFY(!token.isEmpty());
        QVERIFY2(grepFolder(rig.dir.path(), token).isEmpty(),
                 qPrintable(grepFolder(rig.dir.path(), token).join(u' ')));
        QVERIFY(!rig.errorText.contains(token));
    }
}

QTEST_MAIN(tst_CycleOAuth)
#include "tst_CycleOAuth.moc"
