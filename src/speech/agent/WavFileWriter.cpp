#include "speech/agent/WavFileWriter.h"

#include <QtEndian>

namespace orvella {

namespace {

// A RIFF chunk size is 32 bits; past that the file simply stops growing.
constexpr qint64 MaxDataBytes = 0xFFFFFFFFLL - 36;

void put32(char* p, quint32 v) { qToLittleEndian(v, p); }
void put16(char* p, quint16 v) { qToLittleEndian(v, p); }

} // namespace

WavFileWriter::~WavFileWriter() { close(); }

bool WavFileWriter::open(const QString& path)
{
    close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    m_samples = 0;
    writeHeader();
    return m_file.error() == QFileDevice::NoError;
}

void WavFileWriter::writeHeader()
{
    const quint32 dataBytes = quint32(m_samples * 2);
    char h[44];
    memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + dataBytes);
    memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1); // PCM
    put16(h + 22, 1); // mono
    put32(h + 24, quint32(m_rate));
    put32(h + 28, quint32(m_rate * 2));
    put16(h + 32, 2);
    put16(h + 34, 16);
    memcpy(h + 36, "data", 4);
    put32(h + 40, dataBytes);
    m_file.seek(0);
    m_file.write(h, sizeof h);
    m_file.seek(44 + m_samples * 2);
}

void WavFileWriter::write(const qint16* samples, qint64 count)
{
    if (!m_file.isOpen() || count <= 0)
        return;
    count = qMin(count, (MaxDataBytes - m_samples * 2) / 2);
    if (count <= 0)
        return;
    QByteArray bytes(count * 2, Qt::Uninitialized);
    for (qint64 i = 0; i < count; ++i)
        qToLittleEndian(quint16(samples[i]), bytes.data() + i * 2);
    m_file.write(bytes);
    m_samples += count;
    writeHeader();
    m_file.flush();
}

void WavFileWriter::close()
{
    if (m_file.isOpen()) {
        writeHeader();
        m_file.close();
    }
}

} // namespace orvella
