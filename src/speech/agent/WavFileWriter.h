#pragma once

#include <QFile>
#include <QString>

namespace orvella {

// Writes 16-bit mono PCM to a WAV file whose header is right after every
// write, so the file stays playable even when the program is killed.
class WavFileWriter
{
public:
    explicit WavFileWriter(int sampleRate) : m_rate(sampleRate) {}
    ~WavFileWriter();

    bool open(const QString& path);
    bool isOpen() const { return m_file.isOpen(); }
    QString errorString() const { return m_file.errorString(); }
    void write(const qint16* samples, qint64 count);
    qint64 samplesWritten() const { return m_samples; }
    void close();

private:
    void writeHeader();

    QFile m_file;
    int m_rate;
    qint64 m_samples = 0;
};

} // namespace orvella
