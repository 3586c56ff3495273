#include "gui/MainWindow.h"

#include "core/OrvellaCore.h"
#include "core/mail/MailCheckCycle.h"
#include "core/message/MessageStore.h"
#include "core/reminders/ReminderSet.h"
#include "core/settings/IniValues.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "core/speech/CharacterControl.h"
#include "core/speech/IAgent.h"
#include "core/speech/SpeechOutput.h"
#include "gui/MessagesPage.h"
#include "gui/QuickControlPage.h"
#include "gui/RemindersPage.h"
#include "gui/dialogs/NoticeWindow.h"
#include "gui/dialogs/PromptDialog.h"
#include "gui/dialogs/ReminderAlert.h"
#include "gui/dialogs/RuleDialog.h"
#include "gui/dialogs/TipWindow.h"
#include "gui/dialogs/ViewWindow.h"
#include "gui/options/OptionsDialog.h"
#include "gui/options/OptionsServices.h"
#include "gui/widgets/Dialogs.h"
#include "gui/widgets/ElidedLabel.h"
#include "gui/wizard/SetupWizard.h"
#include "platform/Clock.h"
#include "platform/Shell.h"

#include <QApplication>
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

MainWindow::MainWindow(OrvellaCore& core, QWidget* parent) : QMainWindow(parent), m_core(core)
{
    m_core.setUserInterface(this);
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"Orvella"_s);
    setWindowIcon(QIcon(u":/icons/orvella.svg"_s));
    buildWindow();
    buildMenus();
    connectCore();
    m_clockTimer = new QTimer(this);
    m_clockTimer->setSingleShot(true);
    connect(m_clockTimer, &QTimer::timeout, this, &MainWindow::updateClock);
}

MainWindow::~MainWindow()
{
    m_core.setUserInterface(nullptr);
}

Settings& MainWindow::settings() const
{
    return m_core.settings();
}
IAgent* MainWindow::agent() const
{
    return m_core.agent();
}
MailCheckCycle* MainWindow::cycle() const
{
    return m_core.cycle();
}
QTimer* MainWindow::timer1() const
{
    return m_core.timer1();
}

// ---------------------------------------------------------------------------
// Window construction

