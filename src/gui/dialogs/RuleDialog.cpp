#include "gui/dialogs/RuleDialog.h"
#include "gui/widgets/StayAboveCharacter.h"
#include "gui/widgets/WidgetHelpers.h"

#include "core/speech/CharacterControl.h"
#include "core/speech/SpeechOutput.h"
#include "gui/widgets/ControlNames.h"
#include "gui/widgets/Dialogs.h"
#include "gui/widgets/FieldFilter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// The instruction labels carry the accelerator of the text field below them.
const QString instructions[] = {
    u"&Sender's name or E-mail address"_s, u"&Words appearing in the message subject"_s,
    u"&Words appearing in the message body"_s, u"&Recipient's name or E-mail address"_s};
const QString descriptions[] = {u"Please type in the sender's name or E-mail address (or part of it)"_s,
                                u"Please type in the words to look for in the subject."_s,
                                u"Please type in the words to look for in the message body."_s,
                                u"Please type in the recipient's name or E-mail address (or part of it)"_s};

} // namespace

QString RuleDialog::Instructions(int type)
{
    return type >= 0 && type < 4 ? AccessibleText(instructions[type]) : QString();
}

QString RuleDialog::Description(int type)
{
    return type >= 0 && type < 4 ? descriptions[type] : QString();
}

RuleDialog::RuleDialog(RuleList& rules, SpeechOutput* speech, QWidget* parent)
    : QDialog(parent), m_rules(rules), m_speech(speech)
{
    StayAboveCharacter(this);
    setObjectName(u"frmAddEditRule"_s);
    setWindowTitle(u"Add Rule"_s);

    buildRuleFields();
    QGroupBox* whatToSay = buildWhatToSayGroup();
    QLayout* buttons = buildButtons();

    auto* top = new QGridLayout;
    top->addWidget(FieldLabel(u"Rule &Type"_s, cboRuleType, this), 0, 0);
    top->addWidget(cboRuleType, 0, 1);
    top->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(6);
    layout->addWidget(lblRuleInstructions);
    layout->addWidget(lblRuleDescription);
    layout->addWidget(txtName);
    layout->addWidget(whatToSay);
    layout->addLayout(buttons);
    setMinimumWidth(520);

    QWidget* const order[] = {
        cboRuleType,        txtName,           optSayNothing, optSaySomething, txtRuleSound,
        cmdBrowseRuleSound, txtMessage,        chkSayFrom,    chkSaySubject,   chkSayMessage,
        cboGesture,         cmdPreviewGesture, cmdOK,         cmdCancel};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    FieldFilter::install(txtName, FieldFilter::SelectAllOnFocus);
    connectControls();

    cboRuleType->setCurrentIndex(0);
    onRuleTypeChosen();
    optSaySomething->setChecked(true);
    NameControls(this);
    UpdateControls();
}

void RuleDialog::buildRuleFields()
{
    cboRuleType = named(new QComboBox(this), u"cboRuleType"_s);
    cboRuleType->addItems({u"Base rule on sender's name or E-mail address"_s,
                           u"Base rule on message subject"_s, u"Base rule on message body"_s,
                           u"Base rule on recipient's name or E-mail address"_s});
    txtName = named(new QLineEdit(this), u"txtName"_s);
    lblRuleInstructions = named(new QLabel(this), u"lblRuleInstructions"_s);
    lblRuleInstructions->setBuddy(txtName);
    lblRuleDescription = named(new QLabel(this), u"lblRuleDescription"_s);
    lblRuleDescription->setWordWrap(true);
}

