#pragma once

#include "core/mail/Accounts.h"

#include <QList>
#include <QString>
#include <memory>

namespace orvella {

// The fields of an account the options dialog shows and the user changes,
// the two numbers as typed.
struct AccountFields
{
    QString popServer;
    QString accountName;
    QString password;
    QString checkInterval;
    QString port;
    QString security;
    QString trustedCertificate;
    // "Password", "Microsoft" or "Google". With the two OAuth2 kinds
    // `password` carries the tokens of the last sign-in, which no field shows.
    QString signIn;
    // "POP3" or "IMAP".
    QString protocol = QStringLiteral("POP3");
    // IMAP: the folders watched besides INBOX, comma separated as typed.
    QString folders;

    static AccountFields of(const Account& account);
    bool operator==(const AccountFields&) const = default;
};

// What the options dialog edits instead of the accounts themselves: a copy
// of each account's fields, changed as the user types, and accounts added or
// removed, all of which reach the program's accounts on OK only. Until then
// the mail check goes on with the saved accounts (a half-typed server is
// never connected to), and Cancel leaves them as they were.
//
// The accounts keep one owner, the program's account list: a draft points at
// its account without owning it, and OK changes in each account only the
// fields the user changed, so what a check learned meanwhile (the security,
// a password the keyring gave, a refused certificate) stays.
class AccountDrafts
{
public:
    struct Draft
    {
        std::weak_ptr<Account> account; // null for an account added in the dialog
        bool added = false;
        AccountFields opened; // as the dialog found them
        AccountFields now;    // as the user left them
        // The fingerprint of the certificate the last check refused, for the
        // user to trust; empty once trusted.
        QString rejectedCertificate;
        // Why the last check could not use the account's sign-in ("sign in
        // again"); empty when it could.
        QString signInProblem;
        // The password waits in the keyring: the field shows nothing.
        bool passwordInKeyring = false;
        // The user picked the kind of sign-in: a server typed no longer proposes one.
        bool signInChosen = false;

        // A password is given: typed (or the tokens of a sign-in), or the
        // account's unchanged under its unchanged kind of sign-in.
        bool hasPassword() const;
    };

    // A field that cannot work, and why.
    struct Problem
    {
        enum Field { None, Interval, Port };
        int index = -1; // the draft
        Field field = None;
        QString message;
    };

    AccountDrafts() = default;
    explicit AccountDrafts(const AccountList& accounts);

    QList<Draft> drafts;

    // A new account: what a section that does not exist gives (the defaults,
    // and the server and name of another mail program when one is found),
    // never what the file holds in the section it will be saved in.
    Draft& add();
    void remove(int index);

    // Why text cannot be a check interval (a whole number of minutes, 1 or
    // more) or a port (1 to 65535); empty when it can.
    static QString IntervalProblem(const QString& text);
    static QString PortProblem(const QString& text);
    // The first field of any draft that cannot work.
    Problem FirstProblem() const;

    // Makes accounts what the drafts say, in their order: accounts removed in
    // the dialog leave the list, added ones join it, and each keeps what the
    // user did not change. Call only without a problem.
    void Apply(AccountList& accounts) const;
};

} // namespace orvella
