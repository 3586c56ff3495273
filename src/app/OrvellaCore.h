#pragma once

#include "mail/Accounts.h"
#include "rules/CFilter.h"
#include "rules/CRule.h"
#include "speech/MessageReader.h"
#include "speech/agent/AgentTrace.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace orvella {

class CRemindersSet;
class CSettings;
class CharacterControl;
class IAgent;
class IUserInterface;
class MailCheckCycle;
class MessageStore;
class NewMailNotifier;
namespace platform {
class DesktopNotifications;
}
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
    explicit OrvellaCore(IUserInterface& ui, QObject* parent = nullptr);
    ~OrvellaCore() override;

    // Makes the character; the real engine unless a test installs its own.
    using AgentFactory = std::function<std::unique_ptr<IAgent>()>;
    static AgentFactory& agentFactory();

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
    void Timer1_Timer();
    QTimer* timer1() { return &Timer1; }
    void StartMinuteTimer(int ms);

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

    CSettings& settings() const { return *Settings; }
    IAgent* agent() const { return Agent1.get(); }
    SpeechOutput* speech() const { return Speech.get(); }
    CharacterControl* character() const { return Character.get(); }
    MessageStore* store() const { return Store.get(); }
    MessageReader* reader() const { return Reader.get(); }
    MailCheckCycle* cycle() const { return Cycle.get(); }
    CRemindersSet* reminders() const { return ReminderSet.get(); }
    AccountList& accounts() { return Accounts; }
    RuleList& rules() { return Rules; }
    FilterList& filters() { return Filters; }

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
    void Agent1_Command(const QString& name);
    void Agent1_Hide(int cause);

    IUserInterface& m_ui;
    std::unique_ptr<CSettings> Settings;
    std::unique_ptr<IAgent> Agent1;
    std::unique_ptr<SpeechOutput> Speech;
    std::unique_ptr<CharacterControl> Character;
    AccountList Accounts;
    RuleList Rules;
    FilterList Filters;
    std::unique_ptr<MessageStore> Store;
    std::unique_ptr<MessageReader> Reader;
    // Posts new mail and reminders to the desktop's notification server.
    std::unique_ptr<platform::DesktopNotifications> Notifications;
    std::unique_ptr<NewMailNotifier> Notifier;
    std::unique_ptr<MailCheckCycle> Cycle;
    std::unique_ptr<CRemindersSet> ReminderSet;
    QTimer Timer1;
    bool m_loaded = false;
    bool m_checkEnabled = true;
    bool m_exitEnabled = true;
    // The status bar's text and the Error page's text go into the character's
    // trace too ("status", "error"), so a problem report shows what the user saw.
    AgentTrace m_trace;
};

} // namespace orvella