void MainWindow::buildWindow()
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

    connect(cmdStopReading, &QPushButton::clicked, this, &MainWindow::stopReading);
    connect(cmdClipboard, &QPushButton::clicked, this, &MainWindow::readClipboard);
    connect(cmdCheck, &QPushButton::clicked, this, &MainWindow::check);
    connect(cmdOptions, &QPushButton::clicked, this, &MainWindow::showOptions);

    MessagesPage* m = pageMessages;
    connect(m->cmdTellMe, &QPushButton::clicked, this, &MainWindow::tellMe);
    connect(m->cmdViewIt, &QPushButton::clicked, this, &MainWindow::viewMessage);
    connect(m->cmdAddRule, &QPushButton::clicked, this, &MainWindow::addRule);
    connect(m->cmdRemove, &QPushButton::clicked, this, &MainWindow::remove);
    connect(m->cmdClear, &QPushButton::clicked, this, &MainWindow::clearError);
    connect(m, &MessagesPage::selectionChanged, this, [this] {
        UpdateMessageCommands();
        showPreview();
    });
    connect(m, &MessagesPage::entryActivated, this, [this] {
        if (pageMessages->cmdTellMe->isEnabled()) tellMe();
    });
    connect(m, &MessagesPage::contextMenuRequested, this, [this](const QPoint& at) { mnuEdit->popup(at); });
    connect(m, &MessagesPage::textDropped, this, &MainWindow::SpeakDroppedText);

    connect(tabMain, &QTabWidget::currentChanged, this, [this](int index) {
        if (m_loaded && index >= 0 && index <= 3) settings().m_LastTab = index;
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

void MainWindow::buildStatusBar()
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

QWidget* MainWindow::buildErrorPage()
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

void MainWindow::buildMenus()
{
    auto add = [this](QMenu* menu, const QString& name, const QString& caption, auto slot) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu* mnuFile = menuBar()->addMenu(u"&File"_s);
    mnuOptions = add(mnuFile, u"mnuOptions"_s, u"&Options"_s, &MainWindow::showOptions);
    mnuFile->addSeparator();
    mnuExit = add(mnuFile, u"mnuExit"_s, u"E&xit"_s, [this] { Q_EMIT exitRequested(); });
    mnuExit->setShortcut(QKeySequence::Quit);

    mnuEdit = menuBar()->addMenu(u"&Edit"_s);
    mnuEdit->setObjectName(u"mnuEdit"_s);
    mnuRead = add(mnuEdit, u"mnuRead"_s, u"&Listen To Message"_s, &MainWindow::tellMe);
    mnuView = add(mnuEdit, u"mnuView"_s, u"&View Message"_s, &MainWindow::viewMessage);
    mnuAddRule = add(mnuEdit, u"mnuAddRule"_s, u"Add R&ule"_s, &MainWindow::addRule);
    mnuEdit->addSeparator();
    mnuRemove = add(mnuEdit, u"mnuRemove"_s, u"&Remove Message"_s, &MainWindow::remove);
    mnuRemove->setShortcut(QKeySequence::Delete);
    mnuRemove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    pageMessages->lstMessages->addAction(mnuRemove);
    mnuEdit->addSeparator();
    mnuClear = add(mnuEdit, u"mnuClear"_s, u"Remove &All Messages"_s, &MainWindow::clearError);

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
    mnuCheckMail = add(mnuTools, u"mnuCheckMail"_s, u"&Check Mail Now"_s, &MainWindow::check);
    mnuCheckMail->setShortcut(QKeySequence(Qt::Key_F5));
    mnuMyMailProgram =
        add(mnuTools, u"mnuMyMailProgram"_s, u"&My E-mail Program"_s, &MainWindow::RunEmailProgram);
    mnuTools->addSeparator();
    mnuClipboard = add(mnuTools, u"mnuClipboard"_s, u"&Read Clipboard"_s, &MainWindow::readClipboard);

    QMenu* mnuHelp = menuBar()->addMenu(u"&Help"_s);
    mnuTip = add(mnuHelp, u"mnuTip"_s, u"Display &Tip"_s, &MainWindow::showTip);
    mnuOnlineSupport =
        add(mnuHelp, u"mnuOnlineSupport"_s, u"Online &Support"_s, [] { ShellOpen(Program().SupportURL); });
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
    mnuAbout = add(mnuHelp, u"mnuAbout"_s, u"&About Orvella"_s, [this] { Q_EMIT aboutRequested(); });
}

// What the core tells, shown where the user sees it.
void MainWindow::connectCore()
{
    OrvellaCore* c = &m_core;
    connect(c, &OrvellaCore::statusText, this, &MainWindow::SetStatusText);
    connect(c, &OrvellaCore::connectionStatus, this,
            [this](const QString& t) { setPanelText(statusConnection, t); });
    connect(c, &OrvellaCore::errorText, txtError, &QPlainTextEdit::setPlainText);
    connect(c, &OrvellaCore::errorPageVisible, this, &MainWindow::ShowErrorTab);
    connect(c, &OrvellaCore::checkControlsChanged, this, &MainWindow::setCheckControls);
    connect(c, &OrvellaCore::exitEnabledChanged, mnuExit, &QAction::setEnabled);
    connect(c, &OrvellaCore::readingPanelChanged, pageMessages, &MessagesPage::showPanel);
    connect(c, &OrvellaCore::messageSelected, this, [this](int row) { pageMessages->selectRow(row); });
    connect(c, &OrvellaCore::messageCommandsChanged, this, &MainWindow::UpdateMessageCommands);
    connect(c, &OrvellaCore::characterVisible, cmdStopReading, &QWidget::setVisible);
    connect(c, &OrvellaCore::remindersChanged, pageReminders, &RemindersPage::RefreshReminderList);
    connect(c, &OrvellaCore::windowCommand, this, [this](const QString& name) {
        if (name == u"Options"_s)
            showOptions();
        else if (name == u"Orvella Tip"_s)
            showTip();
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
        m_core.SetEnableReminders(on);
        pageReminders->ApplySetting();
    });
    // The Reminders page has a box of its own for the same setting.
    connect(pageReminders, &RemindersPage::enableRemindersClicked, q->chkEnableReminders,
            &QCheckBox::setChecked);
}

// ---------------------------------------------------------------------------
// Load, activation, unload

bool MainWindow::load(bool startInTray)
{
    m_startInTray = startInTray;
    if (!m_core.LoadStart()) return false;
    RestoreWindowGeometry();
    m_core.LoadRest();
    pageMessages->setModel(m_core.store()->model());
    pageReminders->Attach(*m_core.reminders(), settings(), m_core.speech(), m_core.agent());
    ApplyQuickControls();
    ApplyPanelVisibility();
    UpdateMessageCommands();
    if (m_startInTray) m_core.StartMinuteTimer(3000);
    m_loaded = true;
    return true;
}

bool MainWindow::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate && m_loaded && !ActivatedOnce) onActivated();
    return QMainWindow::event(e);
}

