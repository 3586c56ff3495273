#pragma once

#include <QWidget>
#include <functional>

class QCheckBox;
class QPushButton;
class QSortFilterProxyModel;
class QTreeView;

namespace orvella {

class Reminder;
class ReminderSet;
class Settings;
class IAgent;
class ReminderListModel;
class SpeechOutput;

// The main window's Reminders page: the reminder list lvReminders, the check
// box "Enable reminders" and the buttons that add, read, disable or enable,
// edit and delete reminders. The page is built with the window and attached
// to the program's objects once they exist.
class RemindersPage : public QWidget
{
    Q_OBJECT
public:
    explicit RemindersPage(QWidget* parent = nullptr);
    ~RemindersPage() override;

    // Shows the reminders of set and takes the other objects the commands
    // use; fills the list (LoadReminderList). speech and agent may be null.
    void Attach(ReminderSet& set, Settings& settings, SpeechOutput* speech, const IAgent* agent);
    // Lets go of them all before they are released; the list empties.
    void Detach();

    // Told (true, then false) around every modal dialog the page opens, so
    // that no reminder alerts while the editor holds one.

    void LoadReminderList();
    // Every entry shows its reminder anew; after a minute check moved due times.
    void RefreshReminderList();
    void SetReminderUIState();
    // The box shows the setting; the main window calls this after loading and
    // whenever another control changed the setting.
    void ApplySetting();

    void onEnableRemindersToggled(bool checked);
    void addReminder();
    void editReminder();
    void toggleReminder();
    void readReminder();
    void deleteReminder();
    // Sorts by the clicked column; "When" sorts by the hidden sortable column.
    void onColumnClicked(int column);

    // The selected entry's reminder, or null.
    Reminder* selectedReminder() const;
    ReminderListModel* model() const { return m_model; }
    QSortFilterProxyModel* sortedModel() const { return m_sorted; }
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

Q_SIGNALS:
    // The user ticked or cleared "Enable reminders"; the setting is already changed.
    void enableRemindersClicked(bool checked);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Shows the editor modally for reminder; true when the user pressed OK.
    bool runEditor(Reminder& reminder, const QString& caption);
    void selectRow(int sourceRow);
    void selectCurrentEntry();
    void saveOrTell(Reminder& reminder, bool includeContents);
    void setColumnWidths();

    ReminderListModel* m_model = nullptr;
    QSortFilterProxyModel* m_sorted = nullptr;
    ReminderSet* m_set = nullptr;
    Settings* m_settings = nullptr;
    SpeechOutput* m_speech = nullptr;
    const IAgent* m_agent = nullptr;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;

private:
    // A page is part of its window, which reads and fills its controls.
    friend class MainWindow;
    // Its controls, found by tests and screen readers through their object names.
    QTreeView* lvReminders = nullptr;
    QCheckBox* chkEnableReminders = nullptr;
    QPushButton* cmdAddReminder = nullptr;
    QPushButton* cmdEditReminder = nullptr;
    QPushButton* cmdReadReminder = nullptr;
    QPushButton* cmdEDReminder = nullptr;
    QPushButton* cmdDeleteReminder = nullptr;
};

} // namespace orvella
