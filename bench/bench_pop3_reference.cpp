// Orvella's POP3 client beside the reference clients of the POP3 harness
// (shared/bench/pop3: a private Dovecot with realistic mailboxes, a
// pipelined raw-socket client, Python's poplib, curl), measured in the same
// run: the header and 20 lines of every message of mailboxes of 1,000 and
// 5,000 messages, on loopback and at a real 50 ms round trip between two
// network namespaces. Each figure is printed as a ratio to the pipelined
// reference of the same network and mailbox.
//
//   bench_pop3_reference [--harness DIR] [--data DIR] [--sizes 1000,5000]
//                        [--lines 20] [--runs 3] [--rtt-ms 50] [--no-rtt]
//                        [--slow-peers] [--also LABEL=PROGRAM]...
//
// --also adds a row for another build of this program (its --client mode),
// for example the one before a change, measured in the same run.
//
// Needs root (a private Dovecot, network namespaces, a packet delayer) and
// the harness (found beside or above the source tree, or given with
// --harness or ORVELLA_POP3_HARNESS); without either it says so and skips.
// poplib and curl pay a round trip per message (52 s for 1,000 messages at
// 50 ms), so at a distance they run only with --slow-peers. The mailboxes
// are made once into DATA (default /tmp/orvella-pop3-bench) and kept.
//
// Internally the bench runs its own client in a process of its own (inside
// the client namespace at a distance):
//   bench_pop3_reference --client HOST PORT USER PASSWORD LINES
#include "core/pop3/Pop3Client.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QSslSocket>
#include <QTcpServer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>

using namespace orvella;
using namespace Qt::Literals::StringLiterals;

namespace {

const QString kPassword = u"secret"_s;
const QString kServerNs = u"p3srv"_s;
const QString kClientNs = u"p3cli"_s;
const QString kServerAddress = u"10.254.25.1"_s;

// One run of Orvella's client, printed as a JSON line.
int runClient(const QStringList& args)
{
    if (args.size() != 5) {
        std::fprintf(stderr, "--client HOST PORT USER PASSWORD LINES\n");
        return 2;
    }
    PopServerSettings s;
    s.host = args[0];
    s.port = args[1].toInt();
    s.user = args[2];
    s.password = args[3];
    s.security = u"None"_s;
    s.connectTimeoutMs = 30000;
    s.responseTimeoutMs = 120000;
    const int lines = args[4].toInt();
    // The TLS library loads on first use; the reference clients have their
    // libraries loaded before they start the clock too.
    QSslSocket::supportsSsl();

    Pop3Client client;
    qint64 messages = 0, bodyLines = 0;
    QString error;
    QObject context;
    QObject::connect(&client, &Pop3Client::EndTransfer, &context, [&] { ++messages; });
    QObject::connect(&client, &Pop3Client::Transfer, &context, [&](qint64, const QString&) { ++bodyLines; });
    QObject::connect(&client, &Pop3Client::Error, &context,
                     [&](int code, const QString& text) { error = u"%1 %2"_s.arg(code).arg(text); });
    QElapsedTimer timer;
    timer.start();
    bool ok = QCoro::waitFor(client.logOn(s));
    if (ok) ok = QCoro::waitFor(client.retrieve(1, client.messageCount(), lines));
    QCoro::waitFor(client.logOff());
    const double elapsed = timer.nsecsElapsed() / 1e9;
    QJsonObject o{{u"peer"_s, u"orvella"_s},
                  {u"elapsed_s"_s, elapsed},
                  {u"msgs"_s, messages},
                  {u"body_lines"_s, bodyLines}};
    if (!ok) o.insert(u"error"_s, error.isEmpty() ? u"failed"_s : error);
    std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    return ok ? 0 : 1;
}

// Runs a program; its standard error goes to ours, never through a pipe (a
// daemon started by it would keep the pipe open). Standard output is
// returned when wanted, else dropped.
bool run(const QString& program, const QStringList& args, const QStringList& env = {},
         QByteArray* out = nullptr, int timeoutS = 600)
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& kv : env)
        e.insert(kv.section(u'=', 0, 0), kv.section(u'=', 1));
    p.setProcessEnvironment(e);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!out) p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(program));
        return false;
    }
    if (!p.waitForFinished(timeoutS * 1000)) {
        p.kill();
        p.waitForFinished(5000);
        std::fprintf(stderr, "%s did not finish within %d s\n", qPrintable(program), timeoutS);
        return false;
    }
    if (out) *out = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString findHarness(const QString& given)
{
    QStringList candidates;
    if (!given.isEmpty()) candidates << given;
    if (const QString env = qEnvironmentVariable("ORVELLA_POP3_HARNESS"); !env.isEmpty()) candidates << env;
    // The build passes sources by absolute path; look beside the checkout and above it.
    QDir dir = QFileInfo(QStringLiteral(__FILE__)).absoluteDir();
    for (int up = 0; up < 6 && dir.cdUp(); ++up)
        candidates << dir.filePath(u"shared/bench/pop3"_s);
    for (const QString& c : candidates) {
        if (QFileInfo::exists(c + u"/pop3peers.py"_s) && QFileInfo::exists(c + u"/dovecot-up.sh"_s))
            return QDir(c).absolutePath();
    }
    return {};
}

