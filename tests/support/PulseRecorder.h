#pragma once

#include <QString>
#include <QVector>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace orvella::test {

// Records a PulseAudio source (by default the test server's null sink
// monitor) through pacat, at the engine's format, and remembers when each
// block arrived, so a test can tell when a recorded sample was heard.
// Times are AgentTrace::now() milliseconds, the clock of the engine's events.
class PulseRecorder
{
public:
    ~PulseRecorder();
    bool start(const QString& source = QStringLiteral("spk.monitor"));
    void stop();

    QVector<qint16> samples() const;
    // When sample index was captured (ms), or -1 when it was not recorded.
    double timeOfSample(qint64 index) const;

private:
    struct Block
    {
        qint64 endSample; // index just past the block
        double ms;        // when it arrived
    };
    int m_pid = -1;
    int m_fd = -1;
    std::thread m_reader;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    QVector<qint16> m_samples;
    std::vector<Block> m_blocks;
};

} // namespace orvella::test
