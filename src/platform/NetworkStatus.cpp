#include "platform/NetworkStatus.h"

#include <QNetworkInformation>

namespace orvella::platform {

namespace {
const bool* overrideValue = nullptr;
}

void setNetworkReachableOverride(const bool* value)
{
    overrideValue = value;
}

bool networkReachable()
{
    if (overrideValue) return *overrideValue;
    static const bool loaded = QNetworkInformation::load(QNetworkInformation::Feature::Reachability);
    const QNetworkInformation* info = loaded ? QNetworkInformation::instance() : nullptr;
    if (!info) return true;
    const auto r = info->reachability();
    return r == QNetworkInformation::Reachability::Online || r == QNetworkInformation::Reachability::Unknown;
}

} // namespace orvella::platform
