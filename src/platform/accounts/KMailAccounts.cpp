#include "platform/accounts/KMailAccounts.h"

#include "platform/ProfileFile.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

QList<FoundAccount> readKMailAccounts(const QString& configHome)
{
    static const QRegularExpression name(uR"(^akonadi_pop3_resource_(\d+)rc$)"_s);
    const QDir dir(configHome);
    QList<std::pair<qint64, QString>> files;
    for (const QString& f : dir.entryList({u"akonadi_pop3_resource_*rc"_s}, QDir::Files | QDir::Readable)) {
        const auto m = name.match(f);
        if (m.hasMatch()) files.append({m.captured(1).toLongLong(), f});
    }
    // Resource 10 comes after resource 9, not after resource 1.
    std::sort(files.begin(), files.end());

    QList<FoundAccount> out;
    for (const auto& [number, f] : files) {
        const ProfileFile rc(dir.filePath(f));
        const FoundAccount a{unescapeKeyFileValue(rc.read(u"General"_s, u"host"_s, QString())).trimmed(),
                             unescapeKeyFileValue(rc.read(u"General"_s, u"login"_s, QString())).trimmed()};
        if (!a.server.isEmpty()) out << a;
    }
    return out;
}

} // namespace orvella::platform
