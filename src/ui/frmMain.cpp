#include "ui/frmMain.h"

#include "app/OrvellaCore.h"
#include "app/frmTray.h"
#include "mail/MailCheckCycle.h"
#include "message/MessageStore.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Shell.h"
#include "reminders/CRemindersSet.h"
#include "reminders/RemindersPage.h"
#include "reminders/frmReminder.h"
#include "rules/frmAddEditRule.h"
#include "settings/CSettings.h"
#include "settings/ModOrvella.h"
#include "settings/Program.h"
#include "speech/CharacterControl.h"
#include "speech/SpeechOutput.h"
#include "speech/agent/IAgent.h"
#include "ui/ElidedLabel.h"
#include "ui/MessagesPage.h"
#include "ui/ModalDialogFlag.h"
#include "ui/OptionsServices.h"
#include "ui/QuickControlPage.h"
#include "ui/frmConfigWizard.h"
#include "ui/frmMessage.h"
#include "ui/frmOptions.h"
#include "ui/frmPromptEveryMessage.h"
#include "ui/frmPromptOnce.h"
#include "ui/frmTip.h"
#include "ui/frmView.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

frmMain::frmMain(frmTray& tray) : m_tray(tray), m_core(std::make_unique<OrvellaCore>(*this))
{
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"Orvella"_s);
    setWindowIcon(QIcon(u":/icons/orvella.svg"_s));
    buildWindow();
    buildMenus();
    connectCore();
    m_clockTimer = new QTimer(this);
    m_clockTimer->setSingleShot(true);
    connect(m_clockTimer, &QTimer::timeout, this, &frmMain::updateClock);
}

frmMain::~frmMain()
{
    // Reminder windows and the character go before the widgets they may point at.
    m_core.reset();
}

CSettings& frmMain::settings() const { return m_core->settings(); }
IAgent* frmMain::agent() const { return m_core->agent(); }
MailCheckCycle* frmMain::cycle() const { return m_core->cycle(); }
QTimer* frmMain::timer1() const { return m_core->timer1(); }

// ---------------------------------------------------------------------------
// Window construction

void frmMain::buildWindow()
{
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);

    tabMain = new QTabWidget(central);
    tabMain->setObjectName(u"tabMain"_s);
    tabMain->setAccessibleName(u"Orvella pages"_s);
    pageMessages = new MessagesPage;
    pageReminders = new RemindersPage;
    pageQuickControl = new QuickControlPage;
    chkDontCheck = pageQuickControl->chkDontCheck;
    tabMain->addTab(pageMessages, u" Messa&ges"_s);
    tabMain->addTab(pageReminders, u" Remi&nders"_s);
    tabMain->addTab(pageQuickControl, u" &Quick Control"_s);
    tabMain->addTab(buildErrorPage(), u" Err&or"_s);
    // A text dropped on the tabs is read aloud, as one dropped on the list.
    tabMain->setAcceptDrops(true);
    tabMain->installEventFilter(this);
    outer->addWidget(tabMain, 1);

    auto* buttons = new QHBoxLayout;
    auto makeButton = [&](const QString& name, const QString& caption, const QString& tip) {
        auto* b = new QPushButton(caption, central);
        b->setObjectName(name);
        b->setToolTip(tip);
        buttons->addWidget(b);
        return b;
    };
    cmdClipboard = makeButton(u"cmdClipboard"_s, u"Clip&board"_s, u"Read Clipboard contents"_s);
    cmdCheck = makeButton(u"cmdCheck"_s, u"&Check Mail"_s, u"Check for new mail"_s);
    cmdOptions = makeButton(u"cmdOptions"_s, u"O&ptions"_s, u"Customize Orvella"_s);
    buttons->addStretch(1);
    cmdStopReading = makeButton(u"cmdStopReading"_s, u"&Stop Talking"_s, u"Stop character from talking"_s);
    // Shown while the character is; its place is kept, so nothing jumps.
    QSizePolicy keep = cmdStopReading->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    cmdStopReading->setSizePolicy(keep);
    cmdStopReading->setVisible(false);
    outer->addLayout(buttons);
    setCentralWidget(central);
    buildStatusBar();

    connect(cmdStopReading, &QPushButton::clicked, this, &frmMain::cmdStopReading_Click);
    connect(cmdClipboard, &QPushButton::clicked, this, &frmMain::cmdClipboard_Click);
    connect(cmdCheck, &QPushButton::clicked, this, &frmMain::cmdCheck_Click);
    connect(cmdOptions, &QPushButton::clicked, this, &frmMain::cmdOptions_Click);

    MessagesPage* m = pageMessages;
    connect(m->cmdTellMe, &QPushButton::clicked, this, &frmMain::cmdTellMe_Click);
    connect(m->cmdViewIt, &QPushButton::clicked, this, &frmMain::cmdViewIt_Click);
    connect(m->cmdAddRule, &QPushButton::clicked, this, &frmMain::cmdAddRule_Click);
    connect(m->cmdRemove, &QPushButton::clicked, this, &frmMain::cmdRemove_Click);
    connect(m->cmdClear, &QPushButton::clicked, this, &frmMain::cmdClear_Click);
    connect(m, &MessagesPage::selectionChanged, this, [this] {
        UpdateMessageCommands();
        showPreview();
    });
    connect(m, &MessagesPage::entryActivated, this, [this] {
        if (pageMessages->cmdTellMe->isEnabled())
            cmdTellMe_Click();
    });
    connect(m, &MessagesPage::contextMenuRequested, this, [this](const QPoint& at) { mnuEdit->popup(at); });
    connect(m, &MessagesPage::textDropped, this, &frmMain::SpeakDroppedText);

    connect(tabMain, &QTabWidget::currentChanged, this, [this](int index) {
        if (m_loaded && index >= 0 && index <= 3)
            settings().m_LastTab = index;
        UpdateMessageCommands();
    });
    resize(640, 480);
}

