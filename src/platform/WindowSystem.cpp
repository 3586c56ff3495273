#include "platform/WindowSystem.h"

#include <QGuiApplication>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

QString chooseQtPlatform(const WindowSystemEnvironment& env)
{
    if (!env.orvellaPlatform.trimmed().isEmpty()) return env.orvellaPlatform.trimmed();
    if (env.display.isEmpty()) return {};
    // Qt takes the first platform of a list that loads ("wayland;xcb").
    const QString first = env.qtPlatform.section(u';', 0, 0).section(u':', 0, 0).trimmed();
    if (first.isEmpty() || first.startsWith(u"wayland"_s, Qt::CaseInsensitive)) return u"xcb"_s;
    return {};
}

void chooseWindowSystem()
{
    WindowSystemEnvironment env;
    env.orvellaPlatform = qEnvironmentVariable("ORVELLA_PLATFORM");
    env.qtPlatform = qEnvironmentVariable("QT_QPA_PLATFORM");
    env.display = qEnvironmentVariable("DISPLAY");
    const QString platform = chooseQtPlatform(env);
    if (!platform.isEmpty()) qputenv("QT_QPA_PLATFORM", platform.toLocal8Bit());
}

bool nativeWayland()
{
    return QGuiApplication::platformName().startsWith(u"wayland"_s);
}

} // namespace orvella::platform
