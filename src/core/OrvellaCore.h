#pragma once

#include "core/AgentTrace.h"
#include "core/mail/Accounts.h"
#include "core/reading/MessageReader.h"
#include "core/rules/Filter.h"
#include "core/rules/Rule.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace orvella {

class ReminderSet;
class Settings;
class CharacterControl;
class IAgent;
class IUserInterface;
class MailCheckCycle;
class MessageStore;
class NewMailNotifier;
namespace platform {
class DesktopNotifications;
class DoNotDisturb;
class SystemEvents;
} // namespace platform
class SpeechOutput;

// The program without its windows: settings, the character, accounts, the
// mail check, the stored messages, the reading of new mail, rules, filters,
// reminders and the minute tick. It owns them all, runs their start-up and
// shut-down order, and tells the windows what changed through its signals;
// the windows only show it and forward the user's commands. What must be
// answered before the logic goes on (notices, prompts, the wizard) goes
// through the IUserInterface it is given.
class OrvellaCore : public QObject
{
    Q_OBJECT
public:
    // Makes the character: the program gives the real engine, tests a fake.
    using AgentFactory = std::function<std::unique_ptr<IAgent>()>;
    explicit OrvellaCore(AgentFactory makeAgent, QObject* parent = nullptr);
    ~OrvellaCore() override;

    // Who answers what the user must answer; none (nullptr) declines everything.
    void setUserInterface(IUserInterface* ui);

    // The start-up up to the window's geometry: characters folder, settings,
    // character, accounts, the rest of the settings (with the wizard on a
    // first start). False ends the program at once, writing nothing.
    bool LoadStart();
    // The rest of the start-up: rules, filters, the first account's check,
    // stored messages, reminders.
    void LoadRest();
    bool loaded() const { return m_loaded; }
    // What Exit saves, without ending: settings, each account's counters and
    // identifiers.
    void SaveAll();
    // Exit: everything saved and released.
    void Unload();

    // The minute tick: re-arms itself to the next whole minute, then the
    // spoken clock, the reminders and the mail tick.
    void onMinuteTick();
    QTimer* timer1() { return &m_minuteTimer; }
    void StartMinuteTimer(int ms);

    // The computer goes to sleep: a running check is cut short.
    void SystemSleeping();
    // The computer woke up, or the network came back: after a moment for
    // the network to settle, the checks a sleep or a lost connection cut
    // short and the ones that fell due meanwhile run (waiting for a check
    // or a reading that runs).
    void SystemWoken();
    void NetworkReturned();
    static constexpr int SettleMs = 2000;
    // The desktop is in Do Not Disturb and the settings ask to keep quiet
    // then: no new mail, clock or (with its own setting) reminder aloud.
    bool quietNow(bool reminder) const;

    // Commands.
    void CheckAllMailServers();
    bool checkControlsEnabled() const { return m_checkEnabled; }
    bool exitEnabled() const { return m_exitEnabled; }
    void ReadClipboard();
    void SpeakDroppedText(const QString& text);
    void ReadStoredMessage(int row);
    void StopReading();
    void NextMessage();
    void PreviousMessage();
    void ReplayMessage();
    void SetAlwaysShow(bool checked);
    void SetDontCheck(bool dontCheck);
    void SetEnableReminders(bool enabled);
    void SetVoiceSpeed(int speed);
    void SetVoicePitch(int pitch);
    void PreviewVoice();
    // Removes the message of row; the row to select next, -1 when none is left.
    int RemoveMessage(int row);
    void RemoveAllMessages();
    // The sender's address of the message of row (empty when it cannot be read).
    QString AddressOf(int row) const;
    void Greet();
    // "Orvella Tip" and "Options" in the character's menu, while their windows are open.
    void SetCharacterCommandEnabled(const QString& name, bool enabled);

    Settings& settings() const { return *m_settings; }
    IAgent* agent() const { return m_agent.get(); }
    SpeechOutput* speech() const { return m_speech.get(); }
    CharacterControl* character() const { return m_character.get(); }
    MessageStore* store() const { return m_store.get(); }
    MessageReader* reader() const { return m_reader.get(); }
    MailCheckCycle* cycle() const { return m_cycle.get(); }
    ReminderSet* reminders() const { return m_reminders.get(); }
    AccountList& accounts() { return m_accounts; }
    RuleList& rules() { return m_rules; }
    FilterList& filters() { return m_filters; }

Q_SIGNALS:
    void statusText(const QString& text);       // status bar panel 1
    void connectionStatus(const QString& text); // panel 2
    void errorText(const QString& text);        // the Error page
    void errorPageVisible(bool visible);
    // Every way to start a check (the minute timer pauses with them).
    void checkControlsChanged(bool enabled);
    void exitEnabledChanged(bool enabled);
    void readingPanelChanged(const orvella::MessageReader::Panel& panel);
    // The message of row is being read: the list selects it.
    void messageSelected(int row);
    void messageCommandsChanged();
    void launchRequested();      // show the main window
    void newMailIconRequested(); // the tray's new-mail picture
    void characterVisible(bool shown);
    // A command of the character's menu the windows carry out ("Options", "Orvella Tip").
    void windowCommand(const QString& name);
    // A reminder's due time moved.
    void remindersChanged();

private:
    void createLogic();
    void setStatusText(const QString& text);
    void SetCheckControls(bool enable);
    void DiscardAccounts();
    void onCharacterCommand(const QString& name);
    void onCharacterHidden(int cause);
    void runCatchUp();

    IUserInterface& ui() const;

    AgentFactory m_makeAgent;
    IUserInterface* m_ui = nullptr;
    std::unique_ptr<Settings> m_settings;
    std::unique_ptr<IAgent> m_agent;
    std::unique_ptr<SpeechOutput> m_speech;
    std::unique_ptr<CharacterControl> m_character;
    AccountList m_accounts;
    RuleList m_rules;
    FilterList m_filters;
    std::unique_ptr<MessageStore> m_store;
    std::unique_ptr<MessageReader> m_reader;
    // Posts new mail and reminders to the desktop's notification server.
    std::unique_ptr<platform::DesktopNotifications> m_notifications;
    std::unique_ptr<NewMailNotifier> m_notifier;
    std::unique_ptr<MailCheckCycle> m_cycle;
    std::unique_ptr<ReminderSet> m_reminders;
    QTimer m_minuteTimer;
    std::unique_ptr<platform::SystemEvents> m_systemEvents;
    std::unique_ptr<platform::DoNotDisturb> m_doNotDisturb;
    QTimer m_catchUpTimer;
    bool m_catchUpPending = false; // waits for the check controls to come back
    bool m_loaded = false;
    bool m_checkEnabled = true;
    bool m_exitEnabled = true;
    // The status bar's text and the Error page's text go into the character's
    // trace too ("status", "error"), so a problem report shows what the user saw.
    AgentTrace m_trace;
};

} // namespace orvella