namespace {

constexpr char PanelCaption[] = "orvellaPanelCaption";

// A status panel's accessible name carries its text ("Status: Checking
// mail..."): a screen reader hears the change of name as the character's
// state moves on, and reads the whole bar in one pass.
void setPanelText(QLabel* panel, const QString& text)
{
    if (auto* elided = qobject_cast<ElidedLabel*>(panel))
        elided->setText(text); // and its tooltip
    else
        panel->setText(text);
    const QString caption = panel->property(PanelCaption).toString();
    panel->setAccessibleName(text.isEmpty() ? caption : caption + u": "_s + text);
}

} // namespace

void frmMain::buildStatusBar()
{
    auto makePanel = [this](const QString& name, const QString& accessibleName, bool elided = false) {
        // The status text can be a server's whole error: it is cut to the
        // bar's width rather than widening the window.
        QLabel* l = elided ? new ElidedLabel(this) : new QLabel(this);
        l->setObjectName(name);
        l->setProperty(PanelCaption, accessibleName);
        l->setAccessibleName(accessibleName);
        return l;
    };
    statusText = makePanel(u"statusText"_s, u"Status"_s, true);
    statusConnection = makePanel(u"statusConnection"_s, u"Connection"_s);
    statusDate = makePanel(u"statusDate"_s, u"Date"_s);
    statusTime = makePanel(u"statusTime"_s, u"Time"_s);
    statusBar()->addWidget(statusText, 1);
    statusBar()->addPermanentWidget(statusConnection);
    statusBar()->addPermanentWidget(statusDate);
    statusBar()->addPermanentWidget(statusTime);
}

QWidget* frmMain::buildErrorPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageError"_s);
    auto* l = new QVBoxLayout(page);
    txtError = new QPlainTextEdit(page);
    txtError->setObjectName(u"txtError"_s);
    txtError->setAccessibleName(u"Error"_s);
    txtError->setReadOnly(true);
    l->addWidget(txtError);
    return page;
}

