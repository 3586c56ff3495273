#pragma once

#include "core/oauth/OAuthProvider.h"
#include "core/oauth/OAuthTokens.h"

#include <QByteArray>
#include <QNetworkAccessManager>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <chrono>

class QOAuth2AuthorizationCodeFlow;
class QOAuthHttpServerReplyHandler;
class QNetworkReply;

namespace orvella::oauth {

// Signing in through the browser (OAuth2 authorization code flow with PKCE):
// the user signs in on the service's page, the browser comes back to a
// listener of ours on 127.0.0.1, and the code it brings is exchanged for
// tokens. The listener takes connections from this computer only, and the
// code is worth nothing without the verifier that never leaves the program.
class OAuthSignIn : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds DefaultTimeLimit{std::chrono::minutes(5)};

    // loginHint: the account's address when known, so the service's page
    // starts with it filled in.
    explicit OAuthSignIn(OAuthProvider provider, QString loginHint = {}, QObject* parent = nullptr);
    ~OAuthSignIn() override;

    // Opens the listener and asks for the browser (openBrowser); finished or
    // failed follows, failed also when nothing comes back within the time
    // limit.
    void start();
    // Stops and closes the listener; no signal follows.
    void cancel();
    void setTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }

    // The listener's port while one is open, else 0.
    quint16 listeningPort() const;

Q_SIGNALS:
    // The page the user signs in on; the window opens it in the browser.
    void openBrowser(const QUrl& url);
    void finished(const orvella::oauth::OAuthTokens& tokens);
    void failed(const QString& words);

private:
    void callbackReceived(const QVariantMap& values);
    void replyFinished(QNetworkReply* reply);
    void succeed(const OAuthTokens& tokens);
    void fail(const QString& words);
    void stop();

    OAuthProvider m_provider;
    QString m_loginHint;
    QNetworkAccessManager m_network;
    QOAuth2AuthorizationCodeFlow* m_flow = nullptr;
    QOAuthHttpServerReplyHandler* m_handler = nullptr;
    QTimer m_limit;
    std::chrono::milliseconds m_timeLimit = DefaultTimeLimit;
    QString m_verifier;
    QString m_state;
    QString m_code;
    QString m_redirectUri;
    bool m_done = true;
};

} // namespace orvella::oauth
