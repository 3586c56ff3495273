#include "app/frmTray.h"

#include "app/CommandLine.h"
#include "mail/MailCheckCycle.h"
#include "platform/DataFiles.h"
#include "platform/MakerConfig.h"
#include "settings/CSettings.h"
#include "settings/Program.h"
#include "ui/ModalDialogFlag.h"
#include "ui/frmCopyRight.h"
#include "ui/frmMain.h"

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

frmTray::frmTray(QWidget* parent) : QWidget(parent)
{
    setObjectName(u"frmTray"_s);
    imgDefault = QIcon(u":/icons/tray-default.svg"_s);
    imgNewMail = QIcon(u":/icons/tray-newmail.svg"_s);
    buildMenu();
}

frmTray::~frmTray() = default;

void frmTray::buildMenu()
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

    connect(mnuCheckMail, &QAction::triggered, this, [this] {
        if (m_main)
            m_main->cmdCheck_Click();
    });
    connect(mnuClipboard, &QAction::triggered, this, [this] {
        if (m_main)
            m_main->cmdClipboard_Click();
    });
    connect(mnuShow, &QAction::triggered, this, &frmTray::Launch);
    connect(mnuEnableDisable, &QAction::triggered, this, [this] {
        if (!m_main)
            return;
        // Toggling the box lets its handler store the setting.
        m_main->chkDontCheck->setChecked(!m_main->chkDontCheck->isChecked());
    });
    connect(mnuMyEmail, &QAction::triggered, this, [this] {
        if (m_main)
            m_main->RunEmailProgram();
    });
    connect(mnuAbout, &QAction::triggered, this, &frmTray::ShowAbout);
    connect(mnuExit, &QAction::triggered, this, &frmTray::Form_Unload);
    // The right button prepares the menu's states just before it opens.
    connect(mnuMain, &QMenu::aboutToShow, this, &frmTray::PrepareTrayMenu);
}

QString frmTray::ProgramFolderFor(const CommandLine& commandLine)
{
    QString folder;
    if (commandLine.hasFolder) {
        folder = commandLine.folder;
    } else {
        bool found = false;
        const QString fromMaker = platform::readMakerValue(u"AppPath"_s, &found);
        folder = found && !fromMaker.isEmpty() ? fromMaker : platform::defaultProgramFolder();
    }
    return QDir::cleanPath(QDir(folder).absolutePath());
}

bool frmTray::Form_Load(const CommandLine& commandLine)
{
    setWindowTitle(u"Orvella Tray"_s);

    auto makerValue = [](const QString& name, const char16_t* fallback) {
        bool found = false;
        const QString v = platform::readMakerValue(name, &found);
        return found && !v.isEmpty() ? v : QString::fromUtf16(fallback);
    };
    Program().SupportEMail = makerValue(u"SupportEMail"_s, DefaultSupportEMail);
    Program().SupportURL = makerValue(u"SupportURL"_s, DefaultSupportURL);
    Program().OtherProductsURL = makerValue(u"OtherProductsURL"_s, DefaultOtherProductsURL);

    m_SystemTray = commandLine.systemTray;

    Program().AppPath = ProgramFolderFor(commandLine);
    QDir().mkpath(AppPath());

    m_main = std::make_unique<frmMain>(*this);
    m_loading = true;
    const bool loaded = m_main->Form_Load();
    m_loading = false;
    if (!loaded) {
        m_main.reset();
        return false;
    }
    // Only a program that runs gets the shipped files: a first start whose
    // set-up was cancelled leaves the folder as it found it.
    platform::copyMissingDataFiles(AppPath());

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

    if (!m_SystemTray)
        Launch();
    // An Exit asked for while a start-up notice was open is carried out now.
    if (m_exitRequested)
        QTimer::singleShot(0, this, &frmTray::Form_Unload);
    return true;
}

