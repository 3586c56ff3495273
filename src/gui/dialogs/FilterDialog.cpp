#include "gui/dialogs/FilterDialog.h"
#include "gui/widgets/StayAboveCharacter.h"

#include "gui/widgets/ControlNames.h"
#include "gui/widgets/FieldFilter.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

FilterDialog::FilterDialog(QWidget* parent) : QDialog(parent)
{
    StayAboveCharacter(this);
    setObjectName(u"frmAddEditFilter"_s);
    setWindowTitle(u"Add Filter"_s);

    cboFilterType = new QComboBox(this);
    cboFilterType->setObjectName(u"cboFilterType"_s);
    cboFilterType->addItems(
        {u"Don't read lines that start with..."_s, u"Read the message until you reach..."_s});
    txtName = new QLineEdit(this);
    txtName->setObjectName(u"txtName"_s);
    lblFilterInstructions = FieldLabel(u"&The following text..."_s, txtName, this);
    lblFilterInstructions->setObjectName(u"lblFilterInstructions"_s);

    cmdOK = new QPushButton(u"OK"_s, this);
    cmdOK->setObjectName(u"cmdOK"_s);
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(u"&Cancel"_s, this);
    cmdCancel->setObjectName(u"cmdCancel"_s);

    auto* grid = new QGridLayout;
    grid->addWidget(FieldLabel(u"Filter T&ype"_s, cboFilterType, this), 0, 0);
    grid->addWidget(cboFilterType, 0, 1);
    grid->addWidget(lblFilterInstructions, 1, 0, 1, 2);
    grid->addWidget(txtName, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    setTabOrder(cboFilterType, txtName);
    setTabOrder(txtName, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    FieldFilter::install(txtName, FieldFilter::SelectAllOnFocus);
    NameControls(this);

    connect(cmdOK, &QPushButton::clicked, this, &FilterDialog::confirm);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void FilterDialog::Init(Filter& filter)
{
    m_Filter = &filter;
    cboFilterType->setCurrentIndex(filter.m_Type == 1 ? 1 : 0);
    txtName->setText(filter.m_Name);
}

void FilterDialog::confirm()
{
    // Blanks alone would filter every blank line or cut at the first word gap.
    if (!m_Filter || txtName->text().trimmed().isEmpty()) return;
    m_OK = true;
    m_Filter->m_Name = txtName->text();
    m_Filter->m_Type = cboFilterType->currentIndex();
    accept();
}

bool FilterDialog::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate) {
        txtName->setFocus(Qt::ActiveWindowFocusReason);
        txtName->selectAll();
    }
    return QDialog::event(e);
}

void FilterDialog::done(int result)
{
    m_Filter = nullptr;
    QDialog::done(result);
}

} // namespace orvella
