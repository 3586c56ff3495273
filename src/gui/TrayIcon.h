#pragma once

#include <QIcon>
#include <QWidget>
#include <memory>

class QMenu;
class QAction;
class QSystemTrayIcon;

namespace orvella::platform {
class TrayHostWait;
}

namespace orvella {

class MainWindow;
class OrvellaCore;

// The hidden window that lives for the whole run: the tray icon and its menu,
// the start-up sequence after the single-instance check, and Exit. It is never
// shown; its title "Orvella Tray" names the channel a second start talks to.
// It is given the program (the core) and its main window.
class TrayIcon : public QWidget
{
    Q_OBJECT
public:
    TrayIcon(OrvellaCore& core, MainWindow& window, QWidget* parent = nullptr);
    ~TrayIcon() override;

    // The start-up sequence after the single-instance check, with the program
    // folder set; startInTray: hidden in the tray (-AUTOSTART). False: a
    // failure that makes running pointless (no character, wizard cancelled);
    // the program then ends without saving.
    bool load(bool startInTray);
    // Exit: save everything and end the program.
    void unload();

    void ShowTrayIcon(bool show);
    void SetDefaultIcon();
    void SetNewMailIcon();
    void Launch();
    void ShowAbout();
    // A mouse event on the tray icon, by the classic codes: 0x0201 left button
    // down, 0x0203 left double click, 0x0204 right button down.
    void TrayIconCallback(int code);
    // A command from a second start ("4", "exit", "check-now", "read-clipboard").
    // Empty when carried out (or begun), else why not, for the second start to print.
    QString HandleCommand(const QString& command);
    // Exit asked for from outside the program's windows. The program's
    // dialogs run event loops of their own inside the objects Exit releases,
    // so each is closed first and its code returns; then Exit goes on. A
    // running check is waited for, or with cutCheck stopped.
    void RequestExit(bool cutCheck);
    // A termination signal or the end of the session: everything is saved
    // at once (the process may be killed any moment now), then Exit follows
    // without waiting for a check.
    void Terminate();
    // Saves settings, geometry, counters and identifiers without ending.
    void SaveAll();

    bool m_SystemTray = false;
    // Unloading ends the event loop; tests that drive a tray in-process turn it off.
    bool quitOnUnload = true;

    MainWindow* mainWindow() const { return &m_main; }
    QMenu* trayMenu() const { return mnuMain; }
    bool trayIconAdded() const { return m_iconAdded; }
    bool showingNewMailIcon() const { return m_newMail; }

    // Sets the entries' states as the right button does before the menu opens.
    void PrepareTrayMenu();

private:
    void buildMenu();
    void createTrayIcon();
    void continueExit();
    bool closeModalDialogs();

    OrvellaCore& m_core;
    MainWindow& m_main;
    QMenu* mnuMain = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    platform::TrayHostWait* m_hostWait = nullptr; // made at log-in until a panel is there
    QIcon imgDefault;
    QIcon imgNewMail;
    bool m_iconAdded = false;
    bool m_newMail = false;
    bool m_inCallback = false; // one tray event at a time
    bool m_unloading = false;
    bool m_loading = false;
    bool m_exitRequested = false; // an Exit that came while the main window was still loading
    bool m_exitPending = false;   // RequestExit is waiting for dialogs or a check
    bool m_cutCheck = false;

private:
    // Its controls, found by tests and screen readers through their object names.
    // The tray menu's entries, in menu order.
    QAction* mnuCheckMail = nullptr;
    QAction* mnuClipboard = nullptr;
    QAction* mnuShow = nullptr;
    QAction* mnuEnableDisable = nullptr;
    QAction* mnuMyEmail = nullptr;
    QAction* mnuAbout = nullptr;
    QAction* mnuExit = nullptr;
};

} // namespace orvella
