#include "core/reminders/ReminderListModel.h"

#include "core/reminders/ReminderSet.h"
#include "core/settings/IniValues.h"

using namespace Qt::Literals::StringLiterals;

namespace orvella {

ReminderListModel::ReminderListModel(QObject* parent) : QAbstractTableModel(parent)
{
}

void ReminderListModel::setReminderSet(ReminderSet* set)
{
    beginResetModel();
    m_set = set;
    endResetModel();
}

int ReminderListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !m_set ? 0 : m_set->Count();
}

int ReminderListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

Reminder* ReminderListModel::reminderAt(int row) const
{
    return m_set ? m_set->GetAt(row + 1) : nullptr;
}

int ReminderListModel::rowOf(const QString& UniqueID) const
{
    return m_set ? m_set->IndexOf(UniqueID) : -1;
}

QVariant ReminderListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    Reminder* r = reminderAt(index.row());
    if (!r) return {};
    if (role == IdRole) return r->m_UniqueID;
    if (role == EnabledRole) return r->m_Enabled;
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    switch (index.column()) {
    case ColReminder: {
        // One line per row: the line breaks of the text show as blanks.
        QString name = r->DisplayName();
        name.replace(u"\r\n"_s, u" "_s);
        name.replace(u'\n', u' ');
        name.replace(u'\r', u' ');
        return name;
    }
    case ColWhen:
        return r->FormatedWhen();
    case ColEnabled:
        return YesNo(r->m_Enabled);
    case ColSortedWhen:
        return r->SortedWhen();
    default:
        return {};
    }
}

QVariant ReminderListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case ColReminder:
        return u"Reminder"_s;
    case ColWhen:
        return u"When"_s;
    case ColEnabled:
        return u"Enabled"_s;
    case ColSortedWhen:
        return QString();
    default:
        return {};
    }
}

int ReminderListModel::addReminder(std::unique_ptr<Reminder> reminder)
{
    if (!m_set || !reminder || reminder->m_UniqueID.isEmpty() || m_set->GetReminder(reminder->m_UniqueID))
        return -1;
    const int row = m_set->Count();
    beginInsertRows(QModelIndex(), row, row);
    m_set->Add(std::move(reminder));
    endInsertRows();
    return row;
}

void ReminderListModel::deleteReminder(const QString& UniqueID)
{
    const int row = rowOf(UniqueID);
    if (row < 0) return;
    beginRemoveRows(QModelIndex(), row, row);
    m_set->Delete(UniqueID);
    endRemoveRows();
}

void ReminderListModel::reminderChanged(const QString& UniqueID)
{
    const int row = rowOf(UniqueID);
    if (row >= 0) Q_EMIT dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void ReminderListModel::refreshAll()
{
    if (rowCount() > 0) Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1));
}

} // namespace orvella
