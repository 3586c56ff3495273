#include "gui/wizard/WebMailDialog.h"
#include "gui/widgets/StayAboveCharacter.h"

#include <QButtonGroup>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

const QString CrLf = u"\r\n"_s;

// domain as a whole name inside text: after its start, an "@" or a dot, and
// not running on into a longer name ("pop3.live.com" is Outlook.com,
// "mail.olive.com" is not).
bool containsDomain(const QString& text, QStringView domain)
{
    for (qsizetype at = text.indexOf(domain); at >= 0; at = text.indexOf(domain, at + 1)) {
        const qsizetype end = at + domain.size();
        const bool startsName = at == 0 || text[at - 1] == u'@' || text[at - 1] == u'.';
        const bool endsName = end == text.size() || !(text[end].isLetterOrNumber() || text[end] == u'-');
        if (startsName && endsName) return true;
    }
    return false;
}

const QString OutlookSignIn =
    u"Outlook.com lets a mail program read your mail only after you sign in through Microsoft's own "
    u"sign-in page, never with your password: use outlook.office365.com as the incoming mail server and "
    u"sign in with \"Microsoft account (Outlook.com)\"."_s;

} // namespace

QString WebMailService(const QString& text)
{
    const QString lower = text.toLower();
    if (lower.contains(u"hotmail"_s)) return u"Hotmail"_s;
    if (containsDomain(lower, u"aol.com")) return u"AOL"_s;
    if (lower.contains(u"yahoo"_s)) return u"Yahoo"_s;
    if (containsDomain(lower, u"juno.com")) return u"Juno"_s;
    if (lower.contains(u"gmail"_s) || lower.contains(u"googlemail"_s)) return u"Gmail"_s;
    for (QStringView domain : {u"outlook.com", u"outlook.office365.com", u"live.com", u"msn.com"})
        if (containsDomain(lower, domain)) return u"Outlook.com"_s;
    return {};
}

QString WebMailQuestion(const QString& service)
{
    QString text = u"Orvella works with standard Internet mail accounts (POP accounts) provided by most "
                   u"Internet service providers."_s +
                   CrLf + CrLf;
    if (service == u"Yahoo"_s) {
        text += u"Yahoo supports POP access but unfortunately it is disabled by default. To learn how to "
                u"enable POP access in your Yahoo mail account, please visit our online support page."_s;
    } else if (service == u"Gmail"_s) {
        // Google refuses the account's own password to mail programs and
        // keeps POP switched off until the user turns it on: say so now
        // rather than let the first check fail with a bare login error.
        text += u"Gmail supports POP access, but two things are needed first: turn on POP access in "
                u"Gmail's settings (Forwarding and POP/IMAP), and create an app password in the security "
                u"settings of your Google account (it needs 2-Step Verification). Google does not accept "
                u"your normal password here. Then use pop.gmail.com as the incoming mail server, your whole "
                u"Gmail address as the account name and the app password as the password."_s;
    } else if (service == u"Outlook.com"_s) {
        text += OutlookSignIn + u" If you have other e-mail accounts, you might want to use them instead."_s;
    } else {
        text += u"If "_s + service +
                u" is your ONLY e-mail account, please visit our online support page to find out if "
                u"Orvella can work with your "_s +
                service +
                u" account. If you have other e-mail accounts (Yahoo mail supports POP accounts), you "
                u"might want to use them instead."_s;
        if (service == u"Hotmail"_s)
            text += CrLf + CrLf + u"Hotmail addresses are Outlook.com accounts now. "_s + OutlookSignIn;
    }
    text += CrLf + CrLf + u"Please select from the options below:"_s;
    return text;
}

WebMailDialog::WebMailDialog(QWidget* parent) : QDialog(parent)
{
    StayAboveCharacter(this);
    setObjectName(u"frmSpecialMailSystems"_s);
    setWindowTitle(u"Orvella Configuration Wizard"_s);

    lblQuestion = new QLabel(this);
    lblQuestion->setObjectName(u"lblQuestion"_s);
    lblQuestion->setWordWrap(true);
    lblQuestion->setTextFormat(Qt::PlainText);
    lblQuestion->setMinimumWidth(460);

    const QString texts[4] = {
        u"Visit the Orvella online support page to learn more"_s,
        u"I would like to use a different E-mail account"_s,
        u"Disable the e-mail checking feature of Orvella and use the Orvella Reminders, Orvella Clock and "
        u"Orvella Clipboard features only. You can enable e-mail checking later"_s,
        u"I believe I have a POP mail account so please use the account information I entered and enable "
        u"mail checking"_s,
    };

    m_options = new QButtonGroup(this);
    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    for (int i = 0; i < 4; ++i) {
        auto* opt = new QRadioButton(this);
        opt->setObjectName(u"optWhatToDo%1"_s.arg(i));
        opt->setAccessibleName(texts[i]);
        optWhatToDo[i] = opt;
        m_options->addButton(opt, i);
        if (i < 2) {
            opt->setText(texts[i]);
            grid->addWidget(opt, i, 0, 1, 2);
            continue;
        }
        auto* label = new QLabel(texts[i], this);
        label->setObjectName(u"lblWhatToDo%1"_s.arg(i));
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        label->setBuddy(opt);
        label->installEventFilter(this);
        lblWhatToDo[i] = label;
        grid->addWidget(opt, i, 0, Qt::AlignTop);
        grid->addWidget(label, i, 1);
    }
    optWhatToDo[VisitSupportPage]->setChecked(true);
    connect(m_options, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked) m_SelectedOption = id;
    });

    cmdOK = new QPushButton(u"&OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblQuestion);
    layout->addSpacing(8);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);

    optWhatToDo[VisitSupportPage]->setFocus();
}

bool WebMailDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease)
        for (int i = 2; i < 4; ++i)
            if (watched == lblWhatToDo[i]) {
                optWhatToDo[i]->setChecked(true);
                optWhatToDo[i]->setFocus();
                return true;
            }
    return QDialog::eventFilter(watched, event);
}

int WebMailDialog::Ask(const QString& question, QWidget* parent)
{
    WebMailDialog dlg(parent);
    dlg.lblQuestion->setText(question);
    dlg.optWhatToDo[VisitSupportPage]->setAccessibleDescription(question);
    // Closed without OK (Escape, the window's close button, the program
    // ending): nothing is taken and no browser opens; the user stays on the page.
    if (dlg.exec() != QDialog::Accepted) return DifferentAccount;
    return dlg.m_SelectedOption;
}

} // namespace orvella
