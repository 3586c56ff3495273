// The first check of a new account, the whole program at work: the real
// orvella, started with a fresh program folder whose one account points at a
// private Dovecot holding N messages, told "--check-now" by a second start,
// timed until its status bar says "Idle.". Beside it, in the same run and on
// the same mailbox, two Debian POP3 clients fetch every whole message:
// fetchmail (into a batch SMTP file) and mpop (into an mbox). Each figure is
// the median of the runs, and a ratio to fetchmail's.
//
//   bench_first_check [--messages N] [--runs R] [--dovecot DIR] [--maker PATH]
//
// Without --dovecot it starts its own instance with tests/scripts/dovecot-start.sh
// (needs root, like the tests) and stops it at the end. The mailbox comes from
// the POP3 harness's make-mailbox.py (--maker, or ORVELLA_MAILBOX_MAKER):
// realistic mail with encoded headers, quoted-printable and base64 parts, HTML,
// a few large attachments. Without it, plain generated messages are used.
//
// Rows for the program:
//   connect to Idle.  from "Connecting to" to "Idle." on the program's own
//                     clock: log on, retrieve, decode, store, log off; the same
//                     work as a client's whole run
//   command to Idle.  from the "--check-now" start to "Idle.", so with the
//                     half second the check waits before its first account
//   start to Idle.    the whole process, its start-up included
// CPU is the program's user + system time from its start to "Idle.". The
// program keeps a file per message; "the same message files, written bare" is
// what creating and writing files of those sizes costs on this file system
// with nothing else to do (one syncfs at the end), so the share of the file
// system in the program's figure can be seen: on ext4 a folder that just lost
// many files makes each new one slow to create.
#include "BenchSupport.h"
#include "core/mail/Account.h"
#include "support/DovecotFixture.h"
#include "support/ProgramRunner.h"
#include "support/TraceFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <list>
#include <unistd.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;
using namespace orvella::test;

namespace {

const QString User = u"pop3bench"_s;

bool writeFile(const QString& path, const QByteArray& data, QFile::Permissions permissions = {})
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) return false;
    f.close();
    return permissions == QFile::Permissions{} || f.setPermissions(permissions);
}

