// Reading what sign-in services answer and what the keyring keeps: token
// replies good and damaged, the saved tokens, the form encoding of requests,
// and which provider a POP server belongs to and where its endpoints are.
#include "core/oauth/OAuthHttp.h"
#include "core/oauth/OAuthProvider.h"
#include "core/oauth/OAuthTokens.h"

#include <QTest>
#include <QUrlQuery>

using namespace Qt::Literals::StringLiterals;
using namespace orvella::oauth;

Q_DECLARE_METATYPE(orvella::oauth::TokenError)

namespace {

const QDateTime Now = QDateTime(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);

} // namespace

class tst_OAuthTokens : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void parsesTokenReplies_data();
    void parsesTokenReplies();
    void secretRoundTrip();
    void damagedSecrets_data();
    void damagedSecrets();
    void expiresWithin();
    void formEncodesReservedCharacters();
    void providerOfServer_data();
    void providerOfServer();
    void providerOfImapServer_data();
    void providerOfImapServer();
    void endpointsAndClients();
};

void tst_OAuthTokens::init()
{
    qunsetenv("ORVELLA_OAUTH_AUTHORITY");
    qunsetenv("ORVELLA_MS_CLIENT_ID");
    qunsetenv("ORVELLA_GOOGLE_CLIENT_ID");
    qunsetenv("ORVELLA_GOOGLE_CLIENT_SECRET");
}

void tst_OAuthTokens::parsesTokenReplies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<TokenError>("error");
    QTest::addColumn<QString>("access");
    QTest::addColumn<QString>("refresh");
    QTest::addColumn<qint64>("expiresIn"); // -1: unknown
    QTest::addColumn<QString>("wordsContain");

    QTest::newRow("complete")
        << R"({"access_token":"A1","refresh_token":"R2","expires_in":3600,"token_type":"Bearer"})"_ba
        << TokenError::None << u"A1"_s << u"R2"_s << 3600ll << QString();
    QTest::newRow("refresh without a new refresh token keeps the old")
        << R"({"access_token":"A1","expires_in":60})"_ba << TokenError::None << u"A1"_s << u"OLD"_s << 60ll
        << QString();
    QTest::newRow("empty refresh token keeps the old")
        << R"({"access_token":"A1","refresh_token":"","expires_in":60})"_ba << TokenError::None << u"A1"_s
        << u"OLD"_s << 60ll << QString();
    QTest::newRow("expires_in as a string") << R"({"access_token":"A1","expires_in":"1200"})"_ba
                                            << TokenError::None << u"A1"_s << u"OLD"_s << 1200ll << QString();
    QTest::newRow("no expires_in") << R"({"access_token":"A1"})"_ba << TokenError::None << u"A1"_s << u"OLD"_s
                                   << -1ll << QString();
    QTest::newRow("negative expires_in") << R"({"access_token":"A1","expires_in":-5})"_ba << TokenError::None
                                         << u"A1"_s << u"OLD"_s << -1ll << QString();
    QTest::newRow("invalid_grant") << R"({"error":"invalid_grant","error_description":"AADSTS70000"})"_ba
                                   << TokenError::SignInAgain << QString() << QString() << -1ll
                                   << u"no longer accepts"_s;
    QTest::newRow("authorization_pending")
        << R"({"error":"authorization_pending"})"_ba << TokenError::AuthorizationPending << QString()
        << QString() << -1ll << QString();
    QTest::newRow("slow_down") << R"({"error":"slow_down"})"_ba << TokenError::SlowDown << QString()
                               << QString() << -1ll << QString();
    QTest::newRow("expired_token") << R"({"error":"expired_token"})"_ba << TokenError::ExpiredToken
                                   << QString() << QString() << -1ll << u"expired"_s;
    QTest::newRow("access_denied") << R"({"error":"access_denied"})"_ba << TokenError::AccessDenied
                                   << QString() << QString() << -1ll << u"declined"_s;
    QTest::newRow("other error with its description")
        << R"({"error":"invalid_client","error_description":"Unknown client."})"_ba << TokenError::Refused
        << QString() << QString() << -1ll << u"(invalid_client): Unknown client."_s;
    QTest::newRow("description echoing the refresh token")
        << R"({"error":"invalid_request","error_description":"bad token OLD here"})"_ba << TokenError::Refused
        << QString() << QString() << -1ll << u"bad token … here"_s;
    QTest::newRow("error and a token: the error wins")
        << R"({"error":"invalid_grant","access_token":"A1"})"_ba << TokenError::SignInAgain << QString()
        << QString() << -1ll << QString();
    QTest::newRow("empty body") << ""_ba << TokenError::Unreadable << QString() << QString() << -1ll
                                << u"could not be read"_s;
    QTest::newRow("HTML error page") << "<html><body>502 Bad Gateway</body></html>"_ba
                                     << TokenError::Unreadable << QString() << QString() << -1ll
                                     << u"could not be read"_s;
    QTest::newRow("cut JSON") << R"({"access_token":"A1","exp)"_ba << TokenError::Unreadable << QString()
                              << QString() << -1ll << QString();
    QTest::newRow("array") << R"(["access_token","A1"])"_ba << TokenError::Unreadable << QString()
                           << QString() << -1ll << QString();
    QTest::newRow("no access token") << R"({"token_type":"Bearer","expires_in":3600})"_ba
                                     << TokenError::Unreadable << QString() << QString() << -1ll
                                     << u"without an access token"_s;
    QTest::newRow("access token not a string") << R"({"access_token":42})"_ba << TokenError::Unreadable
                                               << QString() << QString() << -1ll << QString();
}

