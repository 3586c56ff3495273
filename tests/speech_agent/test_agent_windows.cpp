// The character's windows: how they are made, how the character is drawn at
// the smallest and largest sizes, and where the balloon goes.
#include "speech/agent/AgentEngine.h"
#include "speech/agent/BalloonWindow.h"
#include "speech/agent/CharacterWindow.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

const QString LongText =
    u"You have a new message from the garden club. They ask whether you could bring "
    u"the folding chairs and two thermos flasks of tea to the meeting on Saturday morning, "
    u"and whether your sister would like to come along as well, since there will be cake."_s;

QRect opaqueBounds(const QImage& img, int* count = nullptr)
{
    QRect r;
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > 128) {
                r |= QRect(x, y, 1, 1);
                ++n;
            }
    if (count) *count = n;
    return r;
}

} // namespace

class TestAgentWindows : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void windowsStayOutOfTheWay()
    {
        AgentEngine agent;
        QVERIFY(agent.Load(u"EMailAgent"_s, QStringLiteral(ORVELLA_SOURCE_CHARACTER)));
        for (QWidget* w :
             {static_cast<QWidget*>(agent.characterWindow()), static_cast<QWidget*>(agent.balloonWindow())}) {
            QVERIFY(w->windowFlags().testFlag(Qt::Tool));
            QVERIFY(w->windowFlags().testFlag(Qt::FramelessWindowHint));
            QVERIFY(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
            QVERIFY(w->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
            QVERIFY(w->testAttribute(Qt::WA_TranslucentBackground));
            QVERIFY(w->testAttribute(Qt::WA_ShowWithoutActivating));
        }
        // The balloon lets clicks through to whatever is under it.
        QVERIFY(agent.balloonWindow()->testAttribute(Qt::WA_TransparentForMouseEvents));
    }

    // A font this system lacks keeps the balloon in the system's font; an
    // installed one is used.
    void balloonFontNotInstalled()
    {
        AgentEngine agent;
        const QString standard = QFontInfo(QFont()).family();
        QString other;
        for (const QString& family : QFontDatabase::families())
            if (QFontInfo(QFont(family)).family() != standard) other = family;
        if (other.isEmpty()) QSKIP("only one font family is installed");
        agent.setBalloonFontName(other);
        QCOMPARE(QFontInfo(agent.balloonWindow()->balloonFont()).family(), QFontInfo(QFont(other)).family());
        agent.setBalloonFontName(u"MS Sans Serif"_s);
        QCOMPARE(QFontInfo(agent.balloonWindow()->balloonFont()).family(), standard);
        agent.setBalloonFontSize(14);
        QCOMPARE(agent.balloonWindow()->balloonFont().pointSize(), 14);
    }

    void translucentWhereTheDesktopComposes()
    {
        // The offscreen platform, like Wayland, always composes: no window is cut to a mask.
        AgentEngine agent;
        QVERIFY(agent.Load(u"EMailAgent"_s, QStringLiteral(ORVELLA_SOURCE_CHARACTER)));
        agent.Show(true);
        agent.Think(u"Nothing to cut here."_s);
        QVERIFY(QTest::qWaitFor([&] { return agent.balloonWindow()->isVisible(); }, 5000));
        for (ShapedWindow* w : {static_cast<ShapedWindow*>(agent.characterWindow()),
                                static_cast<ShapedWindow*>(agent.balloonWindow())}) {
            QVERIFY(w->isVisible());
            QVERIFY(!w->masked());
            QVERIFY(w->mask().isEmpty());
        }
        agent.StopAll();
    }

    void drawnAtEverySize_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("64") << 64;
        QTest::newRow("96") << 96;
        QTest::newRow("256") << 256;
    }

    void drawnAtEverySize()
    {
        QFETCH(int, size);
        AgentEngine agent;
        QVERIFY(agent.Load(u"EMailAgent"_s, QStringLiteral(ORVELLA_SOURCE_CHARACTER)));
        agent.setWidth(size);
        agent.setHeight(size);
        const QImage img = agent.characterWindow()->snapshot();
        QCOMPARE(img.size(), QSize(size, size));
        int opaque = 0;
        const QRect r = opaqueBounds(img, &opaque);
        // The figure fills its window, whatever the size: drawn from vectors, not scaled pixels.
        QVERIFY2(r.height() >= size * 0.8 && r.width() >= size * 0.55,
                 qPrintable(u"%1x%2"_s.arg(r.width()).arg(r.height())));
        const double share = double(opaque) / (size * size);
        QVERIFY2(share > 0.35 && share < 0.85, qPrintable(QString::number(share)));
        // The corners stay see-through.
        QCOMPARE(qAlpha(img.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(img.pixel(size - 1, 0)), 0);
    }

    void balloonStaysOnScreen_data()
    {
        QTest::addColumn<QPoint>(
            "where"); // in steps of the free room: -1 off the edge, 0 edge, 1 middle, 2 far edge
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("below");
        QTest::newRow("middle") << QPoint(1, 1) << 128 << false;
        QTest::newRow("bottom centre, large") << QPoint(1, 2) << 256 << false;
        QTest::newRow("top left corner") << QPoint(0, 0) << 128 << true;
        QTest::newRow("top right corner") << QPoint(2, 0) << 64 << true;
        QTest::newRow("bottom left corner") << QPoint(0, 2) << 64 << false;
        QTest::newRow("bottom right corner") << QPoint(2, 2) << 256 << false;
        QTest::newRow("partly off the left edge") << QPoint(-1, 1) << 128 << false;
        QTest::newRow("partly off the right edge") << QPoint(3, 1) << 128 << false;
        QTest::newRow("partly above the top") << QPoint(1, -1) << 128 << true;
    }

    void balloonStaysOnScreen()
    {
        QFETCH(QPoint, where);
        QFETCH(int, size);
        QFETCH(bool, below);
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const int fx = screen.width() - size, fy = screen.height() - size;
        auto place = [](int step, int room, int size) {
            return step < 0 ? -size / 3 : step > 2 ? room + size / 3 : step * room / 2;
        };
        const QRect character(screen.left() + place(where.x(), fx, size),
                              screen.top() + place(where.y(), fy, size), size, size);
        BalloonWindow b;
        b.setBalloonFont(QFont());
        b.setAnchor(character);
        for (bool thought : {false, true}) {
            if (thought)
                b.startThought(LongText);
            else
                b.startSpeech(LongText);
            b.reveal(LongText.size());
            const QRect g = b.geometry();
            QVERIFY2(screen.contains(g),
                     qPrintable(u"%1,%2 %3x%4"_s.arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height())));
            QCOMPARE(b.isBelow(), below);
            // It points at the character: the tail ends inside the character's
            // column where that is on screen, and at its edge otherwise.
            const QPoint tip = b.tipOnScreen();
            const int headX = qBound(g.left() + 15, character.center().x(), g.right() - 15);
            QVERIFY2(std::abs(tip.x() - headX) <= 2,
                     qPrintable(u"tip at %1, head at %2"_s.arg(tip.x()).arg(headX)));
            if (below)
                QVERIFY(g.top() > character.top());
            else
                QVERIFY(g.bottom() <= character.top() + size / 4);
            // It does not cover the character's face.
            const QRect face(character.left() + size / 4, character.top() + size / 3, size / 2, size / 4);
            QVERIFY(!g.adjusted(0, below ? 20 : 0, 0, below ? 0 : -20).intersects(face));
        }
    }

    void longSpeechScrolls()
    {
        BalloonWindow b;
        b.setBalloonFont(QFont());
        b.setAnchor(QRect(300, 300, 128, 128));
        b.startSpeech(LongText);
        QCOMPARE(b.visibleText(), QString());
        // Sized for the whole text from the start (up to its line limit), so it does not jump as words come.
        QVERIFY2(b.height() >= QFontMetrics(QFont()).lineSpacing() * BalloonWindow::SpeechLines,
                 qPrintable(QString::number(b.height())));
        b.reveal(LongText.indexOf(u"club."_s) + 5);
        QVERIFY(b.visibleText().startsWith(u"You have a new message"_s));
        QVERIFY(b.visibleText().endsWith(u"club."_s));
        b.reveal(LongText.size());
        // The last words are in view; the first have scrolled away.
        QVERIFY(b.visibleText().endsWith(u"there will be cake."_s));
        QVERIFY(!b.visibleText().startsWith(u"You have"_s));
    }

    void longThoughtTurnsPages()
    {
        BalloonWindow b;
        b.setBalloonFont(QFont());
        b.setAnchor(QRect(300, 300, 128, 128));
        QSignalSpy done(&b, &BalloonWindow::thoughtFinished);
        b.startThought(LongText + u" "_s + LongText);
        QVERIFY(b.pageCount() >= 2);
        QCOMPARE(b.page(), 0);
        QVERIFY(b.visibleText().startsWith(u"You have a new message"_s));
        QVERIFY(QTest::qWaitFor([&] { return b.page() == 1; }, 20000));
        QVERIFY(done.isEmpty() || b.pageCount() == 2);
        QVERIFY(done.wait(40000));
    }
};

QTEST_MAIN(TestAgentWindows)
#include "test_agent_windows.moc"
