#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <memory>

namespace orvella {

class Reminder;
class ReminderSet;

// The reminder list lvReminders over the reminder set: a row per reminder in
// the set's order, with the columns "Reminder", "When", "Enabled" and a fourth,
// hidden one whose text sorts in time order. The rows read the reminders
// themselves; the changes that add, delete or alter reminders go through here
// so the views hear of them.
class ReminderListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { ColReminder = 0, ColWhen = 1, ColEnabled = 2, ColSortedWhen = 3, ColumnCount = 4 };
    // The reminder's identity, on every cell of its row.
    static constexpr int IdRole = Qt::UserRole;

    explicit ReminderListModel(QObject* parent = nullptr);

    // Shows the reminders of set (LoadReminderList); null empties the list.
    void setReminderSet(ReminderSet* set);
    ReminderSet* reminderSet() const { return m_set; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    Reminder* reminderAt(int row) const;
    // The row of the reminder with that identity, or -1.
    int rowOf(const QString& UniqueID) const;

    // Appends a saved reminder to the set and the list (AddReminderToList).
    // The row, or -1 when the set refused it.
    int addReminder(std::unique_ptr<Reminder> reminder);
    // Deletes the reminder and its files and drops its row.
    void deleteReminder(const QString& UniqueID);
    // The reminder's row shows it anew (FillReminderItem).
    void reminderChanged(const QString& UniqueID);
    // Every row shows its reminder anew (RefreshReminderList).
    void refreshAll();

private:
    ReminderSet* m_set = nullptr;
    QIcon m_enabledIcon;
    QIcon m_disabledIcon;
};

} // namespace orvella