void frmMain::buildMenus()
{
    auto add = [this](QMenu* menu, const QString& name, const QString& caption, auto slot) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu* mnuFile = menuBar()->addMenu(u"&File"_s);
    mnuOptions = add(mnuFile, u"mnuOptions"_s, u"&Options"_s, &frmMain::cmdOptions_Click);
    mnuFile->addSeparator();
    mnuExit = add(mnuFile, u"mnuExit"_s, u"E&xit"_s, [this] { m_tray.Form_Unload(); });
    mnuExit->setShortcut(QKeySequence::Quit);

    mnuEdit = menuBar()->addMenu(u"&Edit"_s);
    mnuRead = add(mnuEdit, u"mnuRead"_s, u"&Listen To Message"_s, &frmMain::cmdTellMe_Click);
    mnuView = add(mnuEdit, u"mnuView"_s, u"&View Message"_s, &frmMain::cmdViewIt_Click);
    mnuAddRule = add(mnuEdit, u"mnuAddRule"_s, u"Add R&ule"_s, &frmMain::cmdAddRule_Click);
    mnuEdit->addSeparator();
    mnuRemove = add(mnuEdit, u"mnuRemove"_s, u"&Remove Message"_s, &frmMain::cmdRemove_Click);
    mnuRemove->setShortcut(QKeySequence::Delete);
    mnuRemove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    pageMessages->lstMessages->addAction(mnuRemove);
    mnuEdit->addSeparator();
    mnuClear = add(mnuEdit, u"mnuClear"_s, u"Remove &All Messages"_s, &frmMain::cmdClear_Click);

    QMenu* mnuMainView = menuBar()->addMenu(u"&View"_s);
    mnuShowNewMessagePanel =
        add(mnuMainView, u"mnuShowNewMessagePanel"_s, u"Show &New Message Panel"_s, [this] {
            settings().m_ShowNewMessagePanel = !settings().m_ShowNewMessagePanel;
            ApplyPanelVisibility();
        });
    mnuShowPreviewPanel = add(mnuMainView, u"mnuShowPreviewPanel"_s, u"Show &Preview Panel"_s, [this] {
        settings().m_ShowPreviewPanel = !settings().m_ShowPreviewPanel;
        ApplyPanelVisibility();
    });
    mnuShowNewMessagePanel->setCheckable(true);
    mnuShowPreviewPanel->setCheckable(true);

    QMenu* mnuTools = menuBar()->addMenu(u"&Tools"_s);
    mnuCheckMail = add(mnuTools, u"mnuCheckMail"_s, u"&Check Mail Now"_s, &frmMain::cmdCheck_Click);
    mnuCheckMail->setShortcut(QKeySequence(Qt::Key_F5));
    mnuMyMailProgram = add(mnuTools, u"mnuMyMailProgram"_s, u"&My E-mail Program"_s, &frmMain::RunEmailProgram);
    mnuTools->addSeparator();
    mnuClipboard = add(mnuTools, u"mnuClipboard"_s, u"&Read Clipboard"_s, &frmMain::cmdClipboard_Click);

    QMenu* mnuHelp = menuBar()->addMenu(u"&Help"_s);
    mnuTip = add(mnuHelp, u"mnuTip"_s, u"Display &Tip"_s, &frmMain::mnuTip_Click);
    mnuOnlineSupport = add(mnuHelp, u"mnuOnlineSupport"_s, u"Online &Support"_s,
                           [] { ShellOpen(Program().SupportURL); });
    mnuOnlineSupport->setShortcut(QKeySequence::HelpContents);
    mnuHelp->addSeparator();
    mnuDownloadTTS = add(mnuHelp, u"mnuDownloadTTS"_s, u"Download Other Text-To-Speech &Engines"_s,
                         [] { ShellOpen(QString::fromUtf16(WebSiteBase) + u"/orvella/tts.htm"_s); });
    mnuDownloadCharacter = add(mnuHelp, u"mnuDownloadCharacter"_s, u"&Download Other Characters"_s,
                               [] { ShellOpen(QString::fromUtf16(WebSiteBase) + u"/orvella/char.htm"_s); });
    mnuHelp->addSeparator();
    mnuOtherProducts = add(mnuHelp, u"mnuOtherProducts"_s, u"Other &Products"_s,
                           [] { ShellOpen(Program().OtherProductsURL); });
    mnuHelp->addSeparator();
    mnuAbout = add(mnuHelp, u"mnuAbout"_s, u"&About Orvella"_s, [this] { m_tray.ShowAbout(); });
}

