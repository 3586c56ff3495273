#include "ui/OptionsRulesPage.h"

#include "rules/frmAddEditRule.h"
#include "settings/CSettings.h"
#include "ui/ControlNames.h"
#include "ui/OptionsServices.h"
#include "ui/frmOptions.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

OptionsRulesPage::OptionsRulesPage(frmOptions& dialog) : m_dialog(dialog)
{
    setObjectName(u"pageRules"_s);
    auto* FrameRules = new QGroupBox(u"Rules"_s, this);
    FrameRules->setObjectName(u"FrameRules"_s);
    lstRules = new QListWidget(FrameRules);
    lstRules->setObjectName(u"lstRules"_s);
    lstRules->setAccessibleName(u"Rules"_s);
    cmdAddRule = new QPushButton(u"A&dd"_s, FrameRules);
    cmdAddRule->setObjectName(u"cmdAddRule"_s);
    cmdEditRule = new QPushButton(u"&Edit"_s, FrameRules);
    cmdEditRule->setObjectName(u"cmdEditRule"_s);
    cmdRemoveRule = new QPushButton(u"&Remove"_s, FrameRules);
    cmdRemoveRule->setObjectName(u"cmdRemoveRule"_s);
    chkSpecifySenders =
        new QCheckBox(u"Read only me&ssages, that match one of the above rules."_s, FrameRules);
    chkSpecifySenders->setObjectName(u"chkSpecifySenders"_s);
    for (QPushButton* b : {cmdAddRule, cmdEditRule, cmdRemoveRule})
        b->setAccessibleDescription(AccessibleText(b->text()) + u" a rule"_s);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdAddRule);
    buttons->addWidget(cmdEditRule);
    buttons->addWidget(cmdRemoveRule);
    buttons->addStretch(1);
    auto* grid = new QGridLayout(FrameRules);
    grid->addWidget(lstRules, 0, 0);
    grid->addLayout(buttons, 0, 1);
    grid->addWidget(chkSpecifySenders, 1, 0, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FrameRules);

    setTabOrder(lstRules, cmdAddRule);
    setTabOrder(cmdAddRule, cmdEditRule);
    setTabOrder(cmdEditRule, cmdRemoveRule);
    setTabOrder(cmdRemoveRule, chkSpecifySenders);

    connect(cmdAddRule, &QPushButton::clicked, this, &OptionsRulesPage::cmdAddRule_Click);
    connect(cmdEditRule, &QPushButton::clicked, this, &OptionsRulesPage::cmdEditRule_Click);
    connect(cmdRemoveRule, &QPushButton::clicked, this, &OptionsRulesPage::cmdRemoveRule_Click);
    connect(lstRules, &QListWidget::itemDoubleClicked, this, &OptionsRulesPage::cmdEditRule_Click);
    connect(lstRules, &QListWidget::currentRowChanged, this, &OptionsRulesPage::updateButtons);
    updateButtons();
}

void OptionsRulesPage::FillRules(int select)
{
    {
        // Emptied for a moment, the list would turn Edit and Remove off and
        // send the focus on from them (to the next control, or out of the
        // page to the dialog's OK): the buttons follow its final state only.
        const QSignalBlocker blocker(lstRules);
        lstRules->clear();
        for (const CRule& rule : m_dialog.services().rules)
            lstRules->addItem(rule.DisplayName());
        if (select >= 0 && select < lstRules->count()) lstRules->setCurrentRow(select);
    }
    updateButtons();
}

void OptionsRulesPage::InitValues()
{
    chkSpecifySenders->setChecked(m_dialog.services().settings.m_SpecifySenders);
}

void OptionsRulesPage::WriteBack()
{
    m_dialog.services().settings.m_SpecifySenders = chkSpecifySenders->isChecked();
}

void OptionsRulesPage::updateButtons()
{
    const bool selected = lstRules->currentRow() >= 0;
    // A button that goes off with the focus (the last entry removed) hands
    // it to the list: a second Space must not land on whatever comes next.
    // The dialog's focus widget rather than hasFocus(): just after an editor
    // closed, the dialog may not be active again yet.
    if (!selected && (window()->focusWidget() == cmdEditRule || window()->focusWidget() == cmdRemoveRule))
        lstRules->setFocus(Qt::OtherFocusReason);
    cmdEditRule->setEnabled(selected);
    cmdRemoveRule->setEnabled(selected);
}

void OptionsRulesPage::cmdAddRule_Click()
{
    OptionsServices& services = m_dialog.services();
    CRule rule;
    frmAddEditRule dlg(services.rules, services.speech, this);
    dlg.setWindowTitle(u"Add Rule"_s);
    dlg.Init(rule, services.agent, frmAddEditRule::AddMode);
    services.modalDialog.exec(dlg);
    if (!dlg.m_OK) return;
    services.rules.append(rule);
    FillRules(int(services.rules.size()) - 1);
}

void OptionsRulesPage::cmdEditRule_Click()
{
    OptionsServices& services = m_dialog.services();
    const int row = lstRules->currentRow();
    if (row < 0 || row >= services.rules.size()) return;
    CRule& rule = services.rules[row];
    frmAddEditRule dlg(services.rules, services.speech, this);
    dlg.setWindowTitle(u"Edit Rule for "_s + rule.m_Name);
    dlg.Init(rule, services.agent, frmAddEditRule::EditMode);
    services.modalDialog.exec(dlg);
    if (dlg.m_OK) FillRules(row);
}

void OptionsRulesPage::cmdRemoveRule_Click()
{
    RuleList& rules = m_dialog.services().rules;
    const int row = lstRules->currentRow();
    if (row < 0 || row >= rules.size()) return;
    rules.removeAt(row);
    FillRules(row < rules.size() ? row : int(rules.size()) - 1);
}

} // namespace orvella
