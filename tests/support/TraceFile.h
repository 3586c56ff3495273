#pragma once

#include <QJsonValue>
#include <QList>
#include <QString>
#include <functional>

namespace orvella::test {

// The program's trace (--trace FILE) read back: one entry per JSON line.
struct TraceEntry
{
    qint64 ms = 0;
    QString kind;
    QJsonValue arg;
    QString text() const { return arg.isString() ? arg.toString() : QString::number(arg.toDouble()); }
};

class TraceFile
{
public:
    explicit TraceFile(QString path) : m_path(std::move(path)) {}
    // Reads the file again (lines still being written are skipped).
    QList<TraceEntry> read() const;
    // Index of the first entry at or after from with this kind whose text
    // contains needle (any text when needle is empty); -1 when none.
    static qsizetype find(const QList<TraceEntry>& entries, const QString& kind, const QString& needle = {},
                          qsizetype from = 0);
    // Waits (processing events) until such an entry appears; its index, or -1.
    qsizetype waitFor(const QString& kind, const QString& needle = {}, int timeoutMs = 60000,
                      qsizetype from = 0) const;
    // "kind: text" lines, for failure messages.
    static QString dump(const QList<TraceEntry>& entries);

private:
    QString m_path;
};

// A WAV file's samples (any format libsndfile reads), mixed to mono.
struct WavSamples
{
    int rate = 0;
    QList<float> samples;
    // Fraction of 50 ms windows whose RMS is above threshold: speech gives a
    // large share, silence none.
    double voicedFraction(double threshold = 0.02) const;
    double seconds() const { return rate ? double(samples.size()) / rate : 0; }
};
WavSamples readWav(const QString& path);

} // namespace orvella::test
