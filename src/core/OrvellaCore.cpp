#include "core/OrvellaCore.h"

#include "core/IUserInterface.h"
#include "core/mail/Account.h"
#include "core/mail/AccountPasswords.h"
#include "core/mail/MailCheckCycle.h"
#include "core/message/MessageStore.h"
#include "core/reading/ClipboardReading.h"
#include "core/reading/NewMailNotifier.h"
#include "core/reading/SpokenClock.h"
#include "core/reminders/CheckReminders.h"
#include "core/reminders/ReminderSet.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "core/speech/CharacterControl.h"
#include "core/speech/IAgent.h"
#include "core/speech/SpeechOutput.h"
#include "core/speech/SpeechText.h"
#include "platform/Clock.h"
#include "platform/DesktopNotifications.h"
#include "platform/DoNotDisturb.h"
#include "platform/SystemEvents.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// Before a window is given (and in programs without one) nothing is asked:
// notices go unseen, prompts are declined, the wizard does not run.
class NoUserInterface : public IUserInterface
{
public:
    void showMessage(const QString&, bool, const QString&) override {}
    bool promptOnce(const QList<MailMessage>&) override { return false; }
    bool promptForMessage(const MailMessage&) override { return false; }
    bool runWizard(int) override { return false; }
    QObject* openReminderWindow(const QString&) override { return nullptr; }
    QObject* openReminderList(const QString&, const QStringList&) override { return nullptr; }
    bool mainWindowVisible() const override { return false; }
    bool modalDialogDisplayed() const override { return false; }
};

} // namespace

OrvellaCore::OrvellaCore(AgentFactory makeAgent, QObject* parent)
    : QObject(parent), m_makeAgent(std::move(makeAgent))
{
    m_minuteTimer.setObjectName(u"Timer1"_s);
    m_minuteTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_minuteTimer, &QTimer::timeout, this, &OrvellaCore::onMinuteTick);
    m_catchUpTimer.setSingleShot(true);
    m_catchUpTimer.setInterval(SettleMs);
    connect(&m_catchUpTimer, &QTimer::timeout, this, &OrvellaCore::runCatchUp);
}

OrvellaCore::~OrvellaCore()
{
    // The keyring may answer a save after the core is gone.
    AccountPasswords::hooks().showNotice = {};
    // A reminder window belongs to its reminder; the set goes before the speech it uses.
    m_reminders.reset();
}

void OrvellaCore::setUserInterface(IUserInterface* ui)
{
    m_ui = ui;
    if (m_reader) m_reader->setUserInterface(ui);
}

IUserInterface& OrvellaCore::ui() const
{
    static NoUserInterface none;
    return m_ui ? *m_ui : none;
}

// ---------------------------------------------------------------------------
// Start-up and shut-down

bool OrvellaCore::LoadStart()
{
    CharacterControl::SetCharactersFolder();
    m_settings = std::make_unique<Settings>(AppPath());
    const QString damaged = m_settings->SetAsideDamagedFile();
    m_settings->LoadInitial();
    m_agent = m_makeAgent();
    createLogic();
    if (!m_character->InitCharacter()) return false;
    m_character->RestoreStayInPlace();
    m_accounts = LoadAccounts();
    m_settings->wizardRunner = [this](int startPage) { return ui().runWizard(startPage); };
    // Said before the set-up opens, so the set-up is no surprise.
    if (!damaged.isEmpty()) ui().showMessage(damaged, false, u"Sad"_s);
    if (!m_settings->LoadSettings()) {
        // Cancelled: the program ends as if it had never started.
        DiscardAccounts();
        m_settings->RestoreDamagedFile();
        return false;
    }
    return true;
}

