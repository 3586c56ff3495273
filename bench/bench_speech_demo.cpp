// A hand-run check of the character engine, and the maker of its screenshots.
//
//   bench_speech_demo [--character FILE] [TEXT...]        shows the character and speaks
//   bench_speech_demo --sheet OUT.png [--size N]           every frame of the character, labelled
//   bench_speech_demo --screenshot OUT.png --size N TEXT   the character and its balloon mid-speech
//   bench_speech_demo --think OUT.png --size N TEXT        the same with a thought balloon
#include "agent/engine/CharacterFile.h"
#include "agent/view/AgentEngine.h"
#include "agent/view/BalloonWindow.h"
#include "agent/view/CharacterWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSvgRenderer>
#include <QTimer>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

// The source tree's character, found from this file's own place.
QString defaultCharacter()
{
    return QFileInfo(QStringLiteral(__FILE__)).absoluteDir().filePath(u"../data/characters/vela.acs"_s);
}

int sheet(const QString& file, const QString& out, int size)
{
    CharacterFile c;
    if (!c.load(file)) {
        std::fprintf(stderr, "%s\n", qPrintable(c.error()));
        return 1;
    }
    const int cols = 8;
    const int rows = int((c.frames().size() + cols - 1) / cols);
    const int cell = size + 24;
    QImage img(cols * cell, rows * cell, QImage::Format_ARGB32_Premultiplied);
    img.fill(QColor(226, 232, 240));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < c.frames().size(); ++i) {
        const int x = (i % cols) * cell, y = (i / cols) * cell;
        QSvgRenderer r(c.frameDocument(i, c.frames().at(i).mouth));
        r.render(&p, QRectF(x + 12, y + 4, size, size));
        p.setPen(Qt::black);
        p.drawText(QRect(x, y + size + 4, cell, 18), Qt::AlignCenter, c.frames().at(i).name);
    }
    p.end();
    return img.save(out) ? 0 : 1;
}

// The picture on a calm desktop-like gradient, with some room around it.
QImage onBackdrop(const QImage& picture)
{
    const int pad = 16;
    QImage out(picture.width() + 2 * pad, picture.height() + 2 * pad, QImage::Format_RGB32);
    QPainter p(&out);
    QLinearGradient g(0, 0, 0, out.height());
    g.setColorAt(0, QColor(120, 160, 205));
    g.setColorAt(1, QColor(70, 110, 160));
    p.fillRect(out.rect(), g);
    p.drawImage(pad, pad, picture);
    p.end();
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser cli;
    cli.addHelpOption();
    cli.addOption({u"character"_s, u"Character file"_s, u"file"_s, defaultCharacter()});
    cli.addOption({u"sheet"_s, u"Save every frame to this PNG"_s, u"png"_s});
    cli.addOption({u"screenshot"_s, u"Save the character speaking to this PNG"_s, u"png"_s});
    cli.addOption({u"think"_s, u"Save the character thinking to this PNG"_s, u"png"_s});
    cli.addOption({u"size"_s, u"Character size in pixels"_s, u"n"_s, u"128"_s});
    cli.addOption({u"at"_s, u"Seconds into the speech for the screenshot"_s, u"s"_s, u"1.6"_s});
    cli.addOption({u"play"_s, u"Animation to play before speaking"_s, u"name"_s});
    cli.addOption({u"backdrop"_s, u"Put the screenshot on a desktop-like background"_s});
    cli.addPositionalArgument(u"text"_s, u"What to say"_s);
    cli.process(app);
    const int size = cli.value(u"size"_s).toInt();
    if (cli.isSet(u"sheet"_s)) return sheet(cli.value(u"character"_s), cli.value(u"sheet"_s), size);

    AgentEngine agent;
    if (!agent.Load(u"EMailAgent"_s, cli.value(u"character"_s))) {
        std::fprintf(stderr, "%s\n", qPrintable(agent.loadError()));
        return 1;
    }
    QObject::connect(&agent, &IAgent::Bookmark, &app, [](int id) { std::printf("bookmark %d\n", id); });
    agent.setWidth(size);
    agent.setHeight(size);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    agent.MoveTo(screen.width() / 2 - size / 2, screen.height() - size - 40);
    const QString text =
        cli.positionalArguments().isEmpty()
            ? u"Hello! I am Vela. You have three new messages.\\Mrk=1\\ The first is from Anna."_s
            : cli.positionalArguments().join(u' ');
    agent.Show(false);
    if (cli.isSet(u"play"_s)) agent.Play(cli.value(u"play"_s));
    const QString shot = cli.isSet(u"think"_s) ? cli.value(u"think"_s) : cli.value(u"screenshot"_s);
    if (cli.isSet(u"think"_s))
        agent.Think(text);
    else
        agent.Speak(text);
    agent.Hide(false);

    if (!shot.isEmpty()) {
        // Wait until the words are coming, then take the picture.
        QTimer::singleShot(qRound(cli.value(u"at"_s).toDouble() * 1000), &app, [&] {
            QImage img = agent.snapshot();
            if (cli.isSet(u"backdrop"_s)) img = onBackdrop(img);
            std::printf("saved %s (%dx%d): %s\n", qPrintable(shot), img.width(), img.height(),
                        img.save(shot) ? "ok" : "failed");
            agent.StopAll();
            app.quit();
        });
    } else {
        QObject::connect(&agent, &AgentEngine::queueEmpty, &app, &QApplication::quit);
    }
    return app.exec();
}
