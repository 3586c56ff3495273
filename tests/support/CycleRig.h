#pragma once

// A program folder with its settings file, accounts, message store and the
// real check cycle, for tests that run checks against the private Dovecot
// (or any server) without the main window. The cycle's steps are shortened.

#include "mail/Accounts.h"
#include "mail/MailCheckCycle.h"
#include "message/MessageStore.h"
#include "platform/ProfileFile.h"
#include "settings/CSettings.h"
#include "settings/Program.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <functional>
#include <memory>

namespace orvella::test {

struct CycleRig
{
    QTemporaryDir dir;
    std::unique_ptr<CSettings> settings;
    std::unique_ptr<MessageStore> store;
    AccountList accounts;
    QList<CMessage> newMessages;
    std::unique_ptr<MailCheckCycle> cycle;

    QString errorText;     // the Error page
    bool errorTab = false; // whether it shows
    QStringList statuses;
    // Called where the main window announces new mail, with the check's messages.
    std::function<void(const QList<CMessage>&)> onAnnounce;

    CycleRig()
    {
        Program() = ProgramValues{};
        Program().AppPath = dir.path();
        platform::invalidateProfileCache();
    }
    ~CycleRig()
    {
        // Accounts write their counters when released, so they go before the folder.
        cycle.reset();
        store.reset();
        accounts.clear();
        settings.reset();
    }
    CycleRig(const CycleRig&) = delete;
    CycleRig& operator=(const CycleRig&) = delete;

    QString iniPath() const { return dir.filePath(QStringLiteral("Zentra.INI")); }

    // Writes "Zentra.INI" (LF line ends are fine) and loads everything from it.
    bool load(const QString& iniText)
    {
        QFile f(iniPath());
        if (!f.open(QIODevice::WriteOnly) || f.write(iniText.toUtf8()) < 0) return false;
        f.close();
        return restart();
    }

    // Releases everything, as the program's end does, and loads it again
    // from the folder, as the next start does.
    bool restart()
    {
        cycle.reset();
        accounts.clear();
        newMessages.clear();
        platform::invalidateProfileCache();
        settings = std::make_unique<CSettings>(dir.path());
        settings->LoadInitial();
        if (!settings->LoadSettings()) return false;
        settings->m_Lines = 5;
        store = std::make_unique<MessageStore>();
        accounts = LoadAccounts();
        cycle = std::make_unique<MailCheckCycle>(accounts, *settings, *store, newMessages);
        auto& h = cycle->hooks;
        h.stepDelay = [](int ms) { return ms / 10; };
        h.setStatusText = [this](const QString& t) { statuses << t; };
        h.setErrorText = [this](const QString& t) { errorText = t; };
        h.showErrorTab = [this](bool show) { errorTab = show; };
        h.announceNewMail = [this](bool, bool) {
            if (onAnnounce) onAnnounce(newMessages);
        };
        return true;
    }

    // A user-started check of every account, run to its end.
    bool check(int timeoutMs = 60000)
    {
        QSignalSpy finished(cycle.get(), &MailCheckCycle::finished);
        statuses.clear();
        cycle->CheckAllMailServers();
        return finished.wait(timeoutMs);
    }

    // An account section for the private Dovecot's plain port; keys that
    // follow it in the text belong to it too (the first account's section
    // also holds "ConnectionType").
    static QString dovecotSection(const QString& section, const QString& host, int port, const QString& user,
                                  const QString& passwordKeys)
    {
        return QStringLiteral("[%1]\nPOPServer=%2\nAccountName=%3\n%4\nPort=%5\nSecurity=None\n")
            .arg(section, host, user, passwordKeys, QString::number(port));
    }
};

} // namespace orvella::test