// What the core tells, shown where the user sees it.
void frmMain::connectCore()
{
    OrvellaCore* c = m_core.get();
    connect(c, &OrvellaCore::statusText, this, &frmMain::SetStatusText);
    connect(c, &OrvellaCore::connectionStatus, this, [this](const QString& t) { setPanelText(statusConnection, t); });
    connect(c, &OrvellaCore::errorText, txtError, &QPlainTextEdit::setPlainText);
    connect(c, &OrvellaCore::errorPageVisible, this, &frmMain::ShowErrorTab);
    connect(c, &OrvellaCore::checkControlsChanged, this, &frmMain::setCheckControls);
    connect(c, &OrvellaCore::exitEnabledChanged, mnuExit, &QAction::setEnabled);
    connect(c, &OrvellaCore::readingPanelChanged, pageMessages, &MessagesPage::showPanel);
    connect(c, &OrvellaCore::messageSelected, this, [this](int row) { pageMessages->selectRow(row); });
    connect(c, &OrvellaCore::messageCommandsChanged, this, &frmMain::UpdateMessageCommands);
    connect(c, &OrvellaCore::launchRequested, &m_tray, &frmTray::Launch);
    connect(c, &OrvellaCore::newMailIconRequested, &m_tray, &frmTray::SetNewMailIcon);
    connect(c, &OrvellaCore::characterVisible, cmdStopReading, &QWidget::setVisible);
    connect(c, &OrvellaCore::remindersChanged, pageReminders, &RemindersPage::RefreshReminderList);
    connect(c, &OrvellaCore::windowCommand, this, [this](const QString& name) {
        if (name == u"Options"_s)
            cmdOptions_Click();
        else if (name == u"Orvella Tip"_s)
            mnuTip_Click();
    });

    MessagesPage* m = pageMessages;
    connect(m->cmdNext, &QToolButton::clicked, c, &OrvellaCore::NextMessage);
    connect(m->cmdPrev, &QToolButton::clicked, c, &OrvellaCore::PreviousMessage);
    connect(m->cmdReplay, &QToolButton::clicked, c, &OrvellaCore::ReplayMessage);

    QuickControlPage* q = pageQuickControl;
    connect(q, &QuickControlPage::speedChanged, c, &OrvellaCore::SetVoiceSpeed);
    connect(q, &QuickControlPage::pitchChanged, c, &OrvellaCore::SetVoicePitch);
    connect(q, &QuickControlPage::previewVoice, c, &OrvellaCore::PreviewVoice);
    connect(q, &QuickControlPage::alwaysShowChanged, c, &OrvellaCore::SetAlwaysShow);
    connect(q, &QuickControlPage::mailCheckingChanged, c, [c](bool on) { c->SetDontCheck(!on); });
    connect(q, &QuickControlPage::remindersChanged, this, [this](bool on) {
        m_core->SetEnableReminders(on);
        pageReminders->ApplySetting();
    });
    // The Reminders page has a box of its own for the same setting.
    connect(pageReminders, &RemindersPage::enableRemindersClicked, q->chkEnableReminders, &QCheckBox::setChecked);
}

// ---------------------------------------------------------------------------
// Load, activation, unload

bool frmMain::Form_Load()
{
    if (!m_core->LoadStart())
        return false;
    RestoreWindowGeometry();
    m_core->LoadRest();
    pageMessages->setModel(m_core->store()->model());
    pageReminders->ModalDialogShown = [this](bool shown) { m_tray.m_ModalDlgDisplayed = shown; };
    pageReminders->Attach(*m_core->reminders(), settings(), m_core->speech(), m_core->agent());
    ApplyQuickControls();
    ApplyPanelVisibility();
    UpdateMessageCommands();
    if (m_tray.m_SystemTray)
        m_core->StartMinuteTimer(3000);
    m_loaded = true;
    return true;
}

bool frmMain::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate && m_loaded && !ActivatedOnce)
        Form_Activate();
    return QMainWindow::event(e);
}

void frmMain::Form_Activate()
{
    ActivatedOnce = true;
    m_core->Greet();
    // The tip waits for the greeting, then the minute timer for the tip.
    if (settings().m_ShowTips && !settings().m_RanWizard)
        frmTip::ShowTip(settings(), m_core->speech(), modalDialogFlag(), this, frmTip::FirstTip::WaitsForSpeech);
    if (!m_tray.m_SystemTray)
        m_core->StartMinuteTimer(2000);
}

void frmMain::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    updateClock();
    // Without a window manager nothing activates a window; the first showing
    // then counts as the first activation.
    QTimer::singleShot(1500, this, [this] {
        if (m_loaded && !ActivatedOnce && isVisible())
            Form_Activate();
    });
}

