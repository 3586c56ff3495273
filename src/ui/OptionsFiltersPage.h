#pragma once

#include <QWidget>

class QListWidget;
class QPushButton;

namespace orvella {

class frmOptions;

// Page "Filters": the program's filter list, edited in place through the filter editor.
class OptionsFiltersPage : public QWidget
{
    Q_OBJECT
public:
    explicit OptionsFiltersPage(frmOptions& dialog);

    QListWidget* lstFilters = nullptr;
    QPushButton* cmdAddFilter = nullptr;
    QPushButton* cmdEditFilter = nullptr;
    QPushButton* cmdRemoveFilter = nullptr;

    // One entry a filter, in list order; the entry at select is selected.
    void FillFilters(int select = -1);

    void cmdAddFilter_Click();
    void cmdEditFilter_Click();
    void cmdRemoveFilter_Click();

private:
    void updateButtons();
    frmOptions& m_dialog;
};

} // namespace orvella