QGroupBox* RuleDialog::buildWhatToSayGroup()
{
    FrameWhatToSay = named(new QGroupBox(u"What To Say"_s, this), u"FrameWhatToSay"_s);
    optSayNothing =
        named(new QRadioButton(u"Ignore e-mail message. Don't do or say anything."_s, FrameWhatToSay),
              u"optSayNothing"_s);
    optSaySomething = named(new QRadioButton(u"Do the following..."_s, FrameWhatToSay), u"optSaySomething"_s);
    txtRuleSound = named(new QLineEdit(FrameWhatToSay), u"txtRuleSound"_s);
    cmdBrowseRuleSound = named(new QPushButton(u"&Browse..."_s, FrameWhatToSay), u"cmdBrowseRuleSound"_s);
    txtMessage = named(new QLineEdit(FrameWhatToSay), u"txtMessage"_s);
    chkSayFrom = named(new QCheckBox(u"Say FROM whom is the message"_s, FrameWhatToSay), u"chkSayFrom"_s);
    chkSaySubject =
        named(new QCheckBox(u"Say what is the SUBJECT of the message"_s, FrameWhatToSay), u"chkSaySubject"_s);
    chkSayMessage = named(new QCheckBox(u"Say message contents"_s, FrameWhatToSay), u"chkSayMessage"_s);
    cboGesture = named(new QComboBox(FrameWhatToSay), u"cboGesture"_s);
    cmdPreviewGesture = named(new QPushButton(u"Pre&view"_s, FrameWhatToSay), u"cmdPreviewGesture"_s);
    cmdPreviewGesture->setAccessibleDescription(u"Preview the gesture"_s);
    cmdBrowseRuleSound->setAccessibleDescription(u"Browse for a sound file"_s);

    // What the rule does when it speaks stands indented under "Do the following...".
    auto* frame = new QGridLayout(FrameWhatToSay);
    frame->addWidget(optSayNothing, 0, 0, 1, 4);
    frame->addWidget(optSaySomething, 1, 0, 1, 4);
    frame->addWidget(FieldLabel(u"&Play this sound file:"_s, txtRuleSound, FrameWhatToSay), 2, 1);
    frame->addWidget(txtRuleSound, 2, 2);
    frame->addWidget(cmdBrowseRuleSound, 2, 3);
    frame->addWidget(FieldLabel(u"Sa&y this:"_s, txtMessage, FrameWhatToSay), 3, 1);
    frame->addWidget(txtMessage, 3, 2, 1, 2);
    frame->addWidget(chkSayFrom, 4, 2, 1, 2);
    frame->addWidget(chkSaySubject, 5, 2, 1, 2);
    frame->addWidget(chkSayMessage, 6, 2, 1, 2);
    frame->addWidget(FieldLabel(u"Make this &gesture:"_s, cboGesture, FrameWhatToSay), 7, 1);
    frame->addWidget(cboGesture, 7, 2);
    frame->addWidget(cmdPreviewGesture, 7, 3);
    frame->setColumnMinimumWidth(0, 16);
    frame->setColumnStretch(2, 1);
    return FrameWhatToSay;
}

QLayout* RuleDialog::buildButtons()
{
    cmdOK = named(new QPushButton(u"OK"_s, this), u"cmdOK"_s);
    cmdOK->setDefault(true);
    cmdCancel = named(new QPushButton(u"&Cancel"_s, this), u"cmdCancel"_s);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    return buttons;
}

