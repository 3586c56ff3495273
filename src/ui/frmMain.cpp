#include "ui/frmMain.h"

#include "app/frmTray.h"
#include "clock/ClipboardReading.h"
#include "clock/SpokenClock.h"
#include "mail/MailCheckCycle.h"
#include "message/MessageStore.h"
#include "platform/Clock.h"
#include "platform/DataFiles.h"
#include "platform/Shell.h"
#include "settings/CSettings.h"
#include "settings/ModOrvella.h"
#include "settings/Program.h"
#include "speech/CharacterControl.h"
#include "speech/MessageReader.h"
#include "speech/SpeechOutput.h"
#include "speech/agent/AgentEngine.h"
#include "speech/agent/AgentTrace.h"
#include "speech/agent/IAgent.h"
#include "reminders/CRemindersSet.h"
#include "reminders/CheckReminders.h"
#include "reminders/RemindersPage.h"
#include "reminders/frmReminder.h"
#include "rules/frmAddEditRule.h"
#include "ui/ModalDialogFlag.h"
#include "ui/OptionsServices.h"
#include "ui/frmMessage.h"
#include "ui/frmOptions.h"
#include "ui/frmPromptEveryMessage.h"
#include "ui/frmPromptOnce.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {
QPushButton* addButton(QWidget* parent, QBoxLayout* layout, const QString& name, const QString& caption,
                       const QString& tip)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setToolTip(tip);
    layout->addWidget(b);
    return b;
}
} // namespace

frmMain::frmMain(frmTray& tray) : m_tray(tray)
{
    setObjectName(u"frmMain"_s);
    setWindowTitle(u"Orvella"_s);
    setWindowIcon(QIcon(u":/icons/orvella.svg"_s));
    buildWindow();
    buildMenus();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(u"Timer1"_s);
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);

    m_clockTimer = new QTimer(this);
    connect(m_clockTimer, &QTimer::timeout, this, &frmMain::updateClock);
}

frmMain::~frmMain() = default;

frmMain::AgentFactory& frmMain::agentFactory()
{
    static AgentFactory factory = [] { return std::unique_ptr<IAgent>(std::make_unique<AgentEngine>()); };
    return factory;
}

// ---------------------------------------------------------------------------
// Window construction

void frmMain::buildWindow()
{
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);

    tabMain = new QTabWidget(central);
    tabMain->setObjectName(u"tabMain"_s);
    tabMain->addTab(buildMessagesPage(), u" Messa&ges"_s);
    pageReminders = new RemindersPage;
    tabMain->addTab(pageReminders, u" &Reminders"_s);
    tabMain->addTab(buildQuickControlPage(), u" &Quick Control"_s);
    tabMain->addTab(buildErrorPage(), u" &Error"_s);
    outer->addWidget(tabMain, 1);

    auto* buttons = new QHBoxLayout;
    auto makeButton = [&](const QString& name, const QString& caption, const QString& tip) {
        return addButton(central, buttons, name, caption, tip);
    };
    cmdClipboard = makeButton(u"cmdClipboard"_s, u"Clip&board"_s, u"Read Clipboard contents"_s);
    cmdCheck = makeButton(u"cmdCheck"_s, u"&Check Mail"_s, u"Check for new mail"_s);
    cmdOptions = makeButton(u"cmdOptions"_s, u"&Options"_s, u"Customize Orvella"_s);
    buttons->addStretch(1);
    cmdStopReading = makeButton(u"cmdStopReading"_s, u"&Stop Talking"_s, u"Stop character from talking"_s);
    cmdStopReading->setVisible(false); // shown while the character is
    outer->addLayout(buttons);
    setCentralWidget(central);

    connect(cmdStopReading, &QPushButton::clicked, this, &frmMain::cmdStopReading_Click);
    connect(cmdClipboard, &QPushButton::clicked, this, &frmMain::cmdClipboard_Click);
    connect(cmdCheck, &QPushButton::clicked, this, &frmMain::cmdCheck_Click);
    connect(cmdOptions, &QPushButton::clicked, this, &frmMain::cmdOptions_Click);

    statusText = new QLabel(this);
    statusText->setObjectName(u"statusText"_s);
    statusConnection = new QLabel(this);
    statusConnection->setObjectName(u"statusConnection"_s);
    statusDate = new QLabel(this);
    statusTime = new QLabel(this);
    statusBar()->addWidget(statusText, 1);
    statusBar()->addPermanentWidget(statusConnection);
    statusBar()->addPermanentWidget(statusDate);
    statusBar()->addPermanentWidget(statusTime);
    updateClock();

    connect(tabMain, &QTabWidget::currentChanged, this, [this](int index) {
        if (m_loaded && index >= 0 && index <= 3)
            Settings->m_LastTab = index;
        UpdateMessageCommands();
    });
    resize(640, 480);
}

