#include "core/oauth/OAuthRefresh.h"

#include "core/oauth/OAuthHttp.h"

#include <QCoro/QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace orvella::oauth {

QCoro::Task<RefreshResult> refresh(const OAuthProvider& provider, QString refreshToken,
                                   QNetworkAccessManager& network)
{
    // Copied before the first suspension: the caller's provider need not
    // outlive the call.
    const QUrl tokenUrl = provider.tokenUrl;
    FormFields fields{{u"grant_type"_s, u"refresh_token"_s},
                      {u"refresh_token"_s, refreshToken},
                      {u"client_id"_s, provider.clientId},
                      {u"scope"_s, provider.scope}};
    if (!provider.clientSecret.isEmpty()) fields.append({u"client_secret"_s, provider.clientSecret});

    RefreshResult result;
    if (refreshToken.isEmpty()) {
        result.kind = RefreshResult::Kind::SignInAgain;
        result.words = u"There is no saved sign-in."_s;
        co_return result;
    }
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> reply(
        network.post(formRequest(tokenUrl), formBody(fields)), [](QNetworkReply* r) { r->deleteLater(); });
    co_await reply.get();

    const int status = httpStatus(*reply);
    if (status == 0) {
        result.words = unreachableText(*reply);
        co_return result;
    }
    if (status >= 500) {
        result.words = u"The sign-in service at %1 has a problem (HTTP %2); the next check tries again."_s
                           .arg(tokenUrl.host())
                           .arg(status);
        co_return result;
    }
    const TokenReply parsed = parseTokenReply(reply->readAll(), refreshToken);
    switch (parsed.error) {
    case TokenError::None:
        result.kind = RefreshResult::Kind::Ok;
        result.tokens = parsed.tokens;
        break;
    case TokenError::SignInAgain:
        result.kind = RefreshResult::Kind::SignInAgain;
        result.words = parsed.words;
        break;
    default:
        result.words = parsed.words;
        break;
    }
    co_return result;
}

} // namespace orvella::oauth
