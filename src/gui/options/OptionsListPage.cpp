#include "gui/options/OptionsListPage.h"

#include "core/settings/Settings.h"
#include "gui/dialogs/FilterDialog.h"
#include "gui/dialogs/RuleDialog.h"
#include "gui/options/OptionsDialog.h"
#include "gui/options/OptionsServices.h"
#include "gui/widgets/ControlNames.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

template <class Item> class ListOf : public EditedList
{
public:
    explicit ListOf(QList<Item>& list) : m_items(list) {}
    qsizetype size() const override { return m_items.size(); }
    QString displayName(qsizetype row) const override { return m_items[row].DisplayName(); }
    void remove(qsizetype row) override { m_items.removeAt(row); }

protected:
    QList<Item>& m_items;
};

class EditedRules : public ListOf<Rule>
{
public:
    explicit EditedRules(OptionsServices& services) : ListOf(services.rules), m_services(services) {}

    bool add(QWidget* parent) override
    {
        Rule rule;
        // The editor may remove a rule the new one replaces, so it works on the list itself.
        RuleDialog dlg(m_items, m_services.speech, parent);
        dlg.setWindowTitle(u"Add Rule"_s);
        dlg.Init(rule, m_services.agent, RuleDialog::AddMode);
        dlg.exec();
        if (!dlg.m_OK) return false;
        m_items.append(rule);
        return true;
    }

    bool edit(qsizetype row, QWidget* parent) override
    {
        Rule& rule = m_items[row];
        RuleDialog dlg(m_items, m_services.speech, parent);
        dlg.setWindowTitle(u"Edit Rule for "_s + rule.m_Name);
        dlg.Init(rule, m_services.agent, RuleDialog::EditMode);
        dlg.exec();
        return dlg.m_OK;
    }

private:
    OptionsServices& m_services;
};

class EditedFilters : public ListOf<Filter>
{
public:
    using ListOf::ListOf;

    bool add(QWidget* parent) override
    {
        Filter filter;
        FilterDialog dlg(parent);
        dlg.setWindowTitle(u"Add Filter"_s);
        dlg.Init(filter);
        dlg.exec();
        if (!dlg.m_OK) return false;
        m_items.append(filter);
        return true;
    }

    bool edit(qsizetype row, QWidget* parent) override
    {
        FilterDialog dlg(parent);
        dlg.setWindowTitle(u"Edit Filter"_s);
        dlg.Init(m_items[row]);
        dlg.exec();
        return dlg.m_OK;
    }
};

} // namespace

OptionsListPage* OptionsListPage::rules(OptionsDialog& dialog)
{
    OptionsServices& services = dialog.services();
    return new OptionsListPage(
        {.page = u"pageRules"_s,
         .frame = u"FrameRules"_s,
         .caption = u"Rules"_s,
         .list = u"lstRules"_s,
         .add = u"cmdAddRule"_s,
         .edit = u"cmdEditRule"_s,
         .remove = u"cmdRemoveRule"_s,
         .entry = u"a rule"_s,
         .option = u"chkSpecifySenders"_s,
         .optionCaption = u"Read only me&ssages, that match one of the above rules."_s},
        std::make_unique<EditedRules>(services), &services.settings.m_SpecifySenders);
}

OptionsListPage* OptionsListPage::filters(OptionsDialog& dialog)
{
    return new OptionsListPage({.page = u"pageFilters"_s,
                                .frame = u"FrameFilters"_s,
                                .caption = u"Filters"_s,
                                .list = u"lstFilters"_s,
                                .add = u"cmdAddFilter"_s,
                                .edit = u"cmdEditFilter"_s,
                                .remove = u"cmdRemoveFilter"_s,
                                .entry = u"a filter"_s},
                               std::make_unique<EditedFilters>(dialog.services().filters));
}

