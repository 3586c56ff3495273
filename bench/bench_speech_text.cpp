// Prints the time RemoveSymbols and SpeakableCase take on texts of growing
// size; linear time shows as a constant time per megabyte.
#include "core/speech/SpeechText.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QString>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

// Mail-like text: words, punctuation, symbols, separator lines, capitals.
QString makeText(qsizetype size)
{
    static const QString pieces[] = {u"Hello "_s,
                                     u"world, "_s,
                                     u"*bold* "_s,
                                     u"NASA "_s,
                                     u"~strike~ "_s,
                                     u"\r\n"_s,
                                     u"---------------\r\n"_s,
                                     u"> quoted line\r\n"_s,
                                     u"Ünïcödé "_s,
                                     u"=20 "_s,
                                     u"......... "_s,
                                     u"<tag> "_s};
    QString text;
    text.reserve(size + 64);
    QRandomGenerator rng(42);
    while (text.size() < size)
        text += pieces[rng.bounded(int(std::size(pieces)))];
    text.truncate(size);
    return text;
}

template <typename F> double bestMs(F f, int runs = 7)
{
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main()
{
    std::printf("%-10s %18s %18s %18s\n", "size", "RemoveSymbols ms", "SpeakableCase ms", "(spell off) ms");
    for (qsizetype size :
         {qsizetype(128) * 1024, qsizetype(512) * 1024, qsizetype(1024) * 1024, qsizetype(4096) * 1024}) {
        const QString text = makeText(size);
        volatile qsizetype sink = 0;
        const double rs = bestMs([&] { sink = sink + orvella::RemoveSymbols(text, u"<>*~_="_s).size(); });
        const double sc = bestMs([&] { sink = sink + orvella::SpeakableCase(text, true).size(); });
        const double lc = bestMs([&] { sink = sink + orvella::SpeakableCase(text, false).size(); });
        std::printf("%-10s %18.2f %18.2f %18.2f\n", qPrintable(QString::number(size / 1024) + u" KiB"_s), rs,
                    sc, lc);
    }
    std::printf("goal: linear time; the 1 MiB row is the figure that matters (text clean-up under 20 ms)\n");
    return 0;
}
