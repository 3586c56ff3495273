#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace orvella::platform {

// The desktop's message buses, tried before anything waits on them.
//
// Qt connects to a bus with a blocking call that has no time limit while the
// bus authenticates the connection: a session bus that accepts connections
// and never answers (a stopped or wedged dbus-daemon) hangs the program for
// good, inside Qt's own accessibility bridge or the first QDBusConnection.
// So each bus is asked for the first step of its handshake, with a deadline,
// before the application object exists. A bus that stays silent is put out of
// this process's reach (its address variable names a socket that cannot
// exist, so every library fails at once); the program then runs without
// notifications, keyring and the bus's tray, and says so.
class BusProbe
{
public:
    enum class Outcome {
        Answered,  // the bus answered the handshake
        NoBus,     // nothing to connect to (refused, missing): everyone fails fast anyway
        Silent,    // connected, or still connecting, and no answer before the deadline
        NotProbed, // an address form this probe does not speak (autolaunch:, unixexec:, ...)
    };

    // One place an address names, as a client reaches it.
    struct Endpoint
    {
        enum class Kind { UnixPath, UnixAbstract, Tcp };
        Kind kind = Kind::UnixPath;
        QByteArray path; // the socket's path or abstract name
        QByteArray host; // tcp
        quint16 port = 0;
        bool ipv6 = false;
    };

    // The endpoints of a D-Bus address ("unix:path=/run/user/1000/bus",
    // several separated by ';', values %-escaped), in the order a client
    // tries them. Forms a client cannot use, or this probe does not speak,
    // are left out; `unsupported` is set when one was.
    static QList<Endpoint> parseAddress(const QString& address, bool* unsupported = nullptr);

    // Connects to the first endpoint that takes a connection and sends the
    // first line of the authentication; any answer counts.
    static Outcome probe(const QString& address, int timeoutMs);

    // The addresses a client would use now: the variable, else the default.
    static QString sessionAddress();
    static QString systemAddress();

    // Probes both buses at once, for at most timeoutMs, and puts a silent one
    // out of reach. Returns a notice for the user, empty when nothing was
    // put out of reach. Call it before the application object exists.
    static QString keepSilentBusesAway(int timeoutMs = DefaultTimeoutMs);

    // A real bus answers in milliseconds, even on a busy machine.
    static constexpr int DefaultTimeoutMs = 2000;
    // The address that takes a bus out of reach: no such socket can exist.
    static constexpr char UnreachableAddress[] = "unix:path=/dev/null/orvella-bus-did-not-answer";
};

} // namespace orvella::platform