OptionsListPage::OptionsListPage(const Names& names, std::unique_ptr<EditedList> list, bool* option)
    : m_list(std::move(list)), m_option(option)
{
    setObjectName(names.page);
    auto* frame = new QGroupBox(names.caption, this);
    frame->setObjectName(names.frame);
    lstEntries = new QListWidget(frame);
    lstEntries->setObjectName(names.list);
    lstEntries->setAccessibleName(names.caption);
    cmdAdd = new QPushButton(u"A&dd"_s, frame);
    cmdAdd->setObjectName(names.add);
    cmdEdit = new QPushButton(u"&Edit"_s, frame);
    cmdEdit->setObjectName(names.edit);
    cmdRemove = new QPushButton(u"&Remove"_s, frame);
    cmdRemove->setObjectName(names.remove);
    for (QPushButton* b : {cmdAdd, cmdEdit, cmdRemove})
        b->setAccessibleDescription(AccessibleText(b->text()) + u' ' + names.entry);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdAdd);
    buttons->addWidget(cmdEdit);
    buttons->addWidget(cmdRemove);
    buttons->addStretch(1);
    auto* grid = new QGridLayout(frame);
    grid->addWidget(lstEntries, 0, 0);
    grid->addLayout(buttons, 0, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);

    setTabOrder(lstEntries, cmdAdd);
    setTabOrder(cmdAdd, cmdEdit);
    setTabOrder(cmdEdit, cmdRemove);
    if (m_option) {
        chkOption = new QCheckBox(names.optionCaption, frame);
        chkOption->setObjectName(names.option);
        grid->addWidget(chkOption, 1, 0, 1, 2);
        setTabOrder(cmdRemove, chkOption);
    }

    connect(cmdAdd, &QPushButton::clicked, this, &OptionsListPage::addEntry);
    connect(cmdEdit, &QPushButton::clicked, this, &OptionsListPage::editEntry);
    connect(cmdRemove, &QPushButton::clicked, this, &OptionsListPage::removeEntry);
    connect(lstEntries, &QListWidget::itemDoubleClicked, this, &OptionsListPage::editEntry);
    connect(lstEntries, &QListWidget::currentRowChanged, this, &OptionsListPage::updateButtons);
    updateButtons();
}

OptionsListPage::~OptionsListPage() = default;

void OptionsListPage::FillList(int select)
{
    {
        // Emptied for a moment, the list would turn Edit and Remove off and
        // send the focus on from them (to the next control, or out of the
        // page to the dialog's OK): the buttons follow its final state only.
        const QSignalBlocker blocker(lstEntries);
        lstEntries->clear();
        for (qsizetype i = 0; i < m_list->size(); ++i)
            lstEntries->addItem(m_list->displayName(i));
        if (select >= 0 && select < lstEntries->count()) lstEntries->setCurrentRow(select);
    }
    updateButtons();
}

void OptionsListPage::InitValues()
{
    if (m_option) chkOption->setChecked(*m_option);
}

void OptionsListPage::WriteBack()
{
    if (m_option) *m_option = chkOption->isChecked();
}

void OptionsListPage::updateButtons()
{
    const bool selected = lstEntries->currentRow() >= 0;
    // A button that goes off with the focus (the last entry removed) hands
    // it to the list: a second Space must not land on whatever comes next.
    // The dialog's focus widget rather than hasFocus(): just after an editor
    // closed, the dialog may not be active again yet.
    if (!selected && (window()->focusWidget() == cmdEdit || window()->focusWidget() == cmdRemove))
        lstEntries->setFocus(Qt::OtherFocusReason);
    cmdEdit->setEnabled(selected);
    cmdRemove->setEnabled(selected);
}

void OptionsListPage::addEntry()
{
    if (m_list->add(this)) FillList(int(m_list->size()) - 1);
}

void OptionsListPage::editEntry()
{
    const int row = lstEntries->currentRow();
    if (row < 0 || row >= m_list->size()) return;
    if (m_list->edit(row, this)) FillList(row);
}

void OptionsListPage::removeEntry()
{
    const int row = lstEntries->currentRow();
    if (row < 0 || row >= m_list->size()) return;
    m_list->remove(row);
    const int size = int(m_list->size());
    FillList(row < size ? row : size - 1);
}

} // namespace orvella
