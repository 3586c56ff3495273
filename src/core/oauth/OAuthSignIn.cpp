#include "core/oauth/OAuthSignIn.h"

#include "core/oauth/Pkce.h"

#include "core/oauth/OAuthHttp.h"

#include <QHostAddress>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QUrlQuery>

using namespace Qt::Literals::StringLiterals;

namespace orvella::oauth {

namespace {

// ---- PKCE (RFC 7636) --------------------------------------------------

using Stage = QAbstractOAuth::Stage;

} // namespace

OAuthSignIn::OAuthSignIn(OAuthProvider provider, QString loginHint, QObject* parent)
    : QObject(parent), m_provider(std::move(provider)), m_loginHint(std::move(loginHint))
{
    m_limit.setSingleShot(true);
    connect(&m_limit, &QTimer::timeout, this, [this] {
        const qint64 minutes =
            qMax<qint64>(1, std::chrono::duration_cast<std::chrono::minutes>(m_timeLimit).count());
        fail(u"No answer came back from the browser within %1. Start the sign-in again."_s.arg(
            minutes == 1 ? u"a minute"_s : u"%1 minutes"_s.arg(minutes)));
    });
    connect(&m_network, &QNetworkAccessManager::finished, this, &OAuthSignIn::replyFinished);
}

OAuthSignIn::~OAuthSignIn()
{
    // Gone before the network manager they use, which is a member and so
    // destroyed before the children are.
    delete m_flow;
    m_flow = nullptr;
    delete m_handler;
    m_handler = nullptr;
    stop();
}

quint16 OAuthSignIn::listeningPort() const
{
    return m_handler && m_handler->isListening() ? m_handler->port() : 0;
}

void OAuthSignIn::start()
{
    stop();
    m_done = false;
    if (!m_provider.hasClientId()) {
        const QString words = m_provider.missingClientIdText();
        QTimer::singleShot(0, this, [this, words] { fail(words); });
        return;
    }
    // Loopback only: the code must not be offered to the network.
    m_handler = new QOAuthHttpServerReplyHandler(QHostAddress(QHostAddress::LocalHost), 0, this);
    if (!m_handler->isListening()) {
        QTimer::singleShot(0, this, [this] {
            fail(u"The sign-in could not open a port on this computer for the browser's answer."_s);
        });
        return;
    }
    m_handler->setCallbackText(u"Orvella has the answer of the sign-in. You can close this page."_s);

    m_flow = new QOAuth2AuthorizationCodeFlow(&m_network, this);
    m_flow->setAuthorizationUrl(m_provider.authorizeUrl);
    m_flow->setAccessTokenUrl(m_provider.tokenUrl);
    m_flow->setClientIdentifier(m_provider.clientId);
    if (!m_provider.clientSecret.isEmpty()) m_flow->setClientIdentifierSharedKey(m_provider.clientSecret);
    m_flow->setScope(m_provider.scope);
    m_flow->setReplyHandler(m_handler);
    m_state = makeState();
    m_code.clear();
    m_flow->setState(m_state);
    m_verifier = makeVerifier();

    // The handler's own address (http://127.0.0.1:PORT/), written as the
    // service wants it; both requests must name it alike.
    QUrl redirect(m_handler->callback());
    redirect.setHost(m_provider.redirectHost);
    m_redirectUri = redirect.toString(QUrl::FullyEncoded);

    // Qt 6.4 has no PKCE, writes the redirect address with 127.0.0.1, and
    // puts values into the query as they are, so that a "+" in an address
    // would arrive as a space: each value set here is percent-encoded
    // already, which the query keeps as it is.
    m_flow->setModifyParametersFunction([this](Stage stage, QMultiMap<QString, QVariant>* p) {
        const auto set = [p](const QString& key, const QString& value) {
            p->replace(key, QString::fromLatin1(QUrl::toPercentEncoding(value)));
        };
        if (stage == Stage::RequestingAuthorization) {
            set(u"redirect_uri"_s, m_redirectUri);
            set(u"code_challenge"_s, challengeS256(m_verifier));
            set(u"code_challenge_method"_s, u"S256"_s);
            if (!m_loginHint.isEmpty()) set(u"login_hint"_s, m_loginHint);
            if (m_provider.provider == Provider::Google) {
                // Without both, Google gives a refresh token only the first time.
                set(u"access_type"_s, u"offline"_s);
                set(u"prompt"_s, u"consent"_s);
            }
        } else if (stage == Stage::RequestingAccessToken) {
            set(u"redirect_uri"_s, m_redirectUri);
            set(u"code_verifier"_s, m_verifier);
            // Qt 6.4's listener hands the code on still percent-encoded, and
            // the flow encodes it once more ("/" would go as "%252F"): the
            // code as callbackReceived decoded it goes instead.
            set(u"code"_s, m_code);
        }
    });
    connect(m_flow, &QAbstractOAuth::authorizeWithBrowser, this, &OAuthSignIn::openBrowser);
    // Checked before the flow takes it: Qt 6.4 drops a mismatched or
    // failed answer without a word.
    connect(m_handler, &QAbstractOAuthReplyHandler::callbackReceived, this, &OAuthSignIn::callbackReceived);
    m_limit.start(m_timeLimit);
    m_flow->grant();
}

void OAuthSignIn::callbackReceived(const QVariantMap& values)
{
    // Qt 6.4's listener takes every path for an answer: a browser's request
    // for the page's icon, before or after the real answer, is none.
    if (m_done || !m_code.isEmpty() ||
        (!values.contains(u"code"_s) && !values.contains(u"state"_s) && !values.contains(u"error"_s)))
        return;
    const QString error = values.value(u"error"_s).toString();
    if (!error.isEmpty()) {
        if (error == u"access_denied") return fail(u"The sign-in was declined in the browser."_s);
        const QString description =
            QUrl::fromPercentEncoding(values.value(u"error_description"_s).toByteArray());
        return fail(u"The sign-in service reported a problem (%1): %2"_s.arg(error, description.left(300)));
    }
    if (QUrl::fromPercentEncoding(values.value(u"state"_s).toByteArray()) != m_state)
        return fail(u"The browser brought back an answer that does not belong to this sign-in. Start the "
                    u"sign-in again."_s);
    m_code = QUrl::fromPercentEncoding(values.value(u"code"_s).toByteArray());
    if (m_code.isEmpty()) return fail(u"The browser came back without a sign-in code."_s);
}

void OAuthSignIn::replyFinished(QNetworkReply* reply)
{
    if (m_done || !m_flow || reply->url() != m_provider.tokenUrl) return;
    // Peeked, not read: the flow reads the same reply after us.
    const QByteArray body = reply->peek(reply->bytesAvailable());
    if (httpStatus(*reply) == 0) return fail(unreachableText(*reply));
    const TokenReply answer = parseTokenReply(body);
    if (answer.error == TokenError::None) return succeed(answer.tokens);
    if (answer.error == TokenError::SignInAgain)
        return fail(u"The sign-in service did not accept the browser's answer. Start the sign-in again."_s);
    fail(answer.words);
}

void OAuthSignIn::succeed(const OAuthTokens& tokens)
{
    stop();
    Q_EMIT finished(tokens);
}

void OAuthSignIn::fail(const QString& words)
{
    if (m_done) return;
    stop();
    Q_EMIT failed(words);
}

void OAuthSignIn::cancel()
{
    stop();
}

void OAuthSignIn::stop()
{
    m_done = true;
    m_limit.stop();
    if (m_flow) {
        m_flow->disconnect(this);
        m_flow->setModifyParametersFunction({});
        m_flow->deleteLater();
        m_flow = nullptr;
    }
    if (m_handler) {
        m_handler->disconnect(this);
        m_handler->close();
        m_handler->deleteLater();
        m_handler = nullptr;
    }
}

} // namespace orvella::oauth
