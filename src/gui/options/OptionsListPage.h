#pragma once

#include <QWidget>
#include <memory>

class QCheckBox;
class QListWidget;
class QPushButton;

namespace orvella {

class OptionsDialog;

// The list a list page edits, in place, through the editor of its entries.
class EditedList
{
public:
    virtual ~EditedList() = default;
    virtual qsizetype size() const = 0;
    virtual QString displayName(qsizetype row) const = 0;
    // Opens the editor on a new entry; true when the user confirmed it and
    // it joined the end of the list.
    virtual bool add(QWidget* parent) = 0;
    // Opens the editor on the entry at row; true when the user confirmed.
    virtual bool edit(qsizetype row, QWidget* parent) = 0;
    virtual void remove(qsizetype row) = 0;
};

// Pages "Rules" and "Filters": a list of the program's rules or filters with
// Add, Edit and Remove, edited in place through the rule or filter editor;
// the rules page also holds the box that reads only messages a rule matches.
class OptionsListPage : public QWidget
{
    Q_OBJECT
public:
    // The object names and captions that tell one list page from another.
    struct Names
    {
        QString page;  // the page's object name
        QString frame; // the group box around the list and its caption
        QString caption;
        QString list; // the list's object name; its accessible name is the caption
        QString add;  // the buttons' object names
        QString edit;
        QString remove;
        QString entry;  // "a rule": the buttons' descriptions end with it
        QString option; // a check box under the list: its object name and caption
        QString optionCaption;
    };

    // option, when not null, is the setting the check box shows and sets.
    OptionsListPage(const Names& names, std::unique_ptr<EditedList> list, bool* option = nullptr);
    ~OptionsListPage() override;

    // The pages of the options dialog, editing its rules and its filters.
    static OptionsListPage* rules(OptionsDialog& dialog);
    static OptionsListPage* filters(OptionsDialog& dialog);

    // One entry a list item, in list order; the entry at select is selected.
    void FillList(int select = -1);
    void InitValues();
    void WriteBack();

    void addEntry();
    void editEntry();
    void removeEntry();

private:
    void updateButtons();

    std::unique_ptr<EditedList> m_list;
    bool* m_option;

private:
    // Its controls, found by tests and screen readers through their object names
    // (lstRules, cmdAddRule, ... and lstFilters, cmdAddFilter, ...).
    QListWidget* lstEntries = nullptr;
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdEdit = nullptr;
    QPushButton* cmdRemove = nullptr;
    QCheckBox* chkOption = nullptr;
};

} // namespace orvella