void frmTray::ShowTrayIcon(bool show)
{
    if (!m_tray)
        return;
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

void frmTray::SetDefaultIcon()
{
    m_newMail = false;
    setWindowIcon(imgDefault);
    ShowTrayIcon(true);
}

void frmTray::SetNewMailIcon()
{
    m_newMail = true;
    setWindowIcon(imgNewMail);
    ShowTrayIcon(true);
}

void frmTray::Launch()
{
    if (!m_main)
        return;
    SetDefaultIcon();
    m_main->setWindowState((m_main->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_main->show();
    m_main->raise();
    m_main->activateWindow();
}

void frmTray::ShowAbout()
{
    const ModalDialogFlag modal{[this] { return m_ModalDlgDisplayed; }, [this](bool on) { m_ModalDlgDisplayed = on; }};
    frmCopyRight::ShowAbout(modal, m_main && m_main->isVisible() ? m_main.get() : nullptr);
}


void frmTray::TrayIconCallback(int code)
{
    if (m_inCallback)
        return;
    m_inCallback = true;
    switch (code) {
    case 0x0201: // left button down
    case 0x0203: // left double click
        if (!m_ModalDlgDisplayed)
            Launch();
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

void frmTray::PrepareTrayMenu()
{
    if (!m_main)
        return;
    mnuCheckMail->setEnabled(m_main->cmdCheck->isEnabled());
    mnuExit->setEnabled(m_main->mnuExit->isEnabled() && !m_ModalDlgDisplayed);
    mnuShow->setEnabled(!m_ModalDlgDisplayed);
    mnuMyEmail->setEnabled(m_main->mnuMyMailProgram->isEnabled());
    mnuEnableDisable->setText(m_main->settings().m_DontCheck ? u"&Enable Mail Checking"_s
                                                             : u"&Disable Mail Checking"_s);
}

QString frmTray::HandleCommand(const QString& command)
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
            if (m_main) m_main->SetStatusText(why);
            return why;
        }
        if (m_main && !m_main->cmdCheck->isEnabled()) {
            // Said where the user looks, and to the second start.
            const QString why = m_main->cycle() && m_main->cycle()->running()
                                    ? u"A mail check is running already; this one was not started."_s
                                    : u"New mail is being read; check again when the reading ends."_s;
            m_main->SetStatusText(why);
            return why;
        }
        if (m_main)
            m_main->cmdCheck_Click();
    } else if (command == u"read-clipboard"_s) {
        if (m_main)
            m_main->cmdClipboard_Click();
    }
    return {};
}

void frmTray::RequestExit(bool cutCheck)
{
    m_cutCheck = m_cutCheck || cutCheck;
    if (m_exitPending) return;
    m_exitPending = true;
    // Never inside the caller: it may be a dialog's own event handler.
    QTimer::singleShot(0, this, &frmTray::continueExit);
}

void frmTray::continueExit()
{
    if (m_unloading) return;
    if (m_loading) {
        // A start-up notice (or the wizard) is open inside the load: closed,
        // it lets the load finish, and the load carries out the Exit.
        m_exitRequested = true;
        closeModalDialogs();
        return;
    }
    if (closeModalDialogs() || m_ModalDlgDisplayed) {
        QTimer::singleShot(50, this, &frmTray::continueExit);
        return;
    }
    if (m_main && !m_main->mnuExit->isEnabled()) {
        if (m_cutCheck && m_main->cycle()) m_main->cycle()->Abort();
        QTimer::singleShot(m_cutCheck ? 50 : 500, this, &frmTray::continueExit);
        return;
    }
    Form_Unload();
}

bool frmTray::closeModalDialogs()
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

void frmTray::Terminate()
{
    if (!m_loading && !m_unloading) SaveAll();
    RequestExit(true);
}

void frmTray::SaveAll()
{
    if (m_main && !m_unloading) m_main->SaveAll();
}

void frmTray::Form_Unload()
{
    if (m_loading) {
        m_exitRequested = true;
        return;
    }
    if (m_unloading)
        return;
    m_unloading = true;
    Program().Exiting = true;
    ShowTrayIcon(false);
    if (m_main) {
        m_main->Form_Unload();
        m_main->close();
    }
    if (quitOnUnload)
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

} // namespace orvella
