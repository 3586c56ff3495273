#pragma once

#include "core/oauth/OAuthProvider.h"
#include "core/oauth/OAuthTokens.h"

#include <QCoro/QCoroTask>

class QNetworkAccessManager;

namespace orvella::oauth {

struct RefreshResult
{
    enum class Kind {
        Ok,
        // The service refuses the refresh token (invalid_grant): the user
        // must sign in again; trying later does not help.
        SignInAgain,
        // No answer, a server error or an answer that could not be read:
        // the next check tries again.
        Temporary,
    };
    Kind kind = Kind::Temporary;
    // With Kind::Ok; the refresh token is the new one when the service
    // rotated it, else the one given.
    OAuthTokens tokens;
    // Otherwise why, in words for the user; never a token.
    QString words;

    bool ok() const { return kind == Kind::Ok; }
};

// Gets a new access token for refreshToken, within RequestTimeLimit.
QCoro::Task<RefreshResult> refresh(const OAuthProvider& provider, QString refreshToken,
                                   QNetworkAccessManager& network);

} // namespace orvella::oauth
