#pragma once

// A program folder with its settings file, accounts, message store and the
// real check cycle, for tests that run checks against the private Dovecot
// (or any server) without the main window. The cycle's steps are shortened.

#include "core/mail/Accounts.h"
#include "core/mail/MailCheckCycle.h"
#include "core/message/MessageStore.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "platform/ProfileFile.h"
#include "support/ProgramFolder.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <functional>
#include <memory>

namespace orvella::test {

struct CycleRig
{
    ProgramFolder dir;
    std::unique_ptr<Settings> settings;
    std::unique_ptr<MessageStore> store;
    AccountList accounts;
    QList<MailMessage> newMessages;
    std::unique_ptr<MailCheckCycle> cycle;

    QString errorText;     // the Error page
    bool errorTab = false; // whether it shows
    QStringList statuses;
    // Called where the main window announces new mail, with the check's messages.
    std::function<void(const QList<MailMessage>&)> onAnnounce;

    CycleRig()
    {
        ProgramFolder::resetProgram();
        dir.adopt();
    }
    ~CycleRig()
    {
        // Accounts write their counters when released, so they go before the folder.
        cycle.reset();
        // An IMAP connection closed in the middle of IDLE resumes its request
        // by a queued call and is deleted later: both wait for the event loop.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        store.reset();
        accounts.clear();
        settings.reset();
    }
    CycleRig(const CycleRig&) = delete;
    CycleRig& operator=(const CycleRig&) = delete;

    QString iniPath() const { return dir.iniPath(); }

    // Writes "Zentra.INI" (LF line ends are fine) and loads everything from it.
    bool load(const QString& iniText)
    {
        dir.writeIni(iniText.toUtf8());
        return !QTest::currentTestFailed() && restart();
    }

    // Releases everything, as the program's end does, and loads it again
    // from the folder, as the next start does.
    bool restart()
    {
        cycle.reset();
        accounts.clear();
        newMessages.clear();
        platform::invalidateProfileCache();
        settings = std::make_unique<Settings>(dir.path());
        settings->LoadInitial();
        if (!settings->LoadSettings()) return false;
        settings->m_Lines = 5;
        store = std::make_unique<MessageStore>();
        accounts = LoadAccounts();
        cycle = std::make_unique<MailCheckCycle>(accounts, *settings, *store, newMessages);
        MailCheckCycle* c = cycle.get();
        c->setStepDelay([](int ms) { return ms / 10; });
        QObject::connect(c, &MailCheckCycle::statusText, c, [this](const QString& t) { statuses << t; });
        QObject::connect(c, &MailCheckCycle::errorText, c, [this](const QString& t) { errorText = t; });
        QObject::connect(c, &MailCheckCycle::errorPageVisible, c, [this](bool show) { errorTab = show; });
        QObject::connect(c, &MailCheckCycle::readyToAnnounce, c, [this](bool, bool) {
            if (onAnnounce) onAnnounce(newMessages);
        });
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
