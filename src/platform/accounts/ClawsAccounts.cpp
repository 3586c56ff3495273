#include "platform/accounts/ClawsAccounts.h"

#include "platform/ProfileFile.h"

#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

QList<FoundAccount> readClawsAccounts(const QString& home, const QString& configHome)
{
    QString path = home + u"/.claws-mail/accountrc"_s;
    if (!QFileInfo::exists(path)) path = configHome + u"/claws-mail/accountrc"_s;
    const ProfileFile rc(path);

    QList<FoundAccount> defaults, others;
    for (const QString& section : rc.sections()) {
        if (!section.startsWith(u"Account:"_s, Qt::CaseInsensitive)) continue;
        // The receive protocol: 0 POP3, 1 APOP, 2 RPOP (all POP); IMAP, news and local are higher.
        bool ok = false;
        const int protocol = rc.read(section, u"protocol"_s, QString()).trimmed().toInt(&ok);
        if (!ok || protocol < 0 || protocol > 2) continue;
        const FoundAccount a{rc.read(section, u"receive_server"_s, QString()).trimmed(),
                             rc.read(section, u"user_id"_s, QString()).trimmed()};
        if (a.server.isEmpty()) continue;
        (rc.read(section, u"is_default"_s, u"0"_s).trimmed() == u"1"_s ? defaults : others) << a;
    }
    return defaults + others;
}

} // namespace orvella::platform