void OrvellaCore::LoadRest()
{
    m_rules = LoadRules();
    m_filters = LoadFilters();
    // A password still in the settings file goes into the keyring now, not
    // only when the user next presses OK in the options.
    AccountPasswords::MoveFromFile(m_accounts);
    m_cycle->CheckParameters();
    m_store->LoadStoredMessages();

    m_reminders = std::make_unique<ReminderSet>();
    m_reminders->alert.speech = m_speech.get();
    m_reminders->alert.openWindow = [this](const QString& text) { return ui().openReminderWindow(text); };
    m_reminders->alert.openListWindow = [this](const QString& heading, const QStringList& lines) {
        return ui().openReminderList(heading, lines);
    };
    m_reminders->alert.notifications = m_notifications.get();
    m_reminders->alert.characterHidden = [this] { return !m_agent || !m_agent->Visible(); };
    // A damaged reminder file is skipped; the user learns which one.
    if (!m_reminders->Load()) setStatusText(m_reminders->LoadError());
    // Said where errors are read, and kept there through the first check.
    if (!Program().BusNotice.isEmpty()) m_cycle->ShowNotice(Program().BusNotice);
    m_loaded = true;

    m_systemEvents = std::make_unique<platform::SystemEvents>();
    connect(m_systemEvents.get(), &platform::SystemEvents::sleeping, this, &OrvellaCore::SystemSleeping);
    connect(m_systemEvents.get(), &platform::SystemEvents::woken, this, &OrvellaCore::SystemWoken);
    connect(m_systemEvents.get(), &platform::SystemEvents::networkReturned, this,
            &OrvellaCore::NetworkReturned);
    // Once the program runs: the start never waits for the system bus.
    QTimer::singleShot(0, m_systemEvents.get(), &platform::SystemEvents::start);
    m_doNotDisturb = std::make_unique<platform::DoNotDisturb>();
    connect(m_doNotDisturb.get(), &platform::DoNotDisturb::changed, this,
            [this](bool on) { m_trace.write(u"do-not-disturb"_s, on ? u"on"_s : u"off"_s); });
    QTimer::singleShot(0, m_doNotDisturb.get(), &platform::DoNotDisturb::start);
}

// The logic objects and how they reach one another and the windows.
void OrvellaCore::createLogic()
{
    m_speech = std::make_unique<SpeechOutput>(*m_agent, *m_settings);
    m_character = std::make_unique<CharacterControl>(*m_agent, *m_settings);
    m_character->speech = m_speech.get();
    m_character->showMessage = [this](const QString& text, bool sayIt, const QString& gesture) {
        ui().showMessage(text, sayIt, gesture);
    };
    m_speech->placeCharacter = [this] { m_character->SetAgentPos(); };
    m_speech->applyFilters = [this](const QString& text) { return ApplyFilters(m_filters, text); };

    m_store = std::make_unique<MessageStore>();
    connect(m_store.get(), &MessageStore::changed, this, &OrvellaCore::messageCommandsChanged);

    m_reader = std::make_unique<MessageReader>(*m_speech, *m_settings, m_rules);
    m_reader->setUserInterface(m_ui);
    m_reader->quiet = [this] { return quietNow(false); };
    MessageReader* reader = m_reader.get();
    connect(reader, &MessageReader::statusText, this, &OrvellaCore::setStatusText);
    connect(reader, &MessageReader::messageShown, this, [this](const MailMessage& m) {
        const int row = m_store->RowOf(m);
        if (row >= 0) Q_EMIT messageSelected(row);
    });
    connect(reader, &MessageReader::checkControlsChanged, this, &OrvellaCore::SetCheckControls);
    connect(reader, &MessageReader::launchRequested, this, &OrvellaCore::launchRequested);
    connect(reader, &MessageReader::newMailIconRequested, this, &OrvellaCore::newMailIconRequested);
    connect(reader, &MessageReader::characterMenuChanged, this,
            [this](bool next, bool previous) { m_character->SyncCharacterMenu(next, previous); });
    connect(reader, &MessageReader::panelChanged, this, &OrvellaCore::readingPanelChanged);
    m_character->syncMenu = [this] { m_reader->SyncCharacterMenu(); };

    m_notifications = std::make_unique<platform::DesktopNotifications>();
    m_notifier = std::make_unique<NewMailNotifier>(*m_notifications, *m_settings, m_rules);
    connect(m_notifier.get(), &NewMailNotifier::readRequested, this, [this] {
        if (m_reader) m_notifier->ReadNotifiedMail(*m_reader, !m_checkEnabled);
    });
    connect(m_notifier.get(), &NewMailNotifier::openRequested, this, &OrvellaCore::launchRequested);

    m_cycle = std::make_unique<MailCheckCycle>(m_accounts, *m_settings, *m_store, m_reader->NewMessages);
    MailCheckCycle* cycle = m_cycle.get();
    connect(cycle, &MailCheckCycle::statusText, this, &OrvellaCore::setStatusText);
    connect(cycle, &MailCheckCycle::connectionStatus, this, &OrvellaCore::connectionStatus);
    connect(cycle, &MailCheckCycle::checkControlsChanged, this, &OrvellaCore::SetCheckControls);
    connect(cycle, &MailCheckCycle::exitEnabledChanged, this, [this](bool on) {
        m_exitEnabled = on;
        Q_EMIT exitEnabledChanged(on);
    });
    connect(cycle, &MailCheckCycle::readyToAnnounce, this, [this](bool all, bool error) {
        m_notifier->NewMailArrived(m_reader->NewMessages);
        m_reader->AnnounceNewMail(all, error);
    });
    connect(cycle, &MailCheckCycle::messageCommandsChanged, this, &OrvellaCore::messageCommandsChanged);
    // New mail an IMAP account's IDLE told of is read at once, or as soon as
    // the check or the reading that runs is over.
    connect(cycle, &MailCheckCycle::pushWanted, this, &OrvellaCore::runCatchUp);
    connect(cycle, &MailCheckCycle::errorText, this, [this](const QString& t) {
        m_trace.write(u"error"_s, t);
        Q_EMIT errorText(t);
    });
    connect(cycle, &MailCheckCycle::errorPageVisible, this, &OrvellaCore::errorPageVisible);
    connect(cycle, &MailCheckCycle::notice, this,
            [this](const QString& text, bool sayIt, const QString& gesture) {
                ui().showMessage(text, sayIt, gesture);
            });
    // Where the passwords stay scrambled in the settings file because no
    // keyring took them, the Error page says so, once a run.
    AccountPasswords::hooks().showNotice = [this](const QString& text) {
        if (m_cycle) m_cycle->ShowNotice(text);
    };

    connect(m_agent.get(), &IAgent::Command, this, &OrvellaCore::onCharacterCommand);
    connect(m_agent.get(), &IAgent::DblClick, this, &OrvellaCore::ReadClipboard);
    connect(m_agent.get(), &IAgent::ShowEvent, this, [this](int) { Q_EMIT characterVisible(true); });
    connect(m_agent.get(), &IAgent::HideEvent, this, &OrvellaCore::onCharacterHidden);
    connect(m_agent.get(), &IAgent::Bookmark, this, [this](int id) { m_reader->onBookmark(id); });
}

