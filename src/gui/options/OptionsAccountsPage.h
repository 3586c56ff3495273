#pragma once

#include <QWidget>
#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace orvella {

class Account;
class OptionsDialog;

// Page " E-mail Accounts": the account list with the selected account's
// fields, which go straight into the account as the user types, and the kind
// of Internet connection.
class OptionsAccountsPage : public QWidget
{
    Q_OBJECT
public:
    explicit OptionsAccountsPage(OptionsDialog& dialog);

    QTreeWidget* lstAccounts = nullptr;
    QLineEdit* txtPOPServer = nullptr;
    QLineEdit* txtAccountName = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtCheckInterval = nullptr;
    QLineEdit* txtPort = nullptr;
    QComboBox* cboSecurity = nullptr;
    QPushButton* cmdAddAccount = nullptr;
    QPushButton* cmdRemoveAccount = nullptr;
    QPushButton* cmdNotice = nullptr;
    // 0 server, 1 account name, 2 password, 3 connection.
    std::array<QPushButton*, 4> cmdHelpMe{};
    QGroupBox* FrameCertificate = nullptr;
    QLabel* lblCertificate = nullptr;
    QLabel* lblFingerprint = nullptr;
    QPushButton* cmdTrustCertificate = nullptr;
    QPushButton* cmdForgetCertificate = nullptr;
    QRadioButton* optModemUser = nullptr;
    QRadioButton* optLANUser = nullptr;

    // The list from the program's accounts, the first selected.
    void FillAccounts();
    void InitValues();
    void WriteBack();

    void onAccountSelected();
    void addAccount();
    void removeAccount();
    void showNotice();
    void helpMe(int index);
    void onSecurityChosen();
    void trustCertificate();
    void forgetCertificate();

    // The account whose fields show, or null.
    Account* SelectedAccount() const;
    // The spoken help of a "Help Me" button; empty past the last.
    static QString HelpText(int index);
    static QString NoticeText();
    // A new account's security: encrypted always, implicit TLS on its port.
    static QString ProposedSecurity(int port);
    // A fingerprint on two lines of 16 bytes, the first ending in ':'.
    static QString FingerprintLines(const QString& fingerprint);

private:
    void showAccount(int row);
    void showCertificate();
    void addEntry(const QString& text);

    OptionsDialog& m_dialog;
    bool m_showing = false; // fields being filled from an account
};

} // namespace orvella