struct Measurement
{
    double seconds = -1;
    qint64 messages = 0;
    QString error;
};

struct Row
{
    QString network;
    int messages = 0;
    QString client;
    std::vector<double> times;
    QString error;

    double median() const
    {
        if (times.empty()) return -1;
        std::vector<double> t = times;
        std::sort(t.begin(), t.end());
        return t[t.size() / 2];
    }
};

class Bench
{
public:
    QString harness;
    QString data;
    QString self;
    QList<int> sizes{1000, 5000};
    int lines = 20;
    int runs = 3;
    int rttMs = 50;
    bool slowPeers = false;
    QMap<QString, QString> others; // label: another build of this program
    int port = 0;
    int tlsPort = 0;
    std::vector<Row> rows;

    QStringList users() const
    {
        QStringList u;
        for (int n : sizes)
            u << u"m%1:%2"_s.arg(n).arg(kPassword);
        return u;
    }

    bool dovecotUp(bool inNamespace)
    {
        QStringList env{u"POP3_USERS="_s + users().join(u' ')};
        if (inNamespace) env << u"POP3_NETNS="_s + kServerNs << u"POP3_LISTEN="_s + kServerAddress;
        return run(harness + u"/dovecot-up.sh"_s, {data, QString::number(port), QString::number(tlsPort)},
                   env);
    }
    void dovecotDown() { run(harness + u"/dovecot-down.sh"_s, {data}); }

    bool netns(const QString& command)
    {
        QStringList args{command};
        if (command == u"up") args << QString::number(rttMs / 2);
        return run(harness + u"/netns-delay.sh"_s, args, {u"STATE_DIR="_s + data + u"/netns"_s});
    }

    // The harness's mailbox of n messages, made once and kept.
    bool ensureMailbox(int n)
    {
        const QString home = u"%1/mail/m%2"_s.arg(data).arg(n);
        const QString maildir = home + u"/Maildir"_s;
        const QString stamp = home + u"/orvella-bench-stamp"_s;
        const qsizetype have = QDir(maildir + u"/cur"_s).entryList(QDir::Files).size() +
                               QDir(maildir + u"/new"_s).entryList(QDir::Files).size();
        QFile f(stamp);
        if (have == n && f.open(QIODevice::ReadOnly) && f.readAll().trimmed() == QByteArray::number(n))
            return true;
        f.close();
        std::printf("Making a mailbox of %d messages...\n", n);
        std::fflush(stdout);
        if (!run(u"python3"_s, {harness + u"/make-mailbox.py"_s, maildir, QString::number(n), u"--seed"_s,
                                QString::number(n)}))
            return false;
        if (!f.open(QIODevice::WriteOnly)) return false;
        f.write(QByteArray::number(n) + '\n');
        return true;
    }

