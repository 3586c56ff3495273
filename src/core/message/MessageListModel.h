#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>

namespace orvella {

class MailMessage;

// The stored messages as a list shows them, newest first: "Subject", "From"
// and "Time Stamp". An entry keeps only what the list shows and where its
// file is; the message itself is read from the file when wanted. A folder can
// hold tens of thousands of messages, so a row is one UTF-8 block of its
// texts, and the file's path is left out when it is the usual one (the
// stamp's name in the folder of the other rows).
class MessageListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { SubjectColumn = 0, FromColumn = 1, StampColumn = 2, ColumnCount = 3 };
    enum Role {
        PathRole = Qt::UserRole, // the message's file
        KeyRole,                 // its identifier (m_ID)
        StampRole,               // its time stamp; the "Time Stamp" column sorts by it
    };

    struct Entry
    {
        QString path;
        QString key;
        QString subject;
        QString from;
        QString stamp;
    };
    static Entry entryFor(const MailMessage& message);

    explicit MessageListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Puts the message on top.
    void prepend(const Entry& entry);
    // Replaces every entry; entries come newest first.
    void setEntries(QList<Entry> entries);
    void removeAt(int row);
    void clear();

    Entry entry(int row) const;
    // The row of the entry with that time stamp, or -1.
    int rowOfStamp(const QString& stamp) const;
    // The newest entry with that identifier, or -1.
    int rowOfKey(const QString& key) const;

    // The time stamp as a person reads it: the date and time of its first
    // fourteen digits in the user's short format; a stamp that is not one
    // stays as it is.
    static QString readableStamp(const QString& stamp);

private:
    // subject, from, key, stamp and (when not the usual one) the path, one
    // after another; the sizes say where each ends.
    struct Row
    {
        QByteArray text;
        qint32 subject = 0;
        qint32 from = 0;
        qint32 key = 0;
        qint32 stamp = 0;
    };
    Row rowFor(const Entry& entry);
    QByteArrayView field(const Row& row, int which) const;

    QList<Row> m_rows;
    QString m_folder; // the folder of the usual path, learnt from the first entry
};

} // namespace orvella