void tst_OAuthTokens::parsesTokenReplies()
{
    QFETCH(QByteArray, body);
    QFETCH(TokenError, error);
    QFETCH(QString, access);
    QFETCH(QString, refresh);
    QFETCH(qint64, expiresIn);
    QFETCH(QString, wordsContain);

    const TokenReply r = parseTokenReply(body, u"OLD"_s, Now);
    QCOMPARE(r.error, error);
    if (error == TokenError::None) {
        QCOMPARE(r.tokens.accessToken, access);
        QCOMPARE(r.tokens.refreshToken, refresh);
        QCOMPARE(r.tokens.expiresAt, expiresIn < 0 ? QDateTime() : Now.addSecs(expiresIn));
        QVERIFY(r.words.isEmpty());
    } else {
        QVERIFY(!r.words.isEmpty());
        QVERIFY2(r.words.contains(wordsContain), qPrintable(r.words));
        QVERIFY2(!r.words.contains(u"OLD") && !r.words.contains(u"A1"), qPrintable(r.words));
    }
}

void tst_OAuthTokens::secretRoundTrip()
{
    const OAuthTokens tokens{u"acc/+=\"ess"_s, u"ref\\resh"_s, Now.addSecs(3600)};
    const QString secret = tokens.toSecret();
    QVERIFY(!secret.contains(u'\n'));
    QCOMPARE(OAuthTokens::fromSecret(secret), tokens);
    // Without a known end, the end stays unknown.
    const OAuthTokens open{u"a"_s, u"r"_s, {}};
    QCOMPARE(OAuthTokens::fromSecret(open.toSecret()), open);
}

void tst_OAuthTokens::damagedSecrets_data()
{
    QTest::addColumn<QString>("secret");
    QTest::newRow("empty") << QString();
    QTest::newRow("a password") << u"hunter2"_s;
    QTest::newRow("cut") << uR"({"access":"a","refresh":"r","exp)"_s;
    QTest::newRow("array") << uR"(["a","r"])"_s;
    QTest::newRow("no tokens") << uR"({"access":"","refresh":""})"_s;
    QTest::newRow("token not a string") << uR"({"access":1,"refresh":"r"})"_s;
    QTest::newRow("missing refresh") << uR"({"access":"a"})"_s;
    QTest::newRow("expiry not a number") << uR"({"access":"a","refresh":"r","expires":"soon"})"_s;
}

void tst_OAuthTokens::damagedSecrets()
{
    QFETCH(QString, secret);
    QCOMPARE(OAuthTokens::fromSecret(secret), std::nullopt);
}

void tst_OAuthTokens::expiresWithin()
{
    const OAuthTokens t{u"a"_s, u"r"_s, Now.addSecs(300)};
    QVERIFY(!t.expiresWithin(299, Now));
    QVERIFY(t.expiresWithin(300, Now));
    QVERIFY(t.expiresWithin(0, Now.addSecs(301)));
    QVERIFY(OAuthTokens({u"a"_s, u"r"_s, {}}).expiresWithin(0, Now));
    QVERIFY(OAuthTokens({QString(), u"r"_s, Now.addSecs(3600)}).expiresWithin(0, Now));
}

void tst_OAuthTokens::formEncodesReservedCharacters()
{
    const QByteArray body = formBody({{u"code"_s, u"a/b+c=d&e f%"_s}, {u"x"_s, u"é"_s}});
    QCOMPARE(body, "code=a%2Fb%2Bc%3Dd%26e%20f%25&x=%C3%A9"_ba);
}

void tst_OAuthTokens::providerOfServer_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("provider"); // -1: none
    QTest::newRow("Outlook.com") << u"outlook.office365.com"_s << int(Provider::Microsoft);
    QTest::newRow("Outlook.com, older name") << u"pop-mail.outlook.com"_s << int(Provider::Microsoft);
    QTest::newRow("letter case and trailing dot") << u"Outlook.Office365.COM."_s << int(Provider::Microsoft);
    QTest::newRow("Gmail") << u"pop.gmail.com"_s << int(Provider::Google);
    QTest::newRow("Gmail with spaces") << u" POP.GMAIL.COM "_s << int(Provider::Google);
    QTest::newRow("other server") << u"pop.example.com"_s << -1;
    QTest::newRow("look-alike") << u"pop.gmail.com.example.net"_s << -1;
    QTest::newRow("Gmail's IMAP server") << u"imap.gmail.com"_s << -1;
    QTest::newRow("empty") << QString() << -1;
}

