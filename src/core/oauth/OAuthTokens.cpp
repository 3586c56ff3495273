#include "core/oauth/OAuthTokens.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

namespace orvella::oauth {

QString OAuthTokens::toSecret() const
{
    QJsonObject o{{u"access"_s, accessToken}, {u"refresh"_s, refreshToken}};
    if (expiresAt.isValid()) o.insert(u"expires"_s, expiresAt.toSecsSinceEpoch());
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

std::optional<OAuthTokens> OAuthTokens::fromSecret(const QString& secret)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(secret.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const QJsonValue access = o.value(u"access"_s);
    const QJsonValue refresh = o.value(u"refresh"_s);
    const QJsonValue expires = o.value(u"expires"_s);
    if (!access.isString() || !refresh.isString() || (!expires.isUndefined() && !expires.isDouble()))
        return std::nullopt;
    OAuthTokens t{access.toString(), refresh.toString(), {}};
    if (t.accessToken.isEmpty() && t.refreshToken.isEmpty()) return std::nullopt;
    if (expires.isDouble()) t.expiresAt = QDateTime::fromSecsSinceEpoch(qint64(expires.toDouble()), Qt::UTC);
    return t;
}

bool OAuthTokens::expiresWithin(qint64 seconds, const QDateTime& now) const
{
    return accessToken.isEmpty() || !expiresAt.isValid() || now.secsTo(expiresAt) <= seconds;
}

namespace {

// The service's own explanation, cut to a sentence's length and without
// anything of ours that might have been echoed back.
QString describe(const QJsonObject& o, const QString& secret)
{
    QString text = o.value(u"error_description"_s).toString().simplified();
    if (!secret.isEmpty()) text.replace(secret, u"…"_s);
    if (text.size() > 300) text = text.left(300) + u'…';
    return text;
}

} // namespace

TokenReply parseTokenReply(const QByteArray& body, const QString& previousRefreshToken, const QDateTime& now)
{
    TokenReply r;
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        r.error = TokenError::Unreadable;
        r.words = u"The sign-in service gave an answer that could not be read."_s;
        return r;
    }
    const QJsonObject o = doc.object();
    const QJsonValue error = o.value(u"error"_s);
    if (!error.isUndefined()) {
        const QString code = error.toString();
        const QString description = describe(o, previousRefreshToken);
        if (code == u"invalid_grant") {
            r.error = TokenError::SignInAgain;
            r.words = u"The service no longer accepts the saved sign-in."_s;
        } else if (code == u"authorization_pending") {
            r.error = TokenError::AuthorizationPending;
            r.words = u"The sign-in is not finished yet."_s;
        } else if (code == u"slow_down") {
            r.error = TokenError::SlowDown;
            r.words = u"The sign-in service asks to be asked less often."_s;
        } else if (code == u"expired_token") {
            r.error = TokenError::ExpiredToken;
            r.words = u"The code expired before it was entered. Start the sign-in again."_s;
        } else if (code == u"access_denied") {
            r.error = TokenError::AccessDenied;
            r.words = u"The sign-in was declined."_s;
        } else {
            r.error = TokenError::Refused;
            r.words = description.isEmpty()
                          ? u"The sign-in service refused the request (%1)."_s.arg(code)
                          : u"The sign-in service refused the request (%1): %2"_s.arg(code, description);
        }
        return r;
    }
    const QJsonValue access = o.value(u"access_token"_s);
    if (!access.isString() || access.toString().isEmpty()) {
        r.error = TokenError::Unreadable;
        r.words = u"The sign-in service answered without an access token."_s;
        return r;
    }
    r.tokens.accessToken = access.toString();
    const QJsonValue refresh = o.value(u"refresh_token"_s);
    r.tokens.refreshToken =
        refresh.isString() && !refresh.toString().isEmpty() ? refresh.toString() : previousRefreshToken;
    // A number as the standard has it, or a number in a string as some
    // services send it.
    const QJsonValue expiresIn = o.value(u"expires_in"_s);
    bool ok = expiresIn.isDouble();
    qint64 seconds = ok ? qint64(expiresIn.toDouble()) : expiresIn.toString().toLongLong(&ok);
    if (ok && seconds > 0) r.tokens.expiresAt = now.toUTC().addSecs(seconds);
    return r;
}

QString signInAgainText(const QString& accountName)
{
    return u"Sign in to %1 again: the service no longer accepts its saved sign-in."_s.arg(accountName);
}

} // namespace orvella::oauth
