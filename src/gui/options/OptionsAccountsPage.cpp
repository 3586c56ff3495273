#include "gui/options/OptionsAccountsPage.h"
#include "gui/widgets/WidgetHelpers.h"

#include "core/mail/Accounts.h"
#include "core/pop3/Pop3Client.h"
#include "core/settings/Program.h"
#include "core/settings/Settings.h"
#include "gui/options/OptionsDialog.h"
#include "gui/options/OptionsServices.h"
#include "gui/signin/SignInRow.h"
#include "gui/widgets/ControlNames.h"
#include "gui/widgets/Dialogs.h"
#include "gui/widgets/FieldFilter.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

constexpr int PlainPort = 110;
constexpr int TlsPort = 995;
constexpr int ImapPlainPort = 143;
constexpr int ImapTlsPort = 993;

bool isImap(const AccountFields& account)
{
    return Account::protocolFromText(account.protocol) == Account::Protocol::Imap;
}

QString entryText(int row)
{
    return row == 0 ? u"Default Account"_s : u"Account "_s + QString::number(row + 1);
}

} // namespace

QString OptionsAccountsPage::NoticeText()
{
    return u"Orvella does not delete E-mail messages from the mail server. This means that when you open "
           u"your "
           u"default E-mail program you will receive all the new messages."_s;
}

QString OptionsAccountsPage::HelpText(int index)
{
    switch (index) {
    case 0: {
        const QString contact = Program().SupportEMail.isEmpty() ? QString::fromUtf16(DefaultSupportEMail)
                                                                 : Program().SupportEMail;
        return u"How do I find out what is my incoming mail server address? The first way to find out what "
               u"is your "
               u"incoming mail server address, is to check your E-mail program (Outlook, Eudora etc.). "
               u"Another "
               u"option, is to consult your Internet service provider. In many cases the incoming mail "
               u"server "
               u"address starts with the word 'pop' or 'mail' (Example: pop.example.com). Click the Online "
               u"support "
               u"button below or contact "_s +
               contact + u" if you are experiencing configuration problems."_s;
    }
    case 1:
        return u"How do I find out what is my account name? Your account name is usually the part before the "
               u"@ "
               u"character in your e-mail address. In some E-mail programs this value is called E-mail user "
               u"name. "
               u"You can also check with your ISP. Remember that account names are case sensitive !"_s;
    case 2:
        return u"How do I find out what is my E-mail password? You should know this one. If not, please "
               u"consult "
               u"your ISP. Remember that passwords are case sensitive!"_s;
    case 3:
        return u"Dial-up networking is the dialer that comes with your system. If you are using the system's "
               u"dialer to connect to the Internet via a modem, select the first option. If you are using a "
               u"different dialer or if you are connected to the Internet via DSL, ADSL, Cable or any other "
               u"LAN "
               u"connection, select the second option."_s;
    default:
        return {};
    }
}

QString OptionsAccountsPage::FingerprintLines(const QString& fingerprint)
{
    // 95 characters on one line would not fit the page.
    const qsizetype half = 16 * 3;
    return fingerprint.size() > half ? fingerprint.left(half) + u'\n' + fingerprint.mid(half) : fingerprint;
}

OptionsAccountsPage::OptionsAccountsPage(OptionsDialog& dialog) : m_dialog(dialog)
{
    setObjectName(u"pageAccounts"_s);

    QGroupBox* accounts = buildAccountsGroup();
    QGroupBox* connection = buildConnectionGroup();
    setUpHelp();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(accounts, 1);
    layout->addWidget(connection);
    setUpKeyboard();
    connectControls();
}

