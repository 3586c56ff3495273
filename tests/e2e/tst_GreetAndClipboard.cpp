#include "support/ProgramRunner.h"
#include "support/TraceFile.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella::test;

namespace {

// Presses Return in the notice window once it is up, as a user closes it.
bool closeNotice(const QString& title, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QProcess search;
        search.start(u"xdotool"_s, {u"search"_s, u"--name"_s, u'^' + title + u'$'});
        search.waitForFinished(5000);
        if (search.exitCode() == 0 && !search.readAllStandardOutput().trimmed().isEmpty()) {
            QTest::qWait(300);
            return QProcess::execute(u"xdotool"_s, {u"key"_s, u"Return"_s}) == 0;
        }
        QTest::qWait(200);
    }
    return false;
}

} // namespace

// A start with no account given yet (the wizard was left at its connection
// choice): the character greets the user; then a second start hands over
// --read-clipboard and the clipboard's text is read.
class tst_GreetAndClipboard : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void greetThenReadClipboard();
};

void tst_GreetAndClipboard::greetThenReadClipboard()
{
    ProgramRunner runner;
    const QString trace = runner.file(u"../trace.jsonl"_s);
    const QString wav = runner.file(u"../audio.wav"_s);
    {
        QFile ini(runner.file(u"Zentra.INI"_s));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Account]\r\nConnectionType=2\r\n");
    }
    QVERIFY(runner.start({u"--trace"_s, trace, u"--audio-file"_s, wav}));
    QVERIFY2(runner.waitUntilListening(), runner.output().constData());

    // No account yet: the start-up notice says so and the user closes it.
    QVERIFY(closeNotice(u"Orvella Message"_s, 30000));

    TraceFile t(trace);
    const qsizetype hello = t.waitFor(u"speak"_s, u"Hello"_s, 60000);
    QVERIFY2(hello >= 0, qPrintable(TraceFile::dump(t.read())));
    QVERIFY(t.waitFor(u"hidden"_s, {}, 30000, hello) > hello);

    // This test owns the clipboard; it keeps answering while the program reads it.
    const QString clip = u"Reading the clipboard works fine."_s;
    QGuiApplication::clipboard()->setText(clip);
    QProcess second;
    second.setProcessEnvironment(runner.environment());
    second.start(QStringLiteral(ORVELLA_BINARY), {u"--read-clipboard"_s});
    QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
    QCOMPARE(second.exitCode(), 0);
    const qsizetype read = t.waitFor(u"speak"_s, clip, 60000, hello);
    QVERIFY2(read > hello, qPrintable(TraceFile::dump(t.read())));
    QVERIFY(t.waitFor(u"hidden"_s, {}, 60000, read) > read);

    QCOMPARE(runner.runSecond({u"--exit"_s}), 0);
    QCOMPARE(runner.waitForExit(30000), 0);

    const QList<TraceEntry> entries = t.read();
    // The greeting: shown, the gesture "Greet", then "Hello ..." with the voice tags.
    const qsizetype greet = TraceFile::find(entries, u"play"_s, u"Greet"_s);
    QVERIFY(greet >= 0 && greet < hello);
    QVERIFY(TraceFile::find(entries, u"show"_s) < greet);
    QVERIFY(entries[hello].text().startsWith(u"\\Pit=50\\\\Spd=150\\\\Chr=\"Normal\"\\Hello"_s));
    // The clipboard: the gesture "Read" and the text, after the greeting.
    const qsizetype readGesture = TraceFile::find(entries, u"play"_s, u"Read"_s, hello);
    QVERIFY(readGesture > hello && readGesture < read);

    // The audio file holds speech: much of it well above silence.
    const WavSamples audio = readWav(wav);
    QCOMPARE(audio.rate, 22050);
    QVERIFY2(audio.seconds() > 2.0, qPrintable(QString::number(audio.seconds())));
    QVERIFY2(audio.voicedFraction() > 0.3, qPrintable(QString::number(audio.voicedFraction())));
}

QTEST_MAIN(tst_GreetAndClipboard)
#include "tst_GreetAndClipboard.moc"
