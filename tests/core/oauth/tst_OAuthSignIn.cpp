// Signing in through the browser against the fake sign-in service: the whole
// way from the sign-in page through the redirect to the program's listener
// and the code's exchange (the service checks the PKCE verifier and that both
// requests name one redirect address), answers that end it (another
// sign-in's, a declined one, the service's error), the listener's reach,
// the time limit and cancelling.
#include "core/oauth/OAuthSignIn.h"
#include "support/FakeOAuthServer.h"

#include <QJsonArray>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::Literals::StringLiterals;
using namespace orvella::oauth;
using orvella::test::FakeOAuthServer;

Q_DECLARE_METATYPE(orvella::oauth::Provider)

namespace {

// The parameters of the last request to path in the fake's log.
QJsonObject lastRequest(const QByteArray& log, const QString& path)
{
    QJsonObject found;
    for (const QByteArray& line : log.split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value(u"path"_s).toString() == path) found = o.value(u"params"_s).toObject();
    }
    return found;
}

bool canConnect(const QHostAddress& address, quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    return socket.waitForConnected(3000);
}

} // namespace

class tst_OAuthSignIn : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void signsInThroughTheBrowser_data();
    void signsInThroughTheBrowser();
    void browserAnswersThatFail_data();
    void browserAnswersThatFail();
    void listensOnLoopbackOnly();
    void timeLimitAndCancel();
    void noClientIdSaysSo();

private:
    std::unique_ptr<FakeOAuthServer> m_server;
};

void tst_OAuthSignIn::init()
{
    m_server = std::make_unique<FakeOAuthServer>();
    QString error;
    QVERIFY2(m_server->start({}, &error), qPrintable(error));
}

void tst_OAuthSignIn::cleanup()
{
    m_server.reset();
}

void tst_OAuthSignIn::signsInThroughTheBrowser_data()
{
    QTest::addColumn<Provider>("provider");
    QTest::addColumn<QString>("redirectHost");
    QTest::newRow("Microsoft") << Provider::Microsoft << u"localhost"_s;
    QTest::newRow("Google") << Provider::Google << u"127.0.0.1"_s;
}

void tst_OAuthSignIn::signsInThroughTheBrowser()
{
    QFETCH(Provider, provider);
    QFETCH(QString, redirectHost);
    // A "+" in the address must reach the service as itself.
    const QString hint = u"jo+mail@example.com"_s;
    OAuthSignIn signIn(OAuthProvider::forProvider(provider), hint);
    QSignalSpy browser(&signIn, &OAuthSignIn::openBrowser);
    QSignalSpy finished(&signIn, &OAuthSignIn::finished);
    QSignalSpy failed(&signIn, &OAuthSignIn::failed);
    signIn.start();
    QTRY_COMPARE_WITH_TIMEOUT(browser.size(), 1, 30000);

    // Browsers ask the listener for its icon too, before the answer or after.
    const QUrl icon(u"http://127.0.0.1:%1/favicon.ico"_s.arg(signIn.listeningPort()));
    m_server->visit(icon);
    QUrl location;
    QCOMPARE(m_server->followSignIn(browser.at(0).at(0).toUrl(), &location), 200);
    QCOMPARE(location.host(), redirectHost);
    QCOMPARE(location.port(), int(signIn.listeningPort()));
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty() || !failed.isEmpty(), 30000);
    m_server->visit(icon);
    QVERIFY2(failed.isEmpty(), qPrintable(failed.value(0).value(0).toString()));

    const auto tokens = finished.at(0).at(0).value<OAuthTokens>();
    QVERIFY(tokens.accessToken.startsWith(u"at-"));
    QVERIFY(tokens.refreshToken.startsWith(u"rt-"));
    QVERIFY(!tokens.expiresWithin(3000));
    QVERIFY(tokens.expiresWithin(3700));
    QCOMPARE(signIn.listeningPort(), 0);

    const QJsonObject state = m_server->call("GET", u"/control/state"_s);
    QCOMPARE(state.value(u"token_requests"_s).toObject().value(u"authorization_code"_s).toInt(), 1);
    const QJsonObject authorize = lastRequest(
        m_server->log(), provider == Provider::Microsoft ? u"/ms/authorize"_s : u"/google/authorize"_s);
    QCOMPARE(authorize.value(u"login_hint"_s).toString(), hint);
    const bool google = provider == Provider::Google;
    QCOMPARE(authorize.value(u"access_type"_s).toString(), google ? u"offline"_s : QString());
    QCOMPARE(authorize.value(u"prompt"_s).toString(), google ? u"consent"_s : QString());
    // The secret Google's installed clients carry goes with the code; no one else's does.
    const QJsonObject token = lastRequest(m_server->log(), google ? u"/google/token"_s : u"/ms/token"_s);
    QCOMPARE(token.contains(u"client_secret"_s), google);
}