QGroupBox* OptionsAccountsPage::buildAccountsGroup()
{
    auto* FrameAccounts = named(new QGroupBox(u"E-mail Accounts"_s, this), u"FrameAccounts"_s);
    lstAccounts = named(new QTreeWidget(FrameAccounts), u"lstAccounts"_s);
    lstAccounts->setHeaderLabels({u"Account"_s});
    lstAccounts->setRootIsDecorated(false);
    lstAccounts->setAccessibleName(u"Account"_s);
    lstAccounts->setMaximumWidth(170);
    cmdAddAccount = named(new QPushButton(u"A&dd"_s, FrameAccounts), u"cmdAddAccount"_s);
    cmdRemoveAccount = named(new QPushButton(u"Remo&ve"_s, FrameAccounts), u"cmdRemoveAccount"_s);

    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(cmdAddAccount);
    listButtons->addWidget(cmdRemoveAccount);
    auto* listColumn = new QVBoxLayout;
    listColumn->addWidget(lstAccounts, 1);
    listColumn->addLayout(listButtons);
    auto* accounts = new QHBoxLayout(FrameAccounts);
    accounts->addLayout(listColumn);
    accounts->addLayout(buildServerFields(FrameAccounts), 1);
    return FrameAccounts;
}

QLayout* OptionsAccountsPage::buildServerFields(QWidget* frame)
{
    txtPOPServer = named(new QLineEdit(frame), u"txtPOPServer"_s);
    txtAccountName = named(new QLineEdit(frame), u"txtAccountName"_s);
    txtPassword = named(new QLineEdit(frame), u"txtPassword"_s);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(u"QLineEdit { lineedit-password-character: 42; }"_s);
    txtCheckInterval = named(new QLineEdit(frame), u"txtCheckInterval"_s);
    txtCheckInterval->setMaxLength(3);
    txtCheckInterval->setMaximumWidth(50);
    txtCheckInterval->setAccessibleDescription(u"Minute(s)"_s);
    txtPort = named(new QLineEdit(frame), u"txtPort"_s);
    txtPort->setMaxLength(5);
    txtPort->setMaximumWidth(70);
    cboSecurity = buildSecurityList(frame);
    for (int i = 0; i < 3; ++i)
        cmdHelpMe[i] = named(new QPushButton(u"Help Me"_s, frame), u"cmdHelpMe"_s + QString::number(i));
    cmdNotice = named(new QPushButton(u"&Read Me"_s, frame), u"cmdNotice"_s);
    cmdNotice->setAccessibleDescription(u"Orvella does not delete messages from the mail server"_s);
    QGroupBox* certificate = buildCertificateGroup(frame);

    auto* fields = new QGridLayout;
    int row = 0;
    auto addField = [&](const QString& caption, QWidget* field, QWidget* help) {
        fields->addWidget(FieldLabel(caption, field, frame), row, 0);
        fields->addWidget(field, row, 1, 1, 2);
        if (help) fields->addWidget(help, row, 3);
        ++row;
    };
    cboProtocol = named(new QComboBox(frame), u"cboProtocol"_s);
    cboProtocol->addItem(u"POP3"_s);
    cboProtocol->addItem(u"IMAP"_s);
    cboProtocol->setAccessibleDescription(
        u"IMAP tells of new mail as it arrives and can watch more folders than the inbox"_s);
    // Every letter of this window has its use: the protocol follows the
    // account buttons with Tab, the folders follow the security list.
    cboProtocol->setProperty("keyboardPath", u"Tab after Remove"_s);
    addField(u"Protocol"_s, cboProtocol, nullptr);
    addField(u"Incoming mail &server (POP3)"_s, txtPOPServer, cmdHelpMe[0]);
    addField(u"Account &name"_s, txtAccountName, cmdHelpMe[1]);
    cboSignIn = named(new QComboBox(frame), u"cboSignIn"_s);
    FillSignInList(cboSignIn);
    cboSignIn->setAccessibleDescription(
        u"Outlook.com takes only its Microsoft sign-in; Gmail takes an app password or its Google sign-in"_s);
    addField(u"Sign &in with"_s, cboSignIn, nullptr);
    addField(u"&Password"_s, txtPassword, cmdHelpMe[2]);
    // Microsoft's and Google's sign-ins have no key left on this page for the
    // second button: it follows the first with Tab.
    rowSignIn = new SignInRow({u"Sign in with &browser…"_s, u"Use a code instead…"_s}, frame);
    fields->addWidget(rowSignIn, row++, 1, 1, 3);
    lblAppPassword = named(new QLabel(AppPasswordSteps(), frame), u"lblAppPassword"_s);
    lblAppPassword->setWordWrap(true);
    lblAppPassword->setTextFormat(Qt::PlainText);
    lblAppPassword->setVisible(false);
    fields->addWidget(lblAppPassword, row++, 1, 1, 3);
    lblIntervalMessage = buildNumberMessage(frame, u"lblIntervalMessage"_s);
    lblPortMessage = buildNumberMessage(frame, u"lblPortMessage"_s);
    fields->addWidget(FieldLabel(u"Check for mail &every"_s, txtCheckInterval, frame), row, 0);
    fields->addLayout(buildIntervalRow(frame), row++, 1, 1, 2);
    fields->addWidget(FieldLabel(u"Mail server p&ort"_s, txtPort, frame), row, 0);
    fields->addLayout(buildPortRow(frame), row++, 1, 1, 2);
    txtFolders = named(new QLineEdit(frame), u"txtFolders"_s);
    txtFolders->setPlaceholderText(u"INBOX only"_s);
    txtFolders->setAccessibleDescription(u"IMAP folders watched besides the inbox, separated by commas"_s);
    txtFolders->setProperty("keyboardPath", u"Tab after Security"_s);
    addField(u"Folders to watch"_s, txtFolders, nullptr);
    fields->addWidget(cmdNotice, row++, 1, Qt::AlignLeft);
    fields->addWidget(certificate, row++, 0, 1, 4);
    fields->setColumnStretch(1, 1);
    fields->setRowStretch(row, 1);
    return fields;
}

