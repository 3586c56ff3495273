#include "gui/wizard/SetupWizard.h"

#include "core/mail/AccountDrafts.h"
#include "gui/widgets/StayAboveCharacter.h"

#include "core/mail/Account.h"
#include "core/mail/AccountDrafts.h"
#include "core/mail/AccountPasswords.h"
#include "core/settings/IniValues.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "core/speech/CharacterControl.h"
#include "core/speech/IAgent.h"
#include "core/speech/SpeechOutput.h"
#include "gui/signin/SignInRow.h"
#include "gui/widgets/Dialogs.h"
#include "gui/wizard/WebMailDialog.h"
#include "gui/wizard/WizardLink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

const QString ProgramTitle = u"Orvella"_s;
const QString NoGesture = u"None"_s;
constexpr int TopCenter = 1;
constexpr int TlsPort = 995;
constexpr int StartTlsPort = 110;
constexpr int ImapTlsPort = 993;
constexpr int ImapStartTlsPort = 143;
// Room under the character for the lines of its balloon.
constexpr int BalloonAllowance = 80;

// The labels each page speaks, in order.
QList<int> spokenLabels(int page)
{
    switch (page) {
    case SetupWizard::PageWelcome:
        return {100, 101, 102, 103};
    case SetupWizard::PagePassword:
        return {501, 502};
    case SetupWizard::PageStartup:
        return {701, 702};
    case SetupWizard::PageThankYou:
        return {900, 901, 902, 903, 904, 905};
    default:
        return {page * 100 + 101};
    }
}

} // namespace

SetupWizard::SetupWizard(Settings& settings, AccountList& accounts, SpeechOutput* speech,
                         CharacterControl* character, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_accounts(accounts), m_speech(speech), m_character(character)
{
    StayAboveCharacter(this);
    setObjectName(u"frmConfigWizard"_s);
    setWindowTitle(u"Orvella Configuration Wizard"_s);
    buildWindow();

    askAboutWebMail = [this](const QString& question) { return WebMailDialog::Ask(question, this); };

    // The character stands at the top centre while the wizard is open, clear of the window.
    SavedPosition = m_settings.m_Position;
    m_settings.m_Position = TopCenter;

    connect(tabWizard, &QTabWidget::currentChanged, this, [this] {
        pageOpened();
        SayPage();
    });
    connect(cmdNext, &QPushButton::clicked, this, &SetupWizard::next);
    connect(cmdBack, &QPushButton::clicked, this, &SetupWizard::back);
    connect(cmdFinish, &QPushButton::clicked, this, &SetupWizard::finish);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdSayAgain, &QPushButton::clicked, this, &SetupWizard::sayAgain);
    connect(lblOnlineSupport, &QPushButton::clicked, this, &SetupWizard::openOnlineSupport);
    for (QLineEdit* field : {txtPOPServer, txtAccountName, txtPassword})
        connect(field, &QLineEdit::textChanged, this, &SetupWizard::UpdateWizardButtons);
    connect(cboSecurity, &QComboBox::currentIndexChanged, this, [this](int index) {
        const bool imap = imapChosen();
        txtPort->setText(QString::number(index == 1 ? (imap ? ImapStartTlsPort : StartTlsPort)
                                                    : (imap ? ImapTlsPort : TlsPort)));
    });
    connect(cboProtocol, &QComboBox::activated, this, [this] {
        showProtocol();
        const bool imap = imapChosen();
        txtPort->setText(QString::number(cboSecurity->currentIndex() == 1
                                             ? (imap ? ImapStartTlsPort : StartTlsPort)
                                             : (imap ? ImapTlsPort : TlsPort)));
        proposeForServer();
    });
    connect(txtPOPServer, &QLineEdit::textEdited, this, &SetupWizard::proposeForServer);
    connect(cboSignIn, &QComboBox::activated, this, [this] {
        m_signInChosen = true;
        showSignInKind();
    });
    connect(rowSignIn, &SignInRow::signedIn, this, [this](const QString& secret) {
        m_signInSecret = secret;
        m_secretKind = ChosenSignIn(cboSignIn);
        UpdateWizardButtons();
        cmdNext->setFocus(Qt::OtherFocusReason);
    });
    connect(rowSignIn, &SignInRow::stateChanged, this, &SetupWizard::UpdateWizardButtons);
    rowSignIn->say = [this](const QString& text) {
        if (m_speech) m_speech->SayAndPlay(text, NoGesture, false, true);
    };
    // The message goes as soon as the port can work.
    connect(txtPort, &QLineEdit::textChanged, this, [this] {
        if (lblPortMessage->isVisible() && AccountDrafts::PortProblem(txtPort->text()).isEmpty())
            showPortMessage(QString());
    });
}

