#include "platform/Clock.h"

namespace orvella::platform {

namespace {
std::function<QDateTime()>& clockOverride()
{
    static std::function<QDateTime()> f;
    return f;
}
} // namespace

QDateTime now()
{
    if (clockOverride()) return clockOverride()();
    return QDateTime::currentDateTime();
}

void setClockOverride(std::function<QDateTime()> clock)
{
    clockOverride() = std::move(clock);
}

} // namespace orvella::platform
