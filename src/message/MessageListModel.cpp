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
    return {message.Path(), message.m_ID, message.m_Subject, message.Sender(), message.m_TimeStamp};
}

MessageListModel::MessageListModel(QObject* parent) : QAbstractTableModel(parent)
{
}

namespace {
enum Field { Subject, From, Key, Stamp, Path };
const QLatin1StringView FileSuffix(".tem");
} // namespace

MessageListModel::Row MessageListModel::rowFor(const Entry& entry)
{
    // Rows kept before the folder was learnt hold their whole path, so the
    // folder, once learnt, never changes what an earlier row names.
    if (m_folder.isEmpty() && !entry.stamp.isEmpty() &&
        entry.path.size() > entry.stamp.size() + FileSuffix.size() &&
        entry.path.endsWith(entry.stamp + FileSuffix))
        m_folder = entry.path.chopped(entry.stamp.size() + FileSuffix.size());
    const bool usualPath = !m_folder.isEmpty() && !entry.stamp.isEmpty() &&
                           entry.path.size() == m_folder.size() + entry.stamp.size() + FileSuffix.size() &&
                           entry.path.startsWith(m_folder) && entry.path.endsWith(FileSuffix) &&
                           QStringView(entry.path).mid(m_folder.size(), entry.stamp.size()) == entry.stamp;
    Row row;
    const QByteArray subject = entry.subject.toUtf8(), from = entry.from.toUtf8(), key = entry.key.toUtf8(),
                     stamp = entry.stamp.toUtf8(), path = usualPath ? QByteArray() : entry.path.toUtf8();
    row.subject = qint32(subject.size());
    row.from = qint32(from.size());
    row.key = qint32(key.size());
    row.stamp = qint32(stamp.size());
    row.text.reserve(subject.size() + from.size() + key.size() + stamp.size() + path.size());
    row.text.append(subject).append(from).append(key).append(stamp).append(path);
    return row;
}

QByteArrayView MessageListModel::field(const Row& row, int which) const
{
    const qint32 sizes[] = {row.subject, row.from, row.key, row.stamp};
    qsizetype start = 0;
    for (int i = 0; i < which; ++i)
        start += sizes[i];
    const qsizetype size = which < Path ? sizes[which] : row.text.size() - start;
    return QByteArrayView(row.text.constData() + start, size);
}

MessageListModel::Entry MessageListModel::entry(int row) const
{
    const Row& r = m_rows.at(row);
    Entry e{{},
            QString::fromUtf8(field(r, Key)),
            QString::fromUtf8(field(r, Subject)),
            QString::fromUtf8(field(r, From)),
            QString::fromUtf8(field(r, Stamp))};
    const QByteArrayView path = field(r, Path);
    e.path = path.isEmpty() ? m_folder + e.stamp + FileSuffix : QString::fromUtf8(path);
    return e;
}

int MessageListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int MessageListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MessageListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) return {};
    const Row& r = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        switch (index.column()) {
        case SubjectColumn:
            return QString::fromUtf8(field(r, Subject));
        case FromColumn:
            return QString::fromUtf8(field(r, From));
        default:
            return readableStamp(QString::fromUtf8(field(r, Stamp)));
        }
    case Qt::ToolTipRole:
        return index.column() == SubjectColumn ? QVariant(QString::fromUtf8(field(r, Subject))) : QVariant();
    case Qt::DecorationRole:
        return index.column() == SubjectColumn ? QVariant(messageIcon()) : QVariant();
    case PathRole:
        return entry(index.row()).path;
    case KeyRole:
        return QString::fromUtf8(field(r, Key));
    case StampRole:
        return QString::fromUtf8(field(r, Stamp));
    default:
        return {};
    }
}

QVariant MessageListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
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
    Row row = rowFor(entry);
    beginInsertRows({}, 0, 0);
    m_rows.prepend(std::move(row));
    endInsertRows();
}

void MessageListModel::setEntries(QList<Entry> entries)
{
    beginResetModel();
    m_rows.clear();
    m_folder.clear();
    QList<Row> rows;
    rows.reserve(entries.size());
    for (const Entry& e : std::as_const(entries))
        rows.append(rowFor(e));
    m_rows = std::move(rows);
    endResetModel();
}

void MessageListModel::removeAt(int row)
{
    if (row < 0 || row >= m_rows.size()) return;
    beginRemoveRows({}, row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

void MessageListModel::clear()
{
    setEntries({});
}

int MessageListModel::rowOfStamp(const QString& stamp) const
{
    const QByteArray wanted = stamp.toUtf8();
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        if (field(m_rows[i], Stamp) == wanted) return int(i);
    return -1;
}

int MessageListModel::rowOfKey(const QString& key) const
{
    const QByteArray wanted = key.toUtf8();
    for (qsizetype i = 0; i < m_rows.size(); ++i)
        if (field(m_rows[i], Key) == wanted) return int(i);
    return -1;
}

QString MessageListModel::readableStamp(const QString& stamp)
{
    const QDateTime at = QDateTime::fromString(stamp.left(14), u"yyyyMMddHHmmss"_s);
    if (stamp.size() < 14 || !at.isValid()) return stamp;
    return QLocale().toString(at, QLocale::ShortFormat);
}

} // namespace orvella
