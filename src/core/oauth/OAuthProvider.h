#pragma once

#include <QString>
#include <QUrl>
#include <optional>

namespace orvella::oauth {

enum class Provider { Microsoft, Google };

// Where and as whom the program signs in to a mail service that takes OAuth2
// instead of a password. The client ID and secret are the program's own
// registration with the service, given by whoever builds it (the CMake cache
// variables ORVELLA_MS_CLIENT_ID, ORVELLA_GOOGLE_CLIENT_ID and
// ORVELLA_GOOGLE_CLIENT_SECRET); environment variables of the same names
// replace them at run time, so a packager's or a test's own registration can
// be used without a rebuild. ORVELLA_OAUTH_AUTHORITY=http://host:port sends
// every endpoint to a server of the tests' (AUTHORITY + "/ms/token" and so on).
struct OAuthProvider
{
    Provider provider = Provider::Microsoft;
    QUrl authorizeUrl;
    QUrl tokenUrl;
    // Device authorization (a code typed in on another device); Microsoft only.
    QUrl deviceAuthorizationUrl;
    QString scope;
    QString clientId;
    // Google's clients for installed programs have a "secret" that cannot
    // stay secret in a program anyone can download; it is sent all the same.
    QString clientSecret;
    // How the loopback redirect is written: Microsoft accepts only
    // "localhost", Google the address itself.
    QString redirectHost;

    // The provider's endpoints and the build's (or environment's) client.
    static OAuthProvider forProvider(Provider provider);

    bool hasClientId() const { return !clientId.isEmpty(); }
    // For the user when hasClientId() is false.
    QString missingClientIdText() const;
    // "Microsoft" or "Google", for messages.
    QString serviceName() const;
    // The kind of sign-in as the account settings name it:
    // "Microsoft account (Outlook.com)" or "Google account".
    QString signInKindName() const;
};

// What an account on a known POP server should use.
struct ServerProposal
{
    Provider provider = Provider::Microsoft;
    int port = 995;
    bool tls = true;
    bool imap = false; // the server speaks IMAP
};

// The provider whose POP server (or, with `imap`, IMAP server) this is (any
// letter case, a trailing dot allowed); nullopt for every other server.
std::optional<ServerProposal> providerForServer(const QString& server, bool imap = false);

} // namespace orvella::oauth
