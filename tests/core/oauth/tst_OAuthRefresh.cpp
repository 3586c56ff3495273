// Refreshing an access token against the fake sign-in service: a new access
// token the service accepts and a rotated refresh token, a revoked sign-in
// (sign in again), and a service in trouble or gone (try again later).
#include "core/oauth/OAuthDeviceSignIn.h"
#include "core/oauth/OAuthRefresh.h"
#include "support/FakeOAuthServer.h"

#include <QCoro/QCoroTask>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella::oauth;
using orvella::test::FakeOAuthServer;

Q_DECLARE_METATYPE(orvella::oauth::RefreshResult::Kind)

class tst_OAuthRefresh : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void refreshRotatesTheRefreshToken();
    void refreshFails_data();
    void refreshFails();

private:
    // Tokens of a sign-in with a code approved at once.
    OAuthTokens signIn();

    std::unique_ptr<FakeOAuthServer> m_server;
    QNetworkAccessManager m_network;
};

void tst_OAuthRefresh::init()
{
    m_server = std::make_unique<FakeOAuthServer>();
    QString error;
    QVERIFY2(m_server->start({u"--user"_s, u"jo@example.com"_s}, &error), qPrintable(error));
}

void tst_OAuthRefresh::cleanup()
{
    m_server.reset();
}

OAuthTokens tst_OAuthRefresh::signIn()
{
    OAuthDeviceSignIn device(OAuthProvider::forProvider(Provider::Microsoft), &m_network);
    device.setPollUnit(std::chrono::milliseconds(10));
    QSignalSpy code(&device, &OAuthDeviceSignIn::codeReady);
    QSignalSpy finished(&device, &OAuthDeviceSignIn::finished);
    device.start();
    if (!QTest::qWaitFor([&] { return !code.isEmpty(); }, 30000)) return {};
    m_server->call("GET", u"/device?user_code=%1&action=approve"_s.arg(code.at(0).at(0).toString()));
    if (!QTest::qWaitFor([&] { return !finished.isEmpty(); }, 30000)) return {};
    return finished.at(0).at(0).value<OAuthTokens>();
}

void tst_OAuthRefresh::refreshRotatesTheRefreshToken()
{
    const OAuthTokens first = signIn();
    QVERIFY(!first.refreshToken.isEmpty());
    const OAuthProvider provider = OAuthProvider::forProvider(Provider::Microsoft);

    const RefreshResult r = QCoro::waitFor(refresh(provider, first.refreshToken, m_network));
    QVERIFY2(r.ok(), qPrintable(r.words));
    QVERIFY(r.tokens.accessToken.startsWith(u"at-"));
    QVERIFY(r.tokens.accessToken != first.accessToken);
    QVERIFY(r.tokens.refreshToken.startsWith(u"rt-"));
    QVERIFY(r.tokens.refreshToken != first.refreshToken);
    QVERIFY(!r.tokens.expiresWithin(3000));
    // The new access token is one the mail server's check accepts.
    const QJsonObject active = m_server->call("POST", u"/introspect?token="_s + r.tokens.accessToken);
    QCOMPARE(active.value(u"active"_s).toBool(), true);
    QCOMPARE(active.value(u"username"_s).toString(), u"jo@example.com"_s);
    m_server->call("POST", u"/control/expire"_s);
    QCOMPARE(
        m_server->call("POST", u"/introspect?token="_s + r.tokens.accessToken).value(u"active"_s).toBool(),
        false);

    // The rotated-out refresh token is done with; the new one goes on.
    const RefreshResult old = QCoro::waitFor(refresh(provider, first.refreshToken, m_network));
    QCOMPARE(old.kind, RefreshResult::Kind::SignInAgain);
    const RefreshResult again = QCoro::waitFor(refresh(provider, r.tokens.refreshToken, m_network));
    QVERIFY2(again.ok(), qPrintable(again.words));
}

void tst_OAuthRefresh::refreshFails_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<RefreshResult::Kind>("kind");
    QTest::addColumn<QString>("wordsContain");
    QTest::newRow("revoked") << u"/control/revoke"_s << RefreshResult::Kind::SignInAgain
                             << u"no longer accepts"_s;
    QTest::newRow("server error") << u"/control/outage?status=503&count=1"_s << RefreshResult::Kind::Temporary
                                  << u"(HTTP 503)"_s;
    QTest::newRow("gateway's page") << u"/control/outage?status=200&count=1"_s
                                    << RefreshResult::Kind::Temporary << u"could not be read"_s;
    QTest::newRow("service gone") << QString() << RefreshResult::Kind::Temporary
                                  << u"refused the connection"_s;
}

void tst_OAuthRefresh::refreshFails()
{
    QFETCH(QString, trouble);
    QFETCH(RefreshResult::Kind, kind);
    QFETCH(QString, wordsContain);

    const OAuthTokens tokens = signIn();
    QVERIFY(!tokens.refreshToken.isEmpty());
    const OAuthProvider provider = OAuthProvider::forProvider(Provider::Microsoft);
    if (trouble.isEmpty())
        m_server->stop();
    else
        m_server->call("POST", trouble);

    const RefreshResult r = QCoro::waitFor(refresh(provider, tokens.refreshToken, m_network));
    QCOMPARE(r.kind, kind);
    QVERIFY2(r.words.contains(wordsContain), qPrintable(r.words));
    QVERIFY(!r.words.contains(tokens.refreshToken));
    QVERIFY(!r.words.contains(tokens.accessToken));
}

QTEST_GUILESS_MAIN(tst_OAuthRefresh)
#include "tst_OAuthRefresh.moc"