QComboBox* OptionsAccountsPage::buildSecurityList(QWidget* frame)
{
    auto* list = named(new QComboBox(frame), u"cboSecurity"_s);
    const std::pair<QString, QString> securities[] = {
        {u"TLS"_s, u"Encrypted from the first byte (usually port 995)"_s},
        {u"STARTTLS"_s, u"Encrypted after the greeting; the check fails when the server cannot encrypt"_s},
        {u"Auto"_s, u"Encrypted when the server can, else in clear"_s},
        {u"None"_s, u"Never encrypted: the password travels in clear"_s}};
    for (const auto& [key, tip] : securities) {
        list->addItem(key);
        list->setItemData(list->count() - 1, tip, Qt::ToolTipRole);
    }
    return list;
}

QLabel* OptionsAccountsPage::buildNumberMessage(QWidget* frame, const QString& name)
{
    // Shown beside its field while the field holds what cannot work; a screen
    // reader hears it as the field's description when the focus goes there.
    auto* label = named(new QLabel(frame), name);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setVisible(false);
    return label;
}

QLayout* OptionsAccountsPage::buildIntervalRow(QWidget* frame)
{
    auto* interval = new QHBoxLayout;
    interval->addWidget(txtCheckInterval);
    interval->addWidget(new QLabel(u"Minute(s)"_s, frame));
    interval->addSpacing(12);
    interval->addWidget(lblIntervalMessage);
    interval->addStretch(1);
    return interval;
}

QLayout* OptionsAccountsPage::buildPortRow(QWidget* frame)
{
    auto* port = new QHBoxLayout;
    port->addWidget(txtPort);
    port->addSpacing(12);
    port->addWidget(lblPortMessage);
    port->addSpacing(12);
    port->addWidget(FieldLabel(u"Securit&y"_s, cboSecurity, frame));
    port->addWidget(cboSecurity);
    port->addStretch(1);
    return port;
}

QGroupBox* OptionsAccountsPage::buildCertificateGroup(QWidget* parent)
{
    FrameCertificate = named(new QGroupBox(u"Server Certificate"_s, parent), u"FrameCertificate"_s);
    lblCertificate = named(new QLabel(FrameCertificate), u"lblCertificate"_s);
    lblCertificate->setWordWrap(true);
    lblFingerprint = named(new QLabel(FrameCertificate), u"lblFingerprint"_s);
    lblFingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lblFingerprint->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lblFingerprint->setAccessibleName(u"SHA-256 fingerprint"_s);
    cmdTrustCertificate =
        named(new QPushButton(u"&Trust This Certificate"_s, FrameCertificate), u"cmdTrustCertificate"_s);
    cmdForgetCertificate =
        named(new QPushButton(u"Forge&t This Certificate"_s, FrameCertificate), u"cmdForgetCertificate"_s);
    auto* cert = new QGridLayout(FrameCertificate);
    cert->addWidget(lblCertificate, 0, 0, 1, 2);
    cert->addWidget(lblFingerprint, 1, 0);
    cert->addWidget(cmdTrustCertificate, 1, 1, Qt::AlignBottom);
    cert->addWidget(cmdForgetCertificate, 1, 1, Qt::AlignBottom);
    cert->setColumnStretch(0, 1);
    FrameCertificate->setVisible(false);
    return FrameCertificate;
}

