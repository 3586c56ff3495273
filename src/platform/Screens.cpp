#include "platform/Screens.h"

#include <QGuiApplication>
#include <QScreen>

namespace orvella::platform {

QRect availableScreenGeometry()
{
    const QScreen* s = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                           ? QGuiApplication::primaryScreen()
                           : nullptr;
    return s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
}

QList<QRect> availableScreenGeometries()
{
    QList<QRect> areas;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return areas;
    for (const QScreen* s : QGuiApplication::screens())
        areas << s->availableGeometry();
    return areas;
}

} // namespace orvella::platform