    Measurement measure(const QString& peer, const QString& host, int n, bool inNamespace)
    {
        QStringList command;
        if (inNamespace) command << u"ip"_s << u"netns"_s << u"exec"_s << kClientNs;
        const QStringList target{host, QString::number(port), u"m%1"_s.arg(n), kPassword,
                                 QString::number(lines)};
        if (peer == u"orvella")
            command << self << u"--client"_s << target;
        else if (others.contains(peer))
            command << others.value(peer) << u"--client"_s << target;
        else
            command << u"python3"_s << harness + u"/pop3peers.py"_s << peer << target << u"--json"_s;
        QByteArray out;
        Measurement m;
        const bool ok = run(command.first(), command.mid(1), {}, &out, 900);
        const QList<QByteArray> outLines = out.trimmed().split('\n');
        const QJsonObject o = QJsonDocument::fromJson(outLines.last()).object();
        m.messages = o.value(u"msgs"_s).toInteger();
        if (!ok || o.isEmpty() || o.contains(u"error"_s)) {
            m.error = o.value(u"error"_s).toString(u"failed"_s);
            return m;
        }
        if (m.messages != n) {
            m.error = u"%1 messages instead of %2"_s.arg(m.messages).arg(n);
            return m;
        }
        m.seconds = o.value(u"elapsed_s"_s).toDouble();
        return m;
    }

    void measureNetwork(const QString& label, const QString& host, bool inNamespace, const QStringList& peers)
    {
        for (int n : sizes) {
            std::printf("%s, %d messages: warming up\n", qPrintable(label), n);
            std::fflush(stdout);
            // The first session after a new mailbox indexes it; keep that out.
            measure(u"pipeline"_s, host, n, inNamespace);
            std::vector<Row> these;
            for (const QString& peer : peers)
                these.push_back(Row{label, n, peer, {}, {}});
            for (int r = 0; r < runs; ++r) {
                for (Row& row : these) {
                    const Measurement m = measure(row.client, host, n, inNamespace);
                    if (!m.error.isEmpty()) {
                        row.error = m.error;
                        std::fprintf(stderr, "%s %d %s: %s\n", qPrintable(label), n, qPrintable(row.client),
                                     qPrintable(m.error));
                    } else {
                        row.times.push_back(m.seconds);
                    }
                }
            }
            rows.insert(rows.end(), these.begin(), these.end());
        }
    }

    void print() const
    {
        std::printf("\nPOP3: STAT, then TOP n %d of every message; median of %d runs; harness %s\n", lines,
                    runs, qPrintable(harness));
        std::printf("%-16s %6s  %-9s %9s %17s %12s\n", "network", "msgs", "client", "median s", "min-max s",
                    "vs pipeline");
        for (const Row& row : rows) {
            double reference = -1;
            for (const Row& r : rows) {
                if (r.network == row.network && r.messages == row.messages && r.client == u"pipeline")
                    reference = r.median();
            }
            if (row.times.empty()) {
                std::printf("%-16s %6d  %-9s failed: %s\n", qPrintable(row.network), row.messages,
                            qPrintable(row.client), qPrintable(row.error));
                continue;
            }
            const auto [lo, hi] = std::minmax_element(row.times.begin(), row.times.end());
            const QString ratio = reference > 0 ? u"%1x"_s.arg(row.median() / reference, 0, 'f', 2) : u"-"_s;
            std::printf("%-16s %6d  %-9s %9.3f %8.3f-%-8.3f %12s\n", qPrintable(row.network), row.messages,
                        qPrintable(row.client), row.median(), *lo, *hi, qPrintable(ratio));
        }
        std::printf("\nOrvella as a ratio to the pipelined reference (goal: at most 1.5x at a distance; "
                    "about 0.84x on loopback):\n");
        for (const Row& row : rows) {
            if (row.client != u"orvella" && !others.contains(row.client)) continue;
            for (const Row& r : rows) {
                if (r.network == row.network && r.messages == row.messages && r.client == u"pipeline" &&
                    r.median() > 0 && row.median() > 0)
                    std::printf("  %-9s %-16s %5d messages: %.2fx (%.3f s against %.3f s)\n",
                                qPrintable(row.client), qPrintable(row.network), row.messages,
                                row.median() / r.median(), row.median(), r.median());
            }
        }
    }
};