SetupWizard::~SetupWizard()
{
    restorePosition();
}

bool SetupWizard::RunWizard(int startPage, Settings& settings, AccountList& accounts, SpeechOutput* speech,
                            CharacterControl* character, QWidget* parent)
{
    SetupWizard wizard(settings, accounts, speech, character, parent);
    wizard.Init(startPage);
    wizard.exec();
    return wizard.m_Completed;
}

void SetupWizard::Init(int startPage)
{
    StartPage = qBound(int(PageWelcome), startPage, int(PageThankYou));

    if (m_accounts.isEmpty()) {
        auto first = std::make_shared<Account>();
        first->LoadSettings(AccountSection(1));
        m_accounts.append(first);
    }
    WizardAccount = m_accounts.first();

    // A local mail proxy stands between some mail programs and their server:
    // the program then holds "127.0.0.1" as its server and "user/server" as
    // its account name. The real server and user are what the wizard offers.
    // A name is split only when no other server is known, so an account name
    // with "/" in it never overrides a server of its own.
    QString server = WizardAccount->m_PopServer;
    QString name = WizardAccount->m_AccountName;
    if (server == u"127.0.0.1"_s) server.clear();
    const qsizetype slash = name.indexOf(u'/');
    if (server.isEmpty() && slash > 0) {
        server = name.mid(slash + 1);
        name = name.left(slash);
    }

    txtPOPServer->setText(server);
    txtAccountName->setText(name);
    // The tokens of a sign-in are never shown, not even as stars.
    if (WizardAccount->UsesOAuth()) {
        m_signInSecret = WizardAccount->m_Password;
        m_secretKind = WizardAccount->m_SignIn;
        m_signInChosen = true;
    } else {
        txtPassword->setText(WizardAccount->m_Password);
    }
    SelectSignIn(cboSignIn, WizardAccount->m_SignIn);
    showSignInKind();
    txtUserName->setText(m_settings.m_UserName);
    lblDetectedPOP->setVisible(!server.isEmpty());
    lblDetectedAccountName->setVisible(!name.isEmpty());

    // An account that already names its security keeps it and its port;
    // otherwise TLS on its own port is proposed.
    const bool startTls = WizardAccount->m_Security == u"STARTTLS"_s;
    const bool chosen = startTls || WizardAccount->m_Security == u"TLS"_s;
    {
        const QSignalBlocker block(cboSecurity);
        cboSecurity->setCurrentIndex(startTls ? 1 : 0);
        cboProtocol->setCurrentIndex(WizardAccount->IsImap() ? 1 : 0);
        showProtocol();
    }
    const bool imap = WizardAccount->IsImap();
    txtPort->setText(QString::number(chosen     ? WizardAccount->m_Port
                                     : startTls ? (imap ? ImapStartTlsPort : StartTlsPort)
                                                : (imap ? ImapTlsPort : TlsPort)));
    // A server found in another mail program proposes its sign-in as a typed one does.
    if (!chosen) proposeForServer();

    {
        const QSignalBlocker block(tabWizard);
        tabWizard->setCurrentIndex(StartPage);
    }
    pageOpened();
    placeBelowCharacter();
}

void SetupWizard::placeBelowCharacter()
{
    if (!m_character || !m_character->screenGeometry) return;
    // Centred on the character's screen, but clear of the character and its
    // balloon at the top centre, as far as the screen's height allows.
    const QRect screen = m_character->screenGeometry();
    const int below = screen.top() + (m_speech ? m_speech->agent().Height() : 0) + BalloonAllowance;
    const QSize size = frameGeometry().size();
    int y = std::max(screen.top() + (screen.height() - size.height()) / 2, below);
    y = std::max(screen.top(), std::min(y, screen.bottom() + 1 - size.height()));
    move(screen.left() + (screen.width() - size.width()) / 2, y);
}

int SetupWizard::currentPage() const
{
    return tabWizard->currentIndex();
}

void SetupWizard::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    if (m_spokeFirstPage) return;
    m_spokeFirstPage = true;
    if (QWidget* target = focusTarget(currentPage())) target->setFocus();
    SayPage();
}