QWidget* frmMain::buildMessagesPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"FrameMain"_s);
    auto* grid = new QGridLayout(page);

    lblNewMessagesTitle = new QLabel(u"New Message Panel"_s, page);
    lblNewMessagesTitle->setObjectName(u"lblNewMessagesTitle"_s);
    picNewMessages = new QWidget(page);
    picNewMessages->setObjectName(u"picNewMessages"_s);
    picNewMessages->setAutoFillBackground(true);
    auto* panel = new QGridLayout(picNewMessages);
    lblFromTitle = new QLabel(u"From:"_s, picNewMessages);
    lblFrom = new QLabel(picNewMessages);
    lblFrom->setObjectName(u"lblFrom"_s);
    lblSubjectTitle = new QLabel(u"Subject:"_s, picNewMessages);
    lblSubject = new QLabel(picNewMessages);
    lblSubject->setObjectName(u"lblSubject"_s);
    lblNewMessages = new QLabel(u"Waiting For New Messages"_s, picNewMessages);
    lblNewMessages->setObjectName(u"lblNewMessages"_s);
    lblMessageNo = new QLabel(picNewMessages);
    lblMessageNo->setObjectName(u"lblMessageNo"_s);
    auto makeImageButton = [&](const QString& name, QStyle::StandardPixmap icon, const QString& tip) {
        auto* b = new QToolButton(picNewMessages);
        b->setObjectName(name);
        b->setIcon(style()->standardIcon(icon));
        b->setToolTip(tip);
        b->setAutoRaise(true);
        b->setEnabled(false);
        return b;
    };
    cmdPrev = makeImageButton(u"cmdPrev"_s, QStyle::SP_MediaSkipBackward, u"Previous Message"_s);
    cmdReplay = makeImageButton(u"cmdReplay"_s, QStyle::SP_BrowserReload, u"Replay Message"_s);
    cmdNext = makeImageButton(u"cmdNext"_s, QStyle::SP_MediaSkipForward, u"Next Message"_s);
    panel->addWidget(lblNewMessages, 0, 0, 1, 2);
    panel->addWidget(lblMessageNo, 0, 2);
    panel->addWidget(cmdPrev, 0, 3);
    panel->addWidget(cmdReplay, 0, 4);
    panel->addWidget(cmdNext, 0, 5);
    panel->addWidget(lblFromTitle, 1, 0);
    panel->addWidget(lblFrom, 1, 1, 1, 5);
    panel->addWidget(lblSubjectTitle, 2, 0);
    panel->addWidget(lblSubject, 2, 1, 1, 5);
    panel->setColumnStretch(1, 1);

    lblAllMessagesTitle = new QLabel(u"All Messages"_s, page);
    lblAllMessagesTitle->setObjectName(u"lblAllMessagesTitle"_s);

    splitMessages = new QSplitter(Qt::Vertical, page);
    splitMessages->setObjectName(u"picSplitter"_s);
    splitMessages->setChildrenCollapsible(false);
    lstMessages = new QTreeWidget(splitMessages);
    lstMessages->setObjectName(u"lstMessages"_s);
    lstMessages->setRootIsDecorated(false);
    lstMessages->setUniformRowHeights(true);
    lstMessages->setHeaderLabels({u"Subject"_s, u"From"_s, u"Time Stamp"_s});
    lstMessages->setSelectionMode(QAbstractItemView::SingleSelection);
    txtMessage = new QPlainTextEdit(splitMessages);
    txtMessage->setObjectName(u"txtMessage"_s);
    txtMessage->setReadOnly(true);
    txtMessage->setFont(QFont(u"Courier New"_s));
    splitMessages->setStretchFactor(0, 3);
    splitMessages->setStretchFactor(1, 2);

    auto* column = new QVBoxLayout;
    auto makeButton = [&](const QString& name, const QString& caption, const QString& tip) {
        return addButton(page, column, name, caption, tip);
    };
    cmdTellMe = makeButton(u"cmdTellMe"_s, u"&Read"_s, u"Read selected message"_s);
    cmdViewIt = makeButton(u"cmdViewIt"_s, u"&View"_s, u"View selected message"_s);
    cmdAddRule = makeButton(u"cmdAddRule"_s, u"Add Rule"_s, u"Add rule for selected message"_s);
    cmdRemove = makeButton(u"cmdRemove"_s, u"R&emove"_s, u"Remove selected message"_s);
    cmdClear = makeButton(u"cmdClear"_s, u"Remove &All"_s, u"Remove all messages"_s);
    column->addStretch(1);

    grid->addWidget(lblNewMessagesTitle, 0, 0, 1, 2);
    grid->addWidget(picNewMessages, 1, 0, 1, 2);
    grid->addWidget(lblAllMessagesTitle, 2, 0, 1, 2);
    grid->addWidget(splitMessages, 3, 0);
    grid->addLayout(column, 3, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(0, 1);

    connect(lstMessages, &QTreeWidget::itemSelectionChanged, this, &frmMain::UpdateMessageCommands);
    return page;
}

