#pragma once

#include <QWidget>

class QCheckBox;
class QListWidget;
class QPushButton;

namespace orvella {

class OptionsDialog;

// Page "Rules": the program's rule list, edited in place through the rule editor.
class OptionsRulesPage : public QWidget
{
    Q_OBJECT
public:
    explicit OptionsRulesPage(OptionsDialog& dialog);

    // One entry a rule, in list order; the entry at select is selected.
    void FillRules(int select = -1);
    void InitValues();
    void WriteBack();

    void addRule();
    void editRule();
    void removeRule();

private:
    void updateButtons();
    OptionsDialog& m_dialog;

private:
    // A page is part of its window, which reads and fills its controls.
    friend class OptionsDialog;
    // Its controls, found by tests and screen readers through their object names.
    QListWidget* lstRules = nullptr;
    QPushButton* cmdAddRule = nullptr;
    QPushButton* cmdEditRule = nullptr;
    QPushButton* cmdRemoveRule = nullptr;
    QCheckBox* chkSpecifySenders = nullptr;
};

} // namespace orvella