void frmMain::hideEvent(QHideEvent* e)
{
    QMainWindow::hideEvent(e);
    m_clockTimer->stop();
}

void frmMain::closeEvent(QCloseEvent* e)
{
    if (Program().Exiting) {
        e->accept();
        return;
    }
    // Closing the window only hides it; the program goes on in the tray.
    e->ignore();
    hide();
}

void frmMain::SaveAll()
{
    if (!m_loaded)
        return;
    SaveWindowGeometry();
    m_core->SaveAll();
}

void frmMain::Form_Unload()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    SaveWindowGeometry();
    pageReminders->Detach();
    m_core->Unload();
}

void frmMain::Timer1_Timer() { m_core->Timer1_Timer(); }

// ---------------------------------------------------------------------------
// What the core asks of the windows

void frmMain::showMessage(const QString& text, bool sayIt, const QString& gesture)
{
    ShowMessage(m_core->speech(), text, sayIt, gesture, this);
}

bool frmMain::promptOnce(const QList<CMessage>& messages)
{
    m_tray.m_ModalDlgDisplayed = true;
    frmPromptOnce dlg(m_core->speech(), messages, this);
    dlg.exec();
    m_tray.m_ModalDlgDisplayed = false;
    return dlg.m_Yes;
}

bool frmMain::promptForMessage(const CMessage& message)
{
    m_tray.m_ModalDlgDisplayed = true;
    frmPromptEveryMessage dlg(m_core->speech(), message, this);
    dlg.exec();
    m_tray.m_ModalDlgDisplayed = false;
    return dlg.m_Yes;
}

bool frmMain::runWizard(int startPage)
{
    m_tray.m_ModalDlgDisplayed = true;
    const bool finished = frmConfigWizard::RunWizard(startPage, settings(), m_core->accounts(), m_core->speech(),
                                                     m_core->character(), this);
    m_tray.m_ModalDlgDisplayed = false;
    return finished;
}

QWidget* frmMain::openReminderWindow(const QString& text) { return frmReminder::Open(m_core->speech(), text); }

QWidget* frmMain::openReminderList(const QString& heading, const QStringList& lines)
{
    return frmReminder::OpenList(m_core->speech(), heading, lines);
}

bool frmMain::mainWindowVisible() const { return isVisible() && !isMinimized(); }

bool frmMain::modalDialogDisplayed() const { return m_tray.m_ModalDlgDisplayed; }

ModalDialogFlag frmMain::modalDialogFlag()
{
    return {[this] { return m_tray.m_ModalDlgDisplayed; }, [this](bool on) { m_tray.m_ModalDlgDisplayed = on; }};
}

// ---------------------------------------------------------------------------
// Window operations

void frmMain::SetStatusText(const QString& text) { setPanelText(statusText, text); }

void frmMain::setCheckControls(bool enable)
{
    cmdCheck->setEnabled(enable);
    mnuCheckMail->setEnabled(enable);
}

void frmMain::ShowErrorTab(bool show)
{
    // Hiding the selected page makes the tab widget select its neighbour, so
    // whether the page was selected is read before.
    const bool wasSelected = tabMain->currentIndex() == 3;
    tabMain->setTabVisible(3, show);
    if (show || wasSelected)
        tabMain->setCurrentIndex(0);
}

void frmMain::UpdateMessageCommands()
{
    const bool selected = pageMessages->selectedRow() >= 0;
    const bool onMessages = tabMain->currentIndex() <= 0;
    MessagesPage* m = pageMessages;
    for (QPushButton* b : {m->cmdTellMe, m->cmdViewIt, m->cmdAddRule, m->cmdRemove})
        b->setEnabled(selected && onMessages);
    m->cmdClear->setEnabled(m->rowCount() > 0 && onMessages);
    mnuRead->setEnabled(m->cmdTellMe->isEnabled());
    mnuView->setEnabled(m->cmdViewIt->isEnabled());
    mnuAddRule->setEnabled(m->cmdAddRule->isEnabled());
    mnuRemove->setEnabled(m->cmdRemove->isEnabled());
    mnuClear->setEnabled(m->cmdClear->isEnabled());
    mnuMyMailProgram->setEnabled(m_core->loaded() && !settings().m_EMailProgram.isEmpty());
}

