#include "support/AgentEventLog.h"

#include "core/AgentTrace.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

using namespace Qt::Literals::StringLiterals;

namespace orvella::test {

AgentEventLog::AgentEventLog(IAgent* agent) : QObject(agent)
{
    connect(agent, &IAgent::Bookmark, this, [this](int id) { add(u"bookmark %1"_s.arg(id)); });
    connect(agent, &IAgent::Command, this, [this](const QString& name) { add(u"command "_s + name); });
    connect(agent, &IAgent::DblClick, this, [this] { add(u"dblclick"_s); });
    connect(agent, &IAgent::ShowEvent, this, [this](int cause) { add(u"show %1"_s.arg(cause)); });
    connect(agent, &IAgent::HideEvent, this, [this](int cause) { add(u"hide %1"_s.arg(cause)); });
}

void AgentEventLog::add(const QString& text)
{
    m_events.append({AgentTrace::now(), text});
}

QStringList AgentEventLog::events() const
{
    QStringList out;
    for (const Entry& e : m_events)
        out.append(e.text);
    return out;
}

QList<int> AgentEventLog::bookmarks() const
{
    QList<int> out;
    for (const Entry& e : m_events) {
        if (e.text.startsWith(u"bookmark "_s)) out.append(e.text.mid(9).toInt());
    }
    return out;
}

qint64 AgentEventLog::timeOf(const QString& text) const
{
    for (const Entry& e : m_events) {
        if (e.text == text) return e.ms;
    }
    return -1;
}

QList<QJsonObject> AgentEventLog::readTrace(const QString& path)
{
    QList<QJsonObject> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return out;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.isEmpty()) continue;
        QJsonParseError err;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &err);
        out.append(doc.isObject() ? doc.object() : QJsonObject{{u"invalid"_s, QString::fromUtf8(line)}});
    }
    return out;
}

QStringList AgentEventLog::kinds(const QList<QJsonObject>& lines)
{
    QStringList out;
    for (const QJsonObject& o : lines) {
        const QJsonValue arg = o.value(u"arg"_s);
        QString a;
        if (arg.isString())
            a = arg.toString();
        else if (arg.isDouble())
            a = QString::number(arg.toInteger());
        else if (arg.isBool())
            a = arg.toBool() ? u"true"_s : u"false"_s;
        else if (arg.isArray())
            a = QString::fromUtf8(QJsonDocument(arg.toArray()).toJson(QJsonDocument::Compact));
        out.append(a.isEmpty() ? o.value(u"kind"_s).toString() : o.value(u"kind"_s).toString() + u' ' + a);
    }
    return out;
}

} // namespace orvella::test
