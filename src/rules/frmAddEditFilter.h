#pragma once

#include "rules/CFilter.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvella {

// Edits one filter. OK writes the text and type into the filter it was given
// and sets m_OK; the caller adds a new filter to its list and saves the list.
class frmAddEditFilter : public QDialog
{
    Q_OBJECT
public:
    explicit frmAddEditFilter(QWidget* parent = nullptr);

    void Init(CFilter& Filter);

    bool m_OK = false;

    QComboBox* cboFilterType = nullptr;
    QLabel* lblFilterInstructions = nullptr;
    QLineEdit* txtName = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

    void cmdOK_Click();

protected:
    bool event(QEvent* e) override;
    void done(int result) override;

private:
    CFilter* m_Filter = nullptr;
};

} // namespace orvella
