#include "core/AgentTrace.h"

#include "core/settings/Program.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// Started while the program's static objects are made, before main().
const QElapsedTimer& programClock()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock;
}
[[maybe_unused]] const QElapsedTimer& g_startClock = programClock();

} // namespace

qint64 AgentTrace::now()
{
    return programClock().elapsed();
}

void AgentTrace::write(const QString& kind, const QJsonValue& arg)
{
    QString path = Program().TraceFile;
    if (path.isEmpty()) path = qEnvironmentVariable("ORVELLA_TRACE");
    if (path.isEmpty()) return;
    if (path != m_path) {
        m_file.close();
        m_path = path;
        m_failed = false;
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            qWarning("Orvella: cannot write the trace file %s: %s", qPrintable(path),
                     qPrintable(m_file.errorString()));
            m_failed = true;
        }
    }
    if (m_failed) return;
    // Keys in the order people read them; QJsonDocument escapes the values.
    auto json = [](const QJsonValue& v) {
        const QByteArray a = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact);
        return a.mid(1, a.size() - 2);
    };
    const QByteArray line =
        "{\"ms\":" + QByteArray::number(now()) + ",\"kind\":" + json(kind) + ",\"arg\":" + json(arg) + "}\n";
    m_file.write(line);
    m_file.flush();
}

} // namespace orvella
