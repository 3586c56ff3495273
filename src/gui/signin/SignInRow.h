#pragma once

#include "core/mail/Account.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;

namespace orvella {

namespace oauth {
class OAuthSignIn;
class OAuthDeviceSignIn;
} // namespace oauth

class DeviceCodeDialog;

// What an account on a known POP server is best set up with: the kind of
// sign-in, TLS and its port. Gmail keeps "Password": an app password is what
// most people can make without a registered program; Outlook.com accepts
// nothing but its Microsoft sign-in.
struct SignInProposal
{
    Account::SignIn kind = Account::SignIn::Password;
    QString security = QStringLiteral("TLS");
    int port = 995;
    bool imap = false;
};
// nullopt for a server the program knows nothing special about. imap: the
// account's type is IMAP (a server that speaks both is proposed for it).
std::optional<SignInProposal> ProposeSignIn(const QString& server, bool imap = false);

// The three kinds in a list, each item's data its settings name.
void FillSignInList(QComboBox* list);
Account::SignIn ChosenSignIn(const QComboBox* list);
void SelectSignIn(QComboBox* list, Account::SignIn kind);

// The steps to an app password, for a Gmail account that signs in with a password.
QString AppPasswordSteps();
bool IsGmailServer(const QString& server);
// Why the password field is not used, for its description and placeholder.
QString PasswordNotUsedText(Account::SignIn kind);

// The sign-in of an account with a Microsoft or Google account: a button that
// signs in through the browser, for Microsoft one that signs in with a code
// on another device, and beside them how the last sign-in went. Hidden for
// the password kind. The tokens of a sign-in go out through signedIn; the
// window keeps them for the account.
class SignInRow : public QWidget
{
    Q_OBJECT
public:
    struct Captions
    {
        QString signIn;
        QString useCode;
    };
    SignInRow(const Captions& captions, QWidget* parent);
    ~SignInRow() override;

    // Shows the row for kind (hidden for Password); a sign-in under way stops,
    // and what was said about the last one goes.
    void setKind(Account::SignIn kind);
    Account::SignIn kind() const { return m_kind; }
    // Says "Signed in." (an account whose tokens are kept) or nothing.
    void setSignedIn(bool signedIn);
    // What the last check found wrong with the saved sign-in ("sign in again").
    void showProblem(const QString& text) { showStatus(text); }
    bool isSignedIn() const { return m_signedIn; }
    // The account's address, which the service's page starts with.
    void setLoginHint(const QString& address) { m_loginHint = address; }
    // What the character says (the code to type); unset, nothing is said.
    std::function<void(const QString& text)> say;

    QPushButton* signInButton() const { return cmdSignIn; }
    QPushButton* codeButton() const { return cmdSignInCode; }
    // The note under the buttons (why signing in is not possible here); null when hidden.
    QLabel* noteLabel() const { return lblSignInNote; }

    void signInWithBrowser();
    void signInWithCode();
    void cancel();

Q_SIGNALS:
    // A sign-in succeeded; secret is what the account keeps (in the keyring only).
    void signedIn(const QString& secret);
    // Whether the row is signed in changed (for the window's buttons).
    void stateChanged();

private:
    void showStatus(const QString& text);
    void succeeded(const QString& secret);
    void failedWith(const QString& words);

    Account::SignIn m_kind = Account::SignIn::Password;
    QString m_loginHint;
    bool m_signedIn = false;
    oauth::OAuthSignIn* m_browser = nullptr;
    oauth::OAuthDeviceSignIn* m_device = nullptr;
    QPointer<DeviceCodeDialog> m_dialog;

private:
    QPushButton* cmdSignIn = nullptr;
    QPushButton* cmdSignInCode = nullptr;
    QLabel* lblSignInStatus = nullptr;
    QLabel* lblSignInNote = nullptr;
};

} // namespace orvella
