// The wizard's window: its nine pages, their labels and controls.

#include "gui/signin/SignInRow.h"
#include "gui/widgets/FieldFilter.h"
#include "gui/wizard/SetupWizard.h"
#include "gui/wizard/WizardLink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

QLabel* textLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A field's label; the field takes the label's text (without "&") as its name.
QLabel* fieldLabel(const QString& text, QWidget* field, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(field);
    field->setAccessibleName(QString(text).remove(u'&'));
    return label;
}

QLabel* detectedLabel(const QString& name, QWidget* parent)
{
    auto* label = new QLabel(u"Detected !"_s, parent);
    label->setObjectName(name);
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    label->setStyleSheet(u"color: #b00000;"_s);
    return label;
}

void describe(QWidget* control, const QString& text)
{
    control->setProperty(SetupWizard::OwnDescription, text);
    control->setAccessibleDescription(text);
}

QVBoxLayout* pageLayout(QWidget* page)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(8);
    return layout;
}

} // namespace

QLabel* SetupWizard::addLabel(QWidget* page, int index, const QString& text)
{
    auto* label = textLabel(text, page);
    label->setObjectName(u"lblWizard%1"_s.arg(index));
    if (index % 100 == 0) {
        // The page's title.
        QFont f = label->font();
        f.setBold(true);
        f.setPointSizeF(f.pointSizeF() * 1.35);
        label->setFont(f);
        page->setAccessibleName(text);
    }
    lblWizard.insert(index, label);
    page->layout()->addWidget(label);
    return label;
}

WizardLink* SetupWizard::addSkipLink(QWidget* page)
{
    auto* link = new WizardLink(u"S&kip E-mail Configuration"_s, page);
    link->setObjectName(u"lblSkipEmail"_s);
    link->setAccessibleDescription(
        u"Will disable the Orvella feature and allow you to use the Orvella Reminders and Orvella Clock only."_s);
    connect(link, &QPushButton::clicked, this, &SetupWizard::skipEmail);
    lblSkipEmail.append(link);

    auto* layout = qobject_cast<QVBoxLayout*>(page->layout());
    layout->addStretch(1);
    layout->addWidget(link);
    layout->addWidget(textLabel(link->accessibleDescription(), page));
    return link;
}

void SetupWizard::buildWindow()
{
    tabWizard = new QTabWidget(this);
    tabWizard->setObjectName(u"tabWizard"_s);
    tabWizard->addTab(buildWelcomePage(), QString());
    tabWizard->addTab(buildEMailPage(), QString());
    tabWizard->addTab(buildServerPage(), QString());
    tabWizard->addTab(buildAccountNamePage(), QString());
    tabWizard->addTab(buildPasswordPage(), QString());
    tabWizard->addTab(buildUserNamePage(), QString());
    tabWizard->addTab(buildStartupPage(), QString());
    tabWizard->addTab(buildConnectionPage(), QString());
    tabWizard->addTab(buildThankYouPage(), QString());
    // The tab texts are never seen; a screen reader may still come across them.
    for (int i = 0; i < tabWizard->count(); ++i)
        tabWizard->setTabText(i, tabWizard->widget(i)->accessibleName());
    // Pages change only through the buttons and links: the tab row can be
    // neither seen nor clicked, nor reached with the keyboard.
    tabWizard->tabBar()->hide();
    tabWizard->tabBar()->setFocusPolicy(Qt::NoFocus);
    // The pages' container takes no focus either: announced, it would be a nameless pane.
    tabWizard->setFocusPolicy(Qt::NoFocus);

    cmdSayAgain = new QPushButton(u"&Say again"_s, this);
    cmdSayAgain->setObjectName(u"cmdSayAgain"_s);
    cmdCancel = new QPushButton(u"&Cancel"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);
    cmdBack = new QPushButton(u"<  &Back"_s, this);
    cmdBack->setObjectName(u"cmdBack"_s);
    cmdBack->setAccessibleName(u"Back"_s);
    cmdNext = new QPushButton(u"&Next  >"_s, this);
    cmdNext->setObjectName(u"cmdNext"_s);
    cmdNext->setAccessibleName(u"Next"_s);
    cmdFinish = new QPushButton(u"&Finish"_s, this);
    cmdFinish->setObjectName(u"cmdFinish"_s);
    lblOnlineSupport = new WizardLink(u"On&line Support"_s, this);
    lblOnlineSupport->setObjectName(u"lblOnlineSupport"_s);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lblOnlineSupport);
    buttons->addWidget(cmdSayAgain);
    buttons->addStretch(1);
    buttons->addWidget(cmdCancel);
    buttons->addSpacing(12);
    buttons->addWidget(cmdBack);
    buttons->addWidget(cmdNext);
    buttons->addWidget(cmdFinish);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabWizard, 1);
    layout->addLayout(buttons);

    // Within a page, creation order is the tab order; the buttons follow the page.
    setTabOrder(cmdBack, cmdNext);
    setTabOrder(cmdNext, cmdFinish);
    setTabOrder(cmdFinish, cmdCancel);
    setTabOrder(cmdCancel, cmdSayAgain);
    setTabOrder(cmdSayAgain, lblOnlineSupport);
    resize(660, 480);
}

