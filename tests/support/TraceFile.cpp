#include "support/TraceFile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <cmath>
#include <sndfile.h>

namespace orvella::test {

QList<TraceEntry> TraceFile::read() const
{
    QList<TraceEntry> out;
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (!doc.isObject()) continue;
        const QJsonObject o = doc.object();
        out.append({qint64(o.value(QStringLiteral("ms")).toDouble()),
                    o.value(QStringLiteral("kind")).toString(), o.value(QStringLiteral("arg"))});
    }
    return out;
}

qsizetype TraceFile::find(const QList<TraceEntry>& entries, const QString& kind, const QString& needle,
                          qsizetype from)
{
    for (qsizetype i = qMax<qsizetype>(0, from); i < entries.size(); ++i)
        if (entries[i].kind == kind && (needle.isEmpty() || entries[i].text().contains(needle))) return i;
    return -1;
}

qsizetype TraceFile::waitFor(const QString& kind, const QString& needle, int timeoutMs, qsizetype from) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        const qsizetype at = find(read(), kind, needle, from);
        if (at >= 0) return at;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(50);
    }
    return -1;
}

QString TraceFile::dump(const QList<TraceEntry>& entries)
{
    QString out;
    for (const TraceEntry& e : entries)
        out += QString::number(e.ms) + QLatin1Char(' ') + e.kind + QStringLiteral(": ") + e.text().left(120) +
               QLatin1Char('\n');
    return out;
}

double WavSamples::voicedFraction(double threshold) const
{
    const qsizetype window = qMax(1, rate / 20);
    qsizetype windows = 0, voiced = 0;
    for (qsizetype start = 0; start + window <= samples.size(); start += window) {
        double sum = 0;
        for (qsizetype i = start; i < start + window; ++i)
            sum += double(samples[i]) * samples[i];
        ++windows;
        if (std::sqrt(sum / double(window)) > threshold) ++voiced;
    }
    return windows ? double(voiced) / double(windows) : 0;
}

WavSamples readWav(const QString& path)
{
    WavSamples out;
    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!f) return out;
    out.rate = info.samplerate;
    QList<float> frame(info.channels);
    while (sf_readf_float(f, frame.data(), 1) == 1) {
        float sum = 0;
        for (float v : frame)
            sum += v;
        out.samples.append(sum / float(info.channels));
    }
    sf_close(f);
    return out;
}

} // namespace orvella::test
