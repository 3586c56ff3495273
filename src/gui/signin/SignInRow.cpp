#include "gui/signin/SignInRow.h"

#include "core/oauth/OAuthDeviceSignIn.h"
#include "core/oauth/OAuthProvider.h"
#include "core/oauth/OAuthSignIn.h"
#include "gui/signin/DeviceCodeDialog.h"
#include "gui/widgets/WidgetHelpers.h"
#include "platform/Shell.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

oauth::Provider providerOf(Account::SignIn kind)
{
    return kind == Account::SignIn::Google ? oauth::Provider::Google : oauth::Provider::Microsoft;
}

} // namespace

std::optional<SignInProposal> ProposeSignIn(const QString& server, bool imap)
{
    const std::optional<oauth::ServerProposal> known = oauth::providerForServer(server.trimmed(), imap);
    if (!known) return std::nullopt;
    SignInProposal proposal;
    proposal.kind = known->provider == oauth::Provider::Microsoft ? Account::SignIn::Microsoft
                                                                  : Account::SignIn::Password;
    proposal.security = known->tls ? u"TLS"_s : u"STARTTLS"_s;
    proposal.port = known->port;
    proposal.imap = known->imap;
    return proposal;
}

void FillSignInList(QComboBox* list)
{
    list->clear();
    list->addItem(u"Password"_s, Account::signInText(Account::SignIn::Password));
    list->addItem(oauth::OAuthProvider::forProvider(oauth::Provider::Microsoft).signInKindName(),
                  Account::signInText(Account::SignIn::Microsoft));
    list->addItem(oauth::OAuthProvider::forProvider(oauth::Provider::Google).signInKindName(),
                  Account::signInText(Account::SignIn::Google));
}

Account::SignIn ChosenSignIn(const QComboBox* list)
{
    return Account::signInFromText(list->currentData().toString());
}

void SelectSignIn(QComboBox* list, Account::SignIn kind)
{
    list->setCurrentIndex(list->findData(Account::signInText(kind)));
}

QString AppPasswordSteps()
{
    return u"Gmail takes an app password here, not your Google password: turn on 2-Step Verification in your "
           u"Google account, create an app password at myaccount.google.com/apppasswords, and type that "
           u"app password as the password. Or choose \"Google account\" to sign in through the browser."_s;
}

bool IsGmailServer(const QString& server)
{
    const std::optional<oauth::ServerProposal> known = oauth::providerForServer(server.trimmed());
    return known && known->provider == oauth::Provider::Google;
}

QString PasswordNotUsedText(Account::SignIn kind)
{
    if (kind == Account::SignIn::Password) return {};
    return u"Not used: this account signs in with its %1 through the sign-in button, and Orvella never "
           u"sees the password"_s.arg(oauth::OAuthProvider::forProvider(providerOf(kind)).signInKindName());
}