QGroupBox* OptionsAccountsPage::buildConnectionGroup()
{
    auto* FrameConnection = named(new QGroupBox(u"Internet Connection"_s, this), u"FrameConnection"_s);
    optModemUser =
        named(new QRadioButton(u"&Modem Connection (Dial-up users)"_s, FrameConnection), u"optModemUser"_s);
    optLANUser =
        named(new QRadioButton(u"Networ&k Connection (LAN Users, Cable, DSL etc.)"_s, FrameConnection),
              u"optLANUser"_s);
    cmdHelpMe[3] = named(new QPushButton(u"Help Me"_s, FrameConnection), u"cmdHelpMe3"_s);
    auto* connection = new QGridLayout(FrameConnection);
    connection->addWidget(optModemUser, 0, 0);
    connection->addWidget(optLANUser, 1, 0);
    connection->addWidget(cmdHelpMe[3], 0, 1, 2, 1, Qt::AlignVCenter);
    connection->setColumnStretch(0, 1);
    return FrameConnection;
}

void OptionsAccountsPage::setUpHelp()
{
    const QString helpAbout[] = {u"How do I find my incoming mail server"_s,
                                 u"How do I find my account name"_s, u"How do I find my password"_s,
                                 u"Which connection do I have"_s};
    // Four buttons with one caption are more than its letters can give a key
    // each: F1 in a field, or on its Help Me, asks for that field's help, as
    // F1 does on most desktops.
    const QList<QWidget*> helpFor[] = {
        {txtPOPServer}, {txtAccountName}, {txtPassword}, {optModemUser, optLANUser}};
    for (int i = 0; i < 4; ++i) {
        cmdHelpMe[i]->setAccessibleName(u"Help Me"_s);
        cmdHelpMe[i]->setAccessibleDescription(helpAbout[i] + u" (F1)"_s);
        cmdHelpMe[i]->setToolTip(helpAbout[i] + u" (F1)"_s);
        cmdHelpMe[i]->setProperty("keyboardPath", u"F1"_s);
        connect(cmdHelpMe[i], &QPushButton::clicked, this, [this, i] { helpMe(i); });
        for (QWidget* w : helpFor[i] + QList<QWidget*>{cmdHelpMe[i]}) {
            auto* f1 = new QShortcut(w);
            f1->setKey(QKeySequence(QKeySequence::HelpContents));
            f1->setContext(Qt::WidgetShortcut);
            connect(f1, &QShortcut::activated, this, [this, i] { helpMe(i); });
        }
    }
}

void OptionsAccountsPage::setUpKeyboard()
{
    for (QLineEdit* field : {txtPOPServer, txtAccountName, txtPassword})
        FieldFilter::install(field, FieldFilter::SelectAllOnFocus);
    for (QLineEdit* field : {txtCheckInterval, txtPort})
        FieldFilter::install(field, FieldFilter::SelectAllOnFocus | FieldFilter::DigitsOnly);

    QWidget* const order[] = {lstAccounts,
                              cmdAddAccount,
                              cmdRemoveAccount,
                              cboProtocol,
                              txtPOPServer,
                              cmdHelpMe[0],
                              txtAccountName,
                              cmdHelpMe[1],
                              cboSignIn,
                              txtPassword,
                              cmdHelpMe[2],
                              rowSignIn->signInButton(),
                              rowSignIn->codeButton(),
                              txtCheckInterval,
                              txtPort,
                              cboSecurity,
                              txtFolders,
                              cmdNotice,
                              lblFingerprint,
                              cmdTrustCertificate,
                              cmdForgetCertificate,
                              optModemUser,
                              optLANUser,
                              cmdHelpMe[3]};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
}