void SetupWizard::showPage(int page)
{
    if (page == currentPage()) return;
    tabWizard->setCurrentIndex(page); // currentChanged: pageOpened, SayPage
}

void SetupWizard::pageOpened()
{
    const int page = currentPage();
    if (page == PageThankYou) preparePageThankYou();
    // The server (Gmail or not) and the account name may have changed since the kind was shown.
    if (page == PagePassword) showSignInKind();
    UpdateWizardButtons();
    if (QWidget* target = focusTarget(page)) {
        // A screen reader announces the control with the page's words, which
        // the character says aloud too, before the control's own explanation.
        const QString own = target->property(OwnDescription).toString();
        const QString text = pageText(page);
        target->setAccessibleDescription(own.isEmpty() ? text : text + u' ' + own);
        target->setFocus();
    }
}

QWidget* SetupWizard::focusTarget(int page) const
{
    switch (page) {
    case PageWelcome:
        return chkFeatureEMail;
    case PageServer:
        return txtPOPServer;
    case PageAccountName:
        return txtAccountName;
    case PagePassword:
        return ChosenSignIn(cboSignIn) == Account::SignIn::Password ? static_cast<QWidget*>(txtPassword)
                                                                    : rowSignIn->signInButton();
    case PageUserName:
        return txtUserName;
    case PageStartup:
        return optAutoStartNo->isChecked() ? optAutoStartNo : optAutoStartYes;
    case PageConnection:
        return optLANUser->isChecked() ? optLANUser : optModemUser;
    case PageThankYou:
        return cmdFinish;
    default:
        return cmdNext;
    }
}

QString SetupWizard::pageText(int page) const
{
    QStringList texts;
    for (auto it = lblWizard.constBegin(); it != lblWizard.constEnd(); ++it)
        if (it.key() / 100 == page + 1 && it.key() % 100 != 0 && !it.value()->isHidden())
            texts.append(it.value()->text());
    return texts.join(u' ');
}

void SetupWizard::UpdateWizardButtons()
{
    const int page = currentPage();
    cmdBack->setEnabled(page > StartPage);
    bool next = page < PageThankYou;
    if (page == PageServer)
        next = next && !txtPOPServer->text().trimmed().isEmpty();
    else if (page == PageAccountName)
        next = next && !txtAccountName->text().trimmed().isEmpty();
    else if (page == PagePassword)
        next = next && credentialGiven();
    cmdNext->setEnabled(next);
    cmdFinish->setEnabled(page == PageThankYou);
    // Enter presses the button that moves on.
    cmdFinish->setDefault(page == PageThankYou);
    cmdNext->setDefault(page != PageThankYou);
}

void SetupWizard::preparePageThankYou()
{
    const QString name = txtUserName->text().trimmed();
    lblWizard[900]->setText(name.isEmpty() ? u"Thank You"_s : u"Thank You, "_s + name + u"."_s);
    const bool checking = !m_settings.m_DontCheck;
    for (int index : {902, 903, 904})
        lblWizard[index]->setVisible(checking);
    lblLastTitle->setVisible(checking);
}

void SetupWizard::SayPage()
{
    const int page = currentPage();
    if (page == PageThankYou) preparePageThankYou();
    if (!m_speech) return;
    m_speech->StopAgent();
    // With mail checking off there is nothing to connect to and nothing to say.
    if (page == PageThankYou && m_settings.m_DontCheck) return;
    if (page == PageStartup || page == PageConnection) {
        const QString name = txtUserName->text().trimmed();
        if (!name.isEmpty()) m_speech->SayAndPlay(name + u","_s, NoGesture, false, true);
    }
    const QList<int> labels = spokenLabels(page);
    for (qsizetype i = 0; i < labels.size(); ++i) {
        if (lblWizard[labels[i]]->isHidden()) continue;
        // The character hides (when it hides when idle) after the wizard's very last words only.
        const bool hide = page == PageThankYou && i == labels.size() - 1;
        m_speech->SayAndPlay(lblWizard[labels[i]]->text(), NoGesture, hide, true);
    }
}

void SetupWizard::sayAgain()
{
    SayPage();
}

