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

    // One entry a filter, in list order; the entry at select is selected.
    void FillFilters(int select = -1);

    void addFilter();
    void editFilter();
    void removeFilter();

private:
    void updateButtons();
    OptionsDialog& m_dialog;

private:
    // A page is part of its window, which reads and fills its controls.
    friend class OptionsDialog;
    // Its controls, found by tests and screen readers through their object names.
    QListWidget* lstFilters = nullptr;
    QPushButton* cmdAddFilter = nullptr;
    QPushButton* cmdEditFilter = nullptr;
    QPushButton* cmdRemoveFilter = nullptr;
};

} // namespace orvella