void MainWindow::onActivated()
{
    ActivatedOnce = true;
    m_core.Greet();
    // The tip waits for the greeting, then the minute timer for the tip.
    if (settings().m_ShowTips && !settings().m_RanWizard)
        TipWindow::ShowTip(settings(), m_core.speech(), this, TipWindow::FirstTip::WaitsForSpeech);
    if (!m_startInTray) m_core.StartMinuteTimer(2000);
}

void MainWindow::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    updateClock();
    // Without a window manager nothing activates a window; the first showing
    // then counts as the first activation.
    QTimer::singleShot(1500, this, [this] {
        if (m_loaded && !ActivatedOnce && isVisible()) onActivated();
    });
}

void MainWindow::hideEvent(QHideEvent* e)
{
    QMainWindow::hideEvent(e);
    m_clockTimer->stop();
}

void MainWindow::closeEvent(QCloseEvent* e)
{
    if (Program().Exiting) {
        e->accept();
        return;
    }
    // Closing the window only hides it; the program goes on in the tray.
    e->ignore();
    hide();
}

void MainWindow::SaveAll()
{
    if (!m_loaded) return;
    SaveWindowGeometry();
    m_core.SaveAll();
}

void MainWindow::unload()
{
    if (!m_loaded) return;
    m_loaded = false;
    SaveWindowGeometry();
    pageReminders->Detach();
    m_core.Unload();
}

void MainWindow::onMinuteTick()
{
    m_core.onMinuteTick();
}

// ---------------------------------------------------------------------------
// What the core asks of the windows

void MainWindow::showMessage(const QString& text, bool sayIt, const QString& gesture)
{
    ShowMessage(m_core.speech(), text, sayIt, gesture, this);
}

bool MainWindow::promptOnce(const QList<MailMessage>& messages)
{
    PromptDialog dlg(PromptDialog::Mode::Once, m_core.speech(), messages, this);
    dlg.exec();
    return dlg.m_Yes;
}

bool MainWindow::promptForMessage(const MailMessage& message)
{
    PromptDialog dlg(PromptDialog::Mode::EveryMessage, m_core.speech(), {message}, this);
    dlg.exec();
    return dlg.m_Yes;
}

bool MainWindow::runWizard(int startPage)
{
    const bool finished = SetupWizard::RunWizard(startPage, settings(), m_core.accounts(), m_core.speech(),
                                                 m_core.character(), this);
    return finished;
}

QObject* MainWindow::openReminderWindow(const QString& text)
{
    return ReminderAlert::Open(m_core.speech(), text);
}

QObject* MainWindow::openReminderList(const QString& heading, const QStringList& lines)
{
    return ReminderAlert::OpenList(m_core.speech(), heading, lines);
}

