#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace orvella {

class OptionsDialog;

// Page " What To Say": what is said before and of each message, the symbols
// never read, and the welcome.
class OptionsWhatToSayPage : public QWidget
{
    Q_OBJECT
public:
    explicit OptionsWhatToSayPage(OptionsDialog& dialog);

    // "Entire Message", then 1 to 100 lines.
    void FillLines();
    void InitValues();
    void WriteBack();

    void onSayFirstLineToggled();
    void previewWelcome();

private:
    OptionsDialog& m_dialog;

private:
    // A page is part of its window, which reads and fills its controls.
    friend class OptionsDialog;
    // Its controls, found by tests and screen readers through their object names.
    QCheckBox* chkSayFrom = nullptr;
    QLineEdit* txtMessagePrefix = nullptr;
    QCheckBox* chkSaySubject = nullptr;
    QLineEdit* txtBeforeSubject = nullptr;
    QCheckBox* chkSayFirstLine = nullptr;
    QComboBox* cboLines = nullptr;
    QLineEdit* txtBeforeContent = nullptr;
    QLineEdit* txtFirstMessagePrefix = nullptr;
    QLineEdit* txtFilteredSymbols = nullptr;
    QCheckBox* chkRepeatTwice = nullptr;
    QCheckBox* chkSpellUpper = nullptr;
    QCheckBox* chkReadMessageNo = nullptr;
    QCheckBox* chkReadNoOfNewMessages = nullptr;
    QCheckBox* chkNoNewMessages = nullptr;
    QLineEdit* txtNoNewMessages = nullptr;
    QLineEdit* txtWelcomeMessage = nullptr;
    QComboBox* cboWelcomeGesture = nullptr;
    QPushButton* cmdPreviewWelcome = nullptr;
};

} // namespace orvella
