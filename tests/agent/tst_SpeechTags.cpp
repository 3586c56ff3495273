// Speech tags in Speak texts, the SSML made of them for espeak-ng, and what
// espeak-ng makes of that SSML.
#include "agent/engine/SpeechSynthesizer.h"
#include "agent/engine/SpeechTags.h"
#include "agent/engine/SsmlDocument.h"

#include <QXmlStreamReader>
#include <QtTest>
#include <cmath>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

Q_DECLARE_METATYPE(orvella::VoiceStyle)

namespace {

struct Synthesis
{
    QVector<qint16> samples;
    QList<ClipEvent> events;
    QString error;
};

bool synthesize(const SsmlDocument& doc, Synthesis& out)
{
    SpeechSynthesizer synth;
    bool done = false;
    QObject::connect(&synth, &SpeechSynthesizer::chunkReady, &synth, [&](quint64, const ClipChunk& c) {
        out.samples += c.samples;
        out.events += c.events;
        if (c.last) {
            out.error = c.error;
            done = true;
        }
    });
    synth.speak(doc.utf8(), u"en-us"_s);
    return QTest::qWaitFor([&] { return done; }, 10000);
}

// The fundamental frequency of the loud parts, by autocorrelation (median of 20 ms windows).
double pitchOf(const QVector<qint16>& s)
{
    const int win = 441;
    double total = 0;
    for (qint16 v : s)
        total += double(v) * v;
    const double rms = std::sqrt(total / qMax<qsizetype>(1, s.size()));
    QList<double> f0;
    for (qsizetype w = 0; w + 2 * win < s.size(); w += win) {
        double e = 0;
        for (int i = 0; i < win; ++i)
            e += double(s[w + i]) * s[w + i];
        if (std::sqrt(e / win) < rms) continue;
        double best = 0;
        int lag = 0;
        for (int l = 30; l < 400; ++l) {
            double c = 0;
            for (int i = 0; i < win; ++i)
                c += double(s[w + i]) * s[w + i + l];
            if (c > best) {
                best = c;
                lag = l;
            }
        }
        if (lag) f0.append(22050.0 / lag);
    }
    std::sort(f0.begin(), f0.end());
    return f0.isEmpty() ? 0 : f0.at(f0.size() / 2);
}

double zeroCrossingsPerSecond(const QVector<qint16>& s)
{
    int z = 0;
    for (qsizetype i = 1; i < s.size(); ++i)
        z += (s[i - 1] < 0) != (s[i] < 0);
    return s.isEmpty() ? 0 : z * 22050.0 / s.size();
}

} // namespace

