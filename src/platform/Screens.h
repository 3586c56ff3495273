#pragma once

#include <QList>
#include <QRect>

namespace orvella::platform {

// The primary screen without its panels (a fixed 1024x768 when there is no
// screen at all), and every screen's such area.
QRect availableScreenGeometry();
QList<QRect> availableScreenGeometries();

} // namespace orvella::platform
