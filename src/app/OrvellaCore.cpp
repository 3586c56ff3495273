#include "app/OrvellaCore.h"

#include "app/IUserInterface.h"
#include "clock/ClipboardReading.h"
#include "clock/SpokenClock.h"
#include "mail/AccountPasswords.h"
#include "mail/CAccount.h"
#include "mail/MailCheckCycle.h"
#include "mail/NewMailNotifier.h"
#include "message/MessageStore.h"
#include "platform/Clock.h"
#include "platform/DesktopNotifications.h"
#include "reminders/CRemindersSet.h"
#include "reminders/CheckReminders.h"
#include "settings/CSettings.h"
#include "settings/Program.h"
#include "speech/CharacterControl.h"
#include "speech/SpeechOutput.h"
#include "speech/SpeechText.h"
#include "speech/agent/AgentEngine.h"
#include "speech/agent/IAgent.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

OrvellaCore::OrvellaCore(IUserInterface& ui, QObject* parent) : QObject(parent), m_ui(ui)
{
    Timer1.setObjectName(u"Timer1"_s);
    Timer1.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, &OrvellaCore::Timer1_Timer);
}

OrvellaCore::~OrvellaCore()
{
    // The keyring may answer a save after the core is gone.
    AccountPasswords::hooks().showNotice = {};
    // A reminder window belongs to its reminder; the set goes before the speech it uses.
    ReminderSet.reset();
}

OrvellaCore::AgentFactory& OrvellaCore::agentFactory()
{
    static AgentFactory factory = [] { return std::unique_ptr<IAgent>(std::make_unique<AgentEngine>()); };
    return factory;
}

// ---------------------------------------------------------------------------
// Start-up and shut-down

bool OrvellaCore::LoadStart()
{
    CharacterControl::SetCharactersFolder();
    Settings = std::make_unique<CSettings>(AppPath());
    const QString damaged = Settings->SetAsideDamagedFile();
    Settings->LoadInitial();
    Agent1 = agentFactory()();
    createLogic();
    if (!Character->InitCharacter())
        return false;
    Character->RestoreStayInPlace();
    Accounts = LoadAccounts();
    Settings->wizardRunner = [this](int startPage) { return m_ui.runWizard(startPage); };
    // Said before the set-up opens, so the set-up is no surprise.
    if (!damaged.isEmpty()) m_ui.showMessage(damaged, false, u"Sad"_s);
    if (!Settings->LoadSettings()) {
        // Cancelled: the program ends as if it had never started.
        DiscardAccounts();
        Settings->RestoreDamagedFile();
        return false;
    }
    return true;
}

void OrvellaCore::LoadRest()
{
    Rules = LoadRules();
    Filters = LoadFilters();
    Cycle->CheckParameters();
    Store->LoadStoredMessages();

    ReminderSet = std::make_unique<CRemindersSet>();
    ReminderSet->alert.speech = Speech.get();
    ReminderSet->alert.openWindow = [this](const QString& text) { return m_ui.openReminderWindow(text); };
    ReminderSet->alert.openListWindow = [this](const QString& heading, const QStringList& lines) {
        return m_ui.openReminderList(heading, lines);
    };
    ReminderSet->alert.notifications = Notifications.get();
    ReminderSet->alert.characterHidden = [this] { return !Agent1 || !Agent1->Visible(); };
    // A damaged reminder file is skipped; the user learns which one.
    if (!ReminderSet->Load())
        setStatusText(ReminderSet->LoadError());
    // Said where errors are read, and kept there through the first check.
    if (!Program().BusNotice.isEmpty()) Cycle->ShowNotice(Program().BusNotice);
    m_loaded = true;
}

