#pragma once

#include "mail/Accounts.h"
#include "rules/CFilter.h"
#include "rules/CRule.h"
#include "speech/agent/AgentTrace.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSplitter;
class QTabWidget;
class QTimer;
class QToolButton;
class QTreeWidget;
class QWidget;

namespace orvella {

class CRemindersSet;
class CSettings;
class CharacterControl;
class ModalDialogFlag;
class RemindersPage;
class IAgent;
class MailCheckCycle;
class MessageReader;
class MessageStore;
class SpeechOutput;
class frmTray;

// The program's visible window. It owns the program-wide objects created during
// its load and forwards its controls' events to the logic classes that hold
// the program's behaviour; it is created once and only hidden until Exit.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmMain(frmTray& tray);
    ~frmMain() override;

    // Makes the character; the real engine unless a test installs its own.
    using AgentFactory = std::function<std::unique_ptr<IAgent>()>;
    static AgentFactory& agentFactory();

    // The load sequence. False ends the program at once, without saving.
    bool Form_Load();
    // Exit: geometry and settings saved, objects released.
    void Form_Unload();
    // What Exit saves, without ending: settings, geometry, each account's
    // counters and identifiers.
    void SaveAll();

    // The minute tick: re-arms itself to the next whole minute.
    void Timer1_Timer();

    void SetStatusText(const QString& text);
    void UpdateMessageCommands();
    void ApplyQuickControls();
    void ApplyPanelVisibility();
    void RestoreWindowGeometry();
    void SaveWindowGeometry();
    void RunEmailProgram();

    // Enables or disables every way to start a check; the minute timer pauses with them.
    void SetCheckControls(bool enable);
    void ShowErrorTab(bool show);

    void chkDontCheck_Click();
    void chkAlwaysShow_Click();
    void cmdTellMe_Click();
    void cmdAddRule_Click();
    void cmdRemove_Click();
    void cmdClear_Click();
    void cmdCheck_Click();
    void cmdClipboard_Click();
    void cmdOptions_Click();
    void ShowOptions();
    // Sets the tray window's modal-dialog flag around a dialog.
    ModalDialogFlag modalDialogFlag();
    void cmdStopReading_Click();
    void mnuTip_Click();

    // The character's events.
    void Agent1_Command(const QString& name);
    void Agent1_DblClick();
    void Agent1_Show(int cause);
    void Agent1_Hide(int cause);
    void Agent1_Bookmark(int bookmarkId);

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
    bool activatedOnce() const { return ActivatedOnce; }
    QTimer* timer1() const { return Timer1; }

    // Controls other parts of the program reach.
    QTabWidget* tabMain = nullptr;
    QTreeWidget* lstMessages = nullptr;
    QPlainTextEdit* txtMessage = nullptr;
    QPlainTextEdit* txtError = nullptr;
    QSplitter* splitMessages = nullptr;
    QWidget* picNewMessages = nullptr;
    QLabel* lblNewMessagesTitle = nullptr;
    QLabel* lblAllMessagesTitle = nullptr;
    QLabel* lblMessageNo = nullptr;
    QLabel* lblFromTitle = nullptr;
    QLabel* lblFrom = nullptr;
    QLabel* lblSubjectTitle = nullptr;
    QLabel* lblSubject = nullptr;
    QLabel* lblNewMessages = nullptr;
    QToolButton* cmdPrev = nullptr;
    QToolButton* cmdReplay = nullptr;
    QToolButton* cmdNext = nullptr;
    QPushButton* cmdTellMe = nullptr;
    QPushButton* cmdViewIt = nullptr;
    QPushButton* cmdAddRule = nullptr;
    QPushButton* cmdRemove = nullptr;
    QPushButton* cmdClear = nullptr;
    QPushButton* cmdClipboard = nullptr;
    QPushButton* cmdCheck = nullptr;
    QPushButton* cmdOptions = nullptr;
    QPushButton* cmdStopReading = nullptr;
    QPushButton* cmdPreviewVoice = nullptr;
    QSlider* sldSpeed = nullptr;
    QSlider* sldPitch = nullptr;
    QCheckBox* chkAlwaysShow = nullptr;
    QCheckBox* chkDontCheck = nullptr;
    QCheckBox* chkEnableReminders = nullptr;
    RemindersPage* pageReminders = nullptr;
    QLabel* statusText = nullptr;       // panel 1
    QLabel* statusConnection = nullptr; // panel 2
    QLabel* statusDate = nullptr;
    QLabel* statusTime = nullptr;

    QAction* mnuOptions = nullptr;
    QAction* mnuExit = nullptr;
    QAction* mnuRead = nullptr;
    QAction* mnuView = nullptr;
    QAction* mnuAddRule = nullptr;
    QAction* mnuRemove = nullptr;
    QAction* mnuClear = nullptr;
    QAction* mnuShowNewMessagePanel = nullptr;
    QAction* mnuShowPreviewPanel = nullptr;
    QAction* mnuCheckMail = nullptr;
    QAction* mnuMyMailProgram = nullptr;
    QAction* mnuClipboard = nullptr;
    QAction* mnuTip = nullptr;
    QAction* mnuOnlineSupport = nullptr;
    QAction* mnuDownloadTTS = nullptr;
    QAction* mnuDownloadCharacter = nullptr;
    QAction* mnuOtherProducts = nullptr;
    QAction* mnuAbout = nullptr;
    QMenu* mnuEdit = nullptr;

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    void buildWindow();
    void buildMenus();
    QWidget* buildMessagesPage();
    QWidget* buildQuickControlPage();
    QWidget* buildErrorPage();
    void Form_Activate();
    void createLogic();
    void updateClock();
    double twipsPerPixelX() const;
    double twipsPerPixelY() const;

    frmTray& m_tray;
    std::unique_ptr<CSettings> Settings;
    std::unique_ptr<IAgent> Agent1;
    std::unique_ptr<SpeechOutput> Speech;
    std::unique_ptr<CharacterControl> Character;
    AccountList Accounts;
    RuleList Rules;
    FilterList Filters;
    std::unique_ptr<MessageStore> Store;
    std::unique_ptr<MessageReader> Reader;
    std::unique_ptr<MailCheckCycle> Cycle;
    std::unique_ptr<CRemindersSet> ReminderSet;
    int m_LastOptionsTab = 0;

    QTimer* Timer1 = nullptr;
    QTimer* m_clockTimer = nullptr; // the status bar's date and time, only while shown
    bool ActivatedOnce = false;
    bool m_loaded = false;
    // The status bar's text and the Error page's text go into the character's
    // trace too ("status", "error"), so a problem report shows what the user saw.
    AgentTrace m_trace;
};

} // namespace orvella