void OrvellaCore::DiscardAccounts()
{
    for (const auto& account : std::as_const(m_accounts))
        account->Discard();
    m_accounts.clear();
}

void OrvellaCore::SaveAll()
{
    if (!m_loaded) return;
    m_character->RememberStayInPlace();
    m_settings->Save();
    for (const auto& account : std::as_const(m_accounts)) {
        if (!account->ownsSection()) continue;
        account->SaveMessageIDs();
        account->WriteCounters();
    }
}

void OrvellaCore::Unload()
{
    if (!m_loaded) return;
    m_loaded = false;
    m_minuteTimer.stop();
    m_catchUpTimer.stop();
    m_systemEvents.reset();
    m_doNotDisturb.reset();
    m_character->RememberStayInPlace();
    m_settings->Save();
    m_reminders.reset();
    m_cycle.reset();
    m_notifier.reset();
    m_notifications.reset();
    m_reader.reset();
    m_store.reset();
    m_character.reset();
    m_speech.reset();
    m_agent.reset();
    // Each account writes its counters and identifiers as it goes.
    m_accounts.clear();
    m_settings.reset();
}

// ---------------------------------------------------------------------------
// The minute tick

void OrvellaCore::StartMinuteTimer(int ms)
{
    m_minuteTimer.setInterval(ms);
    // A check or a reading that runs holds the timer; its end starts it.
    if (m_checkEnabled) m_minuteTimer.start();
}

void OrvellaCore::onMinuteTick()
{
    const QDateTime now = platform::now();
    m_minuteTimer.setInterval((60 - now.time().second()) * 1000);
    if (!quietNow(false)) AnnounceTime(*m_speech, now);
    // A reminder is something the user asked to be interrupted for: it
    // speaks unless the settings say otherwise; its window comes either way.
    if (m_reminders) m_reminders->alert.speech = quietNow(true) ? nullptr : m_speech.get();
    if (m_reminders &&
        CheckReminders(*m_reminders, m_settings->m_EnableReminders, ui().modalDialogDisplayed()))
        Q_EMIT remindersChanged();
    m_cycle->MailTick();
}