QWidget* frmMain::buildQuickControlPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageQuickControl"_s);
    auto* grid = new QGridLayout(page);

    auto* voice = new QGroupBox(u"Voice Control"_s, page);
    auto* vg = new QGridLayout(voice);
    auto makeSlider = [&](const QString& name, int min, int max, const QString& hint) {
        auto* s = new QSlider(Qt::Horizontal, voice);
        s->setObjectName(name);
        s->setRange(min, max);
        s->setSingleStep(1);
        s->setPageStep(5);
        s->setToolTip(hint);
        return s;
    };
    sldSpeed = makeSlider(u"sldSpeed"_s, 50, 250, u"How fast does the character speak"_s);
    sldPitch = makeSlider(u"sldPitch"_s, 50, 400, u"The pitch of the character's voice"_s);
    vg->addWidget(new QLabel(u"Speed:"_s, voice), 0, 0);
    vg->addWidget(sldSpeed, 0, 1);
    vg->addWidget(new QLabel(u"Fast"_s, voice), 0, 2);
    vg->addWidget(new QLabel(u"Pitch:"_s, voice), 1, 0);
    vg->addWidget(sldPitch, 1, 1);
    vg->addWidget(new QLabel(u"High"_s, voice), 1, 2);
    cmdPreviewVoice = new QPushButton(u"(Listen to voice sample)"_s, voice);
    cmdPreviewVoice->setObjectName(u"cmdPreviewVoice"_s);
    cmdPreviewVoice->setFlat(true);
    vg->addWidget(cmdPreviewVoice, 2, 1);

    auto* appearance = new QGroupBox(u"Character Appearance"_s, page);
    auto* ag = new QVBoxLayout(appearance);
    chkAlwaysShow = new QCheckBox(u"Al&ways show character"_s, appearance);
    chkAlwaysShow->setObjectName(u"chkAlwaysShow"_s);
    ag->addWidget(chkAlwaysShow);

    auto* mail = new QGroupBox(u"Mail Checking"_s, page);
    auto* mg = new QVBoxLayout(mail);
    chkDontCheck = new QCheckBox(u"Enable mail chec&king"_s, mail);
    chkDontCheck->setObjectName(u"chkDontCheck"_s);
    auto* note = new QLabel(u"Unchecking this option, will cause Orvella not to check for new e-mail"_s, mail);
    note->setWordWrap(true);
    mg->addWidget(chkDontCheck);
    mg->addWidget(note);

    auto* reminders = new QGroupBox(u"Reminders"_s, page);
    auto* rg = new QVBoxLayout(reminders);
    chkEnableReminders = new QCheckBox(u"Enable reminders"_s, reminders);
    chkEnableReminders->setObjectName(u"chkEnableReminders"_s);
    rg->addWidget(chkEnableReminders);

    grid->addWidget(voice, 0, 0, 1, 2);
    grid->addWidget(appearance, 1, 0);
    grid->addWidget(mail, 1, 1);
    grid->addWidget(reminders, 2, 0);
    grid->setRowStretch(3, 1);

    connect(sldSpeed, &QSlider::valueChanged, this, [this](int v) {
        if (Settings)
            Settings->m_VoiceSpeed = v;
    });
    connect(sldPitch, &QSlider::valueChanged, this, [this](int v) {
        if (Settings)
            Settings->m_VoicePitch = v;
    });
    // toggled, not clicked: a screen reader's toggle action changes the box
    // without a click. The program's own settings of the boxes block signals.
    connect(chkDontCheck, &QCheckBox::toggled, this, &frmMain::chkDontCheck_Click);
    connect(chkAlwaysShow, &QCheckBox::toggled, this, &frmMain::chkAlwaysShow_Click);
    connect(cmdPreviewVoice, &QPushButton::clicked, this, [this] {
        if (Speech)
            Speech->cmdPreviewVoice_Click();
    });
    connect(chkEnableReminders, &QCheckBox::toggled, this, [this](bool checked) {
        if (Settings)
            Settings->m_EnableReminders = checked;
        pageReminders->ApplySetting();
    });
    // The Reminders page has a box of its own for the same setting.
    connect(pageReminders, &RemindersPage::enableRemindersClicked, chkEnableReminders, &QCheckBox::setChecked);
    return page;
}

