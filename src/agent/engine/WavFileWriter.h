#pragma once

#include <QString>

typedef struct sf_private_tag SNDFILE;

namespace orvella {

// Writes 16-bit mono PCM to a WAV file whose header is right after every
// write, so the file stays playable even when the program is killed.
class WavFileWriter
{
public:
    explicit WavFileWriter(int sampleRate) : m_rate(sampleRate) {}
    ~WavFileWriter();
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    bool open(const QString& path);
    bool isOpen() const { return m_file != nullptr; }
    QString errorString() const { return m_error; }
    void write(const qint16* samples, qint64 count);
    qint64 samplesWritten() const { return m_samples; }
    void close();

private:
    SNDFILE* m_file = nullptr;
    int m_rate;
    qint64 m_samples = 0;
    QString m_error;
};

} // namespace orvella
