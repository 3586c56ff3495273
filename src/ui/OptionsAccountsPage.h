#pragma once

#include "mail/AccountDrafts.h"

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

class frmOptions;

// Page " E-mail Accounts": the account list with the selected account's
// fields and the kind of Internet connection. The fields change copies of
// the accounts (AccountDrafts), which reach the program's accounts on OK.
class OptionsAccountsPage : public QWidget
{
    Q_OBJECT
public:
    explicit OptionsAccountsPage(frmOptions& dialog);

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
    // Whether the number fields of every account can work.
    bool NumbersWork() const { return m_drafts.FirstProblem().index < 0; }
    // False, with the account selected, the message beside the field and the
    // focus in it, when a number field of any account cannot work.
    bool CheckNumbers();
    // The first account as the dialog holds it, or null.
    const AccountDrafts::Draft* FirstDraft() const;
    // The program's accounts become what the dialog holds (OK).
    void ApplyAccounts();

    void lstAccounts_Click();
    void cmdAddAccount_Click();
    void cmdRemoveAccount_Click();
    void cmdNotice_Click();
    void cmdHelpMe_Click(int index);
    void cboSecurity_Click();
    void cmdTrustCertificate_Click();
    void cmdForgetCertificate_Click();

    // The account whose fields show, or null.
    AccountDrafts::Draft* SelectedDraft();
    const AccountDrafts::Draft* SelectedDraft() const;
    // The spoken help of a "Help Me" button; empty past the last.
    static QString HelpText(int index);
    static QString NoticeText();
    // A fingerprint on two lines of 16 bytes, the first ending in ':'.
    static QString FingerprintLines(const QString& fingerprint);

private:
    void showAccount(int row);
    void showCertificate();
    void showNumberMessages();
    void addEntry(const QString& text);

    frmOptions& m_dialog;
    AccountDrafts m_drafts;
    bool m_showing = false; // fields being filled from an account
};

} // namespace orvella