void frmMain::showPreview()
{
    CMessage message;
    const int row = pageMessages->selectedRow();
    if (row < 0 || !m_core->store() || !m_core->store()->Load(row, message))
        pageMessages->setPreview(QString());
    else
        pageMessages->setPreview(message.m_Content);
}

void frmMain::ApplyQuickControls()
{
    CSettings& s = settings();
    tabMain->setCurrentIndex(s.m_LastTab);
    tabMain->setTabVisible(3, false);
    pageQuickControl->apply(s);
    // A stored speed or pitch beyond the sliders' ends becomes what they show.
    s.m_VoiceSpeed = pageQuickControl->sldSpeed->value();
    s.m_VoicePitch = pageQuickControl->sldPitch->value();
}

void frmMain::ApplyPanelVisibility()
{
    const CSettings& s = settings();
    mnuShowPreviewPanel->setChecked(s.m_ShowPreviewPanel);
    mnuShowNewMessagePanel->setChecked(s.m_ShowNewMessagePanel);
    pageMessages->applyPanelVisibility(s.m_ShowNewMessagePanel, s.m_ShowPreviewPanel);
}

double frmMain::twipsPerPixelX() const
{
    const double dpi = logicalDpiX() > 0 ? logicalDpiX() : 96.0;
    return 1440.0 / dpi;
}

double frmMain::twipsPerPixelY() const
{
    const double dpi = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    return 1440.0 / dpi;
}

QRect frmMain::FitInside(QRect r, const QRect& area)
{
    r.setWidth(std::min(r.width(), area.width()));
    r.setHeight(std::min(r.height(), area.height()));
    if (r.right() > area.right()) r.moveRight(area.right());
    if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
    if (r.left() < area.left()) r.moveLeft(area.left());
    if (r.top() < area.top()) r.moveTop(area.top());
    return r;
}

// Geometry is stored in twips, the unit of the settings file's keys: the
// window's outer position and the size of its inside.
void frmMain::RestoreWindowGeometry()
{
    const CSettings& s = settings();
    if (s.m_Top == -1)
        return;
    const double tx = twipsPerPixelX(), ty = twipsPerPixelY();
    QRect r(qRound(s.m_Left / tx), qRound(s.m_Top / ty), qRound(s.m_Width / tx), qRound(s.m_Height / ty));
    r.setSize(r.size().expandedTo(minimumSizeHint()));
    // A window stored on a screen that is gone would open out of reach, and
    // one stored larger than the screen (a size a long text once forced on
    // it) would open with its buttons past the edge: the stored rectangle
    // is brought back inside the screen it is (mostly) on.
    QScreen* screen = QGuiApplication::screenAt(r.center());
    for (QScreen* candidate : QGuiApplication::screens())
        if (!screen && candidate->availableGeometry().intersects(QRect(r.topLeft(), QSize(r.width(), 40))))
            screen = candidate;
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) r = FitInside(r, screen->availableGeometry());
    move(r.topLeft());
    resize(r.size());
    // The split comes back once the page has its size: set before, it
    // would be squeezed into the page's first, smaller layout.
    if (s.m_SplitTop > 0)
        pageMessages->setSplitTop(qRound(s.m_SplitTop / ty));
}

void frmMain::SaveWindowGeometry()
{
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    CSettings& s = settings();
    const double tx = twipsPerPixelX(), ty = twipsPerPixelY();
    s.m_Top = qRound(pos().y() * ty);
    s.m_Left = qRound(pos().x() * tx);
    s.m_Width = qRound(width() * tx);
    s.m_Height = qRound(height() * ty);
    if (const int top = pageMessages->splitTop(); top > 0)
        s.m_SplitTop = qRound(top * ty);
}

void frmMain::RunEmailProgram()
{
    if (!m_core->loaded() || settings().m_EMailProgram.isEmpty())
        return;
    if (!platform::startProgram(settings().m_EMailProgram))
        showMessage(u"Can not find E-mail program. This button is not essential to the operation of Orvella. "
                    u"Before you press this button, make sure you can receive messages using the 'Check Mail' "
                    u"button. If 'Check Mail' works for you than go to the 'Options' screen and check the path "
                    u"to your E-mail program."_s,
                    true, u"Read"_s);
}