// The logic objects and how they reach one another and the windows.
void OrvellaCore::createLogic()
{
    Speech = std::make_unique<SpeechOutput>(*Agent1, *Settings);
    Character = std::make_unique<CharacterControl>(*Agent1, *Settings);
    Character->speech = Speech.get();
    Character->showMessage = [this](const QString& text, bool sayIt, const QString& gesture) {
        m_ui.showMessage(text, sayIt, gesture);
    };
    Speech->placeCharacter = [this] { Character->SetAgentPos(); };
    Speech->applyFilters = [this](const QString& text) { return ApplyFilters(Filters, text); };

    Store = std::make_unique<MessageStore>();
    connect(Store.get(), &MessageStore::changed, this, &OrvellaCore::messageCommandsChanged);

    Reader = std::make_unique<MessageReader>(*Speech, *Settings, Rules);
    auto& rh = Reader->hooks;
    rh.setStatusText = [this](const QString& t) { setStatusText(t); };
    rh.selectMessageInList = [this](const CMessage& m) {
        const int row = Store->RowOf(m);
        if (row >= 0)
            Q_EMIT messageSelected(row);
    };
    rh.setCheckControls = [this](bool on) { SetCheckControls(on); };
    rh.launch = [this] { Q_EMIT launchRequested(); };
    rh.setNewMailIcon = [this] { Q_EMIT newMailIconRequested(); };
    rh.mainWindowVisible = [this] { return m_ui.mainWindowVisible(); };
    rh.syncCharacterMenu = [this](bool next, bool previous) { Character->SyncCharacterMenu(next, previous); };
    rh.promptOnceWindow = [this](const QList<CMessage>& messages) { return m_ui.promptOnce(messages); };
    rh.promptForMessageWindow = [this](const CMessage& message) { return m_ui.promptForMessage(message); };
    rh.panelChanged = [this](const MessageReader::Panel& panel) { Q_EMIT readingPanelChanged(panel); };
    Character->syncMenu = [this] { Reader->SyncCharacterMenu(); };

    Notifications = std::make_unique<platform::DesktopNotifications>();
    Notifier = std::make_unique<NewMailNotifier>(*Notifications, *Settings, Rules);
    connect(Notifier.get(), &NewMailNotifier::readRequested, this, [this] {
        if (Reader)
            Notifier->ReadNotifiedMail(*Reader, !m_checkEnabled);
    });
    connect(Notifier.get(), &NewMailNotifier::openRequested, this, &OrvellaCore::launchRequested);

    Cycle = std::make_unique<MailCheckCycle>(Accounts, *Settings, *Store, Reader->NewMessages);
    auto& ch = Cycle->hooks;
    ch.setStatusText = [this](const QString& t) { setStatusText(t); };
    ch.setConnectionStatus = [this](const QString& t) { Q_EMIT connectionStatus(t); };
    ch.setCheckControls = [this](bool on) { SetCheckControls(on); };
    ch.setExitEnabled = [this](bool on) {
        m_exitEnabled = on;
        Q_EMIT exitEnabledChanged(on);
    };
    ch.announceNewMail = [this](bool all, bool error) {
        Notifier->NewMailArrived(Reader->NewMessages);
        Reader->AnnounceNewMail(all, error);
    };
    ch.updateMessageCommands = [this] { Q_EMIT messageCommandsChanged(); };
    ch.setErrorText = [this](const QString& t) {
        m_trace.write(u"error"_s, t);
        Q_EMIT errorText(t);
    };
    ch.showErrorTab = [this](bool show) { Q_EMIT errorPageVisible(show); };
    ch.showMessage = [this](const QString& text, bool sayIt, const QString& gesture) {
        m_ui.showMessage(text, sayIt, gesture);
    };
    // Where the passwords stay scrambled in the settings file because no
    // keyring took them, the Error page says so, once a run.
    AccountPasswords::hooks().showNotice = [this](const QString& text) {
        if (Cycle) Cycle->ShowNotice(text);
    };

    connect(Agent1.get(), &IAgent::Command, this, &OrvellaCore::Agent1_Command);
    connect(Agent1.get(), &IAgent::DblClick, this, &OrvellaCore::ReadClipboard);
    connect(Agent1.get(), &IAgent::ShowEvent, this, [this](int) { Q_EMIT characterVisible(true); });
    connect(Agent1.get(), &IAgent::HideEvent, this, &OrvellaCore::Agent1_Hide);
    connect(Agent1.get(), &IAgent::Bookmark, this, [this](int id) { Reader->Agent1_Bookmark(id); });
}

void OrvellaCore::DiscardAccounts()
{
    for (const auto& account : std::as_const(Accounts))
        account->Discard();
    Accounts.clear();
}

void OrvellaCore::SaveAll()
{
    if (!m_loaded)
        return;
    Character->RememberStayInPlace();
    Settings->Save();
    for (const auto& account : std::as_const(Accounts)) {
        if (!account->ownsSection())
            continue;
        account->SaveMessageIDs();
        account->WriteCounters();
    }
}

void OrvellaCore::Unload()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    Timer1.stop();
    Character->RememberStayInPlace();
    Settings->Save();
    ReminderSet.reset();
    Cycle.reset();
    Notifier.reset();
    Notifications.reset();
    Reader.reset();
    Store.reset();
    Character.reset();
    Speech.reset();
    Agent1.reset();
    // Each account writes its counters and identifiers as it goes.
    Accounts.clear();
    Settings.reset();
}

// ---------------------------------------------------------------------------
// The minute tick

