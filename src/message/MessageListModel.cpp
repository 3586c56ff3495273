#include "message/MessageListModel.h"

#include "message/CMessage.h"

#include <QDateTime>
#include <QFile>
#include <QIcon>
#include <QLocale>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// An envelope: the desktop theme's, else the program's own tray envelope
// (when the resources are linked in).
const QIcon& messageIcon()
{
    static const QIcon icon = [] {
        QIcon i = QIcon::fromTheme(u"mail-unread"_s);
        if (i.isNull() && QFile::exists(u":/icons/tray-default.svg"_s))
            i = QIcon(u":/icons/tray-default.svg"_s);
        return i;
    }();
    return icon;
}

} // namespace

MessageListModel::Entry MessageListModel::entryFor(const CMessage& message)
{
    return {message.Path(), message.m_ID, message.m_Subject, message.From(), message.m_TimeStamp};
}

MessageListModel::MessageListModel(QObject* parent) : QAbstractTableModel(parent) {}

int MessageListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

int MessageListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MessageListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Entry& e = m_entries.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        switch (index.column()) {
        case SubjectColumn:
            return e.subject;
        case FromColumn:
            return e.from;
        default:
            return readableStamp(e.stamp);
        }
    case Qt::ToolTipRole:
        return index.column() == SubjectColumn ? QVariant(e.subject) : QVariant();
    case Qt::DecorationRole:
        return index.column() == SubjectColumn ? QVariant(messageIcon()) : QVariant();
    case PathRole:
        return e.path;
    case KeyRole:
        return e.key;
    case StampRole:
        return e.stamp;
    default:
        return {};
    }
}

QVariant MessageListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case SubjectColumn:
        return u"Subject"_s;
    case FromColumn:
        return u"From"_s;
    case StampColumn:
        return u"Time Stamp"_s;
    default:
        return {};
    }
}

void MessageListModel::prepend(const Entry& entry)
{
    beginInsertRows({}, 0, 0);
    m_entries.prepend(entry);
    endInsertRows();
}

void MessageListModel::setEntries(QList<Entry> entries)
{
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

void MessageListModel::removeAt(int row)
{
    if (row < 0 || row >= m_entries.size())
        return;
    beginRemoveRows({}, row, row);
    m_entries.removeAt(row);
    endRemoveRows();
}

void MessageListModel::clear()
{
    setEntries({});
}

int MessageListModel::rowOfStamp(const QString& stamp) const
{
    for (qsizetype i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].stamp == stamp)
            return int(i);
    return -1;
}

int MessageListModel::rowOfKey(const QString& key) const
{
    for (qsizetype i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].key == key)
            return int(i);
    return -1;
}

QString MessageListModel::readableStamp(const QString& stamp)
{
    const QDateTime at = QDateTime::fromString(stamp.left(14), u"yyyyMMddHHmmss"_s);
    if (stamp.size() < 14 || !at.isValid())
        return stamp;
    return QLocale().toString(at, QLocale::ShortFormat);
}

} // namespace orvella
