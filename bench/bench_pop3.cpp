// Retrieval speed of the POP3 client against a private Dovecot on loopback:
// headers and 20 body lines of each of 5,000 messages, fetched by
//   - our client with pipelining (a window of requests in flight),
//   - our client one request at a time,
//   - a minimal blocking client, one request at a time (the reference),
//   - a minimal blocking client that sends every request at once (the floor:
//     nothing can beat it on one connection),
// printed side by side. No pass or fail: the figures are for reading.
//
//   bench_pop3 [--messages N] [--lines L] [--runs R] [--dovecot DIR]
//
// Without --dovecot it starts its own instance with tests/scripts/dovecot-start.sh
// (needs root, like the tests) and stops it at the end.
#include "BenchSupport.h"
#include "core/pop3/Pop3Client.h"
#include "support/DovecotFixture.h"

#include <QCoreApplication>
#include <QCoro/QCoroTask>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTcpSocket>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

using namespace orvella;
using namespace orvella::test;
using namespace Qt::Literals::StringLiterals;

namespace {

struct Result
{
    double ms = -1;
    qint64 lines = 0;    // body lines delivered
    qint64 bytes = 0;    // bytes of body lines
    QByteArray checksum; // over every body line, to show all clients read the same
    QString error;
};

QByteArray makeMessage(int n)
{
    QByteArray m;
    m += "Return-Path: <sender" + QByteArray::number(n % 97) + "@example.test>\n";
    m += "Received: from mx.example.test (mx.example.test [192.0.2.1])\n\tby pop.example.test with ESMTPS "
         "id " +
         QByteArray::number(n * 7919) + "\n\tfor <reader@example.test>; Mon, 1 Jan 2024 10:00:00 +0000\n";
    m += "From: Sender " + QByteArray::number(n % 97) + " <sender" + QByteArray::number(n % 97) +
         "@example.test>\n";
    m += "To: Reader <reader@example.test>\n";
    m += "Subject: Benchmark message number " + QByteArray::number(n) + " with a subject of usual length\n";
    m += "Date: Mon, 1 Jan 2024 10:00:00 +0000\n";
    m += "Message-ID: <bench" + QByteArray::number(n) + "@example.test>\n";
    m += "MIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: 8bit\n\n";
    for (int i = 1; i <= 60; ++i)
        m += "Line " + QByteArray::number(i) + " of message " + QByteArray::number(n) +
             ": the quick brown fox jumps over the lazy dog, again and again.\n";
    return m;
}

Result runOurs(const DovecotFixture& d, const QString& user, int count, int lines, bool pipelining)
{
    Result r;
    Pop3Client client;
    client.setPipeliningAllowed(pipelining);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QObject context;
    QObject::connect(&client, &Pop3Client::Transfer, &context, [&](qint64, const QString& text) {
        ++r.lines;
        const QByteArray b = text.toLatin1();
        r.bytes += b.size();
        hash.addData(b);
    });
    QObject::connect(&client, &Pop3Client::Error, &context,
                     [&](int code, const QString& text) { r.error = u"%1 %2"_s.arg(code).arg(text); });
    QElapsedTimer timer;
    timer.start();
    if (!QCoro::waitFor(client.logOn(d.settings(user)))) return r;
    if (client.messageCount() < count) {
        r.error = u"only %1 messages on the server"_s.arg(client.messageCount());
        return r;
    }
    const bool ok = QCoro::waitFor(client.retrieve(1, count, lines));
    QCoro::waitFor(client.logOff());
    if (ok) r.ms = timer.nsecsElapsed() / 1e6;
    r.checksum = hash.result().toHex().left(12);
    return r;
}

// The reference: blocking reads and writes on a QTcpSocket, nothing else.
class BlockingClient
{
public:
    bool connect(const DovecotFixture& d, const QString& user)
    {
        m_socket.connectToHost(d.host, quint16(d.pop3Port));
        if (!m_socket.waitForConnected(10000)) return fail(m_socket.errorString());
        QByteArray line;
        if (!readLine(line) || !line.startsWith("+OK")) return fail(u"no greeting"_s);
        const QList<QByteArray> login{"USER " + user.toUtf8(), "PASS " + d.password(user).toUtf8()};
        for (const QByteArray& cmd : login) {
            m_socket.write(cmd + "\r\n");
            if (!readLine(line) || !line.startsWith("+OK")) return fail(QString::fromLatin1(line));
        }
        return true;
    }

    bool readLine(QByteArray& line)
    {
        while (!m_socket.canReadLine()) {
            if (m_socket.state() != QAbstractSocket::ConnectedState || !m_socket.waitForReadyRead(20000))
                return false;
        }
        line = m_socket.readLine();
        line.chop(line.endsWith("\r\n") ? 2 : 1);
        return true;
    }

    // Reads one TOP answer, counting the body lines after the header.
    bool readAnswer(Result& r, QCryptographicHash& hash)
    {
        QByteArray line;
        if (!readLine(line) || !line.startsWith("+OK"))
            return fail(u"TOP refused: "_s + QString::fromLatin1(line));
        bool body = false;
        for (;;) {
            if (!readLine(line)) return fail(u"connection ended"_s);
            if (line == ".") return true;
            if (line.startsWith('.')) line.remove(0, 1);
            if (!body) {
                body = line.isEmpty();
                continue;
            }
            ++r.lines;
            r.bytes += line.size();
            hash.addData(line);
        }
    }

