#include "core/oauth/OAuthDeviceSignIn.h"

#include "core/oauth/OAuthHttp.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

using namespace Qt::Literals::StringLiterals;

namespace orvella::oauth {

namespace {

const QString ExpiredText = u"The code expired before it was entered. Start the sign-in again."_s;
const QString DeclinedText = u"The sign-in was declined."_s;

} // namespace

OAuthDeviceSignIn::OAuthDeviceSignIn(OAuthProvider provider, QNetworkAccessManager* network, QObject* parent)
    : QObject(parent), m_provider(std::move(provider)),
      m_network(network ? network : new QNetworkAccessManager(this))
{
    m_pollTimer.setSingleShot(true);
    m_expiryTimer.setSingleShot(true);
    connect(&m_pollTimer, &QTimer::timeout, this, &OAuthDeviceSignIn::poll);
    connect(&m_expiryTimer, &QTimer::timeout, this, [this] { fail(ExpiredText); });
}

OAuthDeviceSignIn::~OAuthDeviceSignIn()
{
    stop();
}

void OAuthDeviceSignIn::start()
{
    m_done = false;
    if (!m_provider.hasClientId() || m_provider.deviceAuthorizationUrl.isEmpty()) {
        const QString words = m_provider.hasClientId()
                                  ? u"%1 offers no sign-in with a code."_s.arg(m_provider.serviceName())
                                  : m_provider.missingClientIdText();
        // Told after start() returns, as every other outcome is.
        QTimer::singleShot(0, this, [this, words] { fail(words); });
        return;
    }
    m_reply =
        m_network->post(formRequest(m_provider.deviceAuthorizationUrl),
                        formBody({{u"client_id"_s, m_provider.clientId}, {u"scope"_s, m_provider.scope}}));
    connect(m_reply, &QNetworkReply::finished, this, &OAuthDeviceSignIn::codeAnswered);
}

void OAuthDeviceSignIn::codeAnswered()
{
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    if (!reply || m_done) return;
    reply->deleteLater();
    if (httpStatus(*reply) == 0) return fail(unreachableText(*reply));
    const QByteArray body = reply->readAll();
    const QJsonObject o = QJsonDocument::fromJson(body).object();
    m_deviceCode = o.value(u"device_code"_s).toString();
    const QString userCode = o.value(u"user_code"_s).toString();
    // RFC 8628 names it verification_uri; Google's verification_url.
    QUrl uri(o.value(u"verification_uri"_s).toString());
    if (uri.isEmpty()) uri = QUrl(o.value(u"verification_url"_s).toString());
    if (m_deviceCode.isEmpty() || userCode.isEmpty() || !uri.isValid() || uri.isEmpty()) {
        const TokenReply error = parseTokenReply(body);
        return fail(error.error == TokenError::None || error.error == TokenError::Unreadable
                        ? u"The sign-in service gave no code to enter."_s
                        : error.words);
    }
    const int expiresIn = o.value(u"expires_in"_s).toInt(900);
    m_intervalSeconds = qMax(1, o.value(u"interval"_s).toInt(5));
    const QDateTime expiresAt = QDateTime::currentDateTimeUtc().addMSecs(expiresIn * m_unit.count());
    m_expiryTimer.start(std::chrono::milliseconds(expiresIn * m_unit.count()));
    m_pollTimer.start(m_intervalSeconds * m_unit);
    Q_EMIT codeReady(userCode, uri, expiresAt, o.value(u"message"_s).toString());
}

void OAuthDeviceSignIn::poll()
{
    if (m_done) return;
    m_reply = m_network->post(formRequest(m_provider.tokenUrl),
                              formBody({{u"grant_type"_s, u"urn:ietf:params:oauth:grant-type:device_code"_s},
                                        {u"client_id"_s, m_provider.clientId},
                                        {u"device_code"_s, m_deviceCode}}));
    connect(m_reply, &QNetworkReply::finished, this, &OAuthDeviceSignIn::pollAnswered);
}

void OAuthDeviceSignIn::pollAnswered()
{
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    if (!reply || m_done) return;
    reply->deleteLater();
    const int status = httpStatus(*reply);
    // A lost answer or a server's bad moment is no reason to give up while
    // the code is still good: ask again at the next interval.
    if (status == 0 || status >= 500) {
        m_pollTimer.start(m_intervalSeconds * m_unit);
        return;
    }
    const TokenReply answer = parseTokenReply(reply->readAll());
    switch (answer.error) {
    case TokenError::None:
        stop();
        Q_EMIT finished(answer.tokens);
        return;
    case TokenError::AuthorizationPending:
        m_pollTimer.start(m_intervalSeconds * m_unit);
        return;
    case TokenError::SlowDown:
        // RFC 8628 3.5: five seconds more from now on.
        m_intervalSeconds += 5;
        m_pollTimer.start(m_intervalSeconds * m_unit);
        return;
    case TokenError::ExpiredToken:
        return fail(ExpiredText);
    case TokenError::AccessDenied:
        return fail(DeclinedText);
    default:
        return fail(answer.words);
    }
}

void OAuthDeviceSignIn::fail(const QString& words)
{
    if (m_done) return;
    stop();
    Q_EMIT failed(words);
}

void OAuthDeviceSignIn::cancel()
{
    stop();
}

void OAuthDeviceSignIn::stop()
{
    m_done = true;
    m_pollTimer.stop();
    m_expiryTimer.stop();
    if (QNetworkReply* reply = m_reply) {
        m_reply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

} // namespace orvella::oauth