QWidget* SetupWizard::buildWelcomePage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageWelcome"_s);
    auto* layout = pageLayout(page);
    addLabel(page, 100, u"Welcome to the Orvella Configuration Wizard"_s);
    addLabel(page, 101,
             u"I will now help you to setup your Orvella software, so you can start listening to your E-mail "
             u"messages, as they arrive."_s);
    addLabel(page, 102,
             u"Besides reading E-mail, Orvella includes exciting features like Orvella Reminders, Orvella "
             u"Clock and numerous customization options, which you'll learn about later."_s);
    addLabel(page, 103, u"Please select the features you want to enable:"_s);

    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    grid->setHorizontalSpacing(16);
    const auto feature = [&](const QString& name, const QString& caption, const QString& what, int row) {
        auto* chk = new QCheckBox(caption, page);
        chk->setObjectName(name);
        chk->setChecked(true);
        chk->setAccessibleName(QString(caption).remove(u'&'));
        describe(chk, what);
        grid->addWidget(chk, row, 0);
        grid->addWidget(textLabel(what, page), row, 1);
        return chk;
    };
    chkFeatureEMail =
        feature(u"chkFeatureEMail"_s, u"&Orvella"_s, u"Reads your incoming E-mail messages"_s, 0);
    chkFeatureReminders = feature(u"chkFeatureReminders"_s, u"Orvella &Reminders"_s,
                                  u"Allows you to setup Orvella reminders"_s, 1);
    chkFeatureClock = feature(u"chkFeatureClock"_s, u"Orvella Cloc&k"_s, u"Reads the time aloud"_s, 2);
    layout->addLayout(grid);
    layout->addStretch(1);
    return page;
}

QWidget* SetupWizard::buildEMailPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageEMail"_s);
    auto* layout = pageLayout(page);
    addLabel(page, 200, u"E-mail Configuration"_s);
    addLabel(page, 201,
             u"Orvella will attempt to detect your E-mail account information. If it's unable to detect it, "
             u"you'll be prompted to fill in the account information yourself. Please press the 'Next' "
             u"button, now."_s);

    auto* notice = new QGroupBox(u"Important Notice"_s, page);
    notice->setObjectName(u"fraNotice"_s);
    auto* n = new QVBoxLayout(notice);
    n->addWidget(textLabel(u"Read the following if you have ONLY one of these e-mail accounts:"_s, notice));
    n->addWidget(textLabel(
        u"- AOL Mail (TM)\n- Hotmail (TM)\n- Yahoo Mail (TM)\n- Other web based E-mail account"_s, notice));
    n->addWidget(
        textLabel(u"Orvella works with standard Internet mail servers (POP3). If you have one of the "
                  u"above accounts ONLY, Orvella will not read your E-mail without additional "
                  u"software or service."_s,
                  notice));
    lblClickHere = new WizardLink(u"Click &Here"_s, notice);
    lblClickHere->setObjectName(u"lblClickHere"_s);
    lblClickHere->setAccessibleDescription(
        u"to find out how you can make Orvella work with the above e-mail accounts."_s);
    connect(lblClickHere, &QPushButton::clicked, this, &SetupWizard::openOnlineSupport);
    auto* please = new QHBoxLayout;
    please->setSpacing(0);
    auto* lblPlease = new QLabel(u"Please"_s, notice);
    please->addWidget(lblPlease);
    // The blank between two words of the sentence.
    please->addSpacing(lblPlease->fontMetrics().horizontalAdvance(u' '));
    please->addWidget(lblClickHere);
    please->addWidget(
        new QLabel(u", to find out how you can make Orvella work with the above e-mail accounts."_s, notice));
    please->addStretch(1);
    n->addLayout(please);
    layout->addWidget(notice);

    addSkipLink(page);
    return page;
}