bool MainWindow::mainWindowVisible() const
{
    return isVisible() && !isMinimized();
}

bool MainWindow::modalDialogDisplayed() const
{
    return QApplication::activeModalWidget() != nullptr;
}

void MainWindow::toggleMailChecking()
{
    // Toggling the box lets its handler store the setting.
    chkDontCheck->setChecked(!chkDontCheck->isChecked());
}

// ---------------------------------------------------------------------------
// Window operations

void MainWindow::SetStatusText(const QString& text)
{
    setPanelText(statusText, text);
}

void MainWindow::setCheckControls(bool enable)
{
    cmdCheck->setEnabled(enable);
    mnuCheckMail->setEnabled(enable);
}

void MainWindow::ShowErrorTab(bool show)
{
    // Hiding the selected page makes the tab widget select its neighbour, so
    // whether the page was selected is read before.
    const bool wasSelected = tabMain->currentIndex() == 3;
    tabMain->setTabVisible(3, show);
    if (show || wasSelected) tabMain->setCurrentIndex(0);
}

void MainWindow::UpdateMessageCommands()
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
    mnuMyMailProgram->setEnabled(m_core.loaded() && !settings().m_EMailProgram.isEmpty());
}

void MainWindow::showPreview()
{
    MailMessage message;
    const int row = pageMessages->selectedRow();
    if (row < 0 || !m_core.store() || !m_core.store()->Load(row, message))
        pageMessages->setPreview(QString());
    else
        pageMessages->setPreview(message.m_Content);
}

void MainWindow::ApplyQuickControls()
{
    Settings& s = settings();
    tabMain->setCurrentIndex(s.m_LastTab);
    tabMain->setTabVisible(3, false);
    pageQuickControl->apply(s);
    // A stored speed or pitch beyond the sliders' ends becomes what they show.
    s.m_VoiceSpeed = pageQuickControl->sldSpeed->value();
    s.m_VoicePitch = pageQuickControl->sldPitch->value();
}

void MainWindow::ApplyPanelVisibility()
{
    const Settings& s = settings();
    mnuShowPreviewPanel->setChecked(s.m_ShowPreviewPanel);
    mnuShowNewMessagePanel->setChecked(s.m_ShowNewMessagePanel);
    pageMessages->applyPanelVisibility(s.m_ShowNewMessagePanel, s.m_ShowPreviewPanel);
}

double MainWindow::twipsPerPixelX() const
{
    const double dpi = logicalDpiX() > 0 ? logicalDpiX() : 96.0;
    return 1440.0 / dpi;
}

double MainWindow::twipsPerPixelY() const
{
    const double dpi = logicalDpiY() > 0 ? logicalDpiY() : 96.0;
    return 1440.0 / dpi;
}

QRect MainWindow::FitInside(QRect r, const QRect& area)
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
void MainWindow::RestoreWindowGeometry()
{
    const Settings& s = settings();
    if (s.m_Top == -1) return;
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
    if (s.m_SplitTop > 0) pageMessages->setSplitTop(qRound(s.m_SplitTop / ty));
}

void MainWindow::SaveWindowGeometry()
{
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
    Settings& s = settings();
    const double tx = twipsPerPixelX(), ty = twipsPerPixelY();
    s.m_Top = qRound(pos().y() * ty);
    s.m_Left = qRound(pos().x() * tx);
    s.m_Width = qRound(width() * tx);
    s.m_Height = qRound(height() * ty);
    if (const int top = pageMessages->splitTop(); top > 0) s.m_SplitTop = qRound(top * ty);
}

void MainWindow::RunEmailProgram()
{
    if (!m_core.loaded() || settings().m_EMailProgram.isEmpty()) return;
    if (!platform::startProgram(settings().m_EMailProgram))
        showMessage(
            u"Can not find E-mail program. This button is not essential to the operation of Orvella. "
            u"Before you press this button, make sure you can receive messages using the 'Check Mail' "
            u"button. If 'Check Mail' works for you than go to the 'Options' screen and check the path "
            u"to your E-mail program."_s,
            true, u"Read"_s);
}

