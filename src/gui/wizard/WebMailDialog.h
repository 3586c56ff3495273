#pragma once

#include <QDialog>

class QButtonGroup;
class QLabel;
class QPushButton;
class QRadioButton;

namespace orvella {

// Asked by the configuration wizard when the server or account name the user
// entered belongs to a web mail service: what to do about it.
class WebMailDialog : public QDialog
{
    Q_OBJECT
public:
    enum Option {
        VisitSupportPage = 0, // open the online-support page, stay on the wizard page
        DifferentAccount = 1, // stay on the wizard page to change the entry
        DisableMailChecking = 2,
        UseEnteredAccount = 3,
    };

    explicit WebMailDialog(QWidget* parent = nullptr);

    // The option chosen; follows the selection.
    int m_SelectedOption = VisitSupportPage;

    QRadioButton* optWhatToDo[4] = {};
    // Options 2 and 3 are too long for one line: their text lives in these
    // word-wrapped labels, and a click on a label selects its option.
    QLabel* lblWhatToDo[4] = {};

    // Shows the dialog modally with question and returns the option chosen
    // with OK; closed any other way, DifferentAccount.
    static int Ask(const QString& question, QWidget* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QButtonGroup* m_options = nullptr;

private:
    // Its controls, found by tests and screen readers through their object names.
    QLabel* lblQuestion = nullptr;
    QPushButton* cmdOK = nullptr;
};

// The web mail service a server or account-name text belongs to ("Hotmail",
// "AOL", "Yahoo", "Juno", "Gmail", "Outlook.com"), or empty text for a
// standard mail account.
QString WebMailService(const QString& text);

// The question WebMailDialog asks about service.
QString WebMailQuestion(const QString& service);

} // namespace orvella
