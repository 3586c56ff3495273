// Character files: the shipped character, small good files, and damaged ones.
#include "agent/engine/CharacterFile.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

// The smallest sensible character; rows below break it one way at a time.
const QByteArray Good = R"acs(ORVELLA CHARACTER 1
# a comment
name Dot
size 32 32
speaking-mouths shut open

defs
<radialGradient id="g"><stop offset="0" stop-color="#fff"/><stop offset="1" stop-color="#888"/></radialGradient>
end

mouth shut
<rect x="12" y="20" width="8" height="1" fill="#000"/>
end

mouth open
<ellipse cx="16" cy="21" rx="4" ry="3" fill="#000"/>
end

frame rest
<circle cx="16" cy="16" r="14" fill="url(#g)"/>
<use xlink:href="#mouth"/>
end

frame jump mouth=open
<circle cx="16" cy="12" r="14" fill="url(#g)"/>
<use xlink:href="#mouth"/>
end

frame back mouth=none
<circle cx="16" cy="16" r="14" fill="#888"/>
end

animation RestPose
  rest 100
end

animation Hop
  rest 50 scale=0.5 opacity=0.25 dx=1 dy=-2 rotate=10
  jump 80
  back 40
end

animation Spinning loop
  back 100
end
)acs";

QByteArray replaced(const QByteArray& from, const QByteArray& to)
{
    QByteArray b = Good;
    b.replace(from, to);
    return b;
}

} // namespace

class TestCharacterFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void shippedCharacter()
    {
        CharacterFile c;
        QVERIFY2(c.load(QStringLiteral(ORVELLA_SOURCE_CHARACTER)), qPrintable(c.error()));
        QCOMPARE(c.name(), u"Vela"_s);
        QCOMPARE(c.width(), 128);
        QCOMPARE(c.height(), 128);
        // Every gesture the program names, and the ones that make the gesture lists worth choosing from.
        const QStringList needed = {
            u"Show"_s,         u"Hide"_s,         u"RestPose"_s,  u"Greet"_s,        u"Wave"_s,
            u"Read"_s,         u"Reading"_s,      u"Announce"_s,  u"Suggest"_s,      u"Sad"_s,
            u"GetAttention"_s, u"Pleased"_s,      u"Surprised"_s, u"Congratulate"_s, u"Think"_s,
            u"Thinking"_s,     u"Explain"_s,      u"Alert"_s,     u"Confused"_s,     u"Decline"_s,
            u"Uncertain"_s,    u"LookLeft"_s,     u"LookRight"_s, u"LookUp"_s,       u"LookDown"_s,
            u"GestureLeft"_s,  u"GestureRight"_s, u"GestureUp"_s, u"GestureDown"_s};
        for (const QString& name : needed)
            QVERIFY2(c.findAnimation(name) >= 0, qPrintable(name));
        int idles = 0;
        for (const QString& name : c.animationNames())
            idles += name.startsWith(u"Idle"_s);
        QVERIFY(idles >= 3);
        // The looping ones are those the gesture lists leave out.
        QVERIFY(c.animations().at(c.findAnimation(u"Reading"_s)).loop);
        QVERIFY(!c.animations().at(c.findAnimation(u"Read"_s)).loop);
        QVERIFY(c.speakingMouths().size() >= 3);
        QVERIFY(c.frames().at(c.restFrame()).usesMouth);
        // Every frame with every mouth draws something that fills the picture
        // reasonably, at the smallest and the largest size.
        for (int size : {64, 256}) {
            for (int f = 0; f < c.frames().size(); f += 7) {
                QSvgRenderer r(c.frameDocument(f, c.frames().at(f).mouth));
                QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
                img.fill(Qt::transparent);
                QPainter p(&img);
                r.render(&p);
                p.end();
                int opaque = 0;
                for (int y = 0; y < size; ++y)
                    for (int x = 0; x < size; ++x)
                        opaque += qAlpha(img.pixel(x, y)) > 128;
                const double share = double(opaque) / (size * size);
                QVERIFY2(share > 0.25 && share < 0.9, qPrintable(c.frames().at(f).name));
            }
        }
    }

    void good_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("animations");
        QTest::newRow("as written") << Good << 3 << 3;
        QByteArray crlf = Good;
        crlf.replace("\n", "\r\n");
        QTest::newRow("CR LF line ends") << crlf << 3 << 3;
        QTest::newRow("no defs, no speaking mouths")
            << replaced("speaking-mouths shut open\n", "")
                   .replace("defs\n<radialGradient id=\"g\"><stop offset=\"0\" stop-color=\"#fff\"/><stop "
                            "offset=\"1\" stop-color=\"#888\"/></radialGradient>\nend\n",
                            "")
                   .replace("url(#g)", "#999")
            << 3 << 3;
        QTest::newRow("indented keywords and blank lines")
            << replaced("name Dot", "\n\n   name Dot   ") << 3 << 3;
    }

    void good()
    {
        QFETCH(QByteArray, data);
        CharacterFile c;
        QVERIFY2(c.parse(data, u"dot.acs"_s), qPrintable(c.error()));
        QCOMPARE(c.name(), u"Dot"_s);
        QTEST(int(c.frames().size()), "frames");
        QTEST(int(c.animations().size()), "animations");
        QCOMPARE(c.animationNames(), (QStringList{u"RestPose"_s, u"Hop"_s, u"Spinning"_s}));
        // Animation names are found whatever their case.
        QCOMPARE(c.findAnimation(u"hop"_s), 1);
        QCOMPARE(c.findAnimation(u"Jump"_s), -1);
        const CharacterFile::Animation& hop = c.animations().at(1);
        QCOMPARE(hop.rows.size(), 3);
        QCOMPARE(hop.durationMs(), 170);
        QCOMPARE(hop.rows.at(0).scale, 0.5);
        QCOMPARE(hop.rows.at(0).opacity, 0.25);
        QCOMPARE(hop.rows.at(0).rotate, 10.0);
        QCOMPARE(hop.rows.at(1).frame, c.findFrame(u"jump"_s));
        QVERIFY(c.animations().at(2).loop);
        QCOMPARE(c.frames().at(c.findFrame(u"jump"_s)).mouth, u"open"_s);
        QCOMPARE(c.frames().at(c.findFrame(u"back"_s)).mouth, QString());
        QVERIFY(!c.frames().at(c.findFrame(u"back"_s)).usesMouth);
    }

    void damaged_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("error");
        QTest::newRow("empty") << QByteArray() << u"empty"_s;
        QTest::newRow("only blanks") << QByteArray("\n \n\t\n") << u"empty"_s;
        QTest::newRow("binary") << QByteArray("\x00\x01\x02ORVELLA", 10) << u"binary"_s;
        QTest::newRow("not UTF-8") << QByteArray("ORVELLA CHARACTER 1\nname \xff\xfe\n") << u"UTF-8"_s;
        QTest::newRow("another format") << QByteArray("RIFF....ACS\n") << u"must begin"_s;
        QTest::newRow("newer version") << replaced("CHARACTER 1", "CHARACTER 2") << u"must begin"_s;
        QTest::newRow("no name") << replaced("name Dot\n", "") << u"no name"_s;
        QTest::newRow("empty name") << replaced("name Dot", "name") << u"name"_s;
        QTest::newRow("name twice") << replaced("name Dot", "name Dot\nname Dash") << u"twice"_s;
        QTest::newRow("no size") << replaced("size 32 32\n", "") << u"no size"_s;
        QTest::newRow("size zero") << replaced("size 32 32", "size 0 0") << u"16 to 1024"_s;
        QTest::newRow("size huge") << replaced("size 32 32", "size 99999 32") << u"16 to 1024"_s;
        QTest::newRow("size not numbers") << replaced("size 32 32", "size big small") << u"16 to 1024"_s;
        QTest::newRow("size one number") << replaced("size 32 32", "size 32") << u"width and a height"_s;
        QTest::newRow("unknown keyword")
            << replaced("name Dot", "name Dot\ncolour red") << u"unknown keyword"_s;
        QTest::newRow("frame without end") << replaced("<use xlink:href=\"#mouth\"/>\nend\n\nframe jump",
                                                       "<use xlink:href=\"#mouth\"/>\n\nframe jump")
                                           << u"line 19: frame \"rest\" has no \"end\""_s;
        QTest::newRow("file cut short") << Good.left(Good.indexOf("  jump 80")) << u"has no \"end\""_s;
        QTest::newRow("no frames") << QByteArray("ORVELLA CHARACTER 1\nname A\nsize 32 32\n")
                                   << u"no frames"_s;
        QTest::newRow("frame named twice") << replaced("frame jump", "frame rest") << u"defined twice"_s;
        QTest::newRow("bad frame name") << replaced("frame jump", "frame ju/mp") << u"letters, digits"_s;
        QTest::newRow("animation named twice, other case")
            << replaced("animation Hop", "animation restpose") << u"defined twice"_s;
        QTest::newRow("unknown animation option")
            << replaced("animation Spinning loop", "animation Spinning forever")
            << u"unknown animation option"_s;
        QTest::newRow("missing frame")
            << replaced("  jump 80", "  leap 80") << u"uses frame \"leap\", which is not defined"_s;
        QTest::newRow("empty animation") << replaced("  back 100\n", "") << u"has no frames"_s;
        QTest::newRow("zero duration") << replaced("jump 80", "jump 0") << u"duration"_s;
        QTest::newRow("negative duration") << replaced("jump 80", "jump -5") << u"duration"_s;
        QTest::newRow("endless duration") << replaced("jump 80", "jump 99999999999") << u"duration"_s;
        QTest::newRow("row without duration") << replaced("jump 80", "jump") << u"duration"_s;
        QTest::newRow("unknown row option")
            << replaced("jump 80", "jump 80 wobble=1") << u"unknown row option"_s;
        QTest::newRow("opacity out of range") << replaced("opacity=0.25", "opacity=2") << u"out of range"_s;
        QTest::newRow("scale not a number") << replaced("scale=0.5", "scale=nan") << u"out of range"_s;
        QTest::newRow("scale infinite") << replaced("scale=0.5", "scale=inf") << u"out of range"_s;
        QTest::newRow("unknown frame option")
            << replaced("frame jump mouth=open", "frame jump eyes=open") << u"unknown frame option"_s;
        QTest::newRow("undefined mouth") << replaced("frame jump mouth=open", "frame jump mouth=grin")
                                         << u"mouth \"grin\", which is not defined"_s;
        QTest::newRow("undefined speaking mouth")
            << replaced("speaking-mouths shut open", "speaking-mouths shut wide")
            << u"speaking mouth \"wide\""_s;
        QTest::newRow("one speaking mouth")
            << replaced("speaking-mouths shut open", "speaking-mouths shut") << u"at least two"_s;
        QTest::newRow("broken SVG") << replaced("<circle cx=\"16\" cy=\"12\" r=\"14\" fill=\"url(#g)\"/>",
                                                "<circle cx=\"16\" <<<")
                                    << u"frame \"jump\" is not valid SVG"_s;
        QTest::newRow("unbalanced SVG")
            << replaced("<circle cx=\"16\" cy=\"16\" r=\"14\" fill=\"#888\"/>", "<g><g><g>")
            << u"frame \"back\" is not valid SVG"_s;
        QTest::newRow("entity expansion") << replaced("<circle cx=\"16\" cy=\"16\" r=\"14\" fill=\"#888\"/>",
                                                      "<!DOCTYPE x [<!ENTITY a \"aaaaaaaa\">]>")
                                          << u"may not use"_s;
        QTest::newRow("picture from another file")
            << replaced("<circle cx=\"16\" cy=\"16\" r=\"14\" fill=\"#888\"/>",
                        "<image xlink:href=\"/etc/passwd\" width=\"9\" height=\"9\"/>")
            << u"may not use"_s;
        QTest::newRow("defs twice") << replaced("mouth shut\n", "defs\nend\nmouth shut\n")
                                    << u"defs is given twice"_s;
    }

    void damaged()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, error);
        CharacterFile c;
        QVERIFY(!c.parse(data, u"dot.acs"_s));
        QVERIFY2(c.error().contains(error), qPrintable(c.error()));
        QVERIFY2(c.error().startsWith(u"dot.acs: "_s), qPrintable(c.error()));
    }

    void files()
    {
        QTemporaryDir dir;
        CharacterFile c;
        QVERIFY(!c.load(dir.filePath(u"missing.acs"_s)));
        QVERIFY2(c.error().contains(u"does not exist"_s), qPrintable(c.error()));

        QFile big(dir.filePath(u"big.acs"_s));
        QVERIFY(big.open(QIODevice::WriteOnly));
        big.resize(CharacterFile::MaxFileBytes + 1);
        big.close();
        QVERIFY(!c.load(big.fileName()));
        QVERIFY2(c.error().contains(u"too big"_s), qPrintable(c.error()));

        QVERIFY(!c.load(dir.path())); // a folder
        QVERIFY(!c.error().isEmpty());
    }

    // Damage the shipped character at random: every result is a clean load or
    // a clear error, never a crash or a hang.
    void mangled()
    {
        QFile f(QStringLiteral(ORVELLA_SOURCE_CHARACTER));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray original = f.readAll();
        QRandomGenerator rng(20240611);
        for (int round = 0; round < 60; ++round) {
            QByteArray b = original;
            const int edits = 1 + int(rng.bounded(6));
            for (int e = 0; e < edits; ++e) {
                const qsizetype at = rng.bounded(int(b.size()));
                switch (rng.bounded(4)) {
                case 0:
                    b[at] = char(rng.bounded(256));
                    break;
                case 1:
                    b.remove(at, rng.bounded(200));
                    break;
                case 2:
                    b.insert(at, b.mid(rng.bounded(int(b.size())), 100));
                    break;
                default:
                    b.truncate(at);
                    break;
                }
                if (b.isEmpty()) break;
            }
            CharacterFile c;
            if (!c.parse(b, u"vela.acs"_s)) QVERIFY(!c.error().isEmpty());
        }
    }
};

QTEST_MAIN(TestCharacterFile)
#include "tst_CharacterFile.moc"