QWidget* frmMain::buildErrorPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageError"_s);
    auto* l = new QVBoxLayout(page);
    txtError = new QPlainTextEdit(page);
    txtError->setObjectName(u"txtError"_s);
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

    mnuEdit = menuBar()->addMenu(u"&Edit"_s);
    mnuRead = add(mnuEdit, u"mnuRead"_s, u"&Listen To Message"_s, &frmMain::cmdTellMe_Click);
    mnuView = add(mnuEdit, u"mnuView"_s, u"&View Message"_s, [] {});
    mnuAddRule = add(mnuEdit, u"mnuAddRule"_s, u"&Add Rule"_s, &frmMain::cmdAddRule_Click);
    mnuEdit->addSeparator();
    mnuRemove = add(mnuEdit, u"mnuRemove"_s, u"&Remove Message"_s, &frmMain::cmdRemove_Click);
    mnuEdit->addSeparator();
    mnuClear = add(mnuEdit, u"mnuClear"_s, u"Remove &All Messages"_s, &frmMain::cmdClear_Click);

    QMenu* mnuMainView = menuBar()->addMenu(u"&View"_s);
    mnuShowNewMessagePanel = add(mnuMainView, u"mnuShowNewMessagePanel"_s, u"Show New Message Panel"_s, [this] {
        Settings->m_ShowNewMessagePanel = !Settings->m_ShowNewMessagePanel;
        ApplyPanelVisibility();
    });
    mnuShowPreviewPanel = add(mnuMainView, u"mnuShowPreviewPanel"_s, u"Show Preview Panel"_s, [this] {
        Settings->m_ShowPreviewPanel = !Settings->m_ShowPreviewPanel;
        ApplyPanelVisibility();
    });
    mnuShowNewMessagePanel->setCheckable(true);
    mnuShowPreviewPanel->setCheckable(true);

    QMenu* mnuTools = menuBar()->addMenu(u"&Tools"_s);
    mnuCheckMail = add(mnuTools, u"mnuCheckMail"_s, u"&Check Mail Now"_s, &frmMain::cmdCheck_Click);
    mnuMyMailProgram = add(mnuTools, u"mnuMyMailProgram"_s, u"&My E-mail Program"_s, &frmMain::RunEmailProgram);
    mnuTools->addSeparator();
    mnuClipboard = add(mnuTools, u"mnuClipboard"_s, u"&Read Clipboard"_s, &frmMain::cmdClipboard_Click);

    QMenu* mnuHelp = menuBar()->addMenu(u"&Help"_s);
    mnuTip = add(mnuHelp, u"mnuTip"_s, u"Display &Tip"_s, &frmMain::mnuTip_Click);
    mnuOnlineSupport = add(mnuHelp, u"mnuOnlineSupport"_s, u"Online &Support"_s,
                           [] { ShellOpen(Program().SupportURL); });
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