void tst_OAuthTokens::providerOfServer()
{
    QFETCH(QString, server);
    QFETCH(int, provider);
    const auto proposal = providerForServer(server);
    QCOMPARE(proposal.has_value(), provider >= 0);
    if (proposal) {
        QCOMPARE(int(proposal->provider), provider);
        QCOMPARE(proposal->port, 995);
        QVERIFY(proposal->tls);
    }
}

// With the account's type IMAP: the IMAP hosts, and the one Microsoft host
// that speaks both, on port 993 with TLS; a POP host proposes nothing there.
void tst_OAuthTokens::providerOfImapServer_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<int>("provider"); // -1: none
    QTest::newRow("Outlook.com") << u"outlook.office365.com"_s << int(Provider::Microsoft);
    QTest::newRow("Outlook.com, IMAP name") << u"IMAP-Mail.Outlook.com."_s << int(Provider::Microsoft);
    QTest::newRow("Gmail") << u" imap.gmail.com "_s << int(Provider::Google);
    QTest::newRow("Gmail's POP server") << u"pop.gmail.com"_s << -1;
    QTest::newRow("other server") << u"imap.example.com"_s << -1;
}

void tst_OAuthTokens::providerOfImapServer()
{
    QFETCH(QString, server);
    QFETCH(int, provider);
    const auto proposal = providerForServer(server, true);
    QCOMPARE(proposal.has_value(), provider >= 0);
    if (proposal) {
        QCOMPARE(int(proposal->provider), provider);
        QCOMPARE(proposal->port, 993);
        QVERIFY(proposal->tls);
        QVERIFY(proposal->imap);
    }
}

void tst_OAuthTokens::endpointsAndClients()
{
    // Without a registration (set but empty overrides the build's) there is none to offer.
    qputenv("ORVELLA_MS_CLIENT_ID", "");
    qputenv("ORVELLA_GOOGLE_CLIENT_ID", "");
    const OAuthProvider ms = OAuthProvider::forProvider(Provider::Microsoft);
    QVERIFY(!ms.hasClientId());
    QCOMPARE(
        ms.missingClientIdText(),
        u"This build of Orvella has no Microsoft sign-in registered. See the README for how to register one."_s);
    QCOMPARE(
        OAuthProvider::forProvider(Provider::Google).missingClientIdText(),
        u"This build of Orvella has no Google sign-in registered. See the README for how to register one."_s);
    QCOMPARE(ms.tokenUrl, QUrl(u"https://login.microsoftonline.com/consumers/oauth2/v2.0/token"_s));
    QCOMPARE(ms.deviceAuthorizationUrl,
             QUrl(u"https://login.microsoftonline.com/consumers/oauth2/v2.0/devicecode"_s));
    QCOMPARE(ms.redirectHost, u"localhost"_s);
    const OAuthProvider google = OAuthProvider::forProvider(Provider::Google);
    QCOMPARE(google.authorizeUrl, QUrl(u"https://accounts.google.com/o/oauth2/v2/auth"_s));
    QCOMPARE(google.scope, u"https://mail.google.com/"_s);
    QVERIFY(google.deviceAuthorizationUrl.isEmpty());

    qputenv("ORVELLA_OAUTH_AUTHORITY", "http://127.0.0.1:8123/");
    qputenv("ORVELLA_MS_CLIENT_ID", "ms-id");
    qputenv("ORVELLA_GOOGLE_CLIENT_ID", "g-id");
    qputenv("ORVELLA_GOOGLE_CLIENT_SECRET", "g-secret");
    const OAuthProvider testMs = OAuthProvider::forProvider(Provider::Microsoft);
    QCOMPARE(testMs.authorizeUrl, QUrl(u"http://127.0.0.1:8123/ms/authorize"_s));
    QCOMPARE(testMs.tokenUrl, QUrl(u"http://127.0.0.1:8123/ms/token"_s));
    QCOMPARE(testMs.deviceAuthorizationUrl, QUrl(u"http://127.0.0.1:8123/ms/devicecode"_s));
    QCOMPARE(testMs.clientId, u"ms-id"_s);
    QVERIFY(testMs.clientSecret.isEmpty());
    const OAuthProvider testGoogle = OAuthProvider::forProvider(Provider::Google);
    QCOMPARE(testGoogle.authorizeUrl, QUrl(u"http://127.0.0.1:8123/google/authorize"_s));
    QCOMPARE(testGoogle.tokenUrl, QUrl(u"http://127.0.0.1:8123/google/token"_s));
    QCOMPARE(testGoogle.clientId, u"g-id"_s);
    QCOMPARE(testGoogle.clientSecret, u"g-secret"_s);
}

QTEST_GUILESS_MAIN(tst_OAuthTokens)
#include "tst_OAuthTokens.moc"
