#include "ui/OptionsFiltersPage.h"

#include "rules/frmAddEditFilter.h"
#include "ui/ControlNames.h"
#include "ui/OptionsServices.h"
#include "ui/frmOptions.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

OptionsFiltersPage::OptionsFiltersPage(frmOptions& dialog) : m_dialog(dialog)
{
    setObjectName(u"pageFilters"_s);
    auto* FrameFilters = new QGroupBox(u"Filters"_s, this);
    FrameFilters->setObjectName(u"FrameFilters"_s);
    lstFilters = new QListWidget(FrameFilters);
    lstFilters->setObjectName(u"lstFilters"_s);
    lstFilters->setAccessibleName(u"Filters"_s);
    cmdAddFilter = new QPushButton(u"A&dd"_s, FrameFilters);
    cmdAddFilter->setObjectName(u"cmdAddFilter"_s);
    cmdEditFilter = new QPushButton(u"&Edit"_s, FrameFilters);
    cmdEditFilter->setObjectName(u"cmdEditFilter"_s);
    cmdRemoveFilter = new QPushButton(u"&Remove"_s, FrameFilters);
    cmdRemoveFilter->setObjectName(u"cmdRemoveFilter"_s);
    for (QPushButton* b : {cmdAddFilter, cmdEditFilter, cmdRemoveFilter})
        b->setAccessibleDescription(AccessibleText(b->text()) + u" a filter"_s);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdAddFilter);
    buttons->addWidget(cmdEditFilter);
    buttons->addWidget(cmdRemoveFilter);
    buttons->addStretch(1);
    auto* grid = new QGridLayout(FrameFilters);
    grid->addWidget(lstFilters, 0, 0);
    grid->addLayout(buttons, 0, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(FrameFilters);

    setTabOrder(lstFilters, cmdAddFilter);
    setTabOrder(cmdAddFilter, cmdEditFilter);
    setTabOrder(cmdEditFilter, cmdRemoveFilter);

    connect(cmdAddFilter, &QPushButton::clicked, this, &OptionsFiltersPage::cmdAddFilter_Click);
    connect(cmdEditFilter, &QPushButton::clicked, this, &OptionsFiltersPage::cmdEditFilter_Click);
    connect(cmdRemoveFilter, &QPushButton::clicked, this, &OptionsFiltersPage::cmdRemoveFilter_Click);
    connect(lstFilters, &QListWidget::itemDoubleClicked, this, &OptionsFiltersPage::cmdEditFilter_Click);
    connect(lstFilters, &QListWidget::currentRowChanged, this, &OptionsFiltersPage::updateButtons);
    updateButtons();
}

void OptionsFiltersPage::FillFilters(int select)
{
    {
        // Emptied for a moment, the list would turn Edit and Remove off and
        // send the focus on from them (to the next control, or out of the
        // page to the dialog's OK): the buttons follow its final state only.
        const QSignalBlocker blocker(lstFilters);
        lstFilters->clear();
        for (const CFilter& filter : m_dialog.services().filters)
            lstFilters->addItem(filter.DisplayName());
        if (select >= 0 && select < lstFilters->count()) lstFilters->setCurrentRow(select);
    }
    updateButtons();
}

void OptionsFiltersPage::updateButtons()
{
    const bool selected = lstFilters->currentRow() >= 0;
    // A button that goes off with the focus (the last entry removed) hands
    // it to the list: a second Space must not land on whatever comes next.
    // The dialog's focus widget rather than hasFocus(): just after an editor
    // closed, the dialog may not be active again yet.
    if (!selected && (window()->focusWidget() == cmdEditFilter || window()->focusWidget() == cmdRemoveFilter))
        lstFilters->setFocus(Qt::OtherFocusReason);
    cmdEditFilter->setEnabled(selected);
    cmdRemoveFilter->setEnabled(selected);
}

void OptionsFiltersPage::cmdAddFilter_Click()
{
    OptionsServices& services = m_dialog.services();
    CFilter filter;
    frmAddEditFilter dlg(this);
    dlg.setWindowTitle(u"Add Filter"_s);
    dlg.Init(filter);
    services.modalDialog.exec(dlg);
    if (!dlg.m_OK) return;
    services.filters.append(filter);
    FillFilters(int(services.filters.size()) - 1);
}

void OptionsFiltersPage::cmdEditFilter_Click()
{
    OptionsServices& services = m_dialog.services();
    const int row = lstFilters->currentRow();
    if (row < 0 || row >= services.filters.size()) return;
    frmAddEditFilter dlg(this);
    dlg.setWindowTitle(u"Edit Filter"_s);
    dlg.Init(services.filters[row]);
    services.modalDialog.exec(dlg);
    if (dlg.m_OK) FillFilters(row);
}

void OptionsFiltersPage::cmdRemoveFilter_Click()
{
    FilterList& filters = m_dialog.services().filters;
    const int row = lstFilters->currentRow();
    if (row < 0 || row >= filters.size()) return;
    filters.removeAt(row);
    FillFilters(row < filters.size() ? row : int(filters.size()) - 1);
}

} // namespace orvella