void OptionsAccountsPage::connectControls()
{
    connect(lstAccounts, &QTreeWidget::currentItemChanged, this, [this] { onAccountSelected(); });
    connect(cmdAddAccount, &QPushButton::clicked, this, &OptionsAccountsPage::addAccount);
    connect(cmdRemoveAccount, &QPushButton::clicked, this, &OptionsAccountsPage::removeAccount);
    connect(cmdNotice, &QPushButton::clicked, this, &OptionsAccountsPage::showNotice);
    connect(cboSecurity, &QComboBox::activated, this, &OptionsAccountsPage::onSecurityChosen);
    connect(cboSignIn, &QComboBox::activated, this, &OptionsAccountsPage::onSignInChosen);
    connect(cboProtocol, &QComboBox::activated, this, &OptionsAccountsPage::onProtocolChosen);
    connect(txtPOPServer, &QLineEdit::textEdited, this, &OptionsAccountsPage::proposeForServer);
    connect(txtPOPServer, &QLineEdit::textChanged, this, [this] {
        if (!m_showing) showSignIn();
    });
    connect(txtAccountName, &QLineEdit::textChanged, rowSignIn, &SignInRow::setLoginHint);
    // The tokens go into the account's copy, never into a field.
    connect(rowSignIn, &SignInRow::signedIn, this, [this](const QString& secret) {
        if (AccountDrafts::Draft* draft = SelectedDraft()) draft->now.password = secret;
    });
    rowSignIn->say = [this](const QString& text) { m_dialog.Say(text, QString(), false); };
    connect(cmdTrustCertificate, &QPushButton::clicked, this, &OptionsAccountsPage::trustCertificate);
    connect(cmdForgetCertificate, &QPushButton::clicked, this, &OptionsAccountsPage::forgetCertificate);

    // Edits go into the selected account's copy as the user types.
    auto edited = [this](QLineEdit* field, QString AccountFields::*member) {
        connect(field, &QLineEdit::textChanged, this, [this, member](const QString& text) {
            if (m_showing) return;
            if (AccountDrafts::Draft* draft = SelectedDraft()) draft->now.*member = text;
        });
    };
    edited(txtPOPServer, &AccountFields::popServer);
    edited(txtAccountName, &AccountFields::accountName);
    edited(txtPassword, &AccountFields::password);
    edited(txtCheckInterval, &AccountFields::checkInterval);
    edited(txtPort, &AccountFields::port);
    edited(txtFolders, &AccountFields::folders);
    for (QLineEdit* field : {txtCheckInterval, txtPort})
        connect(field, &QLineEdit::textChanged, this, &OptionsAccountsPage::showNumberMessages);
}

AccountDrafts::Draft* OptionsAccountsPage::SelectedDraft()
{
    const int row = lstAccounts->indexOfTopLevelItem(lstAccounts->currentItem());
    return row >= 0 && row < m_drafts.drafts.size() ? &m_drafts.drafts[row] : nullptr;
}

const AccountDrafts::Draft* OptionsAccountsPage::SelectedDraft() const
{
    return const_cast<OptionsAccountsPage*>(this)->SelectedDraft();
}

const AccountDrafts::Draft* OptionsAccountsPage::FirstDraft() const
{
    return m_drafts.drafts.isEmpty() ? nullptr : &m_drafts.drafts.first();
}

void OptionsAccountsPage::ApplyAccounts()
{
    m_drafts.Apply(m_dialog.services().accounts);
}

void OptionsAccountsPage::showNumberMessages()
{
    const AccountDrafts::Draft* draft = SelectedDraft();
    const std::pair<QLabel*, QString> messages[] = {
        {lblIntervalMessage, draft ? AccountDrafts::IntervalProblem(draft->now.checkInterval) : QString()},
        {lblPortMessage, draft ? AccountDrafts::PortProblem(draft->now.port) : QString()}};
    for (const auto& [label, text] : messages) {
        label->setText(text);
        label->setAccessibleName(text);
        label->setVisible(!text.isEmpty());
    }
    txtCheckInterval->setAccessibleDescription(
        messages[0].second.isEmpty() ? u"Minute(s)"_s : u"Minute(s). "_s + messages[0].second);
    txtPort->setAccessibleDescription(messages[1].second);
}

