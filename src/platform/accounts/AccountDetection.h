#pragma once

#include <QString>

namespace orvella {

// Where other mail programs keep their settings. The program uses the
// user's real folders; tests point every field at fixture folders.
struct AccountSources
{
    QString home;             // $HOME
    QString configHome;       // $XDG_CONFIG_HOME, else $HOME/.config
    QString wineRegistryFile; // $WINEPREFIX/user.reg, else $HOME/.wine/user.reg

    static AccountSources fromEnvironment();
};

// Looks for a POP account in the Linux mail programs (Thunderbird, Evolution,
// KMail, Claws Mail, fetchmail, in that order) and then in the Windows mail
// programs' keys of a Wine registry. The first account with both a server and
// a user name ends the search; a server found without a user name is kept and
// the search goes on. server and user are changed only by what is found.
// True when an account with both was found.
bool DetectAccountFrom(const AccountSources& sources, QString& server, QString& user);

} // namespace orvella
