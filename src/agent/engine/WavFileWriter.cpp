#include "agent/engine/WavFileWriter.h"

#include <QFile>
#include <sndfile.h>

namespace orvella {

WavFileWriter::~WavFileWriter()
{
    close();
}

bool WavFileWriter::open(const QString& path)
{
    close();
    SF_INFO info{};
    info.samplerate = m_rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    m_file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!m_file) {
        m_error = QString::fromLocal8Bit(sf_strerror(nullptr));
        return false;
    }
    // Rewrite the header's sizes on every write: a killed program leaves a
    // file that plays up to its last sample.
    sf_command(m_file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    m_samples = 0;
    return true;
}

void WavFileWriter::write(const qint16* samples, qint64 count)
{
    if (!m_file || count <= 0) return;
    const sf_count_t done = sf_write_short(m_file, samples, sf_count_t(count));
    if (done > 0) m_samples += done;
    sf_write_sync(m_file);
}

void WavFileWriter::close()
{
    if (m_file) {
        sf_close(m_file);
        m_file = nullptr;
    }
}

} // namespace orvella