    void quit()
    {
        m_socket.write("QUIT\r\n");
        QByteArray line;
        readLine(line);
        m_socket.disconnectFromHost();
    }

    bool fail(const QString& e)
    {
        error = e;
        return false;
    }

    QTcpSocket m_socket;
    QString error;
};

Result runBlocking(const DovecotFixture& d, const QString& user, int count, int lines, bool allAtOnce)
{
    Result r;
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QElapsedTimer timer;
    timer.start();
    BlockingClient c;
    if (!c.connect(d, user)) {
        r.error = c.error;
        return r;
    }
    const QByteArray tail = ' ' + QByteArray::number(lines) + "\r\n";
    if (allAtOnce) {
        QByteArray all;
        for (int n = 1; n <= count; ++n)
            all += "TOP " + QByteArray::number(n) + tail;
        c.m_socket.write(all);
        for (int n = 1; n <= count; ++n) {
            if (!c.readAnswer(r, hash)) {
                r.error = c.error;
                return r;
            }
        }
    } else {
        for (int n = 1; n <= count; ++n) {
            c.m_socket.write("TOP " + QByteArray::number(n) + tail);
            if (!c.readAnswer(r, hash)) {
                r.error = c.error;
                return r;
            }
        }
    }
    c.quit();
    r.ms = timer.nsecsElapsed() / 1e6;
    r.checksum = hash.result().toHex().left(12);
    return r;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int count = 5000, lines = 20, runs = 3;
    QString dir;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == u"--messages")
            count = args[i + 1].toInt();
        else if (args[i] == u"--lines")
            lines = args[i + 1].toInt();
        else if (args[i] == u"--runs")
            runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == u"--dovecot")
            dir = args[i + 1];
    }
    bool own = false;
    const auto dovecot = bench::privateDovecot(dir, own, u"orvella-bench"_s);
    if (!dovecot) return 1;
    const QString user = u"pop3bench"_s;
    std::printf("Delivering %d messages...\n", count);
    std::fflush(stdout);
    QList<QByteArray> messages;
    for (int n = 1; n <= count; ++n)
        messages.append(makeMessage(n));
    if (!dovecot->clear(user) || !dovecot->deliver(user, messages)) {
        std::fprintf(stderr, "could not deliver into %s\n", qPrintable(dovecot->maildir(user)));
        return 1;
    }
    messages.clear();
    // Dovecot indexes the mailbox on the first session; keep that out of the figures.
    runBlocking(*dovecot, user, 1, lines, false);

    struct Variant
    {
        const char* name;
        std::function<Result()> run;
        std::vector<double> times;
        Result last;
    };
    std::vector<Variant> variants{
        {"ours, pipelined", [&] { return runOurs(*dovecot, user, count, lines, true); }, {}, {}},
        {"ours, one at a time", [&] { return runOurs(*dovecot, user, count, lines, false); }, {}, {}},
        {"reference, one at a time",
         [&] { return runBlocking(*dovecot, user, count, lines, false); },
         {},
         {}},
        {"reference, all at once", [&] { return runBlocking(*dovecot, user, count, lines, true); }, {}, {}},
    };
    for (int run = 0; run < runs; ++run) {
        for (Variant& v : variants) {
            v.last = v.run();
            if (!v.last.error.isEmpty()) std::fprintf(stderr, "%s: %s\n", v.name, qPrintable(v.last.error));
            if (v.last.ms >= 0) v.times.push_back(v.last.ms);
        }
    }

    std::printf("\nPOP3 retrieval: headers + %d lines of %d messages, Dovecot on loopback, %d run(s)\n",
                lines, count, runs);
    std::printf("%-26s %10s %10s %10s %12s %12s  %s\n", "client", "median ms", "best ms", "msg/s",
                "body lines", "body bytes", "checksum");
    const double floor = median(variants[3].times);
    for (const Variant& v : variants) {
        const double med = median(v.times);
        const double best = v.times.empty() ? -1 : *std::min_element(v.times.begin(), v.times.end());
        std::printf("%-26s %10.1f %10.1f %10.0f %12lld %12lld  %s\n", v.name, med, best,
                    med > 0 ? count / (med / 1000.0) : 0.0, static_cast<long long>(v.last.lines),
                    static_cast<long long>(v.last.bytes), v.last.checksum.constData());
    }
    if (floor > 0) {
        std::printf("\nRelative to sending every request at once:");
        for (const Variant& v : variants)
            std::printf("  %s %.2fx;", v.name, median(v.times) / floor);
        std::printf("\n");
    }
    struct rusage usage
    {
    };
    getrusage(RUSAGE_SELF, &usage);
    std::printf("Peak resident memory of this process: %.1f MB\n", usage.ru_maxrss / 1024.0);

    bench::stopPrivateDovecot(dir, own);
    return 0;
}
