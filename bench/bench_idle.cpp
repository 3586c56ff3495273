// The real program standing idle: how often it wakes and how much memory it
// holds, each figure beside a bare Qt window measured in the same run.
//
//   bench_idle [--seconds N] [--messages N] [--threads] [--program PATH]
//
// Runs on the X server in DISPLAY, or starts its own Xvfb when there is none.
// The program gets a private PulseAudio with a null sink (when pulseaudio is
// installed), a fresh program folder holding N stored messages (10,000 by
// default) and a settings file that never checks mail. It starts hidden in
// the tray (-AUTOSTART); a second start makes it read the clipboard aloud,
// which shows the character. Once it is done speaking, nothing more happens:
//   shown   the character stays on the screen ("Hide=No"), playing its idle
//           animations now and then;
//   hidden  the character went away after speaking ("Hide=Yes").
// A wake-up is a voluntary context switch of any of the program's threads
// (a thread that slept and was woken), summed from /proc/PID/task/*/status
// over the interval. Memory is the resident set (RSS) and its anonymous part
// (the process's own heap and stacks, against the libraries it maps) from
// /proc/PID/smaps_rollup at the end of it. The message list's share is the
// difference between the program with and without the messages. --threads
// lists the wake-ups per thread.
#include "BenchSupport.h"
#include "core/message/MailMessage.h"
#include "core/settings/Program.h"
#include "support/ProgramRunner.h"
#include "support/TraceFile.h"

#include <QApplication>
#include <QClipboard>
#include <QCommandLineParser>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

using bench::pause;
using bench::readProc;
qint64 field(const QByteArray& text, const QByteArray& key)
{
    return bench::procField(text, key);
}

struct Threads
{
    QMap<QString, qint64> voluntary; // by "tid name"
    qint64 total() const
    {
        qint64 n = 0;
        for (qint64 v : voluntary)
            n += v;
        return n;
    }
};

Threads readThreads(qint64 pid)
{
    Threads t;
    const QString base = u"/proc/%1/task"_s.arg(pid);
    for (const QString& tid : QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray status = readProc(base + u'/' + tid + u"/status"_s);
        const QString name = QString::fromUtf8(readProc(base + u'/' + tid + u"/comm"_s).trimmed());
        t.voluntary.insert(tid + u' ' + name, field(status, "voluntary_ctxt_switches"));
    }
    return t;
}

