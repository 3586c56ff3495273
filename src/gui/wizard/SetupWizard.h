#pragma once

#include "core/mail/Account.h"
#include "core/mail/Accounts.h"

#include <QDialog>
#include <QMap>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace orvella {

class Account;
class Settings;
class CharacterControl;
class SignInRow;
class SpeechOutput;
class WizardLink;

// The first-run configuration wizard: the features to use, the first mail
// account, the user's name, start at log-in and the kind of Internet
// connection, one page at a time, each page spoken by the character.
//
// Nothing reaches a file before Finish: the feature choices go into the
// settings object when page 0 is left, everything else on Finish, which
// writes the account, the settings file and the log-in start at once.
class SetupWizard : public QDialog
{
    Q_OBJECT
public:
    // A control's own explanation, which the page's words precede in its accessible description.
    static constexpr char OwnDescription[] = "wizardOwnDescription";

    enum Page {
        PageWelcome = 0,
        PageEMail = 1,
        PageServer = 2,
        PageAccountName = 3,
        PagePassword = 4,
        PageUserName = 5,
        PageStartup = 6,
        PageConnection = 7,
        PageThankYou = 8,
    };

    // speech and character may be null (no character loaded): the wizard is then silent.
    SetupWizard(Settings& settings, AccountList& accounts, SpeechOutput* speech, CharacterControl* character,
                QWidget* parent = nullptr);
    ~SetupWizard() override;

    // What the main window installs as Settings::wizardRunner: shows the
    // wizard modally from startPage; true when the user finished it, false
    // when cancelled (and then nothing has been written).
    static bool RunWizard(int startPage, Settings& settings, AccountList& accounts, SpeechOutput* speech,
                          CharacterControl* character, QWidget* parent);

    bool m_Completed = false;
    int StartPage = PageWelcome;
    std::shared_ptr<Account> WizardAccount;
    int SavedPosition = 0;

    void Init(int startPage);
    void SayPage();
    void UpdateWizardButtons();
    int currentPage() const;

    void next();
    void back();
    void finish();
    void sayAgain();
    void skipEmail();
    void openOnlineSupport();

    // Answers the web mail question; WebMailDialog by default, tests answer it themselves.
    std::function<int(const QString& question)> askAboutWebMail;

    QMap<int, QLabel*> lblWizard;    // by the label index the speech goes by: 100, 101, ..., 905
    QList<WizardLink*> lblSkipEmail; // on pages 1, 2 and 3

protected:
    void showEvent(QShowEvent* e) override;
    void done(int result) override;

private:
    // frmConfigWizardPages.cpp: the pages and their controls.
    void buildWindow();
    QWidget* buildWelcomePage();
    QWidget* buildEMailPage();
    QWidget* buildServerPage();
    QWidget* buildAccountNamePage();
    QWidget* buildPasswordPage();
    QWidget* buildUserNamePage();
    QWidget* buildStartupPage();
    QWidget* buildConnectionPage();
    QWidget* buildThankYouPage();
    QLabel* addLabel(QWidget* page, int index, const QString& text);
    WizardLink* addSkipLink(QWidget* page);

    // The page now shown: its labels, the buttons, the keyboard focus.
    void pageOpened();
    void showPage(int page);
    void preparePageThankYou();
    QWidget* focusTarget(int page) const;
    QString pageText(int page) const;
    // False keeps the wizard on page; a passing check may move page on (web mail option 2).
    bool validatePage(int& page);
    // Beside the port, or nothing when text is empty.
    void showPortMessage(const QString& text);
    // True when the text may be used, false when the user stays on the page.
    bool webMailCheck(const QString& text, int& page);
    void restorePosition();
    void placeBelowCharacter();
    // A known server proposes its kind of sign-in, TLS and its port, until the user picks a kind.
    void proposeForServer();
    // The password page as the kind of sign-in wants it.
    void showSignInKind();
    // The password step is done: a password typed, or a sign-in made for the kind chosen.
    bool credentialGiven() const;

    Settings& m_settings;
    AccountList& m_accounts;
    SpeechOutput* m_speech;
    CharacterControl* m_character;
    bool m_positionRestored = false;
    bool m_spokeFirstPage = false;
    // The user picked the kind of sign-in: servers no longer propose one.
    bool m_signInChosen = false;
    // The tokens of the last sign-in, and the kind they are for.
    QString m_signInSecret;
    Account::SignIn m_secretKind = Account::SignIn::Password;

private:
    // Its controls, found by tests and screen readers through their object names.
    QTabWidget* tabWizard = nullptr;
    QCheckBox* chkFeatureEMail = nullptr;
    QCheckBox* chkFeatureReminders = nullptr;
    QCheckBox* chkFeatureClock = nullptr;
    WizardLink* lblClickHere = nullptr;
    QLineEdit* txtPOPServer = nullptr;
    QLabel* lblDetectedPOP = nullptr;
    QComboBox* cboSecurity = nullptr;
    QLineEdit* txtPort = nullptr;
    QComboBox* cboSignIn = nullptr;
    QComboBox* cboProtocol = nullptr;
    bool imapChosen() const;
    // The security list names the ports of the chosen protocol.
    void showProtocol();
    // Beside the port: why what it holds cannot work.
    QLabel* lblPortMessage = nullptr;
    QLineEdit* txtAccountName = nullptr;
    QLabel* lblDetectedAccountName = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLabel* lblPasswordNote = nullptr;
    SignInRow* rowSignIn = nullptr;
    QLineEdit* txtUserName = nullptr;
    QRadioButton* optAutoStartYes = nullptr;
    QRadioButton* optAutoStartNo = nullptr;
    QRadioButton* optModemUser = nullptr;
    QRadioButton* optLANUser = nullptr;
    QLabel* lblLastTitle = nullptr;
    QPushButton* cmdSayAgain = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdBack = nullptr;
    QPushButton* cmdNext = nullptr;
    QPushButton* cmdFinish = nullptr;
    WizardLink* lblOnlineSupport = nullptr;
};

} // namespace orvella