// ---------------------------------------------------------------------------
// Load, activation, unload

bool frmMain::Form_Load()
{
    CharacterControl::SetCharactersFolder();

    Settings = std::make_unique<CSettings>(AppPath());
    Settings->LoadInitial();

    Agent1 = agentFactory()();
    createLogic();
    if (!Character->InitCharacter())
        return false;

    Accounts = LoadAccounts();

    if (!Settings->LoadSettings())
        return false;

    RestoreWindowGeometry();
    SetFullRowSelect(lstMessages);

    Rules = LoadRules();
    Filters = LoadFilters();

    Cycle->CheckParameters();

    Store->LoadStoredMessages();

    ReminderSet = std::make_unique<CRemindersSet>();
    ReminderSet->alert.speech = Speech.get();
    ReminderSet->alert.openWindow = [this](const QString& text) -> QWidget* {
        return frmReminder::Open(Speech.get(), text);
    };
    // A damaged reminder file stops the loading; the user learns which one.
    if (!ReminderSet->Load())
        SetStatusText(ReminderSet->LoadError());
    pageReminders->Attach(*ReminderSet, *Settings, Speech.get(), Agent1.get());

    ApplyQuickControls();
    ApplyPanelVisibility();
    UpdateMessageCommands();

    if (m_tray.m_SystemTray) {
        Timer1->setInterval(3000);
        Timer1->start();
    }
    m_loaded = true;
    return true;
}

