#include "gui/TrayIcon.h"

#include "core/OrvellaCore.h"
#include "core/mail/MailCheckCycle.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "gui/MainWindow.h"
#include "gui/dialogs/AboutDialog.h"
#include "platform/DataFiles.h"
#include "platform/TrayHostWait.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

TrayIcon::TrayIcon(OrvellaCore& core, MainWindow& window, QWidget* parent)
    : QWidget(parent), m_core(core), m_main(window)
{
    setObjectName(u"frmTray"_s);
    imgDefault = QIcon(u":/icons/tray-default.svg"_s);
    imgNewMail = QIcon(u":/icons/tray-newmail.svg"_s);
    buildMenu();
    connect(&m_core, &OrvellaCore::launchRequested, this, &TrayIcon::Launch);
    connect(&m_core, &OrvellaCore::newMailIconRequested, this, &TrayIcon::SetNewMailIcon);
    connect(&m_main, &MainWindow::exitRequested, this, &TrayIcon::unload);
    connect(&m_main, &MainWindow::aboutRequested, this, &TrayIcon::ShowAbout);
}

// A modal dialog of the program is open: reminders wait, the tray icon does
// not open the main window, and Exit waits for it.
static bool modalDialogOpen()
{
    return QApplication::activeModalWidget() != nullptr;
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::buildMenu()
{
    mnuMain = new QMenu(this);
    mnuMain->setObjectName(u"mnuMain"_s);
    auto add = [this](const QString& name, const QString& caption) {
        QAction* a = mnuMain->addAction(caption);
        a->setObjectName(name);
        return a;
    };
    mnuCheckMail = add(u"mnuCheckMail"_s, u"&Check Mail Now"_s);
    mnuClipboard = add(u"mnuClipboard"_s, u"&Read Clipboard"_s);
    mnuShow = add(u"mnuShow"_s, u"&Orvella Window"_s);
    mnuMain->addSeparator();
    mnuEnableDisable = add(u"mnuEnableDisable"_s, u"&Disable Mail Checking"_s);
    mnuMyEmail = add(u"mnuMyEmail"_s, u"&My E-mail Program"_s);
    mnuMain->addSeparator();
    mnuAbout = add(u"mnuAbout"_s, u"&About Orvella"_s);
    mnuMain->addSeparator();
    mnuExit = add(u"mnuExit"_s, u"E&xit"_s);

    connect(mnuCheckMail, &QAction::triggered, &m_main, &MainWindow::check);
    connect(mnuClipboard, &QAction::triggered, &m_main, &MainWindow::readClipboard);
    connect(mnuShow, &QAction::triggered, this, &TrayIcon::Launch);
    connect(mnuEnableDisable, &QAction::triggered, &m_main, &MainWindow::toggleMailChecking);
    connect(mnuMyEmail, &QAction::triggered, &m_main, &MainWindow::RunEmailProgram);
    connect(mnuAbout, &QAction::triggered, this, &TrayIcon::ShowAbout);
    connect(mnuExit, &QAction::triggered, this, &TrayIcon::unload);
    // The right button prepares the menu's states just before it opens.
    connect(mnuMain, &QMenu::aboutToShow, this, &TrayIcon::PrepareTrayMenu);
}

bool TrayIcon::load(bool startInTray)
{
    setWindowTitle(u"Orvella Tray"_s);
    m_SystemTray = startInTray;

    m_loading = true;
    const bool loaded = m_main.load(m_SystemTray);
    m_loading = false;
    if (!loaded) return false;
    // Only a program that runs gets the shipped files: a first start whose
    // set-up was cancelled leaves the folder as it found it.
    platform::copyMissingDataFiles(AppPath());

    // Started with the session, the panel may not be up yet: the icon is made
    // once it is (or the wait is over), and checks and reminders run meanwhile.
    if (m_SystemTray) {
        m_hostWait = new platform::TrayHostWait(this);
        connect(m_hostWait, &platform::TrayHostWait::ready, this, [this] {
            m_hostWait->deleteLater();
            m_hostWait = nullptr;
            if (!m_unloading) createTrayIcon();
        });
        m_hostWait->start(platform::TrayHostWait::limit());
    } else {
        createTrayIcon();
    }

    if (!m_SystemTray) Launch();
    // An Exit asked for while a start-up notice was open is carried out now.
    if (m_exitRequested) QTimer::singleShot(0, this, &TrayIcon::unload);
    return true;
}

void TrayIcon::createTrayIcon()
{
    m_tray = new QSystemTrayIcon(this);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (reason) {
        case QSystemTrayIcon::Trigger:
            TrayIconCallback(0x0201);
            break;
        case QSystemTrayIcon::DoubleClick:
            TrayIconCallback(0x0203);
            break;
        default:
            break; // the context menu opens by itself and prepares itself
        }
    });
    m_tray->setContextMenu(mnuMain);
    ShowTrayIcon(true);
}

