#pragma once

#include "core/speech/IAgent.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace orvella::test {

// Records the events of a character, in the order they arrive, as short
// strings ("bookmark 5", "show 4", "hide 1", "command Options", "dblclick"),
// each with the AgentTrace::now() time it arrived.
class AgentEventLog : public QObject
{
    Q_OBJECT
public:
    explicit AgentEventLog(IAgent* agent);

    QStringList events() const;
    QList<int> bookmarks() const;
    // The time of the first event equal to text, or -1.
    qint64 timeOf(const QString& text) const;
    void clear() { m_events.clear(); }

    // The trace file's lines, parsed; kinds() gives "kind arg" strings.
    static QList<QJsonObject> readTrace(const QString& path);
    static QStringList kinds(const QList<QJsonObject>& lines);

private:
    void add(const QString& text);
    struct Entry
    {
        qint64 ms;
        QString text;
    };
    QList<Entry> m_events;
};

} // namespace orvella::test