// The logic objects and how the window's pieces reach them.
void frmMain::createLogic()
{
    Speech = std::make_unique<SpeechOutput>(*Agent1, *Settings);
    Character = std::make_unique<CharacterControl>(*Agent1, *Settings);
    Character->speech = Speech.get();
    Character->showMessage = [this](const QString& text, bool sayIt, const QString& gesture) {
        ShowMessage(Speech.get(), text, sayIt, gesture, this);
    };
    Speech->placeCharacter = [this] { Character->SetAgentPos(); };
    Speech->applyFilters = [this](const QString& text) { return ApplyFilters(Filters, text); };

    Store = std::make_unique<MessageStore>(lstMessages, txtMessage, this);
    Store->UpdateMessageCommands = [this] { UpdateMessageCommands(); };
    Store->ModalDialogShown = [this](bool shown) { m_tray.m_ModalDlgDisplayed = shown; };

    Reader = std::make_unique<MessageReader>(*Speech, *Settings, Rules);
    Reader->panel = {lblNewMessages, lblMessageNo, lblFrom, lblSubject, cmdPrev, cmdReplay, cmdNext};
    auto& rh = Reader->hooks;
    rh.setStatusText = [this](const QString& t) { SetStatusText(t); };
    rh.selectMessageInList = [this](const CMessage& m) { Store->SelectMessageInList(m); };
    rh.setCheckControls = [this](bool on) { SetCheckControls(on); };
    rh.launch = [this] { m_tray.Launch(); };
    rh.setNewMailIcon = [this] { m_tray.SetNewMailIcon(); };
    rh.mainWindowVisible = [this] { return isVisible() && !isMinimized(); };
    rh.syncCharacterMenu = [this](bool next, bool previous) { Character->SyncCharacterMenu(next, previous); };
    rh.promptOnceWindow = [this](const QList<CMessage>& messages) {
        m_tray.m_ModalDlgDisplayed = true;
        frmPromptOnce dlg(Speech.get(), Store.get(), messages, this);
        dlg.exec();
        m_tray.m_ModalDlgDisplayed = false;
        return dlg.m_Yes;
    };
    rh.promptForMessageWindow = [this](const CMessage& message) {
        m_tray.m_ModalDlgDisplayed = true;
        frmPromptEveryMessage dlg(Speech.get(), message, this);
        dlg.exec();
        m_tray.m_ModalDlgDisplayed = false;
        return dlg.m_Yes;
    };
    Character->syncMenu = [this] { Reader->SyncCharacterMenu(); };

    Cycle = std::make_unique<MailCheckCycle>(Accounts, *Settings, *Store, Reader->NewMessages);
    auto& ch = Cycle->hooks;
    ch.setStatusText = [this](const QString& t) { SetStatusText(t); };
    ch.setConnectionStatus = [this](const QString& t) { statusConnection->setText(t); };
    ch.setCheckControls = [this](bool on) { SetCheckControls(on); };
    ch.setExitEnabled = [this](bool on) { mnuExit->setEnabled(on); };
    ch.announceNewMail = [this](bool all, bool error) { Reader->AnnounceNewMail(all, error); };
    ch.updateMessageCommands = [this] { UpdateMessageCommands(); };
    ch.setErrorText = [this](const QString& t) {
        txtError->setPlainText(t);
        m_trace.write(u"error"_s, t);
    };
    ch.showErrorTab = [this](bool show) { ShowErrorTab(show); };
    ch.showMessage = [this](const QString& text, bool sayIt, const QString& gesture) {
        ShowMessage(Speech.get(), text, sayIt, gesture, this);
    };

    connect(Agent1.get(), &IAgent::Command, this, &frmMain::Agent1_Command);
    connect(Agent1.get(), &IAgent::DblClick, this, &frmMain::Agent1_DblClick);
    connect(Agent1.get(), &IAgent::ShowEvent, this, &frmMain::Agent1_Show);
    connect(Agent1.get(), &IAgent::HideEvent, this, &frmMain::Agent1_Hide);
    connect(Agent1.get(), &IAgent::Bookmark, this, &frmMain::Agent1_Bookmark);

    connect(cmdNext, &QToolButton::clicked, this, [this] { Reader->cmdNext_Click(); });
    connect(cmdPrev, &QToolButton::clicked, this, [this] { Reader->cmdPrev_Click(); });
    connect(cmdReplay, &QToolButton::clicked, this, [this] { Reader->cmdReplay_Click(); });
    connect(cmdTellMe, &QPushButton::clicked, this, &frmMain::cmdTellMe_Click);
    connect(cmdAddRule, &QPushButton::clicked, this, &frmMain::cmdAddRule_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmMain::cmdRemove_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmMain::cmdClear_Click);
    connect(lstMessages, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (Store)
            Store->ShowPreview();
    });
    connect(lstMessages, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (cmdTellMe->isEnabled())
            cmdTellMe_Click();
    });
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
    if (Settings->m_WelcomeGesture != u"None"_s)
        Character->SayWelcome(true, true);
    if (!m_tray.m_SystemTray) {
        Timer1->setInterval(2000);
        // A check started before this first activation (a second start's
        // --check-now) holds the minute timer; its end starts it.
        if (cmdCheck->isEnabled())
            Timer1->start();
    }
}

void frmMain::showEvent(QShowEvent* e)
{
    QMainWindow::showEvent(e);
    updateClock();
    m_clockTimer->start(1000);
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
    if (!m_loaded) return;
    SaveWindowGeometry();
    Settings->Save();
    for (const auto& account : std::as_const(Accounts)) {
        if (!account->ownsSection()) continue;
        account->SaveMessageIDs();
        account->WriteCounters();
    }
}

void frmMain::Form_Unload()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    Timer1->stop();
    SaveWindowGeometry();
    Settings->Save();
    pageReminders->Detach();
    ReminderSet.reset();
    Cycle.reset();
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
// Minute tick

void frmMain::Timer1_Timer()
{
    const QDateTime now = platform::now();
    Timer1->setInterval((60 - now.time().second()) * 1000);
    AnnounceTime(*Speech, now);
    if (CheckReminders(*ReminderSet, Settings->m_EnableReminders, m_tray.m_ModalDlgDisplayed))
        pageReminders->RefreshReminderList();
    Cycle->MailTick();
}