QWidget* SetupWizard::buildServerPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageServer"_s);
    auto* layout = pageLayout(page);
    addLabel(page, 300, u"Incoming Mail Server (POP Server)"_s);
    addLabel(
        page, 301,
        u"Please fill, your incoming mail server address. If it was automatically detected, make sure the "
        u"value is correct."_s);

    txtPOPServer = new QLineEdit(page);
    txtPOPServer->setObjectName(u"txtPOPServer"_s);
    lblDetectedPOP = detectedLabel(u"lblDetectedPOP"_s, page);
    cboSecurity = new QComboBox(page);
    cboSecurity->setObjectName(u"cboSecurity"_s);
    // TLS from the first byte, or STARTTLS on the plain port; a new account
    // is never proposed a connection that sends the password in clear.
    cboSecurity->addItem(u"TLS (port 995)"_s, u"TLS"_s);
    cboSecurity->addItem(u"STARTTLS (port 110)"_s, u"STARTTLS"_s);
    // A line of digits, not a spin box: a spin box drops the keystroke that
    // would take it past its range, so "99999" typed there became port 9999
    // without a word. What cannot be a port is refused on Next, with the
    // message beside the field.
    txtPort = new QLineEdit(u"995"_s, page);
    txtPort->setObjectName(u"txtPort"_s);
    txtPort->setMaxLength(5);
    txtPort->setMaximumWidth(70);
    FieldFilter::install(txtPort, FieldFilter::SelectAllOnFocus | FieldFilter::DigitsOnly);
    lblPortMessage = new QLabel(page);
    lblPortMessage->setObjectName(u"lblPortMessage"_s);
    QFont bold = lblPortMessage->font();
    bold.setBold(true);
    lblPortMessage->setFont(bold);
    lblPortMessage->setVisible(false);

    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    grid->addWidget(fieldLabel(u"&Incoming mail server (POP3)"_s, txtPOPServer, page), 0, 0);
    grid->addWidget(txtPOPServer, 0, 1);
    grid->addWidget(lblDetectedPOP, 0, 2);
    grid->addWidget(fieldLabel(u"Sec&urity"_s, cboSecurity, page), 1, 0);
    auto* securityRow = new QHBoxLayout;
    securityRow->addWidget(cboSecurity);
    securityRow->addSpacing(12);
    securityRow->addWidget(fieldLabel(u"&Port"_s, txtPort, page));
    securityRow->addWidget(txtPort);
    securityRow->addSpacing(12);
    securityRow->addWidget(lblPortMessage);
    securityRow->addStretch(1);
    grid->addLayout(securityRow, 1, 1, 1, 2);
    cboSignIn = new QComboBox(page);
    cboSignIn->setObjectName(u"cboSignIn"_s);
    FillSignInList(cboSignIn);
    describe(cboSignIn, u"Outlook.com takes only its Microsoft sign-in; Gmail takes an app password or "
                        u"its Google sign-in"_s);
    grid->addWidget(fieldLabel(u"Si&gn in with"_s, cboSignIn, page), 2, 0);
    auto* signInRow = new QHBoxLayout;
    signInRow->addWidget(cboSignIn);
    signInRow->addStretch(1);
    grid->addLayout(signInRow, 2, 1, 1, 2);
    cboProtocol = new QComboBox(page);
    cboProtocol->setObjectName(u"cboProtocol"_s);
    cboProtocol->addItem(u"POP3"_s, u"POP3"_s);
    cboProtocol->addItem(u"IMAP"_s, u"IMAP"_s);
    describe(cboProtocol, u"IMAP tells of new mail as it arrives"_s);
    grid->addWidget(fieldLabel(u"Pr&otocol"_s, cboProtocol, page), 3, 0);
    auto* protocolRow = new QHBoxLayout;
    protocolRow->addWidget(cboProtocol);
    protocolRow->addStretch(1);
    grid->addLayout(protocolRow, 3, 1, 1, 2);
    layout->addLayout(grid);

    auto* hints = new QGroupBox(u"If I don't know my mail server address. Where can I find it?"_s, page);
    hints->setObjectName(u"fraServerHints"_s);
    auto* h = new QVBoxLayout(hints);
    h->addWidget(textLabel(
        u"1. Check the settings of your E-mail program (Thunderbird, Evolution, KMail etc.)"_s, hints));
    h->addWidget(textLabel(u"2. Contact your Internet service provider and ask them."_s, hints));
    h->addWidget(textLabel(u"3. The address is usually your provider's domain name preceded by \"pop.\" or "
                           u"\"mail.\", for example: pop.example.net or mail.example.com"_s,
                           hints));
    layout->addWidget(hints);

    addSkipLink(page);
    return page;
}

