#include "support/PulseRecorder.h"

#include "agent/engine/AudioClip.h"
#include "core/AgentTrace.h"

#include <QByteArray>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orvella::test {

PulseRecorder::~PulseRecorder()
{
    stop();
}

bool PulseRecorder::start(const QString& source)
{
    int fds[2];
    if (pipe(fds) != 0) return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    const QByteArray dev = source.toUtf8();
    const QByteArray rate = "--rate=" + QByteArray::number(AgentSampleRate);
    // A short capture latency keeps the arrival time of each block close to
    // the moment its sound passed through the sink.
    const char* args[] = {"pacat",          "-r",           "--latency-msec=10", "-d",    dev.constData(),
                          rate.constData(), "--channels=1", "--format=s16le",    "--raw", nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "pacat", &fa, nullptr, const_cast<char**>(args), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        return false;
    }
    m_pid = pid;
    m_fd = fds[0];
    m_stop = false;
    m_reader = std::thread([this] {
        std::vector<char> buf(4096);
        QByteArray carry;
        while (!m_stop) {
            const ssize_t n = read(m_fd, buf.data(), buf.size());
            if (n <= 0) break;
            const double ms = double(AgentTrace::now());
            carry.append(buf.data(), n);
            const qsizetype whole = carry.size() / 2;
            std::lock_guard g(m_lock);
            for (qsizetype i = 0; i < whole; ++i) {
                m_samples.append(
                    qint16(quint16(quint8(carry[2 * i])) | quint16(quint8(carry[2 * i + 1])) << 8));
            }
            carry.remove(0, whole * 2);
            m_blocks.push_back({m_samples.size(), ms});
        }
    });
    return true;
}

void PulseRecorder::stop()
{
    if (m_pid > 0) {
        m_stop = true;
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    if (m_reader.joinable()) m_reader.join();
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

QVector<qint16> PulseRecorder::samples() const
{
    std::lock_guard g(m_lock);
    return m_samples;
}

double PulseRecorder::timeOfSample(qint64 index) const
{
    std::lock_guard g(m_lock);
    for (const Block& b : m_blocks) {
        if (index < b.endSample) return b.ms - double(b.endSample - index) * 1000.0 / AgentSampleRate;
    }
    return -1;
}

} // namespace orvella::test
