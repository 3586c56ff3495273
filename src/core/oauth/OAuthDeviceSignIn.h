#pragma once

#include "core/oauth/OAuthProvider.h"
#include "core/oauth/OAuthTokens.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <chrono>

class QNetworkAccessManager;
class QNetworkReply;

namespace orvella::oauth {

// Signing in with a code typed in on another device (OAuth2 device
// authorization grant), for a computer without a usable browser: the service
// gives a short code and an address, the user enters the code there, and
// this asks the service now and then whether it was.
class OAuthDeviceSignIn : public QObject
{
    Q_OBJECT
public:
    // network may be null (one of its own is used); otherwise it must
    // outlive this object.
    explicit OAuthDeviceSignIn(OAuthProvider provider, QNetworkAccessManager* network = nullptr,
                               QObject* parent = nullptr);
    ~OAuthDeviceSignIn() override;

    // Asks for a code; codeReady or failed follows, then finished or failed.
    void start();
    // Stops; no signal follows.
    void cancel();

    // The length of a second the service names (its polling interval and
    // the code's lifetime); tests shorten it.
    void setPollUnit(std::chrono::milliseconds unit) { m_unit = unit; }

Q_SIGNALS:
    // To show (and say) to the user: enter userCode at verificationUri
    // before expiresAt (UTC). message is the service's own sentence saying
    // so, possibly empty.
    void codeReady(const QString& userCode, const QUrl& verificationUri, const QDateTime& expiresAt,
                   const QString& message);
    void finished(const orvella::oauth::OAuthTokens& tokens);
    void failed(const QString& words);

private:
    void codeAnswered();
    void poll();
    void pollAnswered();
    void fail(const QString& words);
    void stop();

    OAuthProvider m_provider;
    QNetworkAccessManager* m_network;
    QPointer<QNetworkReply> m_reply;
    QTimer m_pollTimer;
    QTimer m_expiryTimer;
    QString m_deviceCode;
    int m_intervalSeconds = 5;
    std::chrono::milliseconds m_unit{1000};
    bool m_done = false;
};

} // namespace orvella::oauth
