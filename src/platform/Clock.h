#pragma once

#include <QDateTime>
#include <functional>

namespace orvella::platform {

// The local date and time as the program sees it. Tests replace it to run the
// minute tick at chosen moments.
QDateTime now();
void setClockOverride(std::function<QDateTime()> clock); // empty function: the real clock

} // namespace orvella::platform