void OrvellaCore::StartMinuteTimer(int ms)
{
    Timer1.setInterval(ms);
    // A check or a reading that runs holds the timer; its end starts it.
    if (m_checkEnabled)
        Timer1.start();
}

void OrvellaCore::Timer1_Timer()
{
    const QDateTime now = platform::now();
    Timer1.setInterval((60 - now.time().second()) * 1000);
    AnnounceTime(*Speech, now);
    if (ReminderSet && CheckReminders(*ReminderSet, Settings->m_EnableReminders, m_ui.modalDialogDisplayed()))
        Q_EMIT remindersChanged();
    Cycle->MailTick();
}

void OrvellaCore::SetCheckControls(bool enable)
{
    if (enable)
        Timer1.start();
    else
        Timer1.stop();
    m_checkEnabled = enable;
    if (Agent1)
        Agent1->setCommandEnabled(u"Check Mail Now"_s, enable);
    Q_EMIT checkControlsChanged(enable);
}

void OrvellaCore::setStatusText(const QString& text)
{
    m_trace.write(u"status"_s, text);
    Q_EMIT statusText(text);
}

// ---------------------------------------------------------------------------
// Commands

void OrvellaCore::CheckAllMailServers()
{
    // Not while the program starts: the set-up may still be open, and the
    // accounts it is filling in are not settled yet.
    if (m_loaded && m_checkEnabled && Cycle) Cycle->CheckAllMailServers();
}

void OrvellaCore::ReadClipboard()
{
    if (Speech)
        orvella::ReadClipboard(*Speech);
}

void OrvellaCore::SpeakDroppedText(const QString& text)
{
    if (Speech && !text.isEmpty())
        Speech->SayAndPlay(NeutralizeSpeechTags(text), u"Read"_s, true, true); // text from outside
}

void OrvellaCore::ReadStoredMessage(int row)
{
    CMessage message;
    if (Store && Store->Load(row, message))
        Reader->cmdTellMe_Click(message.Path());
}

void OrvellaCore::StopReading()
{
    if (Reader)
        Reader->cmdStopReading_Click();
}

void OrvellaCore::NextMessage()
{
    if (Reader && Reader->panel.nextEnabled)
        Reader->cmdNext_Click();
}

void OrvellaCore::PreviousMessage()
{
    if (Reader && Reader->panel.prevEnabled)
        Reader->cmdPrev_Click();
}

void OrvellaCore::ReplayMessage()
{
    if (Reader && Reader->panel.replayEnabled)
        Reader->cmdReplay_Click();
}

void OrvellaCore::SetAlwaysShow(bool checked)
{
    if (Character)
        Character->chkAlwaysShow_Click(checked);
}

void OrvellaCore::SetDontCheck(bool dontCheck)
{
    if (Settings)
        Settings->m_DontCheck = dontCheck;
}

void OrvellaCore::SetEnableReminders(bool enabled)
{
    if (Settings)
        Settings->m_EnableReminders = enabled;
}

void OrvellaCore::SetVoiceSpeed(int speed)
{
    if (Settings)
        Settings->m_VoiceSpeed = speed;
}

void OrvellaCore::SetVoicePitch(int pitch)
{
    if (Settings)
        Settings->m_VoicePitch = pitch;
}

void OrvellaCore::PreviewVoice()
{
    if (Speech)
        Speech->cmdPreviewVoice_Click();
}

int OrvellaCore::RemoveMessage(int row)
{
    return Store ? Store->Remove(row) : -1;
}

void OrvellaCore::RemoveAllMessages()
{
    if (Store)
        Store->RemoveAll();
}

QString OrvellaCore::AddressOf(int row) const
{
    CMessage message;
    return Store && Store->Load(row, message) ? message.EMailAddress() : QString();
}

void OrvellaCore::Greet()
{
    if (Settings->m_WelcomeGesture != u"None"_s)
        Character->SayWelcome(true, true);
}

void OrvellaCore::SetCharacterCommandEnabled(const QString& name, bool enabled)
{
    if (Agent1)
        Agent1->setCommandEnabled(name, enabled);
}

void OrvellaCore::Agent1_Command(const QString& name)
{
    if (name == u"Check Mail Now"_s)
        CheckAllMailServers();
    else if (name == u"Read Clipboard"_s)
        ReadClipboard();
    else if (name == u"Stop Talking"_s)
        StopReading();
    else if (name == u"Previous Message"_s)
        PreviousMessage();
    else if (name == u"Next Message"_s)
        NextMessage();
    else
        Q_EMIT windowCommand(name);
}

void OrvellaCore::Agent1_Hide(int cause)
{
    Q_EMIT characterVisible(false);
    if (Reader)
        Reader->Agent1_Hide(cause);
}

} // namespace orvella