bool OptionsAccountsPage::CheckNumbers()
{
    const AccountDrafts::Problem problem = m_drafts.FirstProblem();
    if (problem.index < 0) return true;
    lstAccounts->setCurrentItem(lstAccounts->topLevelItem(problem.index));
    QLineEdit* field = problem.field == AccountDrafts::Problem::Port ? txtPort : txtCheckInterval;
    showNumberMessages();
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
    return false;
}

void OptionsAccountsPage::addEntry(const QString& text)
{
    auto* item = new QTreeWidgetItem(lstAccounts, {text});
    item->setData(0, Qt::AccessibleTextRole, text);
}

void OptionsAccountsPage::FillAccounts()
{
    lstAccounts->clear();
    m_drafts = AccountDrafts(m_dialog.services().accounts);
    for (int i = 0; i < m_drafts.drafts.size(); ++i)
        addEntry(entryText(i));
    if (lstAccounts->topLevelItemCount() > 0) lstAccounts->setCurrentItem(lstAccounts->topLevelItem(0));
    onAccountSelected();
}

void OptionsAccountsPage::InitValues()
{
    const Settings& s = m_dialog.services().settings;
    optModemUser->setChecked(s.m_ConnectionType == 1);
    optLANUser->setChecked(s.m_ConnectionType != 1);
}

void OptionsAccountsPage::WriteBack()
{
    m_dialog.services().settings.m_ConnectionType = optModemUser->isChecked() ? 1 : 2;
}

void OptionsAccountsPage::onAccountSelected()
{
    showAccount(lstAccounts->indexOfTopLevelItem(lstAccounts->currentItem()));
}

void OptionsAccountsPage::showAccount(int row)
{
    const AccountDrafts::Draft* draft = SelectedDraft();
    const AccountFields* account = draft ? &draft->now : nullptr;
    m_showing = true;
    txtPOPServer->setText(account ? account->popServer : QString());
    txtAccountName->setText(account ? account->accountName : QString());
    const bool withPassword = !account || account->signIn == Account::signInText(Account::SignIn::Password);
    // The tokens of a sign-in are never shown, not even as stars.
    txtPassword->setText(account && withPassword ? account->password : QString());
    SelectSignIn(cboSignIn, Account::signInFromText(account ? account->signIn : QString()));
    txtCheckInterval->setText(account ? account->checkInterval : QString());
    txtPort->setText(account ? account->port : QString());
    cboSecurity->setCurrentIndex(account ? cboSecurity->findText(account->security) : -1);
    cboProtocol->setCurrentIndex(account ? (isImap(*account) ? 1 : 0) : -1);
    txtFolders->setText(account ? account->folders : QString());
    m_showing = false;
    showNumberMessages();
    for (QWidget* w :
         std::initializer_list<QWidget*>{txtPOPServer, txtAccountName, txtPassword, txtCheckInterval, txtPort,
                                         cboSecurity, cboSignIn, cboProtocol})
        w->setEnabled(account != nullptr);
    txtFolders->setEnabled(account && isImap(*account));
    rowSignIn->setKind(Account::signInFromText(account ? account->signIn : QString()));
    rowSignIn->setLoginHint(account ? account->accountName : QString());
    if (draft && Account::signInFromText(account->signIn) != Account::SignIn::Password) {
        rowSignIn->setSignedIn(draft->hasPassword());
        // The saved sign-in that the service refused is not shown as good.
        if (!draft->signInProblem.isEmpty() && draft->now.password == draft->opened.password &&
            draft->now.signIn == draft->opened.signIn)
            rowSignIn->showProblem(draft->signInProblem);
    }
    showSignIn();
    // The first (default) account stays.
    cmdRemoveAccount->setEnabled(account && row >= 1);
    showCertificate();
}

