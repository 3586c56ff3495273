#include "core/oauth/OAuthProvider.h"

using namespace Qt::Literals::StringLiterals;

#ifndef ORVELLA_MS_CLIENT_ID
#define ORVELLA_MS_CLIENT_ID ""
#endif
#ifndef ORVELLA_GOOGLE_CLIENT_ID
#define ORVELLA_GOOGLE_CLIENT_ID ""
#endif
#ifndef ORVELLA_GOOGLE_CLIENT_SECRET
#define ORVELLA_GOOGLE_CLIENT_SECRET ""
#endif

namespace orvella::oauth {

namespace {

// The environment's value when the variable is set (even empty: a test can
// take a built-in ID away), else the build's.
QString configured(const char* variable, const char* built)
{
    if (qEnvironmentVariableIsSet(variable)) return qEnvironmentVariable(variable).trimmed();
    return QString::fromUtf8(built).trimmed();
}

} // namespace

OAuthProvider OAuthProvider::forProvider(Provider provider)
{
    OAuthProvider p;
    p.provider = provider;
    QString authority = qEnvironmentVariable("ORVELLA_OAUTH_AUTHORITY").trimmed();
    while (authority.endsWith(u'/'))
        authority.chop(1);
    switch (provider) {
    case Provider::Microsoft: {
        const QString base = authority.isEmpty()
                                 ? u"https://login.microsoftonline.com/consumers/oauth2/v2.0"_s
                                 : authority + u"/ms"_s;
        p.authorizeUrl = QUrl(base + u"/authorize"_s);
        p.tokenUrl = QUrl(base + u"/token"_s);
        p.deviceAuthorizationUrl = QUrl(base + u"/devicecode"_s);
        p.scope = u"https://outlook.office.com/POP.AccessAsUser.All offline_access"_s;
        p.clientId = configured("ORVELLA_MS_CLIENT_ID", ORVELLA_MS_CLIENT_ID);
        p.redirectHost = u"localhost"_s;
        break;
    }
    case Provider::Google:
        p.authorizeUrl = QUrl(authority.isEmpty() ? u"https://accounts.google.com/o/oauth2/v2/auth"_s
                                                  : authority + u"/google/authorize"_s);
        p.tokenUrl = QUrl(authority.isEmpty() ? u"https://oauth2.googleapis.com/token"_s
                                              : authority + u"/google/token"_s);
        p.scope = u"https://mail.google.com/"_s;
        p.clientId = configured("ORVELLA_GOOGLE_CLIENT_ID", ORVELLA_GOOGLE_CLIENT_ID);
        p.clientSecret = configured("ORVELLA_GOOGLE_CLIENT_SECRET", ORVELLA_GOOGLE_CLIENT_SECRET);
        p.redirectHost = u"127.0.0.1"_s;
        break;
    }
    return p;
}

QString OAuthProvider::serviceName() const
{
    return provider == Provider::Microsoft ? u"Microsoft"_s : u"Google"_s;
}

QString OAuthProvider::signInKindName() const
{
    return provider == Provider::Microsoft ? u"Microsoft account (Outlook.com)"_s : u"Google account"_s;
}

QString OAuthProvider::missingClientIdText() const
{
    return u"This build of Orvella has no %1 sign-in registered. See the README for how to register one."_s
        .arg(serviceName());
}

std::optional<ServerProposal> providerForServer(const QString& server, bool imap)
{
    QString host = server.trimmed().toLower();
    if (host.endsWith(u'.')) host.chop(1);
    if (imap) {
        if (host == u"outlook.office365.com" || host == u"imap-mail.outlook.com")
            return ServerProposal{Provider::Microsoft, 993, true, true};
        if (host == u"imap.gmail.com") return ServerProposal{Provider::Google, 993, true, true};
        return std::nullopt;
    }
    if (host == u"outlook.office365.com" || host == u"pop-mail.outlook.com")
        return ServerProposal{Provider::Microsoft};
    if (host == u"pop.gmail.com") return ServerProposal{Provider::Google};
    return std::nullopt;
}

} // namespace orvella::oauth
