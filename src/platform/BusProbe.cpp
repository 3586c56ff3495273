#include "platform/BusProbe.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace orvella::platform {

namespace {

using Clock = std::chrono::steady_clock;

// D-Bus addresses escape every byte outside this set as %XX.
bool optionallyEscaped(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
           c == '_' || c == '/' || c == '.' || c == '\\' || c == '*';
}

QByteArray unescape(const QString& value)
{
    return QByteArray::fromPercentEncoding(value.toUtf8());
}

QString escape(const QByteArray& value)
{
    QString out;
    for (char c : value) {
        if (optionallyEscaped(c))
            out += QLatin1Char(c);
        else
            out += u'%' + QString::number(static_cast<unsigned char>(c), 16).rightJustified(2, u'0');
    }
    return out;
}

int msLeft(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

struct Fd
{
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0) ::close(fd);
    }
};

enum class Connect { Connected, Failed, TimedOut };

// A non-blocking connect, waited on until the deadline. A unix socket whose
// listener does not take connections fills its backlog and answers EAGAIN:
// that listener is as silent as one that accepts and says nothing.
Connect connectBefore(int fd, const sockaddr* address, socklen_t length, Clock::time_point deadline)
{
    for (;;) {
        if (::connect(fd, address, length) == 0) return Connect::Connected;
        if (errno == EINTR) continue;
        if (errno == EAGAIN) {
            if (msLeft(deadline) == 0) return Connect::TimedOut;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        if (errno != EINPROGRESS) return Connect::Failed;
        pollfd p{fd, POLLOUT, 0};
        int ready;
        do
            ready = ::poll(&p, 1, msLeft(deadline));
        while (ready < 0 && errno == EINTR);
        if (ready <= 0) return Connect::TimedOut;
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
        return error == 0 ? Connect::Connected : Connect::Failed;
    }
}

// The first line a client sends: a NUL byte, then EXTERNAL authentication
// with the user id in hex digits of its decimal text. Any reply (OK,
// REJECTED, ERROR) shows that a bus is there and awake.
BusProbe::Outcome askForAnswer(int fd, Clock::time_point deadline)
{
    const QByteArray line =
        QByteArray(1, '\0') + "AUTH EXTERNAL " + QByteArray::number(::geteuid()).toHex() + "\r\n";
    if (::send(fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL) != ssize_t(line.size()))
        return BusProbe::Outcome::NoBus;
    pollfd p{fd, POLLIN, 0};
    int ready;
    do
        ready = ::poll(&p, 1, msLeft(deadline));
    while (ready < 0 && errno == EINTR);
    if (ready <= 0) return BusProbe::Outcome::Silent;
    char reply[64];
    // A bus that hangs up at once makes every client fail at once: no wait.
    return ::recv(fd, reply, sizeof reply, 0) > 0 ? BusProbe::Outcome::Answered : BusProbe::Outcome::NoBus;
}

} // namespace

QList<BusProbe::Endpoint> BusProbe::parseAddress(const QString& address, bool* unsupported)
{
    QList<Endpoint> endpoints;
    bool skipped = false;
    for (const QString& part : address.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype colon = part.indexOf(u':');
        if (colon <= 0) {
            skipped = true;
            continue;
        }
        const QString transport = part.left(colon);
        QHash<QString, QByteArray> keys;
        for (const QString& pair : part.mid(colon + 1).split(u',', Qt::SkipEmptyParts)) {
            const qsizetype eq = pair.indexOf(u'=');
            if (eq > 0) keys.insert(pair.left(eq), unescape(pair.mid(eq + 1)));
        }
        Endpoint e;
        if (transport == u"unix" && keys.contains(u"path"_s)) {
            e.kind = Endpoint::Kind::UnixPath;
            e.path = keys.value(u"path"_s);
        } else if (transport == u"unix" && keys.contains(u"abstract"_s)) {
            e.kind = Endpoint::Kind::UnixAbstract;
            e.path = keys.value(u"abstract"_s);
        } else if (transport == u"tcp" && keys.contains(u"port"_s)) {
            bool ok = false;
            const uint port = keys.value(u"port"_s).toUInt(&ok);
            if (!ok || port == 0 || port > 65535) {
                skipped = true;
                continue;
            }
            e.kind = Endpoint::Kind::Tcp;
            e.host = keys.value(u"host"_s, "localhost");
            e.port = quint16(port);
            e.ipv6 = keys.value(u"family"_s) == "ipv6";
        } else {
            // Server forms (unix:tmpdir=, dir=, runtime=), autolaunch:,
            // unixexec:, nonce-tcp:, launchd:, systemd: and the like.
            skipped = true;
            continue;
        }
        endpoints.append(e);
    }
    if (unsupported) *unsupported = skipped;
    return endpoints;
}