QWidget* SetupWizard::buildAccountNamePage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageAccountName"_s);
    auto* layout = pageLayout(page);
    addLabel(page, 400, u"Account Name"_s);
    addLabel(page, 401,
             u"Please fill, your account name. If it was automatically detected, make sure the value is "
             u"correct."_s);
    txtAccountName = new QLineEdit(page);
    txtAccountName->setObjectName(u"txtAccountName"_s);
    lblDetectedAccountName = detectedLabel(u"lblDetectedAccountName"_s, page);
    auto* row = new QHBoxLayout;
    row->addWidget(fieldLabel(u"&Account Name"_s, txtAccountName, page));
    row->addWidget(txtAccountName, 1);
    row->addWidget(lblDetectedAccountName);
    layout->addLayout(row);
    layout->addWidget(textLabel(
        u"The account name is NOT your E-mail address. It is usually the part before the @ character in "
        u"your e-mail address. Go to the settings of your default E-mail program. You should be able to find "
        u"the account name there. In some E-mail programs this value is called E-mail user name. You can "
        u"also check with your ISP. Remember that account names are case sensitive. They are usually lower "
        u"case."_s,
        page));
    addSkipLink(page);
    return page;
}

QWidget* SetupWizard::buildPasswordPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pagePassword"_s);
    auto* layout = pageLayout(page);
    addLabel(page, 500, u"E-mail Account Password"_s);
    addLabel(page, 501,
             u"Please fill your e-mail account password. This is the same password you use, with your "
             u"regular e-mail program."_s);
    txtPassword = new QLineEdit(page);
    txtPassword->setObjectName(u"txtPassword"_s);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(u"lineedit-password-character: 42;"_s); // "*"
    auto* row = new QHBoxLayout;
    row->addWidget(fieldLabel(u"&Password"_s, txtPassword, page));
    row->addWidget(txtPassword, 1);
    layout->addLayout(row);
    rowSignIn = new SignInRow({u"Sign &in…"_s, u"Use a co&de instead…"_s}, page);
    layout->addWidget(rowSignIn);
    // Part of what the page says: Gmail's app password, or how the sign-in goes.
    addLabel(page, 502, AppPasswordSteps())->setVisible(false);
    lblPasswordNote =
        textLabel(u"How do I find out what is my E-mail password?  Contact your Internet service "
                  u"provider if you can not find the password. Don't forget that passwords are "
                  u"case sensitive."_s,
                  page);
    lblPasswordNote->setObjectName(u"lblPasswordNote"_s);
    layout->addWidget(lblPasswordNote);
    layout->addStretch(1);
    return page;
}

