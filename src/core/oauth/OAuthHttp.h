#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <chrono>
#include <utility>

class QNetworkReply;

namespace orvella::oauth {

// Every request to a sign-in service gives up after this long.
inline constexpr std::chrono::milliseconds RequestTimeLimit{std::chrono::seconds(30)};

using FormFields = QList<std::pair<QString, QString>>;

// An application/x-www-form-urlencoded body with every character outside the
// unreserved set percent-encoded: "+", "/" and "=" in codes and tokens must
// reach the service as themselves, and a bare "+" in a form means a space.
QByteArray formBody(const FormFields& fields);

// A POST of a form to url, time-limited, asking for JSON.
QNetworkRequest formRequest(const QUrl& url, std::chrono::milliseconds timeLimit = RequestTimeLimit);

// The HTTP status of a finished reply, 0 when none came (no connection,
// time limit).
int httpStatus(const QNetworkReply& reply);

// Why a request got no answer from the service, in words for the user.
QString unreachableText(const QNetworkReply& reply);

} // namespace orvella::oauth