BusProbe::Outcome BusProbe::probe(const QString& address, int timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool unsupported = false;
    const QList<Endpoint> endpoints = parseAddress(address, &unsupported);
    for (const Endpoint& e : endpoints) {
        Fd socket;
        Connect connected = Connect::Failed;
        if (e.kind == Endpoint::Kind::Tcp) {
            // Only addresses that need no name lookup: a lookup may itself hang.
            const QByteArray host = e.host == "localhost" ? QByteArray(e.ipv6 ? "::1" : "127.0.0.1") : e.host;
            sockaddr_in v4{};
            sockaddr_in6 v6{};
            if (::inet_pton(AF_INET, host.constData(), &v4.sin_addr) == 1) {
                v4.sin_family = AF_INET;
                v4.sin_port = htons(e.port);
                socket.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                if (socket.fd >= 0)
                    connected =
                        connectBefore(socket.fd, reinterpret_cast<sockaddr*>(&v4), sizeof v4, deadline);
            } else if (::inet_pton(AF_INET6, host.constData(), &v6.sin6_addr) == 1) {
                v6.sin6_family = AF_INET6;
                v6.sin6_port = htons(e.port);
                socket.fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
                if (socket.fd >= 0)
                    connected =
                        connectBefore(socket.fd, reinterpret_cast<sockaddr*>(&v6), sizeof v6, deadline);
            } else {
                unsupported = true;
                continue;
            }
        } else {
            sockaddr_un un{};
            un.sun_family = AF_UNIX;
            const bool abstract = e.kind == Endpoint::Kind::UnixAbstract;
            // The abstract name starts after a NUL byte; a path needs its own NUL at the end.
            if (e.path.isEmpty() || e.path.size() + 1 > qsizetype(sizeof un.sun_path)) continue;
            std::memcpy(un.sun_path + (abstract ? 1 : 0), e.path.constData(), size_t(e.path.size()));
            const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(e.path.size()) + 1);
            socket.fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            if (socket.fd >= 0)
                connected = connectBefore(socket.fd, reinterpret_cast<sockaddr*>(&un), length, deadline);
        }
        if (connected == Connect::TimedOut) return Outcome::Silent;
        if (connected == Connect::Connected) return askForAnswer(socket.fd, deadline);
    }
    return unsupported ? Outcome::NotProbed : Outcome::NoBus;
}

QString BusProbe::sessionAddress()
{
    const QString set = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (!set.isEmpty()) return set;
    // Without the variable, libdbus and GDBus take the user's bus in the
    // runtime folder when there is one (and else try to launch one).
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) return {};
    const QString bus = runtime + u"/bus"_s;
    if (!QFileInfo::exists(bus)) return {};
    return u"unix:path="_s + escape(QFile::encodeName(bus));
}

QString BusProbe::systemAddress()
{
    const QString set = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    return set.isEmpty() ? u"unix:path=/var/run/dbus/system_bus_socket"_s : set;
}

QString BusProbe::keepSilentBusesAway(int timeoutMs)
{
    const QString session = sessionAddress();
    const QString system = systemAddress();
    // Side by side, so a start waits for one deadline at most.
    auto sessionProbe = std::async(std::launch::async, [&] { return probe(session, timeoutMs); });
    const Outcome systemOutcome = probe(system, timeoutMs);
    const Outcome sessionOutcome = sessionProbe.get();

    const QString seconds = QString::number((timeoutMs + 999) / 1000);
    QStringList notice;
    if (sessionOutcome == Outcome::Silent) {
        qputenv("DBUS_SESSION_BUS_ADDRESS", UnreachableAddress);
        notice
            << u"The desktop's session bus (%1) took a connection but did not answer within %2 seconds, so "
               u"Orvella runs without it until it is started again: no desktop notifications, no keyring "
               u"(passwords stay scrambled in the settings file), no tray icon where the panel is reached "
               u"through the bus, and screen readers cannot reach its windows. Mail is checked as usual."_s
                   .arg(session, seconds);
    }
    if (systemOutcome == Outcome::Silent) {
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", UnreachableAddress);
        notice << u"The system bus (%1) took a connection but did not answer within %2 seconds, so Orvella "
                  u"cannot ask the network manager whether the computer is online, and checks mail as if it "
                  u"were."_s.arg(system, seconds);
    }
    return notice.join(u"\r\n\r\n"_s);
}

} // namespace orvella::platform