void frmMain::SpeakDroppedText(const QString& text) { m_core->SpeakDroppedText(text); }

void frmMain::ShowOptions()
{
    OptionsServices s(settings(), m_core->accounts(), m_core->rules(), m_core->filters());
    s.agent = m_core->agent();
    s.speech = m_core->speech();
    s.character = m_core->character();
    s.checkParameters = [this](const QString& server, const QString& name, bool hasPassword) {
        return m_core->cycle()->CheckParameters(server, name, hasPassword);
    };
    s.modalDialog = modalDialogFlag();
    s.rememberTab = [this](int page) { m_LastOptionsTab = page; };
    s.updateMessageCommands = [this] { UpdateMessageCommands(); };
    frmOptions::ShowOptions(s, m_LastOptionsTab, this);
    pageQuickControl->apply(settings());
}

void frmMain::ShowTip() { frmTip::ShowTip(settings(), m_core->speech(), modalDialogFlag(), this); }

// ---------------------------------------------------------------------------
// Commands

void frmMain::cmdCheck_Click()
{
    if (cmdCheck->isEnabled())
        m_core->CheckAllMailServers();
}

void frmMain::cmdClipboard_Click() { m_core->ReadClipboard(); }

void frmMain::cmdOptions_Click() { ShowOptions(); }

void frmMain::cmdStopReading_Click() { m_core->StopReading(); }

void frmMain::cmdTellMe_Click()
{
    const int row = pageMessages->selectedRow();
    if (row >= 0)
        m_core->ReadStoredMessage(row);
}

void frmMain::cmdViewIt_Click()
{
    const int row = pageMessages->selectedRow();
    if (row < 0 || !m_core->store())
        return;
    if (!frmView::ViewMessage(m_core->store()->model()->entry(row).path, modalDialogFlag(), this))
        SetStatusText(u"The message could not be read."_s);
}

void frmMain::cmdAddRule_Click()
{
    const int row = pageMessages->selectedRow();
    const QString address = row >= 0 ? m_core->AddressOf(row) : QString();
    frmAddEditRule::AddRule(address, m_core->rules(), m_core->speech(), m_core->agent(), modalDialogFlag(), this);
}

void frmMain::cmdRemove_Click()
{
    const int row = pageMessages->selectedRow();
    if (row < 0)
        return;
    // The next message is the one that moves up into the removed one's place
    // on screen, in the order the list is sorted in, not in the store's.
    const int onScreen = pageMessages->selectedViewRow();
    m_core->RemoveMessage(row);
    pageMessages->selectViewRow(std::min(onScreen, pageMessages->rowCount() - 1));
    showPreview();
    UpdateMessageCommands();
}

void frmMain::cmdClear_Click()
{
    m_tray.m_ModalDlgDisplayed = true;
    const bool yes = platform::Dialogs::askYesNo(this, u"Remove All"_s,
                                                 u"Are you sure you want to remove all of the messages?"_s);
    m_tray.m_ModalDlgDisplayed = false;
    if (!yes || !m_core->loaded())
        return;
    m_core->RemoveAllMessages();
    showPreview();
    UpdateMessageCommands();
}

void frmMain::mnuTip_Click() { ShowTip(); }

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tabMain && (event->type() == QEvent::DragEnter || event->type() == QEvent::Drop)) {
        auto* d = static_cast<QDropEvent*>(event);
        if (!d->mimeData()->hasText())
            return false;
        d->acceptProposedAction();
        if (event->type() == QEvent::Drop)
            SpeakDroppedText(d->mimeData()->text());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// The status bar shows the date and the time to the minute: it wakes once a
// minute, and only while the window is shown.
void frmMain::updateClock()
{
    const QDateTime t = platform::now();
    setPanelText(statusDate, QLocale().toString(t.date(), QLocale::ShortFormat));
    // Hours and minutes only: some locales' short format has seconds, which
    // a clock that wakes once a minute would show wrong.
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    format.remove(u":ss"_s).remove(u".ss"_s);
    setPanelText(statusTime, QLocale().toString(t.time(), format));
    if (isVisible())
        m_clockTimer->start((60 - t.time().second()) * 1000 - t.time().msec() + 50);
}

} // namespace orvella