int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() > 1 && args[1] == u"--client") return runClient(args.mid(2));

    Bench b;
    b.self = QFileInfo(app.applicationFilePath()).absoluteFilePath();
    b.data = u"/tmp/orvella-pop3-bench"_s;
    QString harness;
    bool rtt = true;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString value = i + 1 < args.size() ? args[i + 1] : QString();
        if (args[i] == u"--no-rtt") {
            rtt = false;
        } else if (args[i] == u"--slow-peers") {
            b.slowPeers = true;
        } else if (args[i] == u"--also" && value.contains(u'=')) {
            b.others.insert(value.section(u'=', 0, 0), QFileInfo(value.section(u'=', 1)).absoluteFilePath()),
                ++i;
        } else if (args[i] == u"--harness") {
            harness = value, ++i;
        } else if (args[i] == u"--data") {
            b.data = value, ++i;
        } else if (args[i] == u"--lines") {
            b.lines = value.toInt(), ++i;
        } else if (args[i] == u"--runs") {
            b.runs = std::max(1, value.toInt()), ++i;
        } else if (args[i] == u"--rtt-ms") {
            b.rttMs = std::max(2, value.toInt()), ++i;
        } else if (args[i] == u"--sizes") {
            b.sizes.clear();
            for (const QString& s : value.split(u','))
                if (s.toInt() > 0) b.sizes << s.toInt();
            ++i;
        } else {
            std::fprintf(stderr, "unknown argument %s (see the comment at the top of the source)\n",
                         qPrintable(args[i]));
            return 2;
        }
    }
    if (::geteuid() != 0) {
        std::printf("bench_pop3_reference: skipped: needs root (a private Dovecot, network namespaces and a "
                    "packet delayer)\n");
        return 0;
    }
    b.harness = findHarness(harness);
    if (b.harness.isEmpty()) {
        std::printf("bench_pop3_reference: skipped: the POP3 harness (shared/bench/pop3) was not found; "
                    "give it with --harness DIR\n");
        return 0;
    }
    QDir().mkpath(b.data);
    b.port = freePort();
    b.tlsPort = freePort();
    while (b.tlsPort == b.port)
        b.tlsPort = freePort();

    // Stop what was started, whatever happens below.
    bool namespaces = false;
    struct Cleanup
    {
        std::function<void()> f;
        ~Cleanup() { f(); }
    } cleanup{[&] {
        b.dovecotDown();
        if (namespaces) b.netns(u"down"_s);
    }};

    if (!b.dovecotUp(false)) {
        std::fprintf(stderr, "could not start Dovecot with %s/dovecot-up.sh\n", qPrintable(b.harness));
        return 1;
    }
    for (int n : b.sizes) {
        if (!b.ensureMailbox(n)) {
            std::fprintf(stderr, "could not make the mailbox of %d messages\n", n);
            return 1;
        }
    }
    // Mailboxes made by root get their owner back.
    if (!b.dovecotUp(false)) return 1;

    const QStringList ours = QStringList{u"orvella"_s} + b.others.keys();
    b.measureNetwork(u"loopback"_s, u"127.0.0.1"_s, false,
                     ours + QStringList{u"pipeline"_s, u"poplib"_s, u"curl"_s});
    if (rtt) {
        b.dovecotDown();
        namespaces = true;
        if (!b.netns(u"up"_s)) {
            std::fprintf(stderr,
                         "the %d ms rows are skipped: netns-delay.sh could not set up the namespaces\n",
                         b.rttMs);
        } else if (!b.dovecotUp(true)) {
            std::fprintf(stderr, "the %d ms rows are skipped: Dovecot did not start in %s\n", b.rttMs,
                         qPrintable(kServerNs));
        } else {
            QStringList peers = ours + QStringList{u"pipeline"_s};
            if (b.slowPeers) peers << u"poplib"_s << u"curl"_s;
            b.measureNetwork(u"RTT %1 ms"_s.arg(b.rttMs), kServerAddress, true, peers);
        }
    }
    b.print();
    return 0;
}
