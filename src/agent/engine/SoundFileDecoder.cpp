#include "agent/engine/SoundFileDecoder.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <memory>
#include <samplerate.h>
#include <sndfile.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

QString SoundFileDecoder::decode(const QString& path, const std::function<void(QVector<qint16>&&)>& deliver,
                                 const std::function<bool()>& cancelled)
{
    if (path.isEmpty()) return u"no sound file was named"_s;
    if (!QFileInfo(path).isFile()) return u"the sound file %1 does not exist"_s.arg(path);

    SF_INFO info{};
    const QByteArray native = QFile::encodeName(path);
    std::unique_ptr<SNDFILE, decltype(&sf_close)> file(sf_open(native.constData(), SFM_READ, &info),
                                                       &sf_close);
    if (!file)
        return u"the sound file %1 cannot be played: %2"_s.arg(path,
                                                               QString::fromLocal8Bit(sf_strerror(nullptr)));
    if (info.channels < 1 || info.channels > 64 || info.samplerate < 1000 || info.samplerate > 768000)
        return u"the sound file %1 has an unusable format (%2 channels at %3 Hz)"_s.arg(path)
            .arg(info.channels)
            .arg(info.samplerate);

    const double ratio = double(AgentSampleRate) / info.samplerate;
    int srcError = 0;
    std::unique_ptr<SRC_STATE, decltype(&src_delete)> src(src_new(SRC_SINC_MEDIUM_QUALITY, 1, &srcError),
                                                          &src_delete);
    if (!src)
        return u"the sound file %1 cannot be resampled: %2"_s.arg(path,
                                                                  QString::fromUtf8(src_strerror(srcError)));

    constexpr sf_count_t Block = 4096;
    std::vector<float> interleaved(size_t(Block) * size_t(info.channels));
    std::vector<float> mono(Block);
    std::vector<float> resampled(size_t(std::ceil(Block * ratio)) + 64);
    const qint64 maxOut = qint64(MaxSeconds) * AgentSampleRate;
    qint64 produced = 0;
    bool endOfInput = false;

    while (!endOfInput) {
        if (cancelled()) return QString();
        const sf_count_t got = sf_readf_float(file.get(), interleaved.data(), Block);
        if (got < 0) return u"the sound file %1 is damaged"_s.arg(path);
        endOfInput = got < Block;
        for (sf_count_t i = 0; i < got; ++i) {
            float sum = 0.0f;
            for (int c = 0; c < info.channels; ++c)
                sum += interleaved[size_t(i) * size_t(info.channels) + size_t(c)];
            mono[size_t(i)] = sum / float(info.channels);
        }
        SRC_DATA d{};
        d.data_in = mono.data();
        d.input_frames = long(got);
        d.src_ratio = ratio;
        d.end_of_input = endOfInput ? 1 : 0;
        // The resampler may hold input back; feed it until it has used this block
        // (and, at the end, until it has flushed everything).
        while (true) {
            d.data_out = resampled.data();
            d.output_frames = long(resampled.size());
            if (const int e = src_process(src.get(), &d))
                return u"the sound file %1 cannot be resampled: %2"_s.arg(path,
                                                                          QString::fromUtf8(src_strerror(e)));
            if (d.output_frames_gen > 0) {
                qint64 n = qMin<qint64>(d.output_frames_gen, maxOut - produced);
                QVector<qint16> out(n);
                src_float_to_short_array(resampled.data(), out.data(), int(n));
                produced += n;
                deliver(std::move(out));
                if (produced >= maxOut) return QString();
            }
            d.data_in += d.input_frames_used;
            d.input_frames -= d.input_frames_used;
            if (d.input_frames <= 0 && (!endOfInput || d.output_frames_gen == 0)) break;
        }
    }
    return QString();
}

} // namespace orvella
