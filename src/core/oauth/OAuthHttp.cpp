#include "core/oauth/OAuthHttp.h"

#include <QNetworkReply>

using namespace Qt::Literals::StringLiterals;

namespace orvella::oauth {

QByteArray formBody(const FormFields& fields)
{
    QByteArray body;
    for (const auto& [key, value] : fields) {
        if (!body.isEmpty()) body += '&';
        body += QUrl::toPercentEncoding(key) + '=' + QUrl::toPercentEncoding(value);
    }
    return body;
}

QNetworkRequest formRequest(const QUrl& url, std::chrono::milliseconds timeLimit)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, u"application/x-www-form-urlencoded"_s);
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(int(timeLimit.count()));
    // A sign-in service is never allowed to send the form elsewhere.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    return request;
}

int httpStatus(const QNetworkReply& reply)
{
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QString unreachableText(const QNetworkReply& reply)
{
    const QString host = reply.url().host();
    switch (reply.error()) {
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        return u"The sign-in service at %1 did not answer in time."_s.arg(host);
    case QNetworkReply::HostNotFoundError:
        return u"The sign-in service at %1 could not be found; is the computer online?"_s.arg(host);
    case QNetworkReply::ConnectionRefusedError:
        return u"The sign-in service at %1 refused the connection."_s.arg(host);
    default:
        return u"The sign-in service at %1 could not be reached (%2)."_s.arg(host, reply.errorString());
    }
}

} // namespace orvella::oauth
