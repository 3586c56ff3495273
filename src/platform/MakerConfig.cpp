#include "platform/MakerConfig.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

QString makerConfigPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/Quenlix/Zentra.conf"_s;
}

QString readMakerValue(const QString& name, bool* found)
{
    const QString path = makerConfigPath();
    if (found) *found = false;
    if (!QFileInfo::exists(path)) return {};
    QSettings conf(path, QSettings::IniFormat);
    if (!conf.contains(name)) return {};
    if (found) *found = true;
    return conf.value(name).toString().left(511);
}

} // namespace orvella::platform
