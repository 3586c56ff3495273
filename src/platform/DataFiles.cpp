#include "platform/DataFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

QString shippedDataDir()
{
    if (const QByteArray env = qgetenv("ORVELLA_DATA_DIR"); !env.isEmpty())
        return QString::fromLocal8Bit(env);
    const QString besideBinary = QCoreApplication::applicationDirPath() + u"/../share/orvella"_s;
    if (QFileInfo::exists(besideBinary + u"/characters"_s)) return QDir::cleanPath(besideBinary);
    const QString source = QStringLiteral(ORVELLA_DATA_SOURCE_DIR);
    if (QFileInfo::exists(source)) return source;
    return QStringLiteral(ORVELLA_DATA_INSTALL_DIR);
}

QString installedCharactersFolder()
{
    return shippedDataDir() + u"/characters"_s;
}

QString defaultProgramFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/Orvella"_s;
}

void copyMissingDataFiles(const QString& appPath)
{
    static const char16_t* const files[] = {u"TIPS.TXT", u"Sounds/NewMail.wav", u"Sounds/Clock.wav"};
    const QString from = shippedDataDir();
    for (const char16_t* name : files) {
        const QString target = appPath + u'/' + QString::fromUtf16(name);
        if (QFileInfo::exists(target)) continue;
        const QString source = from + u'/' + QString::fromUtf16(name);
        if (!QFileInfo::exists(source)) continue;
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (QFile::copy(source, target))
            QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                         QFile::ReadOther);
    }
}

} // namespace orvella::platform
