// The real program's memory at rest with a full message folder and its main
// window on the screen, beside a bare Qt window measured in the same run.
//
//   bench_memory [--messages N] [--settle S] [--program PATH] [--keep DIR]
//
// Runs on the X server in DISPLAY, or starts its own Xvfb when there is none.
// The program gets a fresh program folder holding N stored messages (10,000
// by default) and a settings file that never checks mail. It starts hidden in
// the tray (-AUTOSTART); a second start ("--show") opens the main window,
// whose message list shows every message. After S seconds (5 by default)
// without a word spoken, its resident set (RSS), proportional set (PSS: the
// libraries it shares counted in part) and anonymous memory (its own heap and
// stacks) are read from /proc/PID/smaps_rollup. The same program with no
// message at all tells the message list's share. --keep DIR leaves the
// program folder with the messages there (for heaptrack and the like).
#include "BenchSupport.h"
#include "core/message/MailMessage.h"
#include "core/settings/Program.h"
#include "support/ProgramRunner.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <unistd.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

using bench::pause;
using bench::readProc;
double fieldMB(const QByteArray& text, const QByteArray& key)
{
    return double(bench::procField(text, key)) / 1024.0;
}

struct Memory
{
    double rss = 0;
    double pss = 0;
    double anon = 0;
};

Memory readMemory(qint64 pid)
{
    const QByteArray rollup = readProc(u"/proc/%1/smaps_rollup"_s.arg(pid));
    return {fieldMB(rollup, "Rss"), fieldMB(rollup, "Pss"), fieldMB(rollup, "Anonymous")};
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Messages as a check stores them: the headers the list shows and the first
// twenty lines of the text.
void writeMessages(const QString& appPath, int count)
{
    Program().AppPath = appPath;
    for (int i = 0; i < count; ++i) {
        MailMessage m = bench::sampleMessage(i);
        m.m_FullTo = u"Reader <reader@example.com>"_s;
        m.Save();
    }
}

std::optional<Memory> measureBareWindow(int settleMs)
{
    std::fprintf(stderr, "bare window...\n");
    QProcess p;
    p.start(QStringLiteral(ORVELLA_BARE_WINDOW), QStringList{});
    if (!p.waitForStarted(10000)) return std::nullopt;
    pause(settleMs);
    const Memory m = readMemory(p.processId());
    p.kill();
    p.waitForFinished(5000);
    return m;
}

std::optional<Memory> measureProgram(const QString& program, const QString& messages, int count, int settleMs,
                                     const QString& keep)
{
    std::fprintf(stderr, "orvella, main window shown, %d messages...\n", count);
    test::ProgramRunner runner;
    runner.setEnv(u"PULSE_SERVER"_s, runner.runtimeDir() + u"/no-sound-server"_s);
    const QString app = keep.isEmpty() ? runner.appPath() : keep;
    QDir().mkpath(app + u"/msg"_s);
    writeFile(
        app + u"/Zentra.INI"_s,
        "[General]\r\nDontCheck=Yes\r\nShowTips=No\r\nSayTime=No\r\n[Character]\r\nWelcomeGesture=None\r\n"
        "[Account]\r\nConnectionType=2\r\n");
    const QStringList names = QDir(messages).entryList(QDir::Files, QDir::Name).mid(0, count);
    for (const QString& n : names)
        QFile::copy(messages + u'/' + n, app + u"/msg/"_s + n);
    if (!keep.isEmpty()) return Memory{};

    QProcess p;
    p.setProcessEnvironment(runner.environment());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, {u"-AUTOSTART"_s, u"-D"_s, app});
    if (!p.waitForStarted(10000) || !runner.waitUntilListening(60000)) {
        std::printf("the program did not start:\n%s\n", p.readAll().constData());
        return std::nullopt;
    }
    auto second = [&](const QString& command) {
        QProcess s;
        s.setProcessEnvironment(runner.environment());
        s.start(program, {command});
        s.waitForFinished(20000);
    };
    second(u"--show"_s);
    pause(settleMs);
    const Memory m = readMemory(p.processId());
    second(u"--exit"_s);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished(5000);
    }
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    bench::reexecUnderXvfb(argc, argv);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({u"messages"_s, u"Stored messages."_s, u"N"_s, u"10000"_s});
    parser.addOption({u"settle"_s, u"Seconds of rest before the reading."_s, u"S"_s, u"5"_s});
    parser.addOption({u"program"_s, u"The program to measure (another build of it)."_s, u"path"_s,
                      QStringLiteral(ORVELLA_BINARY)});
    parser.addOption({u"keep"_s, u"Only write the program folder with the messages to DIR."_s, u"DIR"_s});
    parser.process(app);
    const int count = qMax(0, parser.value(u"messages"_s).toInt());
    const int settleMs = qMax(1, parser.value(u"settle"_s).toInt()) * 1000;
    const QString program = parser.value(u"program"_s);

    QTemporaryDir work;
    std::fprintf(stderr, "writing %d messages...\n", count);
    writeMessages(work.filePath(u"template"_s), count);
    const QString messages = work.filePath(u"template/msg"_s);
    if (parser.isSet(u"keep"_s)) {
        measureProgram(program, messages, count, settleMs, parser.value(u"keep"_s));
        return 0;
    }

    const auto bare = measureBareWindow(settleMs);
    const auto full = measureProgram(program, messages, count, settleMs, {});
    const auto empty = measureProgram(program, messages, 0, settleMs, {});
    if (!bare || !full || !empty) return 1;

    std::printf("\nMemory at rest, main window shown, MB (the bare Qt window is the reference)\n");
    std::printf("  %-34s %8s %8s %8s %8s %10s %8s\n", "", "RSS", "ratio", "PSS", "ratio", "anonymous",
                "ratio");
    auto row = [&](const QString& what, const Memory& m) {
        std::printf("  %-34s %8.1f %7.2fx %8.1f %7.2fx %10.1f %7.2fx\n", qPrintable(what), m.rss,
                    m.rss / bare->rss, m.pss, m.pss / bare->pss, m.anon, m.anon / bare->anon);
    };
    row(u"bare Qt window"_s, *bare);
    row(u"orvella, %1 messages"_s.arg(count), *full);
    row(u"orvella, no messages"_s, *empty);
    std::printf("  %-34s %8.1f %8s %8.1f %8s %10.1f\n", "  the message list's share", full->rss - empty->rss,
                "", full->pss - empty->pss, "", full->anon - empty->anon);
    std::printf("  goal: the program with %d messages at most 2x the bare window's RSS (%.1f MB)\n", count,
                2 * bare->rss);
    return 0;
}