void RuleDialog::connectControls()
{
    connect(cboRuleType, &QComboBox::currentIndexChanged, this, &RuleDialog::onRuleTypeChosen);
    connect(txtName, &QLineEdit::textChanged, this, &RuleDialog::UpdateControls);
    connect(optSayNothing, &QRadioButton::toggled, this, &RuleDialog::UpdateControls);
    connect(optSaySomething, &QRadioButton::toggled, this, &RuleDialog::UpdateControls);
    connect(cmdPreviewGesture, &QPushButton::clicked, this, &RuleDialog::previewGesture);
    connect(cmdBrowseRuleSound, &QPushButton::clicked, this, &RuleDialog::browseSound);
    connect(cmdOK, &QPushButton::clicked, this, &RuleDialog::confirm);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void RuleDialog::Init(Rule& Rule, IAgent* TheAgent, int Mode)
{
    m_Rule = &Rule;
    m_Agent = TheAgent;
    m_Mode = Mode;

    if (m_Agent)
        FillGestureList(cboGesture, *m_Agent);
    else {
        cboGesture->clear();
        cboGesture->addItem(u"None"_s);
    }
    // A type from a hand-edited file that names no list entry leaves the
    // list on the sender rule.
    cboRuleType->setCurrentIndex(Rule.m_Type >= 0 && Rule.m_Type < cboRuleType->count() ? Rule.m_Type : 0);
    onRuleTypeChosen();
    txtName->setText(Rule.m_Name);
    if (Rule.m_WhatToSay == u"Nothing"_s)
        optSayNothing->setChecked(true);
    else
        optSaySomething->setChecked(true);
    txtRuleSound->setText(Rule.m_SoundFile);
    txtMessage->setText(Rule.m_MyMessage);
    chkSayFrom->setChecked(Rule.m_SayFrom);
    chkSaySubject->setChecked(Rule.m_SaySubject);
    chkSayMessage->setChecked(Rule.m_SayMessage);
    const int gesture = cboGesture->findText(Rule.m_Gesture);
    cboGesture->setCurrentIndex(gesture >= 0 ? gesture : cboGesture->findText(u"None"_s));
    UpdateControls();
}

void RuleDialog::onRuleTypeChosen()
{
    const int type = cboRuleType->currentIndex();
    if (type < 0 || type > 3) return;
    lblRuleInstructions->setText(instructions[type]);
    lblRuleDescription->setText(descriptions[type]);
    txtName->setAccessibleName(AccessibleText(instructions[type]));
    txtName->setAccessibleDescription(descriptions[type]);
}

void RuleDialog::UpdateControls()
{
    cmdOK->setEnabled(!txtName->text().trimmed().isEmpty());
    const bool speaks = optSaySomething->isChecked();
    for (QWidget* w :
         std::initializer_list<QWidget*>{txtMessage, cboGesture, cmdPreviewGesture, cmdBrowseRuleSound,
                                         txtRuleSound, chkSayFrom, chkSaySubject, chkSayMessage})
        w->setEnabled(speaks);
}

void RuleDialog::previewGesture()
{
    if (m_speech) m_speech->SayAndPlay(u"New Message."_s, cboGesture->currentText(), true, true);
}

void RuleDialog::browseSound()
{
    BrowseForSound(txtRuleSound, this, m_speech);
}

void RuleDialog::confirm()
{
    // The button is off without a text; a call from code meets the same rule.
    if (!m_Rule || txtName->text().trimmed().isEmpty()) return;
    const QString sound = txtRuleSound->text().trimmed();
    if (!sound.isEmpty() && !QFileInfo(sound).isFile()) {
        Dialogs::inform(this, u"Orvella"_s,
                        u"The sound file you selected, does not exist. Please select an existing WAV file "
                        u"or leave the sound file box empty."_s,
                        QMessageBox::Information);
        // Back to the field the notice is about, not to the rule's text.
        txtRuleSound->setFocus(Qt::OtherFocusReason);
        txtRuleSound->selectAll();
        return;
    }
    Rule& rule = *m_Rule;
    rule.m_Name = txtName->text();
    rule.m_Type = cboRuleType->currentIndex();
    rule.m_WhatToSay = optSayNothing->isChecked() ? u"Nothing"_s : QString();
    rule.m_Gesture = cboGesture->currentIndex() >= 0 ? cboGesture->currentText() : u"None"_s;
    rule.m_SoundFile = sound;
    rule.m_MyMessage = txtMessage->text();
    rule.m_SayFrom = chkSayFrom->isChecked();
    rule.m_SaySubject = chkSaySubject->isChecked();
    rule.m_SayMessage = chkSayMessage->isChecked();

    // The user kept the rule already there: the text or type may be changed and OK pressed again.
    if (m_Mode == AddMode && ConfirmRuleOverwrite(m_rules, rule, this)) return;
    m_OK = true;
    accept();
}

bool RuleDialog::event(QEvent* e)
{
    // The editor opens in the field it asks for; later activations (after a
    // notice, or back from another window) keep the focus where it was.
    if (e->type() == QEvent::WindowActivate && !m_activatedOnce) {
        m_activatedOnce = true;
        txtName->setFocus(Qt::ActiveWindowFocusReason);
        txtName->selectAll();
    }
    return QDialog::event(e);
}

void RuleDialog::done(int result)
{
    m_Rule = nullptr;
    m_Agent = nullptr;
    QDialog::done(result);
}

bool RuleDialog::AddRule(const QString& address, RuleList& rules, SpeechOutput* speech, IAgent* agent,
                         QWidget* parent)
{
    Rule rule;
    rule.m_Name = address;
    RuleDialog dlg(rules, speech, parent);
    if (!address.isEmpty()) dlg.setWindowTitle(u"Add Rule for "_s + address);
    dlg.Init(rule, agent, AddMode);
    dlg.exec();
    if (!dlg.m_OK) return false;
    rules.append(rule);
    SaveRules(rules);
    return true;
}

bool ConfirmRuleOverwrite(RuleList& rules, const Rule& newRule, QWidget* parent)
{
    const qsizetype i = IndexOfSameRule(rules, newRule);
    if (i < 0) return false;
    const bool yes =
        Dialogs::askYesNo(parent, u"Rule already exists"_s,
                          u"A Rule for "_s + rules[i].m_Name +
                              u" already exists.\r\n\r\nWould you like to overwrite the current Rule?"_s,
                          QMessageBox::Information);
    if (!yes) return true;
    rules.removeAt(i);
    return false;
}

} // namespace orvella