void tst_OAuthSignIn::browserAnswersThatFail_data()
{
    QTest::addColumn<QString>("answer"); // STATE: this sign-in's state
    QTest::addColumn<QString>("words");
    QTest::newRow("another sign-in's answer")
        << u"code=abc&state=forged"_s << u"does not belong to this sign-in"_s;
    QTest::newRow("declined") << u"error=access_denied&state=STATE"_s << u"declined in the browser"_s;
    QTest::newRow("service's error")
        << u"error=invalid_scope&error_description=No%20such%20scope&state=STATE"_s
        << u"(invalid_scope): No such scope"_s;
    QTest::newRow("no code") << u"state=STATE"_s << u"without a sign-in code"_s;
}

void tst_OAuthSignIn::browserAnswersThatFail()
{
    QFETCH(QString, answer);
    QFETCH(QString, words);
    OAuthSignIn signIn(OAuthProvider::forProvider(Provider::Microsoft));
    QSignalSpy browser(&signIn, &OAuthSignIn::openBrowser);
    QSignalSpy finished(&signIn, &OAuthSignIn::finished);
    QSignalSpy failed(&signIn, &OAuthSignIn::failed);
    signIn.start();
    QTRY_COMPARE_WITH_TIMEOUT(browser.size(), 1, 30000);

    // What the service's redirect would bring to the listener.
    const QString state = QUrlQuery(browser.at(0).at(0).toUrl()).queryItemValue(u"state"_s);
    answer.replace(u"STATE"_s, state);
    m_server->visit(QUrl(u"http://127.0.0.1:%1/?%2"_s.arg(signIn.listeningPort()).arg(answer)));
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 30000);
    QVERIFY2(failed.at(0).at(0).toString().contains(words), qPrintable(failed.at(0).at(0).toString()));
    QVERIFY(finished.isEmpty());
    QCOMPARE(signIn.listeningPort(), 0);
    const QJsonObject serverState = m_server->call("GET", u"/control/state"_s);
    QVERIFY(!serverState.value(u"token_requests"_s).toObject().contains(u"authorization_code"_s));
}

void tst_OAuthSignIn::listensOnLoopbackOnly()
{
    OAuthSignIn signIn(OAuthProvider::forProvider(Provider::Google));
    QSignalSpy browser(&signIn, &OAuthSignIn::openBrowser);
    signIn.start();
    QTRY_COMPARE_WITH_TIMEOUT(browser.size(), 1, 30000);
    const quint16 port = signIn.listeningPort();
    QVERIFY(port != 0);
    QVERIFY(canConnect(QHostAddress(QHostAddress::LocalHost), port));
    QVERIFY(!canConnect(QHostAddress(QHostAddress::LocalHostIPv6), port));
    int others = 0;
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.isLoopback() || address.isLinkLocal()) continue;
        ++others;
        QVERIFY2(!canConnect(address, port), qPrintable(address.toString()));
    }
    if (!others) qInfo("no address besides loopback to try");
}

void tst_OAuthSignIn::timeLimitAndCancel()
{
    {
        OAuthSignIn signIn(OAuthProvider::forProvider(Provider::Microsoft));
        signIn.setTimeLimit(std::chrono::milliseconds(300));
        QSignalSpy failed(&signIn, &OAuthSignIn::failed);
        signIn.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 30000);
        QVERIFY(failed.at(0).at(0).toString().startsWith(u"No answer came back from the browser"));
        QCOMPARE(signIn.listeningPort(), 0);
    }
    {
        OAuthSignIn signIn(OAuthProvider::forProvider(Provider::Microsoft));
        signIn.setTimeLimit(std::chrono::milliseconds(300));
        QSignalSpy browser(&signIn, &OAuthSignIn::openBrowser);
        QSignalSpy finished(&signIn, &OAuthSignIn::finished);
        QSignalSpy failed(&signIn, &OAuthSignIn::failed);
        signIn.start();
        QTRY_COMPARE_WITH_TIMEOUT(browser.size(), 1, 30000);
        const quint16 port = signIn.listeningPort();
        signIn.cancel();
        QCOMPARE(signIn.listeningPort(), 0);
        // The browser coming back late finds nobody, and nothing is said.
        QCOMPARE(m_server->followSignIn(browser.at(0).at(0).toUrl()), 0);
        QVERIFY(!canConnect(QHostAddress(QHostAddress::LocalHost), port));
        QTest::qWait(600);
        QVERIFY(finished.isEmpty());
        QVERIFY(failed.isEmpty());
    }
}

void tst_OAuthSignIn::noClientIdSaysSo()
{
    qputenv("ORVELLA_MS_CLIENT_ID", "");
    OAuthSignIn signIn(OAuthProvider::forProvider(Provider::Microsoft));
    QSignalSpy browser(&signIn, &OAuthSignIn::openBrowser);
    QSignalSpy failed(&signIn, &OAuthSignIn::failed);
    signIn.start();
    QTRY_COMPARE(failed.size(), 1);
    QCOMPARE(
        failed.at(0).at(0).toString(),
        u"This build of Orvella has no Microsoft sign-in registered. See the README for how to register one."_s);
    QVERIFY(browser.isEmpty());
}

QTEST_GUILESS_MAIN(tst_OAuthSignIn)
#include "tst_OAuthSignIn.moc"