void TrayIcon::ShowTrayIcon(bool show)
{
    if (!m_tray) return;
    if (show) {
        m_tray->setIcon(m_newMail ? imgNewMail : imgDefault);
        m_tray->setToolTip(u"Orvella"_s);
        // Shown whether or not a notification area exists yet: at log-in the
        // panel often starts after the program, and Qt adds a visible icon as
        // soon as one appears (an icon never asked to show would never come).
        if (!m_iconAdded) {
            m_tray->show();
            m_iconAdded = true;
        }
    } else if (m_iconAdded) {
        m_tray->hide();
        m_iconAdded = false;
    }
}

void TrayIcon::SetDefaultIcon()
{
    m_newMail = false;
    setWindowIcon(imgDefault);
    ShowTrayIcon(true);
}

void TrayIcon::SetNewMailIcon()
{
    m_newMail = true;
    setWindowIcon(imgNewMail);
    ShowTrayIcon(true);
}

void TrayIcon::Launch()
{
    if (!m_main.loaded()) return;
    SetDefaultIcon();
    m_main.setWindowState((m_main.windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_main.show();
    m_main.raise();
    m_main.activateWindow();
}

void TrayIcon::ShowAbout()
{
    AboutDialog::ShowAbout(m_main.isVisible() ? &m_main : nullptr);
}

void TrayIcon::TrayIconCallback(int code)
{
    if (m_inCallback) return;
    m_inCallback = true;
    switch (code) {
    case 0x0201: // left button down
    case 0x0203: // left double click
        if (!modalDialogOpen()) Launch();
        break;
    case 0x0204: // right button down
        PrepareTrayMenu();
        mnuMain->popup(QCursor::pos());
        break;
    default:
        break;
    }
    m_inCallback = false;
}

void TrayIcon::PrepareTrayMenu()
{
    if (!m_core.loaded()) return;
    mnuCheckMail->setEnabled(m_core.checkControlsEnabled());
    mnuExit->setEnabled(m_core.exitEnabled() && !modalDialogOpen());
    mnuShow->setEnabled(!modalDialogOpen());
    mnuMyEmail->setEnabled(!m_core.settings().m_EMailProgram.isEmpty());
    mnuEnableDisable->setText(m_core.settings().m_DontCheck ? u"&Enable Mail Checking"_s
                                                            : u"&Disable Mail Checking"_s);
}

QString TrayIcon::HandleCommand(const QString& command)
{
    if (command == u"4"_s) {
        // A second start asks for the window, even with a modal dialog open
        // (that dialog is then raised with it).
        Launch();
    } else if (command == u"exit"_s) {
        // Exit waits while a check runs, as the menu's Exit does.
        RequestExit(false);
    } else if (command == u"check-now"_s) {
        if (m_loading) {
            // The set-up may be open, with accounts only half filled in.
            const QString why = u"Orvella is still starting (or its set-up is open); no mail was checked."_s;
            m_main.SetStatusText(why);
            return why;
        }
        if (m_core.loaded() && !m_core.checkControlsEnabled()) {
            // Said where the user looks, and to the second start.
            const QString why = m_core.cycle() && m_core.cycle()->running()
                                    ? u"A mail check is running already; this one was not started."_s
                                    : u"New mail is being read; check again when the reading ends."_s;
            m_main.SetStatusText(why);
            return why;
        }
        m_main.check();
    } else if (command == u"read-clipboard"_s) {
        m_main.readClipboard();
    }
    return {};
}

void TrayIcon::RequestExit(bool cutCheck)
{
    m_cutCheck = m_cutCheck || cutCheck;
    if (m_exitPending) return;
    m_exitPending = true;
    // Never inside the caller: it may be a dialog's own event handler.
    QTimer::singleShot(0, this, &TrayIcon::continueExit);
}

void TrayIcon::continueExit()
{
    if (m_unloading) return;
    if (m_loading) {
        // A start-up notice (or the wizard) is open inside the load: closed,
        // it lets the load finish, and the load carries out the Exit.
        m_exitRequested = true;
        closeModalDialogs();
        return;
    }
    if (closeModalDialogs() || modalDialogOpen()) {
        QTimer::singleShot(50, this, &TrayIcon::continueExit);
        return;
    }
    if (m_core.loaded() && !m_core.exitEnabled()) {
        if (m_cutCheck && m_core.cycle()) m_core.cycle()->Abort();
        QTimer::singleShot(m_cutCheck ? 50 : 500, this, &TrayIcon::continueExit);
        return;
    }
    unload();
}

bool TrayIcon::closeModalDialogs()
{
    bool any = false;
    const QList<QWidget*> windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (!w->isVisible() || !w->isModal()) continue;
        any = true;
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
        else
            w->close();
    }
    return any;
}

void TrayIcon::Terminate()
{
    if (!m_loading && !m_unloading) SaveAll();
    RequestExit(true);
}

void TrayIcon::SaveAll()
{
    if (!m_unloading) m_main.SaveAll();
}

void TrayIcon::unload()
{
    if (m_loading) {
        m_exitRequested = true;
        return;
    }
    if (m_unloading) return;
    m_unloading = true;
    Program().Exiting = true;
    ShowTrayIcon(false);
    m_main.unload();
    m_main.close();
    if (quitOnUnload) QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

} // namespace orvella
