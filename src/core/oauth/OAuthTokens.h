#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

namespace orvella::oauth {

// What a sign-in leaves for later checks: the access token the mail server
// takes, the refresh token that gets a new one without the user, and when the
// access token runs out (UTC; invalid when the service did not say).
struct OAuthTokens
{
    QString accessToken;
    QString refreshToken;
    QDateTime expiresAt;

    // Compact JSON for one keyring entry.
    QString toSecret() const;
    // nullopt for text toSecret() could not have written.
    static std::optional<OAuthTokens> fromSecret(const QString& secret);

    // True when the access token is missing, its end unknown, or it ends
    // within the given seconds of now: time to refresh before using it.
    bool expiresWithin(qint64 seconds, const QDateTime& now = QDateTime::currentDateTimeUtc()) const;

    friend bool operator==(const OAuthTokens&, const OAuthTokens&) = default;
};

// How a token endpoint answered.
enum class TokenError {
    None,
    // invalid_grant: the saved sign-in is no longer accepted (revoked,
    // expired, password changed); only signing in again helps.
    SignInAgain,
    // The device flow's answers while the user has not finished.
    AuthorizationPending,
    SlowDown,
    ExpiredToken,
    AccessDenied,
    // Any other error the service named (invalid_client, invalid_request...).
    Refused,
    // No JSON, or JSON without a token or an error.
    Unreadable,
};

struct TokenReply
{
    TokenError error = TokenError::None;
    // With TokenError::None.
    OAuthTokens tokens;
    // Otherwise why, in words for the user; never a token.
    QString words;
};

// Reads a token endpoint's JSON reply (whatever its HTTP status: errors come
// as 400 with a JSON body). A reply without refresh_token keeps
// previousRefreshToken, as a refresh may answer.
TokenReply parseTokenReply(const QByteArray& body, const QString& previousRefreshToken = {},
                           const QDateTime& now = QDateTime::currentDateTimeUtc());

// "Sign in to <account> again: the service no longer accepts its saved sign-in."
QString signInAgainText(const QString& accountName);

} // namespace orvella::oauth
