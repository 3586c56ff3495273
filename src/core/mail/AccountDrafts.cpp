#include "core/mail/AccountDrafts.h"

#include "core/pop3/Pop3Client.h"
#include "platform/accounts/AccountDetection.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// The digits of a number field as a number; -1 when it holds none.
int typedNumber(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : -1;
}

} // namespace

AccountFields AccountFields::of(const Account& account)
{
    return {account.m_PopServer,
            account.m_AccountName,
            account.m_Password,
            QString::number(account.m_CheckInterval),
            QString::number(account.m_Port),
            account.m_Security,
            account.m_TrustedCertificate,
            Account::signInText(account.m_SignIn),
            Account::protocolText(account.m_Protocol),
            account.m_Folders.join(u", "_s)};
}

bool AccountDrafts::Draft::hasPassword() const
{
    if (!now.password.isEmpty()) return true;
    // A password is no Microsoft or Google sign-in, nor the other way round.
    if (added || now.password != opened.password || now.signIn != opened.signIn) return false;
    const auto a = account.lock();
    return a && a->HasPassword();
}

AccountDrafts::AccountDrafts(const AccountList& accounts)
{
    for (const auto& account : accounts) {
        Draft d;
        d.account = account;
        d.opened = d.now = AccountFields::of(*account);
        d.rejectedCertificate = account->m_RejectedCertificate;
        d.signInProblem = account->m_SignInProblem;
        d.passwordInKeyring = account->PasswordPending();
        drafts.append(d);
    }
}

AccountDrafts::Draft& AccountDrafts::add()
{
    Draft d;
    d.added = true;
    const Account defaults;
    d.now = AccountFields::of(defaults);
    DetectAccountFrom(AccountSources::fromEnvironment(), d.now.popServer, d.now.accountName);
    // A new account travels encrypted unless the user decides otherwise.
    d.now.security = d.now.port == u"995"_s ? u"TLS"_s : u"STARTTLS"_s;
    drafts.append(d);
    return drafts.last();
}

void AccountDrafts::remove(int index)
{
    if (index >= 0 && index < drafts.size()) drafts.removeAt(index);
}

QString AccountDrafts::IntervalProblem(const QString& text)
{
    return typedNumber(text) >= 1 ? QString() : u"Type a number of minutes, 1 or more."_s;
}

QString AccountDrafts::PortProblem(const QString& text)
{
    const int port = typedNumber(text);
    return port >= 1 && port <= 65535 ? QString() : u"Type a port number from 1 to 65535."_s;
}

AccountDrafts::Problem AccountDrafts::FirstProblem() const
{
    for (int i = 0; i < drafts.size(); ++i) {
        if (const QString why = IntervalProblem(drafts[i].now.checkInterval); !why.isEmpty())
            return {i, Problem::Interval, why};
        if (const QString why = PortProblem(drafts[i].now.port); !why.isEmpty())
            return {i, Problem::Port, why};
    }
    return {};
}

void AccountDrafts::Apply(AccountList& accounts) const
{
    AccountList result;
    for (const Draft& d : drafts) {
        const std::shared_ptr<Account> account = d.added ? std::make_shared<Account>() : d.account.lock();
        if (!account) continue;
        const auto changed = [&](QString AccountFields::*field) {
            return d.added || d.now.*field != d.opened.*field;
        };
        if (changed(&AccountFields::popServer)) account->m_PopServer = d.now.popServer;
        if (changed(&AccountFields::accountName)) account->m_AccountName = d.now.accountName;
        if (changed(&AccountFields::password)) {
            account->m_Password = d.now.password;
            // New tokens (or a new password) answer what the last check found wrong.
            account->m_SignInProblem.clear();
        }
        if (changed(&AccountFields::checkInterval))
            account->m_CheckInterval = typedNumber(d.now.checkInterval);
        if (changed(&AccountFields::port)) account->m_Port = typedNumber(d.now.port);
        if (changed(&AccountFields::security)) account->m_Security = d.now.security;
        if (changed(&AccountFields::signIn)) account->m_SignIn = Account::signInFromText(d.now.signIn);
        if (changed(&AccountFields::protocol))
            account->m_Protocol = Account::protocolFromText(d.now.protocol);
        if (changed(&AccountFields::folders)) account->m_Folders = Account::foldersFromText(d.now.folders);
        if (changed(&AccountFields::trustedCertificate)) {
            account->m_TrustedCertificate = d.now.trustedCertificate;
            // The refusal the user answered by trusting the certificate is settled.
            if (!account->m_RejectedCertificate.isEmpty() &&
                Pop3Client::normalizeFingerprint(account->m_RejectedCertificate) ==
                    Pop3Client::normalizeFingerprint(d.now.trustedCertificate))
                account->m_RejectedCertificate.clear();
        }
        // Due at the next minute, as an account read at start-up is.
        if (d.added) account->m_MinuteCounter = account->m_CheckInterval;
        result.append(account);
    }
    accounts = result;
}

} // namespace orvella
