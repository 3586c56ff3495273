// The trace: one JSON object per line for each request as it starts and each
// event as it fires.
#include "agent/engine/AudioOutput.h"
#include "agent/view/AgentEngine.h"
#include "agent/view/CharacterWindow.h"
#include "core/settings/Program.h"
#include "support/AgentEventLog.h"

#include <QJsonArray>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using test::AgentEventLog;

class TestAgentTrace : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void cleanup()
    {
        Program().TraceFile.clear();
        qunsetenv("ORVELLA_TRACE");
    }

    void everyRequestAndEvent()
    {
        const QString path = m_dir.filePath(u"trace.jsonl"_s);
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("{\"ms\":0,\"kind\":\"earlier run\",\"arg\":null}\n");
        }
        Program().TraceFile = path;
        AgentEngine agent;
        QVERIFY(agent.Load(u"EMailAgent"_s, QStringLiteral(ORVELLA_SOURCE_CHARACTER)));
        agent.AddCommand(u"Options"_s, u"&Options"_s);
        // Quotes, backslashes, a line break, accents, an emoji and tags: all
        // must come back exactly as they were passed.
        const QString text =
            u"\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\Say \"hi\" to C:\\temp\r\nNaïve 😀\\Mrk=12\\"_s;
        agent.MoveTo(20, 30);
        agent.Show(true);
        agent.Play(u"Wave"_s);
        agent.Speak(text);
        agent.Think(u"Hmm."_s);
        agent.SpeakFile(m_dir.filePath(u"missing.wav"_s));
        QVERIFY(QTest::qWaitFor([&] { return !agent.isBusy(); }, 20000));
        std::unique_ptr<QMenu> menu(agent.createMenu());
        menu->actions().first()->trigger();
        QTest::mouseDClick(agent.characterWindow(), Qt::LeftButton, {}, QPoint(60, 60));
        agent.Speak(u"A long sentence, to be stopped before it is done."_s);
        QVERIFY(QTest::qWaitFor([&] { return agent.audioOutput()->playing(); }, 2000));
        agent.Stop();
        agent.StopAll();
        // Written at once: the line is in the file as soon as the call returns.
        QCOMPARE(AgentEventLog::kinds(AgentEventLog::readTrace(path)).last(), u"stopall"_s);
        agent.Hide(true);
        QVERIFY(QTest::qWaitFor([&] { return !agent.isBusy(); }, 5000));

        const QList<QJsonObject> lines = AgentEventLog::readTrace(path);
        QCOMPARE(AgentEventLog::kinds(lines),
                 (QStringList{u"earlier run"_s, u"move [20,30]"_s, u"show true"_s, u"shown 4"_s,
                              u"play Wave"_s, u"speak "_s + text, u"bookmark 12"_s, u"think Hmm."_s,
                              u"sound "_s + m_dir.filePath(u"missing.wav"_s), u"command Options"_s,
                              u"dblclick"_s, u"speak A long sentence, to be stopped before it is done."_s,
                              u"stop"_s, u"stopall"_s, u"hide true"_s, u"hidden 3"_s}));
        qint64 last = 0;
        for (const QJsonObject& o : lines) {
            QCOMPARE(o.keys(), (QStringList{u"arg"_s, u"kind"_s, u"ms"_s}));
            QVERIFY(o.value(u"ms"_s).isDouble());
            QVERIFY(o.value(u"ms"_s).toInteger() >= last);
            last = o.value(u"ms"_s).toInteger();
        }
        QCOMPARE(lines.at(5).value(u"arg"_s).toString(), text);
        QCOMPARE(lines.at(6).value(u"arg"_s).toInt(), 12);
        QCOMPARE(lines.at(3).value(u"arg"_s).toInt(), 4);
        // Each line reads "ms", "kind", "arg" in that order.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QList<QByteArray> raw = f.readAll().split('\n');
        QVERIFY(raw.at(1).startsWith("{\"ms\":"));
        QVERIFY(raw.at(1).contains(",\"kind\":\"move\",\"arg\":[20,30]}"));
    }

    void fromTheEnvironment()
    {
        const QString fromEnv = m_dir.filePath(u"env.jsonl"_s);
        const QString fromProgram = m_dir.filePath(u"program.jsonl"_s);
        qputenv("ORVELLA_TRACE", QFile::encodeName(fromEnv));
        AgentEngine agent;
        agent.Speak(u"\\Mrk=1\\"_s);
        QVERIFY(QTest::qWaitFor([&] { return !agent.isBusy(); }, 5000));
        QCOMPARE(AgentEventLog::kinds(AgentEventLog::readTrace(fromEnv)),
                 (QStringList{u"speak \\Mrk=1\\"_s, u"bookmark 1"_s}));
        // The program's own setting wins over the environment.
        Program().TraceFile = fromProgram;
        agent.StopAll();
        QCOMPARE(AgentEventLog::kinds(AgentEventLog::readTrace(fromProgram)), (QStringList{u"stopall"_s}));
        QCOMPARE(AgentEventLog::readTrace(fromEnv).size(), 2);
    }

    void unwritableTrace()
    {
        Program().TraceFile = m_dir.filePath(u"no/such/folder/trace.jsonl"_s);
        AgentEngine agent;
        test::AgentEventLog log(&agent);
        agent.Speak(u"\\Mrk=3\\"_s);
        QVERIFY(QTest::qWaitFor([&] { return !agent.isBusy(); }, 5000));
        QCOMPARE(log.bookmarks(), (QList<int>{3}));
    }
};

QTEST_MAIN(TestAgentTrace)
#include "tst_AgentTrace.moc"
