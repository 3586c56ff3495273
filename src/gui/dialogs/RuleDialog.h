#pragma once

#include "core/rules/Rule.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orvella {

// Asked when the editor adds a rule that repeats one (same type, same name):
// true when the user keeps the old rule; on Yes the old one is removed.
bool ConfirmRuleOverwrite(RuleList& rules, const Rule& newRule, QWidget* parent = nullptr);

class IAgent;
class SpeechOutput;

// Edits one rule. OK writes the user's choices into the rule it was given and
// sets m_OK; the caller adds a new rule to its list and saves the list.
class RuleDialog : public QDialog
{
    Q_OBJECT
public:
    enum Mode { AddMode = 1, EditMode = 2 };

    // rules is the list a new rule would join: adding asks before replacing
    // one of the same text and type. speech may be null (no previews).
    RuleDialog(RuleList& rules, SpeechOutput* speech, QWidget* parent = nullptr);

    void Init(Rule& Rule, IAgent* TheAgent, int Mode);

    bool m_OK = false;

    void onRuleTypeChosen();
    // OK needs a text to look for; the speaking controls need "Do the following...".
    void UpdateControls();
    void previewGesture();
    void browseSound();
    void confirm();

    // The main window's "Add Rule": a sender rule for address (the editor's
    // caption names it when there is one), added to rules and saved when the
    // user confirms. True when the rule was added.
    static bool AddRule(const QString& address, RuleList& rules, SpeechOutput* speech, IAgent* agent,
                        QWidget* parent);

    // The instruction label and description of each rule type, by m_Type.
    static QString Instructions(int type);
    static QString Description(int type);

protected:
    bool event(QEvent* e) override;
    void done(int result) override;

private:
    // The dialog's parts, built in this order by the constructor.
    void buildRuleFields();
    QGroupBox* buildWhatToSayGroup();
    QLayout* buildButtons();
    void connectControls();

    RuleList& m_rules;
    SpeechOutput* m_speech;
    Rule* m_Rule = nullptr;
    IAgent* m_Agent = nullptr;
    int m_Mode = AddMode;
    bool m_activatedOnce = false;

private:
    // Its controls, found by tests and screen readers through their object names.
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
};

} // namespace orvella