double cpuSeconds(qint64 pid)
{
    // Fields 14 and 15 (utime, stime) follow the command name in parentheses.
    const QByteArray stat = readProc(u"/proc/%1/stat"_s.arg(pid));
    const QList<QByteArray> f = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13) return 0;
    return double(f.at(11).toLongLong() + f.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

struct Figures
{
    double wakeups = 0; // per second
    double cpuMsPerMinute = 0;
    double rssMB = 0;
    double anonMB = 0;
    QMap<QString, double> perThread;
};

Figures measure(qint64 pid, int seconds)
{
    const Threads before = readThreads(pid);
    const double cpuBefore = cpuSeconds(pid);
    pause(seconds * 1000);
    const Threads after = readThreads(pid);
    Figures f;
    // A thread that ended meanwhile took its count along: never below zero.
    for (auto it = after.voluntary.cbegin(); it != after.voluntary.cend(); ++it)
        f.perThread.insert(it.key(),
                           double(qMax<qint64>(0, it.value() - before.voluntary.value(it.key()))) / seconds);
    f.wakeups = 0;
    for (double v : std::as_const(f.perThread))
        f.wakeups += v;
    f.cpuMsPerMinute = (cpuSeconds(pid) - cpuBefore) * 1000.0 * 60.0 / seconds;
    const QByteArray rollup = readProc(u"/proc/%1/smaps_rollup"_s.arg(pid));
    f.rssMB = double(field(rollup, "Rss")) / 1024.0;
    f.anonMB = double(field(rollup, "Anonymous")) / 1024.0;
    return f;
}

// Total wake-ups of the process over ms.
qint64 wakeupsOver(qint64 pid, int ms)
{
    const qint64 before = readThreads(pid).total();
    pause(ms);
    return readThreads(pid).total() - before;
}

struct Options
{
    int seconds = 120;
    int messages = 10000;
    bool threads = false;
    QString program = QStringLiteral(ORVELLA_BINARY);
    QString pulseServer; // empty: none, so speech runs on the silent clock
    QString messageTemplate;
};

void printThreads(const Options& o, const Figures& f)
{
    if (!o.threads) return;
    for (auto it = f.perThread.cbegin(); it != f.perThread.cend(); ++it) {
        if (it.value() > 0) std::printf("      %-32s %7.2f/s\n", qPrintable(it.key()), it.value());
    }
}

// The bare window, shown or hidden.
std::optional<Figures> measureBareWindow(const Options& o, bool hidden)
{
    std::fprintf(stderr, "bare window, %s...\n", hidden ? "hidden" : "shown");
    QProcess p;
    p.start(QStringLiteral(ORVELLA_BARE_WINDOW), hidden ? QStringList{u"--hidden"_s} : QStringList{});
    if (!p.waitForStarted(10000)) {
        std::printf("the bare window program did not start\n");
        return std::nullopt;
    }
    pause(3000);
    const Figures f = measure(p.processId(), o.seconds);
    p.kill();
    p.waitForFinished(5000);
    return f;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// The program, idle after reading the clipboard, with or without its
// character shown; seconds 0 measures its memory only, after a moment.
std::optional<Figures> measureProgram(const Options& o, bool shown, int messages, int seconds)
{
    std::fprintf(stderr, "orvella, character %s, %d messages...\n", shown ? "shown" : "hidden", messages);
    test::ProgramRunner runner;
    runner.setEnv(u"PULSE_SERVER"_s,
                  o.pulseServer.isEmpty() ? runner.runtimeDir() + u"/no-sound-server"_s : o.pulseServer);
    const QString app = runner.appPath();
    // A set-up program: a missing connection type would open the wizard.
    const QByteArray general =
        "[Account]\r\nConnectionType=2\r\n[General]\r\nDontCheck=Yes\r\nShowTips=No\r\n";
    writeFile(app + u"/Zentra.INI"_s,
              general + (shown ? "[Character]\r\nHide=No\r\n" : "[Character]\r\nHide=Yes\r\n"));
    if (messages > 0) {
        QDir().mkpath(app + u"/msg"_s);
        const QStringList names = QDir(o.messageTemplate).entryList(QDir::Files, QDir::Name).mid(0, messages);
        for (const QString& n : names)
            QFile::copy(o.messageTemplate + u'/' + n, app + u"/msg/"_s + n);
    }
    const QString tracePath = QFileInfo(app).absolutePath() + u"/trace.jsonl"_s;
    const test::TraceFile trace(tracePath);
    // Started here rather than by the runner, so --program can name another build.
    auto second = [&](const QString& command) {
        QProcess p;
        p.setProcessEnvironment(runner.environment());
        p.start(o.program, {command});
        QDeadlineTimer done(20000);
        while (p.state() != QProcess::NotRunning && !done.hasExpired())
            pause(50); // the clipboard is served meanwhile
    };
    QProcess program;
    program.setProcessEnvironment(runner.environment());
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(o.program, {u"-AUTOSTART"_s, u"--trace"_s, tracePath, u"-D"_s, app});
    if (!program.waitForStarted(10000) || !runner.waitUntilListening(60000)) {
        std::printf("the program did not start:\n%s\n", program.readAll().constData());
        return std::nullopt;
    }
    const qint64 pid = program.processId();

    QGuiApplication::clipboard()->setText(u"Hello, this is the clipboard."_s);
    second(u"--read-clipboard"_s);
    if (trace.waitFor(u"speak"_s, {}, 30000) < 0) {
        std::printf("the program did not speak:\n%s\n", qPrintable(test::TraceFile::dump(trace.read())));
        return std::nullopt;
    }
    if (!shown && trace.waitFor(u"hidden"_s, {}, 60000) < 0) {
        std::printf("the character did not hide after speaking\n");
        return std::nullopt;
    }
    // Done speaking: the audio ticks stop. The first idle animation comes
    // seconds later, so a quiet second marks the end of the speech.
    QDeadlineTimer quiet(60000);
    while (!quiet.hasExpired() && wakeupsOver(pid, 1000) > 20) {
    }
    pause(2000);

    const Figures f = measure(pid, seconds > 0 ? seconds : 20);
    second(u"--exit"_s);
    // waitForFinished is false for a program that has ended already.
    const bool ended = program.state() == QProcess::NotRunning || program.waitForFinished(20000);
    if (!ended || program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0) {
        std::printf("(the program did not end cleanly: exit code %d)\n%s\n", program.exitCode(),
                    program.readAll().right(4000).constData());
        program.kill();
        program.waitForFinished(5000);
    }
    return f;
}

bool startPulse(const QString& dir, Options& o)
{
    if (QStandardPaths::findExecutable(u"pulseaudio"_s).isEmpty()) return false;
    QProcess p;
    p.start(QStringLiteral(ORVELLA_TEST_SCRIPTS_DIR "/pulse-start.sh"), {dir});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) return false;
    o.pulseServer = u"unix:"_s + dir + u"/runtime/pulse/native"_s;
    return true;
}

void stopPulse(const QString& dir)
{
    QProcess::execute(QStringLiteral(ORVELLA_TEST_SCRIPTS_DIR "/pulse-stop.sh"), {dir});
}

void writeMessages(const QString& appPath, int count)
{
    Program().AppPath = appPath;
    for (int i = 0; i < count; ++i)
        bench::sampleMessage(i).Save();
}

double ratio(double a, double b)
{
    return b > 0 ? a / b : 0;
}

} // namespace

