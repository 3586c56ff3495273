#pragma once

#include "core/IUserInterface.h"
#include "core/reading/MessageReader.h"

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

class Settings;
class IAgent;
class MailCheckCycle;
class MessagesPage;
class OrvellaCore;
class QuickControlPage;
class RemindersPage;

// The program's visible window. The program itself (OrvellaCore) lives
// without it; the window shows what the core tells through its signals and
// forwards the user's commands. It is created once and only hidden until Exit.
class MainWindow : public QMainWindow, public IUserInterface
{
    Q_OBJECT
public:
    // The window of core, which it is given; the core asks it what the user must answer.
    explicit MainWindow(OrvellaCore& core, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The load sequence; startInTray: the program starts hidden in the tray.
    // False ends the program at once, without saving.
    bool load(bool startInTray);
    bool loaded() const { return m_loaded; }
    // Exit: geometry and settings saved, objects released.
    void unload();
    // What Exit saves, without ending.
    void SaveAll();

    void onMinuteTick();
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
    // The tray menu's "Disable Mail Checking" (and "Enable"): the Quick Control page's box.
    void toggleMailChecking();

    void check();
    void readClipboard();
    void showOptions();
    void stopReading();
    void tellMe();
    void viewMessage();
    void addRule();
    void remove();
    void clearError();
    void showTip();

    OrvellaCore* core() const { return &m_core; }
    Settings& settings() const;
    IAgent* agent() const;
    MailCheckCycle* cycle() const;
    QTimer* timer1() const;
    bool activatedOnce() const { return ActivatedOnce; }

    // IUserInterface
    void showMessage(const QString& text, bool sayIt, const QString& gesture) override;
    bool promptOnce(const QList<MailMessage>& messages) override;
    bool promptForMessage(const MailMessage& message) override;
    bool runWizard(int startPage) override;
    QObject* openReminderWindow(const QString& text) override;
    QObject* openReminderList(const QString& heading, const QStringList& lines) override;
    bool mainWindowVisible() const override;
    bool modalDialogDisplayed() const override;

Q_SIGNALS:
    void exitRequested();
    void aboutRequested();

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
    void onActivated();
    void showPreview();
    void updateClock();
    void setCheckControls(bool enable);
    double twipsPerPixelX() const;
    double twipsPerPixelY() const;

    OrvellaCore& m_core;
    bool m_startInTray = false;
    QTimer* m_clockTimer = nullptr; // the status bar's date and time, only while shown
    int m_LastOptionsTab = 0;
    bool ActivatedOnce = false;
    bool m_loaded = false;

private:
    // Its controls, found by tests and screen readers through their object names.
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
};

} // namespace orvella
