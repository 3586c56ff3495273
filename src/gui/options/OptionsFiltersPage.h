#pragma once

#include <QWidget>

class QListWidget;
class QPushButton;

namespace orvella {

class OptionsDialog;

// Page "Filters": the program's filter list, edited in place through the filter editor.
class OptionsFiltersPage : public QWidget
{
    Q_OBJECT
public:
    explicit OptionsFiltersPage(OptionsDialog& dialog);

    QListWidget* lstFilters = nullptr;
    QPushButton* cmdAddFilter = nullptr;
    QPushButton* cmdEditFilter = nullptr;
    QPushButton* cmdRemoveFilter = nullptr;

    // One entry a filter, in list order; the entry at select is selected.
    void FillFilters(int select = -1);

    void addFilter();
    void editFilter();
    void removeFilter();

private:
    void updateButtons();
    OptionsDialog& m_dialog;
};

} // namespace orvella
