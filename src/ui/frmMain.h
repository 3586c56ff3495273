#pragma once

#include "app/IUserInterface.h"
#include "speech/MessageReader.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;

namespace orvella {

class CSettings;
class IAgent;
class MailCheckCycle;
class MessagesPage;
class ModalDialogFlag;
class OrvellaCore;
class QuickControlPage;
class RemindersPage;
class frmTray;

// The program's visible window. The program itself (OrvellaCore) lives
// without it; the window shows what the core tells through its signals and
// forwards the user's commands. It is created once and only hidden until Exit.
class frmMain : public QMainWindow, public IUserInterface
{
    Q_OBJECT
public:
    explicit frmMain(frmTray& tray);
    ~frmMain() override;

    // The load sequence. False ends the program at once, without saving.
    bool Form_Load();
    // Exit: geometry and settings saved, objects released.
    void Form_Unload();
    // What Exit saves, without ending.
    void SaveAll();

    void Timer1_Timer();
    void SetStatusText(const QString& text);
    void UpdateMessageCommands();
    void ApplyQuickControls();
    void ApplyPanelVisibility();
    void RestoreWindowGeometry();
    void SaveWindowGeometry();
    // r moved and, where it is larger, cut so that it lies inside area.
    static QRect FitInside(QRect r, const QRect& area);
    void RunEmailProgram();
    void ShowOptions();
    void ShowTip();
    void SpeakDroppedText(const QString& text);
    void ShowErrorTab(bool show);
    // Sets the tray window's modal-dialog flag around a dialog.
    ModalDialogFlag modalDialogFlag();

    void cmdCheck_Click();
    void cmdClipboard_Click();
    void cmdOptions_Click();
    void cmdStopReading_Click();
    void cmdTellMe_Click();
    void cmdViewIt_Click();
    void cmdAddRule_Click();
    void cmdRemove_Click();
    void cmdClear_Click();
    void mnuTip_Click();

    OrvellaCore* core() const { return m_core.get(); }
    CSettings& settings() const;
    IAgent* agent() const;
    MailCheckCycle* cycle() const;
    QTimer* timer1() const;
    bool activatedOnce() const { return ActivatedOnce; }

    // IUserInterface
    void showMessage(const QString& text, bool sayIt, const QString& gesture) override;
    bool promptOnce(const QList<CMessage>& messages) override;
    bool promptForMessage(const CMessage& message) override;
    bool runWizard(int startPage) override;
    QWidget* openReminderWindow(const QString& text) override;
    QWidget* openReminderList(const QString& heading, const QStringList& lines) override;
    bool mainWindowVisible() const override;
    bool modalDialogDisplayed() const override;

    QTabWidget* tabMain = nullptr;
    MessagesPage* pageMessages = nullptr;
    RemindersPage* pageReminders = nullptr;
    QuickControlPage* pageQuickControl = nullptr;
    QPlainTextEdit* txtError = nullptr;
    QCheckBox* chkDontCheck = nullptr; // on the Quick Control page
    QPushButton* cmdClipboard = nullptr;
    QPushButton* cmdCheck = nullptr;
    QPushButton* cmdOptions = nullptr;
    QPushButton* cmdStopReading = nullptr;
    QLabel* statusText = nullptr;       // panel 1
    QLabel* statusConnection = nullptr; // panel 2
    QLabel* statusDate = nullptr;
    QLabel* statusTime = nullptr;

    QAction* mnuOptions = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuEdit = nullptr;
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

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildWindow();
    void buildStatusBar();
    void buildMenus();
    QWidget* buildErrorPage();
    void connectCore();
    void Form_Activate();
    void showPreview();
    void updateClock();
    void setCheckControls(bool enable);
    double twipsPerPixelX() const;
    double twipsPerPixelY() const;

    frmTray& m_tray;
    std::unique_ptr<OrvellaCore> m_core;
    QTimer* m_clockTimer = nullptr; // the status bar's date and time, only while shown
    int m_LastOptionsTab = 0;
    bool ActivatedOnce = false;
    bool m_loaded = false;
};

} // namespace orvella