void OptionsAccountsPage::showCertificate()
{
    const AccountDrafts::Draft* draft = SelectedDraft();
    const bool rejected = draft && !draft->rejectedCertificate.isEmpty() &&
                          Pop3Client::normalizeFingerprint(draft->rejectedCertificate) !=
                              Pop3Client::normalizeFingerprint(draft->now.trustedCertificate);
    const bool trusted = draft && !rejected && !draft->now.trustedCertificate.isEmpty();
    if (rejected) {
        lblCertificate->setText(
            u"The last check refused this server's certificate, because this computer does "
            u"not trust it. If the fingerprint below (SHA-256) is your server's, you can trust "
            u"the certificate for this account:"_s);
        lblFingerprint->setText(FingerprintLines(draft->rejectedCertificate));
    } else if (trusted) {
        lblCertificate->setText(
            u"This account trusts the server certificate with this fingerprint (SHA-256):"_s);
        lblFingerprint->setText(FingerprintLines(draft->now.trustedCertificate));
    }
    // The label's accessible name says what it is; a screen reader finds the
    // fingerprint itself, which the user compares before trusting, here.
    lblFingerprint->setAccessibleDescription(lblFingerprint->text().remove(u'\n'));
    cmdTrustCertificate->setVisible(rejected);
    cmdForgetCertificate->setVisible(trusted);
    FrameCertificate->setVisible(rejected || trusted);
}

// A new account starts empty: the section it will be saved in may still hold
// the account that moved up when one before it was removed.
void OptionsAccountsPage::addAccount()
{
    m_drafts.add();
    addEntry(entryText(int(m_drafts.drafts.size()) - 1));
    lstAccounts->setCurrentItem(lstAccounts->topLevelItem(lstAccounts->topLevelItemCount() - 1));
    txtPOPServer->setFocus(Qt::OtherFocusReason);
}

void OptionsAccountsPage::removeAccount()
{
    const int row = lstAccounts->indexOfTopLevelItem(lstAccounts->currentItem());
    if (row < 1 || row >= m_drafts.drafts.size()) return;
    m_drafts.remove(row);
    delete lstAccounts->takeTopLevelItem(row);
    // The entries name the sections the accounts take when saved; the ones
    // behind the removed account move up, and their names with them.
    for (int i = 0; i < lstAccounts->topLevelItemCount(); ++i) {
        lstAccounts->topLevelItem(i)->setText(0, entryText(i));
        lstAccounts->topLevelItem(i)->setData(0, Qt::AccessibleTextRole, entryText(i));
    }
    const int count = lstAccounts->topLevelItemCount();
    lstAccounts->setCurrentItem(lstAccounts->topLevelItem(row < count ? row : count - 1));
    onAccountSelected();
}

void OptionsAccountsPage::showNotice()
{
    m_dialog.ShowMessage(NoticeText(), true, u"Suggest"_s);
}

void OptionsAccountsPage::helpMe(int index)
{
    const QString text = HelpText(index);
    if (!text.isEmpty()) m_dialog.ShowMessage(text, true, u"Suggest"_s);
}

void OptionsAccountsPage::onSecurityChosen()
{
    AccountDrafts::Draft* draft = SelectedDraft();
    if (!draft || cboSecurity->currentIndex() < 0) return;
    AccountFields& account = draft->now;
    const QString chosen = cboSecurity->currentText();
    if (chosen == account.security) return;
    if (chosen == u"None"_s &&
        !Dialogs::askYesNo(this, u"Orvella"_s,
                           u"Without security, your password and your messages travel over the network "
                           u"in clear text, where anyone on the way can read them.\n\nUse no security "
                           u"for this account?"_s,
                           QMessageBox::Warning)) {
        cboSecurity->setCurrentIndex(cboSecurity->findText(account.security));
        return;
    }
    account.security = chosen;
    // The standard port of the old security follows to the new one.
    const int plain = isImap(account) ? ImapPlainPort : PlainPort;
    const int tls = isImap(account) ? ImapTlsPort : TlsPort;
    if (chosen == u"TLS"_s && account.port == QString::number(plain))
        txtPort->setText(QString::number(tls));
    else if ((chosen == u"STARTTLS"_s || chosen == u"None"_s) && account.port == QString::number(tls))
        txtPort->setText(QString::number(plain));
}