void frmMain::SetCheckControls(bool enable)
{
    if (enable)
        Timer1->start();
    else
        Timer1->stop();
    cmdCheck->setEnabled(enable);
    mnuCheckMail->setEnabled(cmdCheck->isEnabled());
    if (Agent1)
        Agent1->setCommandEnabled(u"Check Mail Now"_s, cmdCheck->isEnabled());
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

// ---------------------------------------------------------------------------
// Window operations

void frmMain::SetStatusText(const QString& text)
{
    statusText->setText(text);
    m_trace.write(u"status"_s, text);
}

void frmMain::UpdateMessageCommands()
{
    const bool selected = !lstMessages->selectedItems().isEmpty();
    const bool onMessages = tabMain->currentIndex() <= 0;
    for (QPushButton* b : {cmdTellMe, cmdViewIt, cmdAddRule, cmdRemove})
        b->setEnabled(selected && onMessages);
    cmdClear->setEnabled(lstMessages->topLevelItemCount() > 0 && onMessages);
    mnuRead->setEnabled(cmdTellMe->isEnabled());
    mnuView->setEnabled(cmdViewIt->isEnabled());
    mnuAddRule->setEnabled(cmdAddRule->isEnabled());
    mnuRemove->setEnabled(cmdRemove->isEnabled());
    mnuClear->setEnabled(cmdClear->isEnabled());
    mnuMyMailProgram->setEnabled(Settings && !Settings->m_EMailProgram.isEmpty());
}

void frmMain::ApplyQuickControls()
{
    tabMain->setCurrentIndex(Settings->m_LastTab);
    tabMain->setTabVisible(3, false);
    {
        const QSignalBlocker b1(chkAlwaysShow), b2(chkDontCheck), b3(chkEnableReminders);
        chkAlwaysShow->setChecked(!Settings->m_Hide);
        chkDontCheck->setChecked(!Settings->m_DontCheck);
        chkEnableReminders->setChecked(Settings->m_EnableReminders);
    }
    // Setting a slider fires its change handler; both store what they show.
    const int speed = Settings->m_VoiceSpeed, pitch = Settings->m_VoicePitch;
    sldSpeed->setValue(speed);
    sldPitch->setValue(pitch);
    Settings->m_VoiceSpeed = speed;
    Settings->m_VoicePitch = pitch;
}

void frmMain::ApplyPanelVisibility()
{
    mnuShowPreviewPanel->setChecked(Settings->m_ShowPreviewPanel);
    mnuShowNewMessagePanel->setChecked(Settings->m_ShowNewMessagePanel);
    picNewMessages->setVisible(Settings->m_ShowNewMessagePanel);
    lblNewMessagesTitle->setVisible(Settings->m_ShowNewMessagePanel);
    txtMessage->setVisible(Settings->m_ShowPreviewPanel);
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

// Geometry is stored in twips, the unit of the settings file's keys: the window's
// outer position and the size of its inside.
void frmMain::RestoreWindowGeometry()
{
    if (Settings->m_Top == -1)
        return;
    const double tx = twipsPerPixelX(), ty = twipsPerPixelY();
    QRect r(qRound(Settings->m_Left / tx), qRound(Settings->m_Top / ty), qRound(Settings->m_Width / tx),
            qRound(Settings->m_Height / ty));
    r.setSize(r.size().expandedTo(minimumSizeHint()));
    // A window stored on a screen that is gone would open out of reach.
    bool onScreen = false;
    for (QScreen* s : QGuiApplication::screens())
        onScreen = onScreen || s->availableGeometry().intersects(QRect(r.topLeft(), QSize(r.width(), 40)));
    if (!onScreen)
        if (QScreen* s = QGuiApplication::primaryScreen())
            r.moveTopLeft(s->availableGeometry().topLeft());
    move(r.topLeft());
    resize(r.size());
    if (Settings->m_SplitTop > 0 && splitMessages->count() == 2) {
        const int top = qRound(Settings->m_SplitTop / ty);
        splitMessages->setSizes({top, qMax(1, splitMessages->height() - top)});
    }
}

void frmMain::SaveWindowGeometry()
{
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const double tx = twipsPerPixelX(), ty = twipsPerPixelY();
    Settings->m_Top = qRound(pos().y() * ty);
    Settings->m_Left = qRound(pos().x() * tx);
    Settings->m_Width = qRound(width() * tx);
    Settings->m_Height = qRound(height() * ty);
    if (!splitMessages->sizes().isEmpty())
        Settings->m_SplitTop = qRound(splitMessages->sizes().constFirst() * ty);
}

void frmMain::RunEmailProgram()
{
    if (!Settings || Settings->m_EMailProgram.isEmpty())
        return;
    if (!platform::startProgram(Settings->m_EMailProgram))
        ShowMessage(Speech.get(),
                    u"Can not find E-mail program. This button is not essential to the operation of Orvella. "
                    u"Before you press this button, make sure you can receive messages using the 'Check Mail' "
                    u"button. If 'Check Mail' works for you than go to the 'Options' screen and check the path "
                    u"to your E-mail program."_s,
                    true, u"Read"_s, this);
}

void frmMain::chkDontCheck_Click() { Settings->m_DontCheck = !chkDontCheck->isChecked(); }

void frmMain::cmdCheck_Click()
{
    if (cmdCheck->isEnabled())
        Cycle->CheckAllMailServers();
}

void frmMain::chkAlwaysShow_Click() { Character->chkAlwaysShow_Click(chkAlwaysShow->isChecked()); }

void frmMain::cmdClipboard_Click() { ReadClipboard(*Speech); }

void frmMain::cmdStopReading_Click() { Reader->cmdStopReading_Click(); }

void frmMain::cmdTellMe_Click()
{
    const QList<QTreeWidgetItem*> selected = lstMessages->selectedItems();
    if (!selected.isEmpty())
        Reader->cmdTellMe_Click(selected.first()->data(0, MessageStore::PathRole).toString());
}

void frmMain::cmdAddRule_Click()
{
    QString address;
    const QList<QTreeWidgetItem*> selected = lstMessages->selectedItems();
    CMessage message;
    if (!selected.isEmpty() && message.Load(selected.first()->data(0, MessageStore::PathRole).toString()))
        address = message.EMailAddress();
    frmAddEditRule::AddRule(address, Rules, Speech.get(), Agent1.get(), modalDialogFlag(), this);
}

ModalDialogFlag frmMain::modalDialogFlag()
{
    return {[this] { return m_tray.m_ModalDlgDisplayed; }, [this](bool on) { m_tray.m_ModalDlgDisplayed = on; }};
}

void frmMain::ShowOptions()
{
    OptionsServices s(*Settings, Accounts, Rules, Filters);
    s.agent = Agent1.get();
    s.speech = Speech.get();
    s.character = Character.get();
    s.checkParameters = [this] { return Cycle->CheckParameters(); };
    s.modalDialog = modalDialogFlag();
    s.rememberTab = [this](int page) { m_LastOptionsTab = page; };
    s.updateMessageCommands = [this] { UpdateMessageCommands(); };
    frmOptions::ShowOptions(s, m_LastOptionsTab, this);
}

void frmMain::cmdRemove_Click() { Store->cmdRemove_Click(); }

void frmMain::cmdClear_Click() { Store->cmdClear_Click(); }

void frmMain::Agent1_Bookmark(int bookmarkId) { Reader->Agent1_Bookmark(bookmarkId); }

void frmMain::Agent1_Command(const QString& name)
{
    if (name == u"Check Mail Now"_s)
        cmdCheck_Click();
    else if (name == u"Read Clipboard"_s)
        cmdClipboard_Click();
    else if (name == u"Options"_s)
        cmdOptions_Click();
    else if (name == u"Orvella Tip"_s)
        mnuTip_Click();
    else if (name == u"Stop Talking"_s)
        cmdStopReading_Click();
    else if (name == u"Previous Message"_s)
        cmdPrev->click();
    else if (name == u"Next Message"_s)
        cmdNext->click();
}

void frmMain::Agent1_DblClick() { cmdClipboard_Click(); }

void frmMain::Agent1_Show(int) { cmdStopReading->setVisible(true); }

void frmMain::Agent1_Hide(int cause)
{
    cmdStopReading->setVisible(false);
    Reader->Agent1_Hide(cause);
}

void frmMain::cmdOptions_Click() { ShowOptions(); }

void frmMain::mnuTip_Click() {}

void frmMain::updateClock()
{
    const QDateTime t = platform::now();
    statusDate->setText(QLocale().toString(t.date(), QLocale::ShortFormat));
    statusTime->setText(QLocale().toString(t.time(), QLocale::ShortFormat));
}

} // namespace orvella
