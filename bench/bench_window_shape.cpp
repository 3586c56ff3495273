// What cutting the character's windows to their figure costs on the UI thread.
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" bench_window_shape [--rounds N]
//
// For each size, every frame of the character (and every speaking mouth on
// the frames that speak) is shown in turn on a visible window, as an
// animation shows them: first when nothing is cached (the frame is drawn from
// its vectors, flattened and scanned into a region), then again: pictures
// the window keeps come from memory (only the cut and the picture go to the X
// server). The window keeps a bounded set, so where all of them do not fit
// (the larger sizes) this pass, which cycles through every one, draws many
// again. Beside it, the same with the translucent window a compositor
// allows, as the reference.
// Then the steps of Show, which have transforms, and the balloon's outline.
#include "agent/engine/CharacterFile.h"
#include "agent/view/BalloonWindow.h"
#include "agent/view/CharacterWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

QString defaultCharacter()
{
    return QFileInfo(QStringLiteral(__FILE__)).absoluteDir().filePath(u"../data/characters/vela.acs"_s);
}

struct Figures
{
    std::vector<double> ms;
    void add(double v) { ms.push_back(v); }
    double mean() const
    {
        double s = 0;
        for (double v : ms)
            s += v;
        return ms.empty() ? 0 : s / double(ms.size());
    }
    double max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
    double p95() const
    {
        if (ms.empty()) return 0;
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        return s[std::min(s.size() - 1, size_t(double(s.size()) * 0.95))];
    }
};

void print(const char* what, int size, const Figures& f)
{
    std::printf("  %-34s %4d px  n=%4zu  mean %6.3f ms  p95 %6.3f ms  max %6.3f ms\n", what, size,
                f.ms.size(), f.mean(), f.p95(), f.max());
}

double timed(const std::function<void()>& step)
{
    QElapsedTimer t;
    t.start();
    step();
    return double(t.nsecsElapsed()) / 1e6;
}

// Every (frame, mouth) an animation can put on the screen.
struct Step
{
    int frame;
    int mouth; // speaking mouth index, -1 for the frame's own
};

std::vector<Step> allSteps(const CharacterFile& file)
{
    std::vector<Step> steps;
    for (int f = 0; f < file.frames().size(); ++f) {
        steps.push_back({f, -1});
        if (file.frames().at(f).usesMouth)
            for (int m = 0; m < file.speakingMouths().size(); ++m)
                steps.push_back({f, m});
    }
    return steps;
}

void showStep(CharacterWindow& w, const Step& s)
{
    w.setSpeakingMouth(-1);
    w.showFrame(s.frame);
    if (s.mouth >= 0) w.setSpeakingMouth(s.mouth);
    // The translucent window paints at the next update; count that paint as
    // the masked window's synchronous one is counted.
    if (!w.masked()) w.repaint();
}

// Lets a window just shown be mapped and exposed, so the figures include its paint.
void settle()
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser cli;
    cli.addHelpOption();
    cli.addOption({u"character"_s, u"Character file"_s, u"file"_s, defaultCharacter()});
    cli.addOption({u"rounds"_s, u"Rounds through the cached frames"_s, u"n"_s, u"5"_s});
    cli.process(app);
    const int rounds = qMax(1, cli.value(u"rounds"_s).toInt());

    CharacterFile file;
    if (!file.load(cli.value(u"character"_s))) {
        std::fprintf(stderr, "%s\n", qPrintable(file.error()));
        return 1;
    }
    std::printf("platform %s, character %s: %d frames, %d speaking mouths\n",
                qPrintable(QGuiApplication::platformName()), qPrintable(file.name()),
                int(file.frames().size()), int(file.speakingMouths().size()));
    const std::vector<Step> steps = allSteps(file);

    for (int size : {64, 128, 256}) {
        std::printf("character at %d px (%zu frame and mouth pictures)\n", size, steps.size());
        for (auto shaping : {ShapedWindow::Shaping::Translucent, ShapedWindow::Shaping::Mask}) {
            const bool mask = shaping == ShapedWindow::Shaping::Mask;
            CharacterWindow w;
            w.setCharacter(&file);
            w.setShaping(shaping);
            w.setGeometry(100, 100, size, size);
            w.show();
            settle();
            Figures cold, warm;
            for (const Step& s : steps)
                cold.add(timed([&] { showStep(w, s); }));
            for (int r = 0; r < rounds; ++r)
                for (const Step& s : steps)
                    warm.add(timed([&] { showStep(w, s); }));
            QCoreApplication::processEvents();
            print(mask ? "masked, first showing" : "translucent, first showing", size, cold);
            print(mask ? "masked, cached" : "translucent, cached", size, warm);
            if (mask) {
                Figures rects;
                for (const Step& s : steps) {
                    showStep(w, s);
                    rects.add(double(w.shape().rectCount()));
                }
                std::printf("  %-34s %4d px  mean %.0f rectangles, max %.0f\n", "mask size", size,
                            rects.mean(), rects.max());
            }
        }

        // The scan alone, on a frame already drawn.
        QImage drawn(size, size, QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        {
            QSvgRenderer r(file.frameDocument(file.restFrame(), file.frames().at(file.restFrame()).mouth));
            QPainter p(&drawn);
            p.setRenderHint(QPainter::Antialiasing);
            r.render(&p, QRectF(0, 0, size, size));
        }
        Figures scan;
        for (int i = 0; i < 200; ++i) {
            QImage copy = drawn.copy();
            scan.add(timed([&] { ShapedWindow::flattenToRegion(copy); }));
        }
        print("flatten and scan one frame", size, scan);

        // Show's steps: scaled and faded, each a picture of its own.
        const int show = file.findAnimation(u"Show"_s);
        if (show >= 0) {
            CharacterWindow w;
            w.setCharacter(&file);
            w.setShaping(ShapedWindow::Shaping::Mask);
            w.setGeometry(100, 100, size, size);
            w.show();
            settle();
            Figures cold;
            for (const CharacterFile::Row& row : file.animations().at(show).rows)
                cold.add(timed([&] { w.showFrame(row.frame, row); }));
            print("masked Show, first time", size, cold);
        }
    }

    // The balloon: its outline is scanned once a speech (and when it moves
    // against a screen edge), the text then only repaints.
    const QString text = u"You have a new message from the garden club about the folding chairs."_s;
    for (auto shaping : {ShapedWindow::Shaping::Translucent, ShapedWindow::Shaping::Mask}) {
        const bool mask = shaping == ShapedWindow::Shaping::Mask;
        BalloonWindow b;
        b.setBalloonFont(QFont());
        b.setShaping(shaping);
        b.setAnchor(QRect(300, 500, 128, 128));
        b.startSpeech(text);
        b.show();
        settle();
        Figures speech, thought;
        for (int i = 0; i < 50; ++i) {
            b.setAnchor(QRect(300 + i, 500, 128, 128));
            speech.add(timed([&] {
                b.startSpeech(text + QString::number(i));
                b.repaint();
            }));
            thought.add(timed([&] {
                b.startThought(text + QString::number(i));
                b.repaint();
            }));
        }
        print(mask ? "masked speech balloon" : "translucent speech balloon", 0, speech);
        print(mask ? "masked thought balloon" : "translucent thought balloon", 0, thought);
        b.close();
    }
    return 0;
}