void OptionsAccountsPage::onProtocolChosen()
{
    AccountDrafts::Draft* draft = SelectedDraft();
    if (!draft || cboProtocol->currentIndex() < 0) return;
    const QString chosen = cboProtocol->currentText();
    if (chosen == draft->now.protocol) return;
    draft->now.protocol = chosen;
    const bool imap = isImap(draft->now);
    // The standard ports follow the protocol: 995 and 993 with TLS, 110 and 143 without.
    const QString port = draft->now.port;
    if (port == QString::number(imap ? TlsPort : ImapTlsPort))
        draft->now.port = QString::number(imap ? ImapTlsPort : TlsPort);
    else if (port == QString::number(imap ? PlainPort : ImapPlainPort))
        draft->now.port = QString::number(imap ? ImapPlainPort : PlainPort);
    // A server that speaks both is proposed anew for the protocol.
    if (!draft->signInChosen) {
        if (const auto proposal = ProposeSignIn(draft->now.popServer, imap);
            proposal && proposal->imap == imap) {
            draft->now.security = proposal->security;
            draft->now.port = QString::number(proposal->port);
        }
    }
    showAccount(lstAccounts->indexOfTopLevelItem(lstAccounts->currentItem()));
}

void OptionsAccountsPage::showSignIn()
{
    const AccountDrafts::Draft* draft = SelectedDraft();
    const Account::SignIn kind = Account::signInFromText(draft ? draft->now.signIn : QString());
    const bool withPassword = kind == Account::SignIn::Password;
    txtPassword->setEnabled(draft && withPassword);
    // A password in the keyring is read only when a check needs it; the
    // field stays empty, and what is typed there replaces it.
    const bool inKeyring = draft && draft->passwordInKeyring && withPassword;
    txtPassword->setPlaceholderText(!withPassword ? u"(not used)"_s
                                    : inKeyring   ? u"(kept in the keyring)"_s
                                                  : QString());
    txtPassword->setAccessibleDescription(
        !withPassword ? PasswordNotUsedText(kind)
        : inKeyring   ? u"The password is kept in the desktop's keyring; what you type replaces it"_s
                      : QString());
    lblAppPassword->setVisible(draft && withPassword && IsGmailServer(draft->now.popServer));
}

void OptionsAccountsPage::onSignInChosen()
{
    AccountDrafts::Draft* draft = SelectedDraft();
    if (!draft || cboSignIn->currentIndex() < 0) return;
    const QString chosen = Account::signInText(ChosenSignIn(cboSignIn));
    if (chosen == draft->now.signIn) return;
    draft->signInChosen = true;
    draft->now.signIn = chosen;
    // A password is no sign-in, nor the other way round: back at the kind the
    // account had, it has its own again; any other starts without.
    draft->now.password = chosen == draft->opened.signIn ? draft->opened.password : QString();
    showAccount(lstAccounts->indexOfTopLevelItem(lstAccounts->currentItem()));
}

void OptionsAccountsPage::proposeForServer()
{
    AccountDrafts::Draft* draft = SelectedDraft();
    if (!draft || draft->signInChosen) return;
    const std::optional<SignInProposal> proposal = ProposeSignIn(txtPOPServer->text(), isImap(draft->now));
    if (!proposal) return;
    // The field tells textEdited before the copy hears textChanged; showing the account must not undo the
    // typing.
    draft->now.popServer = txtPOPServer->text();
    const QString kind = Account::signInText(proposal->kind);
    if (kind != draft->now.signIn) {
        draft->now.signIn = kind;
        draft->now.password = kind == draft->opened.signIn ? draft->opened.password : QString();
    }
    draft->now.security = proposal->security;
    draft->now.port = QString::number(proposal->port);
    draft->now.protocol =
        Account::protocolText(proposal->imap ? Account::Protocol::Imap : Account::Protocol::Pop3);
    showAccount(lstAccounts->indexOfTopLevelItem(lstAccounts->currentItem()));
}

void OptionsAccountsPage::trustCertificate()
{
    AccountDrafts::Draft* draft = SelectedDraft();
    if (!draft || draft->rejectedCertificate.isEmpty()) return;
    draft->now.trustedCertificate = draft->rejectedCertificate;
    draft->rejectedCertificate.clear();
    showCertificate();
    cmdForgetCertificate->setFocus(Qt::OtherFocusReason);
}

void OptionsAccountsPage::forgetCertificate()
{
    AccountDrafts::Draft* draft = SelectedDraft();
    if (!draft) return;
    draft->now.trustedCertificate.clear();
    showCertificate();
    cboSecurity->setFocus(Qt::OtherFocusReason);
}

} // namespace orvella