double median(std::vector<double> v)
{
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double cpuSeconds(qint64 pid)
{
    QFile f(u"/proc/%1/stat"_s.arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray stat = f.readAll();
    // Fields 14 and 15 (utime, stime) follow the command name in parentheses.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

QByteArray plainMessage(int n)
{
    const QByteArray num = QByteArray::number(n);
    QByteArray m = "From: Sender " + QByteArray::number(n % 97) + " <sender" + QByteArray::number(n % 97) +
                   "@example.test>\nTo: Reader <reader@example.test>\nSubject: Message " + num +
                   "\nDate: Mon, 1 Jan 2024 10:00:00 +0000\nMessage-ID: <first" + num +
                   "@example.test>\nContent-Type: text/plain; charset=utf-8\n\n";
    for (int i = 1; i <= 60; ++i)
        m += "Line " + QByteArray::number(i) + " of message " + num + ": the quick brown fox jumps again.\n";
    return m;
}

// Fills the mailbox; false when it could not.
bool fillMailbox(const DovecotFixture& d, int count, const QString& maker)
{
    if (!d.clear(User)) return false;
    if (!maker.isEmpty()) {
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(u"python3"_s, {maker, d.maildir(User), QString::number(count), u"--seed"_s, u"1"_s});
        if (!p.waitForFinished(300000) || p.exitCode() != 0) return false;
        std::printf("mailbox: %s", p.readAllStandardOutput().constData());
        return true;
    }
    QList<QByteArray> messages;
    for (int n = 1; n <= count; ++n)
        messages.append(plainMessage(n));
    std::printf("mailbox: %d generated plain messages (make-mailbox.py not found; see --maker)\n", count);
    return d.deliver(User, messages);
}

struct ProgramRun
{
    double connectToIdle = -1; // s
    double commandToIdle = -1;
    double startToIdle = -1;
    double cpu = -1;
    int stored = 0;
    QList<qint64> sizes; // of the stored files
    QString error;
};

// Every run's folders stay until the end: on ext4 without a journal, a file
// created just after many were deleted waits while the allocator steps over
// their inodes, which would charge one run's clean-up to the next.
std::list<ProgramRunner> keptRunners;
std::list<QTemporaryDir> keptDirs;

ProgramRun runProgram(const DovecotFixture& d)
{
    ProgramRun r;
    ProgramRunner& runner = keptRunners.emplace_back();
    runner.useOffscreen();
    // No sound server: speech runs on its silent clock.
    runner.setEnv(u"PULSE_SERVER"_s, runner.runtimeDir() + u"/no-sound-server"_s);
    const QByteArray ini = "[Account]\r\nConnectionType=2\r\nPOPServer=" + d.host.toLatin1() +
                           "\r\nAccountName=" + User.toLatin1() +
                           "\r\nPassword=" + Account::Scramble(d.password(User)).toLatin1() +
                           "\r\nPort=" + QByteArray::number(d.pop3Port) +
                           "\r\nSecurity=None\r\n[General]\r\nDontCheck=Yes\r\nSayTime=No\r\nShowTips=No\r\n"
                           "[Character]\r\nWelcomeGesture=None\r\n";
    if (!writeFile(runner.file(u"Zentra.INI"_s), ini)) {
        r.error = u"cannot write the settings"_s;
        return r;
    }
    const QString tracePath = QFileInfo(runner.appPath()).absolutePath() + u"/trace.jsonl"_s;
    const TraceFile trace(tracePath);

    QElapsedTimer wall;
    wall.start();
    if (!runner.start({u"-AUTOSTART"_s, u"--trace"_s, tracePath}) || !runner.waitUntilListening(60000)) {
        r.error = u"the program did not start: "_s + QString::fromLocal8Bit(runner.output());
        return r;
    }
    const qint64 pid = runner.process().processId();
    const qint64 commandAt = wall.nsecsElapsed();
    const int code = runner.runSecond({u"--check-now"_s});
    if (code != 0) {
        r.error = u"--check-now answered %1"_s.arg(code);
        return r;
    }
    // Polled often, so the wall figure is off by a few milliseconds at most.
    QDeadlineTimer deadline(300000);
    qsizetype idle = -1;
    QList<TraceEntry> entries;
    while (idle < 0 && !deadline.hasExpired()) {
        QThread::msleep(5);
        entries = trace.read();
        idle = TraceFile::find(entries, u"status"_s, u"Idle."_s);
    }
    const qint64 idleAt = wall.nsecsElapsed();
    r.cpu = cpuSeconds(pid);
    const qsizetype connecting = TraceFile::find(entries, u"status"_s, u"Connecting to "_s);
    if (idle < 0 || connecting < 0 || connecting > idle) {
        r.error = u"no check to \"Idle.\": "_s + TraceFile::dump(entries);
        return r;
    }
    r.connectToIdle = double(entries[idle].ms - entries[connecting].ms) / 1000.0;
    r.commandToIdle = double(idleAt - commandAt) / 1e9;
    r.startToIdle = double(idleAt) / 1e9;
    const QFileInfoList files = QDir(runner.file(u"msg"_s)).entryInfoList({u"*.tem"_s}, QDir::Files);
    r.stored = int(files.size());
    for (const QFileInfo& file : files)
        r.sizes << file.size();
    if (runner.runSecond({u"--exit"_s}) != 0 || runner.waitForExit(60000) != 0)
        std::fprintf(stderr, "(the program did not end cleanly)\n");
    return r;
}

struct ClientRun
{
    double seconds = -1;
    qint64 bytes = 0; // what it wrote
    QString error;
};

ClientRun runClient(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                    const QString& output)
{
    ClientRun r;
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer wall;
    wall.start();
    p.start(program, args);
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished(5000);
        r.error = program + u" did not finish"_s;
        return r;
    }
    r.seconds = double(wall.nsecsElapsed()) / 1e9;
    r.bytes = QFileInfo(output).size();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        r.error =
            u"%1 ended with %2: %3"_s.arg(program).arg(p.exitCode()).arg(QString::fromLocal8Bit(p.readAll()));
    return r;
}

ClientRun runFetchmail(const DovecotFixture& d)
{
    QTemporaryDir& home = keptDirs.emplace_back();
    const QString out = home.filePath(u"out.bsmtp"_s);
    const QByteArray rc =
        "set no syslog\npoll " + d.host.toLatin1() + " port " + QByteArray::number(d.pop3Port) +
        " proto pop3 user \"" + User.toLatin1() + "\" there with password \"" + d.password(User).toLatin1() +
        "\" is \"root\" here options keep fetchall sslproto '' bsmtp \"" + QFile::encodeName(out) + "\"\n";
    const QString rcPath = home.filePath(u"fetchmailrc"_s);
    if (!writeFile(rcPath, rc, QFile::ReadOwner | QFile::WriteOwner))
        return {-1, 0, u"cannot write fetchmailrc"_s};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"FETCHMAILHOME"_s, home.path());
    env.insert(u"HOME"_s, home.path());
    return runClient(u"fetchmail"_s,
                     {u"-s"_s, u"-N"_s, u"-f"_s, rcPath, u"--idfile"_s, home.filePath(u"ids"_s),
                      u"--pidfile"_s, home.filePath(u"pid"_s)},
                     env, out);
}

ClientRun runMpop(const DovecotFixture& d)
{
    QTemporaryDir& home = keptDirs.emplace_back();
    const QString out = home.filePath(u"mbox"_s);
    writeFile(out, {});
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home.path());
    return runClient(u"mpop"_s,
                     {u"--host="_s + d.host, u"--port="_s + QString::number(d.pop3Port), u"--user="_s + User,
                      u"--passwordeval=echo "_s + d.password(User), u"--auth=user"_s, u"--tls=off"_s,
                      u"--keep=on"_s, u"--only-new=on"_s, u"--uidls-file="_s + home.filePath(u"uidls"_s),
                      u"--delivery=mbox,"_s + out, u"-q"_s},
                     env, out);
}

