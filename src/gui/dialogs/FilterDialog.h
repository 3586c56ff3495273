#pragma once

#include "core/rules/Filter.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvella {

// Edits one filter. OK writes the text and type into the filter it was given
// and sets m_OK; the caller adds a new filter to its list and saves the list.
class FilterDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FilterDialog(QWidget* parent = nullptr);

    void Init(Filter& filter);

    bool m_OK = false;

    void confirm();

protected:
    bool event(QEvent* e) override;
    void done(int result) override;

private:
    Filter* m_Filter = nullptr;

private:
    // Its controls, found by tests and screen readers through their object names.
    QComboBox* cboFilterType = nullptr;
    QLabel* lblFilterInstructions = nullptr;
    QLineEdit* txtName = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;
};

} // namespace orvella