bool OrvellaCore::quietNow(bool reminder) const
{
    if (!m_settings || !m_doNotDisturb || !m_doNotDisturb->active()) return false;
    return m_settings->m_QuietInDoNotDisturb && (!reminder || m_settings->m_RemindersQuietInDoNotDisturb);
}

void OrvellaCore::SystemSleeping()
{
    m_catchUpTimer.stop();
    if (m_cycle) m_cycle->Suspending();
}

void OrvellaCore::SystemWoken()
{
    // A check still running was on its way when the computer slept (the
    // sleep signal came too late, or never): its connection is gone.
    if (m_cycle && m_cycle->running()) m_cycle->Suspending();
    m_catchUpTimer.start();
}

void OrvellaCore::NetworkReturned()
{
    m_catchUpTimer.start();
}

void OrvellaCore::runCatchUp()
{
    if (!m_loaded || !m_cycle) return;
    if (!m_checkEnabled || m_cycle->running()) {
        m_catchUpPending = true;
        return;
    }
    m_cycle->CatchUp();
}

void OrvellaCore::SetCheckControls(bool enable)
{
    if (enable && std::exchange(m_catchUpPending, false)) m_catchUpTimer.start();
    if (enable)
        m_minuteTimer.start();
    else
        m_minuteTimer.stop();
    m_checkEnabled = enable;
    if (m_agent) m_agent->setCommandEnabled(u"Check Mail Now"_s, enable);
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
    if (m_loaded && m_checkEnabled && m_cycle) m_cycle->CheckAllMailServers();
}

void OrvellaCore::ReadClipboard()
{
    if (m_speech) orvella::ReadClipboard(*m_speech);
}

void OrvellaCore::SpeakDroppedText(const QString& text)
{
    if (m_speech && !text.isEmpty())
        m_speech->SayAndPlay(NeutralizeSpeechTags(text), u"Read"_s, true, true); // text from outside
}

void OrvellaCore::ReadStoredMessage(int row)
{
    MailMessage message;
    if (m_store && m_store->Load(row, message)) m_reader->tellMe(message.Path());
}

void OrvellaCore::StopReading()
{
    if (m_reader) m_reader->stopReading();
}

void OrvellaCore::NextMessage()
{
    if (m_reader && m_reader->panel.nextEnabled) m_reader->next();
}

void OrvellaCore::PreviousMessage()
{
    if (m_reader && m_reader->panel.prevEnabled) m_reader->previous();
}

void OrvellaCore::ReplayMessage()
{
    if (m_reader && m_reader->panel.replayEnabled) m_reader->replay();
}

void OrvellaCore::SetAlwaysShow(bool checked)
{
    if (m_character) m_character->onAlwaysShowToggled(checked);
}

void OrvellaCore::SetDontCheck(bool dontCheck)
{
    if (m_settings) m_settings->m_DontCheck = dontCheck;
}

void OrvellaCore::SetEnableReminders(bool enabled)
{
    if (m_settings) m_settings->m_EnableReminders = enabled;
}

void OrvellaCore::SetVoiceSpeed(int speed)
{
    if (m_settings) m_settings->m_VoiceSpeed = speed;
}

void OrvellaCore::SetVoicePitch(int pitch)
{
    if (m_settings) m_settings->m_VoicePitch = pitch;
}

void OrvellaCore::PreviewVoice()
{
    if (m_speech) m_speech->previewVoice();
}

int OrvellaCore::RemoveMessage(int row)
{
    return m_store ? m_store->Remove(row) : -1;
}

void OrvellaCore::RemoveAllMessages()
{
    if (m_store) m_store->RemoveAll();
}

QString OrvellaCore::AddressOf(int row) const
{
    MailMessage message;
    return m_store && m_store->Load(row, message) ? message.EMailAddress() : QString();
}

void OrvellaCore::Greet()
{
    if (m_settings->m_WelcomeGesture != u"None"_s) m_character->SayWelcome(true, true);
}

void OrvellaCore::SetCharacterCommandEnabled(const QString& name, bool enabled)
{
    if (m_agent) m_agent->setCommandEnabled(name, enabled);
}

void OrvellaCore::onCharacterCommand(const QString& name)
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

void OrvellaCore::onCharacterHidden(int cause)
{
    Q_EMIT characterVisible(false);
    if (m_reader) m_reader->onCharacterHidden(cause);
}

} // namespace orvella
