#include "platform/accounts/AccountDetection.h"

#include "platform/accounts/ClawsAccounts.h"
#include "platform/accounts/EvolutionAccounts.h"
#include "platform/accounts/FetchmailAccounts.h"
#include "platform/accounts/KMailAccounts.h"
#include "platform/accounts/ThunderbirdAccounts.h"
#include "platform/accounts/WineRegistry.h"

#include <QDir>
#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

AccountSources AccountSources::fromEnvironment()
{
    AccountSources s;
    s.home = qEnvironmentVariable("HOME", QDir::homePath());
    s.configHome = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (s.configHome.isEmpty()) s.configHome = s.home + u"/.config"_s;
    const QString prefix = qEnvironmentVariable("WINEPREFIX");
    s.wineRegistryFile = (prefix.isEmpty() ? s.home + u"/.wine"_s : prefix) + u"/user.reg"_s;
    return s;
}

bool DetectAccountFrom(const AccountSources& sources, QString& server, QString& user)
{
    using namespace platform;
    // Read one program at a time: a hit in an early one spares reading the rest.
    const std::function<QList<FoundAccount>()> programs[] = {
        [&] { return readThunderbirdAccounts(sources.home); },
        [&] { return readEvolutionAccounts(sources.configHome); },
        [&] { return readKMailAccounts(sources.configHome); },
        [&] { return readClawsAccounts(sources.home, sources.configHome); },
        [&] { return readFetchmailAccounts(sources.home); },
    };
    for (const auto& program : programs) {
        for (const FoundAccount& a : program()) {
            if (a.server.isEmpty()) continue;
            server = a.server;
            if (!a.user.isEmpty()) {
                user = a.user;
                return true;
            }
        }
    }

    WineRegistry registry;
    if (!registry.load(sources.wineRegistryFile)) return false;
    return detectWindowsMailAccount(registry, server, user);
}

} // namespace orvella