void SetupWizard::next()
{
    if (!cmdNext->isEnabled()) return;
    int page = currentPage();
    if (!validatePage(page)) return;
    if (page == PageWelcome) {
        m_settings.m_EnableReminders = chkFeatureReminders->isChecked();
        m_settings.m_SayTime = chkFeatureClock->isChecked();
        // The box decides both ways: after a skip and Back, ticking it again turns checking back on.
        m_settings.m_DontCheck = !chkFeatureEMail->isChecked();
        page = m_settings.m_DontCheck ? PageUserName : PageEMail;
    } else {
        ++page;
    }
    showPage(page);
}

void SetupWizard::back()
{
    const int page = currentPage();
    if (page <= StartPage) return;
    showPage(page == PageUserName && m_settings.m_DontCheck ? PageWelcome : page - 1);
}

void SetupWizard::skipEmail()
{
    m_settings.m_DontCheck = true;
    chkFeatureEMail->setChecked(false);
    showPage(PageUserName);
}

void SetupWizard::openOnlineSupport()
{
    const QString& url = Program().SupportURL;
    ShellOpen(url.isEmpty() ? QString::fromUtf16(DefaultSupportURL) : url);
}

void SetupWizard::showPortMessage(const QString& text)
{
    lblPortMessage->setText(text);
    lblPortMessage->setAccessibleName(text);
    lblPortMessage->setVisible(!text.isEmpty());
    txtPort->setAccessibleDescription(text);
}

bool SetupWizard::validatePage(int& page)
{
    if (page == PageServer) {
        const QString portProblem = AccountDrafts::PortProblem(txtPort->text());
        showPortMessage(portProblem);
        if (!portProblem.isEmpty()) {
            txtPort->setFocus();
            txtPort->selectAll();
            return false;
        }
        const QString server = txtPOPServer->text().trimmed();
        // Outlook.com's and Gmail's own POP servers are what the web mail question would send the user to.
        if (ProposeSignIn(server)) return true;
        if (server.contains(u'@')) {
            Dialogs::inform(this, ProgramTitle,
                            u"The incoming mail server address should not contain the @ character. "
                            u"Please check your account information for the correct incoming mail "
                            u"server address."_s);
            txtPOPServer->setFocus();
            return false;
        }
        return webMailCheck(server, page);
    }
    if (page == PageAccountName) {
        const QString name = txtAccountName->text().trimmed();
        // On Outlook.com's and Gmail's POP servers the whole address is the account name.
        const bool knownServer = ProposeSignIn(txtPOPServer->text()).has_value();
        if (!knownServer && !webMailCheck(name, page)) return false;
        // Gmail and Outlook.com take the whole address as the account name,
        // as their notice has just told the user.
        const QString service = WebMailService(name);
        const bool wholeAddress = knownServer || service == u"Gmail"_s || service == u"Outlook.com"_s;
        if (page != PageAccountName || !name.contains(u'@') || wholeAddress) return true;
        const bool sure = Dialogs::askYesNo(
            this, ProgramTitle,
            u"Account names don't usually contain the @ character. They are usually the part before the @ "
            u"character in your E-mail address. Are you sure that "_s +
                name + u" is your account name?"_s);
        if (!sure) txtAccountName->setFocus();
        return sure;
    }
    return true;
}

bool SetupWizard::webMailCheck(const QString& text, int& page)
{
    const QString service = WebMailService(text);
    if (service.isEmpty()) return true;
    m_settings.m_DontCheck = false;
    const int option =
        askAboutWebMail ? askAboutWebMail(WebMailQuestion(service)) : int(WebMailDialog::DifferentAccount);
    switch (option) {
    case WebMailDialog::VisitSupportPage:
        openOnlineSupport();
        break;
    case WebMailDialog::DisableMailChecking:
        m_settings.m_DontCheck = true;
        chkFeatureEMail->setChecked(false);
        // Next goes on from the password page: to "Your Name".
        page = PagePassword;
        return true;
    case WebMailDialog::UseEnteredAccount:
        return true;
    default:
        break;
    }
    if (QWidget* target = focusTarget(currentPage())) target->setFocus();
    return false;
}