void MainWindow::SpeakDroppedText(const QString& text)
{
    m_core.SpeakDroppedText(text);
}

void MainWindow::ShowOptions()
{
    OptionsServices s(settings(), m_core.accounts(), m_core.rules(), m_core.filters());
    s.agent = m_core.agent();
    s.speech = m_core.speech();
    s.character = m_core.character();
    s.checkParameters = [this](const QString& server, const QString& name, bool hasPassword) {
        return m_core.cycle()->CheckParameters(server, name, hasPassword);
    };
    s.rememberTab = [this](int page) { m_LastOptionsTab = page; };
    s.updateMessageCommands = [this] { UpdateMessageCommands(); };
    OptionsDialog::ShowOptions(s, m_LastOptionsTab, this);
    pageQuickControl->apply(settings());
}

void MainWindow::ShowTip()
{
    TipWindow::ShowTip(settings(), m_core.speech(), this);
}

// ---------------------------------------------------------------------------
// Commands

void MainWindow::check()
{
    if (cmdCheck->isEnabled()) m_core.CheckAllMailServers();
}

void MainWindow::readClipboard()
{
    m_core.ReadClipboard();
}

void MainWindow::showOptions()
{
    ShowOptions();
}

void MainWindow::stopReading()
{
    m_core.StopReading();
}

void MainWindow::tellMe()
{
    const int row = pageMessages->selectedRow();
    if (row >= 0) m_core.ReadStoredMessage(row);
}

void MainWindow::viewMessage()
{
    const int row = pageMessages->selectedRow();
    if (row < 0 || !m_core.store()) return;
    if (!ViewWindow::ViewMessage(m_core.store()->model()->entry(row).path, this))
        SetStatusText(u"The message could not be read."_s);
}

void MainWindow::addRule()
{
    const int row = pageMessages->selectedRow();
    const QString address = row >= 0 ? m_core.AddressOf(row) : QString();
    RuleDialog::AddRule(address, m_core.rules(), m_core.speech(), m_core.agent(), this);
}

void MainWindow::remove()
{
    const int row = pageMessages->selectedRow();
    if (row < 0) return;
    // The next message is the one that moves up into the removed one's place
    // on screen, in the order the list is sorted in, not in the store's.
    const int onScreen = pageMessages->selectedViewRow();
    m_core.RemoveMessage(row);
    pageMessages->selectViewRow(std::min(onScreen, pageMessages->rowCount() - 1));
    showPreview();
    UpdateMessageCommands();
}

void MainWindow::clearError()
{
    const bool yes =
        Dialogs::askYesNo(this, u"Remove All"_s, u"Are you sure you want to remove all of the messages?"_s);
    if (!yes || !m_core.loaded()) return;
    m_core.RemoveAllMessages();
    showPreview();
    UpdateMessageCommands();
}

void MainWindow::showTip()
{
    ShowTip();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == tabMain && (event->type() == QEvent::DragEnter || event->type() == QEvent::Drop)) {
        auto* d = static_cast<QDropEvent*>(event);
        if (!d->mimeData()->hasText()) return false;
        d->acceptProposedAction();
        if (event->type() == QEvent::Drop) SpeakDroppedText(d->mimeData()->text());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

// The status bar shows the date and the time to the minute: it wakes once a
// minute, and only while the window is shown.
void MainWindow::updateClock()
{
    const QDateTime t = platform::now();
    setPanelText(statusDate, QLocale().toString(t.date(), QLocale::ShortFormat));
    // Hours and minutes only: some locales' short format has seconds, which
    // a clock that wakes once a minute would show wrong.
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    format.remove(u":ss"_s).remove(u".ss"_s);
    setPanelText(statusTime, QLocale().toString(t.time(), format));
    if (isVisible()) m_clockTimer->start((60 - t.time().second()) * 1000 - t.time().msec() + 50);
}

} // namespace orvella