int main(int argc, char** argv)
{
    bench::reexecUnderXvfb(argc, argv);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({u"seconds"_s, u"Length of each measurement of wake-ups."_s, u"N"_s, u"120"_s});
    parser.addOption({u"messages"_s, u"Stored messages."_s, u"N"_s, u"10000"_s});
    parser.addOption({u"threads"_s, u"Wake-ups per thread."_s});
    parser.addOption({u"program"_s, u"The program to measure (another build of it)."_s, u"path"_s,
                      QStringLiteral(ORVELLA_BINARY)});
    parser.process(app);
    Options o;
    o.seconds = qMax(10, parser.value(u"seconds"_s).toInt());
    o.messages = qMax(0, parser.value(u"messages"_s).toInt());
    o.threads = parser.isSet(u"threads"_s);
    o.program = parser.value(u"program"_s);

    QTemporaryDir work;
    const QString pulseDir = work.filePath(u"pulse"_s);
    const bool pulse = startPulse(pulseDir, o);
    o.messageTemplate = work.filePath(u"template/msg"_s);
    writeMessages(work.filePath(u"template"_s), o.messages);

    const auto bare = measureBareWindow(o, false);
    const auto bareHidden = measureBareWindow(o, true);
    const auto shown = measureProgram(o, true, o.messages, o.seconds);
    const auto hidden = measureProgram(o, false, o.messages, o.seconds);
    const auto empty = o.messages > 0 ? measureProgram(o, true, 0, 0) : shown;
    if (pulse) stopPulse(pulseDir);
    if (!bare || !bareHidden || !shown || !hidden || !empty) return 1;

    std::printf("sound: %s; %d stored messages\n\n",
                pulse ? "a private PulseAudio with a null sink" : "none (the silent clock)", o.messages);
    std::printf("Idle wake-ups per second (all threads, over %d s)\n", o.seconds);
    std::printf("  %-26s %9s %12s %14s   %s\n", "", "orvella", "bare window", "over window", "goal");
    auto wakeups = [&](const char* what, const Figures& f, const Figures& ref, const char* goal) {
        std::printf("  %-26s %9.2f %12.2f %+13.2f/s   %s\n", what, f.wakeups, ref.wakeups,
                    f.wakeups - ref.wakeups, goal);
        printThreads(o, f);
    };
    wakeups("character shown", *shown, *bare, "at most 1/s");
    wakeups("character hidden", *hidden, *bareHidden, "the minute tick: 0.02/s");
    std::printf("  %-26s %9.1f %12.1f   CPU ms a minute, character shown\n", "", shown->cpuMsPerMinute,
                bare->cpuMsPerMinute);

    std::printf("\nMemory at idle, MB (the bare window, shown, is the reference)\n");
    std::printf("  %-36s %8s %8s %10s %8s\n", "", "RSS", "ratio", "anonymous", "ratio");
    auto memory = [&](const QString& what, const Figures& f) {
        std::printf("  %-36s %8.1f %7.2fx %10.1f %7.2fx\n", qPrintable(what), f.rssMB,
                    ratio(f.rssMB, bare->rssMB), f.anonMB, ratio(f.anonMB, bare->anonMB));
    };
    memory(u"bare Qt window"_s, *bare);
    memory(u"orvella, shown, %1 messages"_s.arg(o.messages), *shown);
    memory(u"orvella, hidden, %1 messages"_s.arg(o.messages), *hidden);
    if (o.messages > 0) {
        memory(u"orvella, shown, no messages"_s, *empty);
        std::printf("  %-36s %8.1f %8s %10.1f\n", "  the message list's share", shown->rssMB - empty->rssMB,
                    "", shown->anonMB - empty->anonMB);
    }
    std::printf("  goal: the whole program at most 2x the bare window's RSS (%.1f MB)\n", 2 * bare->rssMB);
    return 0;
}
