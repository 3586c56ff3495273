#pragma once

#include <QFile>
#include <QJsonValue>
#include <QString>

namespace orvella {

// The character's trace: one JSON object per line, {"ms", "kind", "arg"}, for
// each request as it starts and each event as it fires. Written to
// Program().TraceFile, else to $ORVELLA_TRACE; nothing when neither is set.
class AgentTrace
{
public:
    void write(const QString& kind, const QJsonValue& arg = QJsonValue());
    // Milliseconds since the program started.
    static qint64 now();

private:
    QString m_path;
    QFile m_file;
    bool m_failed = false;
};

} // namespace orvella