class TestSpeechTags : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QList<qint32>>("marks");
        QTest::addColumn<int>("pitch");
        QTest::addColumn<int>("speed");
        QTest::addColumn<VoiceStyle>("voice");
        QTest::addColumn<bool>("hasWords");
        using L = QList<qint32>;
        const auto N = VoiceStyle::Normal;

        QTest::newRow("plain text") << u"Hello there."_s << u"Hello there."_s << L{} << 50 << 150 << N
                                    << true;
        QTest::newRow("the program's prefix") << u"\\Pit=100\\\\Spd=150\\\\Chr=\"Whisper\"\\ab"_s << u"ab"_s
                                              << L{} << 100 << 150 << VoiceStyle::Whisper << true;
        QTest::newRow("bookmark alone") << u"\\Mrk=5\\"_s << QString() << L{5} << 50 << 150 << N << false;
        QTest::newRow("end bookmark")
            << u"\\Mrk=100005\\"_s << QString() << L{100005} << 50 << 150 << N << false;
        QTest::newRow("bookmarks between texts")
            << u"one \\Mrk=1\\two\\Mrk=2\\"_s << u"one two"_s << L{1, 2} << 50 << 150 << N << true;
        QTest::newRow("tag inside a word")
            << u"ab\\Mrk=3\\cd"_s << u"abcd"_s << L{3} << 50 << 150 << N << true;
        QTest::newRow("names ignore case") << u"\\pit=80\\\\SPD=90\\\\chr=\"monotone\"\\x"_s << u"x"_s << L{}
                                           << 80 << 90 << VoiceStyle::Monotone << true;
        QTest::newRow("pitch above range") << u"\\Pit=9999\\x"_s << u"x"_s << L{} << 400 << 150 << N << true;
        QTest::newRow("pitch below range") << u"\\Pit=0\\x"_s << u"x"_s << L{} << 50 << 150 << N << true;
        QTest::newRow("speed above range") << u"\\Spd=900\\x"_s << u"x"_s << L{} << 50 << 250 << N << true;
        QTest::newRow("speed below range") << u"\\Spd=10\\x"_s << u"x"_s << L{} << 50 << 50 << N << true;
        QTest::newRow("largest bookmark")
            << u"\\Mrk=2147483647\\"_s << QString() << L{2147483647} << 50 << 150 << N << false;
        QTest::newRow("later tags change later words")
            << u"a\\Pit=200\\b"_s << u"ab"_s << L{} << 200 << 150 << N << true;
        QTest::newRow("a tag ends where the next begins")
            << u"\\Pit=60\\\\"_s << u"\\"_s << L{} << 60 << 150 << N << true;
        // Anything that is not a known, well-formed tag is spoken as it stands.
        QTest::newRow("unknown tag") << u"\\Vol=5\\hi"_s << u"\\Vol=5\\hi"_s << L{} << 50 << 150 << N << true;
        QTest::newRow("lone backslash")
            << u"C:\\temp is full"_s << u"C:\\temp is full"_s << L{} << 50 << 150 << N << true;
        QTest::newRow("unclosed tag")
            << u"\\Pit=100 and more"_s << u"\\Pit=100 and more"_s << L{} << 50 << 150 << N << true;
        QTest::newRow("not a number")
            << u"\\Pit=abc\\x"_s << u"\\Pit=abc\\x"_s << L{} << 50 << 150 << N << true;
        QTest::newRow("negative bookmark")
            << u"\\Mrk=-1\\"_s << u"\\Mrk=-1\\"_s << L{} << 50 << 150 << N << true;
        QTest::newRow("bookmark too big")
            << u"\\Mrk=2147483648\\"_s << u"\\Mrk=2147483648\\"_s << L{} << 50 << 150 << N << true;
        QTest::newRow("blank in a tag")
            << u"\\Pit = 100\\x"_s << u"\\Pit = 100\\x"_s << L{} << 50 << 150 << N << true;
        QTest::newRow("empty value") << u"\\Mrk=\\x"_s << u"\\Mrk=\\x"_s << L{} << 50 << 150 << N << true;
        QTest::newRow("unknown voice")
            << u"\\Chr=\"Loud\"\\x"_s << u"\\Chr=\"Loud\"\\x"_s << L{} << 50 << 150 << N << true;
        QTest::newRow("voice without quotes")
            << u"\\Chr=Whisper\\x"_s << u"\\Chr=Whisper\\x"_s << L{} << 50 << 150 << N << true;
        QTest::newRow("double backslash") << u"a\\\\b"_s << u"a\\\\b"_s << L{} << 50 << 150 << N << true;
        QTest::newRow("empty") << QString() << QString() << L{} << 50 << 150 << N << false;
        QTest::newRow("blanks only") << u" \r\n\t "_s << u" \r\n\t "_s << L{} << 50 << 150 << N << false;
        QString garbage = u"\\\\\\=\\Mrk\\=\\\"\\Chr=\"\\\u0001"_s;
        garbage += QChar(0xD800); // a lone surrogate
        garbage += u"\\"_s;
        QTest::newRow("garbage") << garbage << garbage << L{} << 50 << 150 << N << true;
    }

    void parse()
    {
        QFETCH(QString, text);
        const SpeechText s = SpeechTags::parse(text);
        QTEST(s.display, "display");
        QTEST(s.marks(), "marks");
        QTEST(s.hasWords(), "hasWords");
        const SpeechPiece* last = nullptr;
        for (const SpeechPiece& p : s.pieces) {
            if (!p.isMark) last = &p;
        }
        if (last) {
            QTEST(last->pitch, "pitch");
            QTEST(last->speed, "speed");
            QTEST(last->voice, "voice");
        }
        // Whatever the text, the SSML made of it is well-formed XML.
        SsmlDocument doc(s, u"en-us"_s);
        QXmlStreamReader xml(doc.utf8());
        while (!xml.atEnd())
            xml.readNext();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString() + u": "_s + doc.text()));
    }

    void ssmlEscapesTextAndPlacesMarks()
    {
        const SsmlDocument doc(SpeechTags::parse(u"Tom & <Jerry>.\\Mrk=7\\\\Chr=\"Whisper\"\\psst"_s),
                               u"en-us"_s);
        const QString x = doc.text();
        QVERIFY2(x.contains(u"Tom &amp; &lt;Jerry&gt;."_s), qPrintable(x));
        // espeak-ng drops a mark right after a full stop without a break between.
        QVERIFY2(x.contains(u"<break time=\"0ms\"/><mark name=\"0\"/>"_s), qPrintable(x));
        QVERIFY2(x.contains(u"<voice name=\"en-us+whisper\">"_s), qPrintable(x));
        qint32 mark = 0;
        QVERIFY(doc.markForName("0", mark));
        QCOMPARE(mark, 7);
        QVERIFY(!doc.markForName("1", mark));
        QVERIFY(!doc.markForName("x", mark));
        QVERIFY(!doc.markForName(nullptr, mark));
    }

    void scales_data()
    {
        QTest::addColumn<int>("hz");
        QTest::addColumn<int>("espeakPitch");
        QTest::addColumn<int>("wpm");
        QTest::addColumn<int>("espeakRate");
        // The program's defaults are espeak-ng's natural voice (pitch 50, 175 words a minute).
        QTest::newRow("program defaults") << 50 << 50 << 150 << 175;
        QTest::newRow("slowest") << 50 << 50 << 50 << 80;
        QTest::newRow("highest, fastest") << 400 << 99 << 250 << 300;
        QTest::newRow("between") << 225 << 74 << 200 << 237;
        QTest::newRow("outside the ranges") << 10000 << 99 << 10 << 80;
    }

    void scales()
    {
        QFETCH(int, hz);
        QFETCH(int, wpm);
        QTEST(SsmlDocument::espeakPitch(hz), "espeakPitch");
        QTEST(SsmlDocument::espeakRate(wpm), "espeakRate");
    }

    void wordPositionsLeadBackToTheText()
    {
        // Markup, an entity, accents and a character outside the BMP all
        // stand before the words whose places espeak-ng reports.
        const SpeechText text =
            SpeechTags::parse(u"\\Pit=60\\Tom & Jérôme like 🍕 pizza.\\Mrk=1\\ Then coffee."_s);
        const SsmlDocument doc(text, u"en-us"_s);
        Synthesis out;
        QVERIFY(synthesize(doc, out));
        QVERIFY(out.error.isEmpty());
        QStringList words;
        qint64 markSample = -1;
        for (const ClipEvent& e : out.events) {
            if (e.type == ClipEvent::Mark) markSample = e.sample;
            if (e.type != ClipEvent::Word) continue;
            qsizetype start = 0, end = 0;
            if (doc.displayRange(e.a, e.b, start, end)) words.append(text.display.mid(start, end - start));
        }
        QVERIFY2(words.contains(u"Tom"_s), qPrintable(words.join(u'|')));
        QVERIFY2(words.contains(u"Jérôme"_s), qPrintable(words.join(u'|')));
        QVERIFY2(words.contains(u"pizza"_s), qPrintable(words.join(u'|')));
        QVERIFY2(words.contains(u"coffee"_s), qPrintable(words.join(u'|')));
        // The mark falls between the sentences.
        QVERIFY(markSample > 0);
        QVERIFY(markSample < out.samples.size());
    }

    void voiceTagsAreAudible()
    {
        const QString words = u"Hello there, how are you today? I have some news for you."_s;
        Synthesis low, high, slow, fast, normal, whisper;
        QVERIFY(synthesize(SsmlDocument(SpeechTags::parse(u"\\Pit=50\\"_s + words), u"en-us"_s), low));
        QVERIFY(synthesize(SsmlDocument(SpeechTags::parse(u"\\Pit=400\\"_s + words), u"en-us"_s), high));
        QVERIFY(synthesize(SsmlDocument(SpeechTags::parse(u"\\Spd=50\\"_s + words), u"en-us"_s), slow));
        QVERIFY(synthesize(SsmlDocument(SpeechTags::parse(u"\\Spd=250\\"_s + words), u"en-us"_s), fast));
        QVERIFY(synthesize(SsmlDocument(SpeechTags::parse(words), u"en-us"_s), normal));
        QVERIFY(synthesize(SsmlDocument(SpeechTags::parse(u"\\Chr=\"Whisper\"\\"_s + words), u"en-us"_s),
                           whisper));
        const double f0Low = pitchOf(low.samples), f0High = pitchOf(high.samples);
        qInfo("pitch 50: %.0f Hz, pitch 400: %.0f Hz", f0Low, f0High);
        QVERIFY(f0High > f0Low * 1.3);
        QVERIFY(fast.samples.size() * 2 < slow.samples.size());
        // A whisper has no voiced tone: its waveform crosses zero far more often.
        QVERIFY(zeroCrossingsPerSecond(whisper.samples) > 1.4 * zeroCrossingsPerSecond(normal.samples));
    }
};

QTEST_MAIN(TestSpeechTags)
#include "tst_SpeechTags.moc"
