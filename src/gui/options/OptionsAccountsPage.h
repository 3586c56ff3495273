#pragma once

#include "core/mail/AccountDrafts.h"

#include <QWidget>
#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace orvella {

class OptionsDialog;
class SignInRow;

// Page " E-mail Accounts": the account list with the selected account's
// fields and the kind of Internet connection. The fields change copies of
// the accounts (AccountDrafts), which reach the program's accounts on OK.
class OptionsAccountsPage : public QWidget
{
    Q_OBJECT
public:
    explicit OptionsAccountsPage(OptionsDialog& dialog);

    // 0 server, 1 account name, 2 password, 3 connection.
    std::array<QPushButton*, 4> cmdHelpMe{};

    // The list from the program's accounts, the first selected.
    void FillAccounts();
    void InitValues();
    void WriteBack();
    // Whether the number fields of every account can work.
    bool NumbersWork() const { return m_drafts.FirstProblem().index < 0; }
    // False, with the account selected, the message beside the field and the
    // focus in it, when a number field of any account cannot work.
    bool CheckNumbers();
    // The first account as the dialog holds it, or null.
    const AccountDrafts::Draft* FirstDraft() const;
    // The program's accounts become what the dialog holds (OK).
    void ApplyAccounts();

    void onAccountSelected();
    void addAccount();
    void removeAccount();
    void showNotice();
    void helpMe(int index);
    void onSecurityChosen();
    void onProtocolChosen();
    void onSignInChosen();
    // A known server typed proposes its sign-in, TLS and port, until the user picks a kind.
    void proposeForServer();
    void trustCertificate();
    void forgetCertificate();

    // The account whose fields show, or null.
    AccountDrafts::Draft* SelectedDraft();
    const AccountDrafts::Draft* SelectedDraft() const;
    // The spoken help of a "Help Me" button; empty past the last.
    static QString HelpText(int index);
    static QString NoticeText();
    // A fingerprint on two lines of 16 bytes, the first ending in ':'.
    static QString FingerprintLines(const QString& fingerprint);

private:
    // The page's parts, built in this order by the constructor.
    QGroupBox* buildAccountsGroup();
    QLayout* buildServerFields(QWidget* frame);
    QComboBox* buildSecurityList(QWidget* frame);
    QLabel* buildNumberMessage(QWidget* frame, const QString& name);
    QLayout* buildIntervalRow(QWidget* frame);
    QLayout* buildPortRow(QWidget* frame);
    QGroupBox* buildCertificateGroup(QWidget* parent);
    QGroupBox* buildConnectionGroup();
    void setUpHelp();
    void setUpKeyboard();
    void connectControls();

    void showAccount(int row);
    void showCertificate();
    // The password field and the sign-in row as the account's kind of sign-in wants them.
    void showSignIn();
    void showNumberMessages();
    void addEntry(const QString& text);

    OptionsDialog& m_dialog;
    AccountDrafts m_drafts;
    bool m_showing = false; // fields being filled from an account

private:
    // A page is part of its window, which reads and fills its controls.
    friend class OptionsDialog;
    // Its controls, found by tests and screen readers through their object names.
    QTreeWidget* lstAccounts = nullptr;
    QLineEdit* txtPOPServer = nullptr;
    QLineEdit* txtAccountName = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtCheckInterval = nullptr;
    QLineEdit* txtPort = nullptr;
    // Beside the number fields: why what they hold cannot work.
    QLabel* lblIntervalMessage = nullptr;
    QLabel* lblPortMessage = nullptr;
    QComboBox* cboSecurity = nullptr;
    QComboBox* cboSignIn = nullptr;
    QComboBox* cboProtocol = nullptr;
    QLineEdit* txtFolders = nullptr;
    SignInRow* rowSignIn = nullptr;
    // Gmail with a password: how to get the app password it takes.
    QLabel* lblAppPassword = nullptr;
    QPushButton* cmdAddAccount = nullptr;
    QPushButton* cmdRemoveAccount = nullptr;
    QPushButton* cmdNotice = nullptr;
    QGroupBox* FrameCertificate = nullptr;
    QLabel* lblCertificate = nullptr;
    QLabel* lblFingerprint = nullptr;
    QPushButton* cmdTrustCertificate = nullptr;
    QPushButton* cmdForgetCertificate = nullptr;
    QRadioButton* optModemUser = nullptr;
    QRadioButton* optLANUser = nullptr;
};

} // namespace orvella
