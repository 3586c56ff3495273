#pragma once

#include "rules/CRule.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orvella {

class IAgent;
class ModalDialogFlag;
class SpeechOutput;

// Edits one rule. OK writes the user's choices into the rule it was given and
// sets m_OK; the caller adds a new rule to its list and saves the list.
class frmAddEditRule : public QDialog
{
    Q_OBJECT
public:
    enum Mode { AddMode = 1, EditMode = 2 };

    // rules is the list a new rule would join: adding asks before replacing
    // one of the same text and type. speech may be null (no previews).
    frmAddEditRule(RuleList& rules, SpeechOutput* speech, QWidget* parent = nullptr);

    void Init(CRule& Rule, IAgent* TheAgent, int Mode);

    bool m_OK = false;

    QComboBox* cboRuleType = nullptr;
    QLabel* lblRuleInstructions = nullptr;
    QLabel* lblRuleDescription = nullptr;
    QLineEdit* txtName = nullptr;
    QGroupBox* FrameWhatToSay = nullptr;
    QRadioButton* optSayNothing = nullptr;
    QRadioButton* optSaySomething = nullptr;
    QLineEdit* txtRuleSound = nullptr;
    QPushButton* cmdBrowseRuleSound = nullptr;
    QLineEdit* txtMessage = nullptr;
    QCheckBox* chkSayFrom = nullptr;
    QCheckBox* chkSaySubject = nullptr;
    QCheckBox* chkSayMessage = nullptr;
    QComboBox* cboGesture = nullptr;
    QPushButton* cmdPreviewGesture = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void cboRuleType_Click();
    // OK needs a text to look for; the speaking controls need "Do the following...".
    void UpdateControls();
    void cmdPreviewGesture_Click();
    void cmdBrowseRuleSound_Click();
    void cmdOK_Click();

    // The main window's "Add Rule": a sender rule for address (the editor's
    // caption names it when there is one), added to rules and saved when the
    // user confirms. True when the rule was added.
    static bool AddRule(const QString& address, RuleList& rules, SpeechOutput* speech, IAgent* agent,
                        const ModalDialogFlag& modalDialog, QWidget* parent);

    // The instruction label and description of each rule type, by m_Type.
    static QString Instructions(int type);
    static QString Description(int type);

protected:
    bool event(QEvent* e) override;
    void done(int result) override;

private:
    RuleList& m_rules;
    SpeechOutput* m_speech;
    CRule* m_Rule = nullptr;
    IAgent* m_Agent = nullptr;
    int m_Mode = AddMode;
    bool m_activatedOnce = false;
};

} // namespace orvella