QWidget* SetupWizard::buildUserNamePage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageUserName"_s);
    auto* layout = pageLayout(page);
    addLabel(page, 600, u"Your Name"_s);
    addLabel(
        page, 601,
        u"Please fill your name so that Orvella can call you by your name. You don't have to fill in your "
        u"real name."_s);
    txtUserName = new QLineEdit(page);
    txtUserName->setObjectName(u"txtUserName"_s);
    auto* row = new QHBoxLayout;
    row->addWidget(fieldLabel(u"N&ame"_s, txtUserName, page));
    row->addWidget(txtUserName, 1);
    layout->addLayout(row);
    layout->addStretch(1);
    return page;
}

QWidget* SetupWizard::buildStartupPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageStartup"_s);
    auto* layout = pageLayout(page);
    addLabel(page, 700, u"Startup"_s);
    addLabel(page, 701, u"Would you like Orvella to automatically run when you log in?"_s);
    addLabel(page, 702, u"If you choose 'Yes', Orvella will appear in the system tray, when you log in."_s);
    auto* box = new QGroupBox(u"Run when I log in?"_s, page);
    box->setObjectName(u"fraAutoStart"_s);
    optAutoStartYes = new QRadioButton(u"&Yes"_s, box);
    optAutoStartYes->setObjectName(u"optAutoStartYes"_s);
    optAutoStartYes->setChecked(true);
    optAutoStartNo = new QRadioButton(u"N&o"_s, box);
    optAutoStartNo->setObjectName(u"optAutoStartNo"_s);
    for (QRadioButton* opt : {optAutoStartYes, optAutoStartNo})
        describe(opt, box->title());
    auto* b = new QVBoxLayout(box);
    b->addWidget(optAutoStartYes);
    b->addWidget(optAutoStartNo);
    layout->addWidget(box);
    layout->addStretch(1);
    return page;
}

QWidget* SetupWizard::buildConnectionPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageConnection"_s);
    auto* layout = pageLayout(page);
    addLabel(page, 800, u"Internet Connection"_s);
    addLabel(page, 801, u"How are you connected to the Internet?"_s);
    const auto option = [&](const QString& name, const QString& caption, const QString& what) {
        auto* opt = new QRadioButton(caption, page);
        opt->setObjectName(name);
        describe(opt, what);
        auto* explanation = textLabel(what, page);
        explanation->setContentsMargins(24, 0, 0, 6);
        layout->addWidget(opt);
        layout->addWidget(explanation);
        return opt;
    };
    optModemUser = option(u"optModemUser"_s, u"&Modem Connection  (Dial-up users)"_s,
                          u"Select this option if you are connected to the Internet via a modem using the "
                          u"system's dialer (Dial-up network)"_s);
    optLANUser =
        option(u"optLANUser"_s, u"Net&work Connection (LAN Users, Cable, DSL etc.)"_s,
               u"Select this option if you are connected to the Internet via LAN, Cable modem or any "
               u"other connection that was not established by the system's dialer."_s);
    optModemUser->setChecked(true);
    layout->addStretch(1);
    return page;
}

QWidget* SetupWizard::buildThankYouPage()
{
    auto* page = new QWidget;
    page->setObjectName(u"pageThankYou"_s);
    auto* layout = pageLayout(page);
    addLabel(page, 900, u"Thank You"_s);
    addLabel(page, 901, u"You have completed the configuration step."_s);
    lblLastTitle = textLabel(u"Read This"_s, page);
    lblLastTitle->setObjectName(u"lblLastTitle"_s);
    QFont f = lblLastTitle->font();
    f.setBold(true);
    lblLastTitle->setFont(f);
    layout->addWidget(lblLastTitle);
    addLabel(page, 902,
             u"Orvella will now attempt to connect to your mail account. If you see any errors go to the "
             u"'Options' screen and check that the account information is correct."_s);
    addLabel(
        page, 903,
        u"After Orvella connects, send yourself an E-mail from your default E-mail program. Then press "
        u"'Check Mail' in Orvella to see if you are able to receive messages. Make sure the message is not "
        u"retrieved  by your default mail program before Orvella has a chance to read it."_s);
    addLabel(
        page, 904,
        u"Please Note: Orvella will Never delete messages from your E-mail account. This means that when "
        u"you open your regular E-mail program, all of the messages are going to be retrieved."_s);
    addLabel(page, 905, u"Please press Finish to continue."_s);
    layout->addStretch(1);
    return page;
}

} // namespace orvella