SignInRow::SignInRow(const Captions& captions, QWidget* parent) : QWidget(parent)
{
    setObjectName(u"SignInRow"_s);
    cmdSignIn = named(new QPushButton(captions.signIn, this), u"cmdSignIn"_s);
    cmdSignIn->setAccessibleName(QString(captions.signIn).remove(u'&').remove(u'…'));
    cmdSignIn->setAccessibleDescription(u"Opens the service's sign-in page in your web browser"_s);
    cmdSignInCode = named(new QPushButton(captions.useCode, this), u"cmdSignInCode"_s);
    cmdSignInCode->setAccessibleName(QString(captions.useCode).remove(u'&').remove(u'…'));
    cmdSignInCode->setAccessibleDescription(
        u"Shows a code to enter on another device, for a computer where the browser cannot sign in"_s);
    if (!captions.useCode.contains(u'&')) cmdSignInCode->setProperty("keyboardPath", u"Tab"_s);
    lblSignInStatus = named(new QLabel(this), u"lblSignInStatus"_s);
    lblSignInStatus->setTextFormat(Qt::PlainText);
    lblSignInStatus->setWordWrap(true);
    lblSignInNote = named(new QLabel(this), u"lblSignInNote"_s);
    lblSignInNote->setTextFormat(Qt::PlainText);
    lblSignInNote->setWordWrap(true);
    lblSignInNote->setVisible(false);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addWidget(cmdSignIn);
    buttons->addWidget(cmdSignInCode);
    buttons->addWidget(lblSignInStatus, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(buttons);
    layout->addWidget(lblSignInNote);

    // First of the receivers: the window finds the row signed in.
    connect(this, &SignInRow::signedIn, this, [this] {
        cancel();
        setSignedIn(true);
    });
    connect(cmdSignIn, &QPushButton::clicked, this, &SignInRow::signInWithBrowser);
    connect(cmdSignInCode, &QPushButton::clicked, this, &SignInRow::signInWithCode);
    setKind(Account::SignIn::Password);
}

SignInRow::~SignInRow()
{
    cancel();
}

void SignInRow::setKind(Account::SignIn kind)
{
    cancel();
    m_kind = kind;
    m_signedIn = false;
    showStatus(QString());
    const bool oauthKind = kind != Account::SignIn::Password;
    setVisible(oauthKind);
    if (!oauthKind) return;
    const oauth::OAuthProvider provider = oauth::OAuthProvider::forProvider(providerOf(kind));
    cmdSignIn->setEnabled(provider.hasClientId());
    cmdSignInCode->setVisible(kind == Account::SignIn::Microsoft);
    cmdSignInCode->setEnabled(provider.hasClientId() && !provider.deviceAuthorizationUrl.isEmpty());
    const QString note = provider.hasClientId() ? QString() : provider.missingClientIdText();
    lblSignInNote->setText(note);
    lblSignInNote->setAccessibleName(note);
    lblSignInNote->setVisible(!note.isEmpty());
    cmdSignIn->setAccessibleDescription(
        note.isEmpty() ? u"Opens the service's sign-in page in your web browser"_s : note);
    Q_EMIT stateChanged();
}

void SignInRow::setSignedIn(bool signedIn)
{
    m_signedIn = signedIn;
    showStatus(signedIn ? u"Signed in."_s : QString());
    Q_EMIT stateChanged();
}

void SignInRow::showStatus(const QString& text)
{
    lblSignInStatus->setText(text);
    lblSignInStatus->setAccessibleName(text);
}

void SignInRow::cancel()
{
    if (m_browser) {
        m_browser->cancel();
        m_browser->deleteLater();
        m_browser = nullptr;
    }
    if (m_device) {
        m_device->cancel();
        m_device->deleteLater();
        m_device = nullptr;
    }
    if (m_dialog) {
        DeviceCodeDialog* dialog = m_dialog;
        m_dialog = nullptr;
        dialog->disconnect(this);
        dialog->close();
        dialog->deleteLater();
    }
}

void SignInRow::signInWithBrowser()
{
    if (m_kind == Account::SignIn::Password) return;
    const oauth::OAuthProvider provider = oauth::OAuthProvider::forProvider(providerOf(m_kind));
    if (!provider.hasClientId()) return;
    // A second press starts afresh: the browser's tab may have been closed.
    cancel();
    m_browser = new oauth::OAuthSignIn(provider, m_loginHint, this);
    connect(m_browser, &oauth::OAuthSignIn::openBrowser, this,
            [](const QUrl& url) { platform::openInShell(url.toString(QUrl::FullyEncoded)); });
    connect(m_browser, &oauth::OAuthSignIn::finished, this,
            [this](const oauth::OAuthTokens& tokens) { succeeded(tokens.toSecret()); });
    connect(m_browser, &oauth::OAuthSignIn::failed, this, &SignInRow::failedWith);
    showStatus(u"Sign in on the page your browser shows; Orvella waits for it."_s);
    m_browser->start();
}

void SignInRow::signInWithCode()
{
    if (m_kind != Account::SignIn::Microsoft) return;
    const oauth::OAuthProvider provider = oauth::OAuthProvider::forProvider(oauth::Provider::Microsoft);
    if (!provider.hasClientId()) return;
    cancel();
    m_device = new oauth::OAuthDeviceSignIn(provider, nullptr, this);
    m_dialog = new DeviceCodeDialog(window());
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_device, &oauth::OAuthDeviceSignIn::codeReady, this,
            [this](const QString& code, const QUrl& uri, const QDateTime& expiresAt, const QString& message) {
                if (m_dialog) m_dialog->showCode(code, uri, expiresAt, message);
                if (say) say(DeviceCodeDialog::SpokenText(code, uri));
            });
    connect(m_device, &oauth::OAuthDeviceSignIn::finished, this,
            [this](const oauth::OAuthTokens& tokens) { succeeded(tokens.toSecret()); });
    connect(m_device, &oauth::OAuthDeviceSignIn::failed, this, &SignInRow::failedWith);
    connect(m_dialog, &QDialog::rejected, this, [this] {
        m_dialog = nullptr; // closing deletes it
        cancel();
        showStatus(u"Sign-in cancelled."_s);
        cmdSignInCode->setFocus(Qt::OtherFocusReason);
    });
    showStatus(QString());
    m_dialog->open();
    m_device->start();
}

void SignInRow::succeeded(const QString& secret)
{
    Q_EMIT signedIn(secret);
}

void SignInRow::failedWith(const QString& words)
{
    cancel();
    m_signedIn = false;
    showStatus(words);
    Q_EMIT stateChanged();
}

} // namespace orvella