// The file system's share: files of the sizes the program stored, each
// created new and written whole, then one syncfs, in a fresh folder beside
// where the program's folder was.
double writeFiles(const QList<qint64>& sizes)
{
    QTemporaryDir& dir = keptDirs.emplace_back();
    const QByteArray line(77, 'x');
    QElapsedTimer wall;
    wall.start();
    int n = 0;
    for (qint64 size : sizes) {
        const QByteArray path = QFile::encodeName(dir.filePath(QString::number(++n) + u".tem"_s));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return -1;
        for (qint64 left = size; left > 0; left -= line.size())
            if (::write(fd, line.constData(), size_t(std::min<qint64>(left, line.size()))) < 0) return -1;
        ::close(fd);
    }
    const int folder = ::open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::syncfs(folder);
    ::close(folder);
    return double(wall.nsecsElapsed()) / 1e9;
}

QString findMaker(const QString& given)
{
    QStringList candidates{given, qEnvironmentVariable("ORVELLA_MAILBOX_MAKER")};
    // The harness lives beside the project's checkout.
    for (QDir dir(QStringLiteral(ORVELLA_SOURCE_DIR)); !dir.isRoot(); dir.cdUp())
        candidates << dir.filePath(u"shared/bench/pop3/make-mailbox.py"_s);
    for (const QString& c : std::as_const(candidates))
        if (!c.isEmpty() && QFileInfo(c).isFile()) return QFileInfo(c).absoluteFilePath();
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The kept programs and folders go before the application does.
    struct Cleanup
    {
        ~Cleanup()
        {
            keptRunners.clear();
            keptDirs.clear();
        }
    } cleanup;
    int count = 1000, runs = 3;
    QString dir, maker;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--messages")
            count = std::max(1, args[i + 1].toInt());
        else if (args[i] == u"--runs")
            runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == u"--dovecot")
            dir = args[i + 1];
        else if (args[i] == u"--maker")
            maker = args[i + 1];
    }
    for (const char* tool : {"fetchmail", "mpop"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::fprintf(stderr, "%s is missing: scripts/install-deps --bench installs it\n", tool);
            return 1;
        }
    }
    bool own = false;
    const auto dovecot = bench::privateDovecot(dir, own, u"orvella-bench-check"_s);
    if (!dovecot) return 1;
    if (!fillMailbox(*dovecot, count, findMaker(maker))) {
        std::fprintf(stderr, "could not fill %s\n", qPrintable(dovecot->maildir(User)));
        return 1;
    }
    // Dovecot indexes the mailbox on the first session; keep that out of the figures.
    const ClientRun warm = runFetchmail(*dovecot);
    if (!warm.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(warm.error));
        return 1;
    }

    std::vector<double> connect, command, start, cpu, files, fetchmail, mpop;
    int stored = 0;
    qint64 fetchmailBytes = 0, mpopBytes = 0;
    for (int run = 0; run < runs; ++run) {
        std::fprintf(stderr, "run %d of %d...\n", run + 1, runs);
        const ProgramRun p = runProgram(*dovecot);
        if (!p.error.isEmpty()) {
            std::fprintf(stderr, "orvella: %s\n", qPrintable(p.error));
            return 1;
        }
        connect.push_back(p.connectToIdle);
        command.push_back(p.commandToIdle);
        start.push_back(p.startToIdle);
        cpu.push_back(p.cpu);
        stored = p.stored;
        files.push_back(writeFiles(p.sizes));
        const ClientRun f = runFetchmail(*dovecot);
        const ClientRun m = runMpop(*dovecot);
        for (const ClientRun* c : {&f, &m}) {
            if (!c->error.isEmpty()) {
                std::fprintf(stderr, "%s\n", qPrintable(c->error));
                return 1;
            }
        }
        fetchmail.push_back(f.seconds);
        mpop.push_back(m.seconds);
        fetchmailBytes = f.bytes;
        mpopBytes = m.bytes;
    }
    bench::stopPrivateDovecot(dir, own);

    const double reference = median(fetchmail);
    std::printf("\nFirst check of %d messages, Dovecot on loopback; medians of %d runs\n", count, runs);
    std::printf("  %-40s %9s %10s\n", "", "seconds", "/fetchmail");
    auto row = [&](const char* what, const std::vector<double>& v) {
        const double m = median(v);
        std::printf("  %-40s %9.3f %9.2fx\n", what, m, reference > 0 ? m / reference : 0.0);
    };
    row("orvella, connect to \"Idle.\"", connect);
    row("orvella, --check-now to \"Idle.\"", command);
    row("orvella, process start to \"Idle.\"", start);
    row("orvella, CPU from start to \"Idle.\"", cpu);
    row("the same message files, written bare", files);
    row("fetchmail, whole messages (bsmtp file)", fetchmail);
    row("mpop, whole messages (mbox)", mpop);
    std::printf("  stored by orvella: %d message files; fetchmail wrote %.1f MB, mpop %.1f MB\n", stored,
                double(fetchmailBytes) / 1e6, double(mpopBytes) / 1e6);
    std::printf("  goal: the program's check at most fetchmail's time (ratio <= 1.00)\n");
    return 0;
}
