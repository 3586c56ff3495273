#include "platform/accounts/EvolutionAccounts.h"

#include "platform/ProfileFile.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

QList<FoundAccount> readEvolutionAccounts(const QString& configHome)
{
    QList<FoundAccount> out;
    const QDir dir(configHome + u"/evolution/sources"_s);
    const QStringList files = dir.entryList({u"*.source"_s}, QDir::Files | QDir::Readable, QDir::Name);
    for (const QString& name : files) {
        const ProfileFile source(dir.filePath(name));
        const auto value = [&](const QString& section, const QString& key) {
            return unescapeKeyFileValue(source.read(section, key, QString())).trimmed();
        };
        if (value(u"Mail Account"_s, u"BackendName"_s).compare(u"pop"_s, Qt::CaseInsensitive) != 0) continue;
        if (value(u"Data Source"_s, u"Enabled"_s).compare(u"false"_s, Qt::CaseInsensitive) == 0) continue;
        const FoundAccount a{value(u"Authentication"_s, u"Host"_s), value(u"Authentication"_s, u"User"_s)};
        if (!a.server.isEmpty()) out << a;
    }
    return out;
}

} // namespace orvella::platform
