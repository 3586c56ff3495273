#include "app/TerminationSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvella {

namespace {

int g_fds[2] = {-1, -1};
constexpr int handled[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int signal)
{
    const int saved = errno; // async-signal-safe: only write()
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_fds[0], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0) return;
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readSignal);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : handled)
        ::sigaction(s, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int s : handled)
        ::sigaction(s, &action, nullptr);
    for (int& fd : g_fds) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void TerminationSignals::readSignal()
{
    unsigned char byte = 0;
    while (::read(g_fds[1], &byte, 1) == 1)
        Q_EMIT received(byte);
}

} // namespace orvella