void SetupWizard::finish()
{
    if (currentPage() != PageThankYou) return;
    m_Completed = true;
    restorePosition();

    // What the user could not see is not changed: a wizard opened on the
    // connection page leaves the account and the log-in start as they are.
    if (StartPage <= PageServer) {
        Account& account = *WizardAccount;
        account.m_PopServer = txtPOPServer->text().trimmed();
        account.m_AccountName = txtAccountName->text().trimmed();
        account.m_SignIn = ChosenSignIn(cboSignIn);
        // A password typed before another kind was chosen is not the account's.
        account.m_Password = !account.UsesOAuth()               ? txtPassword->text()
                             : m_secretKind == account.m_SignIn ? m_signInSecret
                                                                : QString();
        account.m_Security = cboSecurity->currentData().toString();
        account.m_Port = txtPort->text().toInt();
        account.m_Protocol = imapChosen() ? Account::Protocol::Imap : Account::Protocol::Pop3;
    }
    if (StartPage <= PageUserName) m_settings.m_UserName = txtUserName->text().trimmed();
    m_settings.m_ConnectionType = optModemUser->isChecked() ? 1 : 2;
    if (StartPage <= PageStartup) SetAutoStart(optAutoStartYes->isChecked());
    if (StartPage <= PageServer) {
        WizardAccount->Save();
        AccountPasswords::Store(m_accounts);
    }
    // The choices are kept even if the program never gets to end normally.
    m_settings.Save();
    accept();
}

bool SetupWizard::imapChosen() const
{
    return cboProtocol->currentData().toString() == u"IMAP"_s;
}

void SetupWizard::showProtocol()
{
    const bool imap = imapChosen();
    cboSecurity->setItemText(0, imap ? u"TLS (port 993)"_s : u"TLS (port 995)"_s);
    cboSecurity->setItemText(1, imap ? u"STARTTLS (port 143)"_s : u"STARTTLS (port 110)"_s);
}

bool SetupWizard::credentialGiven() const
{
    const Account::SignIn kind = ChosenSignIn(cboSignIn);
    if (kind == Account::SignIn::Password) return !txtPassword->text().trimmed().isEmpty();
    return !m_signInSecret.isEmpty() && m_secretKind == kind;
}

void SetupWizard::proposeForServer()
{
    if (m_signInChosen) return;
    const std::optional<SignInProposal> proposal = ProposeSignIn(txtPOPServer->text(), imapChosen());
    if (!proposal) return;
    cboProtocol->setCurrentIndex(proposal->imap ? 1 : 0);
    showProtocol();
    SelectSignIn(cboSignIn, proposal->kind);
    cboSecurity->setCurrentIndex(cboSecurity->findData(proposal->security));
    txtPort->setText(QString::number(proposal->port));
    showSignInKind();
}

void SetupWizard::showSignInKind()
{
    const Account::SignIn kind = ChosenSignIn(cboSignIn);
    const bool withPassword = kind == Account::SignIn::Password;
    rowSignIn->setKind(kind);
    rowSignIn->setLoginHint(txtAccountName->text().trimmed());
    if (!withPassword && m_secretKind == kind && !m_signInSecret.isEmpty()) rowSignIn->setSignedIn(true);
    txtPassword->setEnabled(withPassword);
    txtPassword->setPlaceholderText(withPassword ? QString() : u"(not used)"_s);
    txtPassword->setProperty(OwnDescription, PasswordNotUsedText(kind));
    txtPassword->setAccessibleDescription(PasswordNotUsedText(kind));
    lblPasswordNote->setVisible(withPassword);
    const bool gmailPassword = withPassword && IsGmailServer(txtPOPServer->text());
    lblWizard[500]->setText(withPassword ? u"E-mail Account Password"_s : u"E-mail Account Sign-in"_s);
    lblWizard[501]->setText(
        withPassword
            ? (gmailPassword ? u"Please fill the app password Google gave you for Orvella."_s
                             : u"Please fill your e-mail account password. This is the same password "
                               u"you use, with your regular e-mail program."_s)
            : u"Please press 'Sign in' and sign in to your account on the page your web browser "
              u"shows. Orvella keeps the permission to read your mail, never your password."_s);
    lblWizard[502]->setVisible(gmailPassword);
    UpdateWizardButtons();
}

void SetupWizard::restorePosition()
{
    if (m_positionRestored) return;
    m_positionRestored = true;
    m_settings.m_Position = SavedPosition;
}

void SetupWizard::done(int result)
{
    restorePosition();
    if (m_speech) m_speech->StopAgent();
    // Back to the user's own place (after the stop, which would drop the move).
    if (m_character) m_character->SetAgentPos();
    WizardAccount.reset();
    QDialog::done(result);
}

} // namespace orvella
