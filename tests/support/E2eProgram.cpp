#include "support/E2eProgram.h"

#include "platform/ProfileFile.h"
#include "support/AgentEventLog.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonValue>
#include <QTest>
#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace orvella::test {

E2eProgram::E2eProgram()
{
    m_runner.useOffscreen();
    // The program folder is the runner's; the trace and the audio live beside it.
    const QString root = QFileInfo(m_runner.appPath()).absolutePath();
    m_tracePath = root + u"/trace.jsonl"_s;
    m_audioPath = root + u"/audio.wav"_s;
}

bool E2eProgram::writeSettings(const QByteArray& ini) const
{
    QDir().mkpath(m_runner.appPath());
    QFile f(file(u"Zentra.INI"_s));
    return f.open(QIODevice::WriteOnly) && f.write(ini) == ini.size();
}

bool E2eProgram::start()
{
    if (!m_runner.start({u"-AUTOSTART"_s, u"--trace"_s, m_tracePath, u"--audio-file"_s, m_audioPath}))
        return false;
    return m_runner.waitUntilListening();
}

bool E2eProgram::checkNow(int accounts, int timeoutMs)
{
    auto count = [this](const QStringList& statuses, const QString& prefix) {
        qsizetype n = 0;
        for (const QString& s : statuses)
            n += s.startsWith(prefix) ? 1 : 0;
        return n;
    };
    QStringList statuses = traced(u"status"_s);
    const qsizetype connecting = count(statuses, u"Connecting to "_s);
    const qsizetype idle = statuses.count(u"Idle."_s);
    QDeadlineTimer deadline(timeoutMs);
    bool started = false;
    while (!started && !deadline.hasExpired()) {
        // 3: the program is busy with a check or a reading and said so.
        const int code = m_runner.runSecond({u"--check-now"_s});
        if (code != 0 && code != 3) return false;
        // The first account comes half a second after the check starts.
        started = QTest::qWaitFor(
            [&] { return count(traced(u"status"_s), u"Connecting to "_s) > connecting; }, 3000);
    }
    return started &&
           QTest::qWaitFor([&] { return traced(u"status"_s).count(u"Idle."_s) >= idle + accounts; },
                           int(std::max<qint64>(deadline.remainingTime(), 1)));
}

bool E2eProgram::waitForStatus(const QString& text, int count, int timeoutMs) const
{
    return QTest::qWaitFor([&] { return traced(u"status"_s).count(text) >= count; }, timeoutMs);
}

bool E2eProgram::waitForTraced(const QString& kind, const QString& text, int timeoutMs) const
{
    return QTest::qWaitFor(
        [&] {
            const QStringList args = traced(kind);
            return std::any_of(args.begin(), args.end(), [&](const QString& a) { return a.contains(text); });
        },
        timeoutMs);
}

bool E2eProgram::exit()
{
    if (m_runner.runSecond({u"--exit"_s}) != 0) return false;
    return m_runner.waitForExit(30000) == 0;
}

QList<QJsonObject> E2eProgram::trace() const
{
    return AgentEventLog::readTrace(m_tracePath);
}

QStringList E2eProgram::traced(const QString& kind) const
{
    QStringList args;
    for (const QJsonObject& o : trace())
        if (o.value(u"kind"_s).toString() == kind) args << o.value(u"arg"_s).toString();
    return args;
}

namespace {
bool isKeyringNotice(const QString& text)
{
    return text.startsWith(u"The passwords of your mail accounts are kept in the settings file"_s);
}
} // namespace

QStringList E2eProgram::checkErrors() const
{
    QStringList errors = traced(u"error"_s);
    errors.removeIf(isKeyringNotice);
    return errors;
}

bool E2eProgram::keyringNoticeGiven() const
{
    return std::ranges::any_of(traced(u"error"_s), isKeyringNotice);
}

QStringList E2eProgram::storedMessages() const
{
    return QDir(file(u"msg"_s)).entryList({u"*.tem"_s}, QDir::Files, QDir::Name);
}

QStringList E2eProgram::identifiers(const QString& name) const
{
    QFile f(file(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(u"\r\n"_s);
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

QString E2eProgram::setting(const QString& section, const QString& key) const
{
    platform::invalidateProfileCache();
    return platform::readProfileString(file(u"Zentra.INI"_s), section, key, u"(missing)"_s);
}

} // namespace orvella::test
