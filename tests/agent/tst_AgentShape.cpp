// The character's windows on an X server without a compositor (Xvfb): cut to
// their figure, so the desktop shows around them instead of black boxes, and
// clicks beside the figure reach the window below. When a compositor takes
// the screen's compositor selection, they go back to plain translucency.
#include "agent/engine/CharacterFile.h"
#include "agent/view/BalloonWindow.h"
#include "agent/view/CharacterWindow.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <xcb/xcb.h>

using namespace Qt::Literals::StringLiterals;
using namespace orvella;

namespace {

const QColor Backdrop(30, 140, 90);
const QColor Paper(255, 255, 238);

// A plain window behind the character, in a colour nothing else uses, that
// notes where it was clicked.
class BackdropWindow : public QWidget
{
public:
    BackdropWindow() : QWidget(nullptr, Qt::FramelessWindowHint)
    {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, Backdrop);
        setPalette(pal);
        setAutoFillBackground(true);
        setGeometry(QGuiApplication::primaryScreen()->geometry());
    }
    QList<QPoint> presses;

protected:
    void mousePressEvent(QMouseEvent* e) override { presses << e->globalPosition().toPoint(); }
};

// Another X client that claims the screen's compositor selection, as a
// compositing manager does when it starts; the claim ends with the client.
class FakeCompositor
{
public:
    FakeCompositor()
    {
        int screen = 0;
        m_c = xcb_connect(nullptr, &screen);
        if (xcb_connection_has_error(m_c)) return;
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_c));
        for (int i = 0; i < screen; ++i)
            xcb_screen_next(&it);
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
        xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, quint16(name.size()), name.constData()), nullptr);
        const xcb_window_t w = xcb_generate_id(m_c);
        xcb_create_window(m_c, 0, w, it.data->root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_set_selection_owner(m_c, w, atom->atom, XCB_CURRENT_TIME);
        std::free(xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, atom->atom), nullptr));
        std::free(atom);
    }
    ~FakeCompositor() { xcb_disconnect(m_c); }
    bool ok() const { return !xcb_connection_has_error(m_c); }

private:
    xcb_connection_t* m_c = nullptr;
};

QImage grabScreen(const QRect& r)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
}

bool sameColour(QRgb a, const QColor& b, int tolerance = 3)
{
    return std::abs(qRed(a) - b.red()) <= tolerance && std::abs(qGreen(a) - b.green()) <= tolerance &&
           std::abs(qBlue(a) - b.blue()) <= tolerance;
}

// Compares a window's mask with its smooth, translucent drawing: what is
// drawn solidly must be inside, what is (nearly) clear must be outside.
QString maskMismatch(const QRegion& mask, const QImage& smooth)
{
    int missing = 0, extra = 0;
    QPoint firstMissing, firstExtra;
    for (int y = 0; y < smooth.height(); ++y)
        for (int x = 0; x < smooth.width(); ++x) {
            const int a = qAlpha(smooth.pixel(x, y));
            const bool in = mask.contains(QPoint(x, y));
            if (a >= 192 && !in && missing++ == 0) firstMissing = QPoint(x, y);
            if (a <= 64 && in && extra++ == 0) firstExtra = QPoint(x, y);
        }
    if (!missing && !extra) return QString();
    return u"%1 solid pixels outside the mask (first %2,%3), %4 clear ones inside (first %5,%6)"_s
        .arg(missing)
        .arg(firstMissing.x())
        .arg(firstMissing.y())
        .arg(extra)
        .arg(firstExtra.x())
        .arg(firstExtra.y());
}

// On the screen, every pixel the window leaves clear shows the backdrop
// (never black), and the solid ones show the window.
QString screenMismatch(const QImage& screen, const QImage& smooth)
{
    int black = 0, hidden = 0;
    for (int y = 0; y < smooth.height(); ++y)
        for (int x = 0; x < smooth.width(); ++x) {
            const int a = qAlpha(smooth.pixel(x, y));
            const QRgb s = screen.pixel(x, y);
            if (a == 0 && !sameColour(s, Backdrop)) ++black;
            if (a == 255 && sameColour(s, Backdrop)) ++hidden;
        }
    if (!black && !hidden) return QString();
    return u"%1 clear pixels not showing the backdrop, %2 solid ones showing it"_s.arg(black).arg(hidden);
}

bool runXdotool(const QStringList& args)
{
    return QProcess::execute(u"xdotool"_s, args) == 0;
}

} // namespace

class TestAgentShape : public QObject
{
    Q_OBJECT
private:
    CharacterFile m_file;
    std::unique_ptr<BackdropWindow> m_backdrop;

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), u"xcb"_s);
        QVERIFY2(m_file.load(QStringLiteral(ORVELLA_SOURCE_CHARACTER)), qPrintable(m_file.error()));
        m_backdrop = std::make_unique<BackdropWindow>();
        m_backdrop->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_backdrop.get()));
    }

    void cleanupTestCase() { m_backdrop.reset(); }

    void characterCutToItsFigure_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("animation");
        QTest::addColumn<int>("row");
        QTest::newRow("64, resting") << 64 << u"RestPose"_s << 0;
        QTest::newRow("256, resting") << 256 << u"RestPose"_s << 0;
        QTest::newRow("128, waving") << 128 << u"Wave"_s << 1;
        QTest::newRow("256, bowing") << 256 << u"Greet"_s << 5;
        // Rows with a transform: grown from the feet, not cut at full size.
        QTest::newRow("128, appearing") << 128 << u"Show"_s << 1;
        QTest::newRow("128, swelling") << 128 << u"Hide"_s << 1;
    }

    void characterCutToItsFigure()
    {
        QFETCH(int, size);
        QFETCH(QString, animation);
        QFETCH(int, row);
        const int anim = m_file.findAnimation(animation);
        QVERIFY(anim >= 0);
        CharacterFile::Row r = m_file.animations().at(anim).rows.at(row);
        // A window without translucency cannot fade: the reference is drawn opaque too.
        r.opacity = 1.0;

        CharacterWindow w;
        w.setCharacter(&m_file);
        w.resize(size, size);
        w.move(200, 150);
        w.setShaping(ShapedWindow::Shaping::Translucent);
        w.showFrame(r.frame, r);
        const QImage smooth = w.snapshot();
        QVERIFY(w.shape().isEmpty());

        w.setShaping(ShapedWindow::Shaping::Mask);
        QVERIFY(w.masked());
        const QRegion mask = w.shape();
        QVERIFY(!mask.isEmpty());
        QVERIFY(QRect(0, 0, size, size).contains(mask.boundingRect()));
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)})
            QVERIFY2(!mask.contains(corner), qPrintable(u"corner %1,%2"_s.arg(corner.x()).arg(corner.y())));
        const QString wrong = maskMismatch(mask, smooth);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        // Inside the mask every pixel is drawn solid, in its own colour.
        const QImage shaped = w.snapshot();
        for (const QRect& rect : mask)
            for (int y = rect.top(); y <= rect.bottom(); ++y)
                for (int x = rect.left(); x <= rect.right(); ++x)
                    QCOMPARE(qAlpha(shaped.pixel(x, y)), 255);

        // On the screen: the desktop around the figure, the figure itself.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QString onScreen;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         onScreen = screenMismatch(grabScreen(w.geometry()), smooth);
                         return onScreen.isEmpty();
                     },
                     5000),
                 qPrintable(onScreen));
    }

    void shapeFollowsTheFrame()
    {
        // Wings out, then folded: the outline changes with the frame, and a
        // frame seen before gets back exactly its outline.
        CharacterWindow w;
        w.setCharacter(&m_file);
        w.setGeometry(200, 150, 128, 128);
        w.setShaping(ShapedWindow::Shaping::Mask);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const int wave = m_file.findFrame(u"wave1"_s), rest = m_file.restFrame();
        QVERIFY(wave >= 0);
        w.showFrame(rest);
        const QRegion resting = w.shape();
        w.showFrame(wave);
        const QRegion waving = w.shape();
        QVERIFY(waving != resting);
        w.showFrame(rest);
        QCOMPARE(w.shape(), resting);
        // A new size gets an outline of its own.
        w.resize(64, 64);
        QVERIFY(QRect(0, 0, 64, 64).contains(w.shape().boundingRect()));
        QVERIFY(w.shape().boundingRect().height() > 48);
        // Shrunk to nothing, the window shows nothing (an empty QWidget mask would show it all).
        CharacterFile::Row vanish;
        vanish.frame = rest;
        vanish.scale = 0.001;
        w.showFrame(rest, vanish);
        QVERIFY(!w.shape().isEmpty());
        QVERIFY(w.shape().intersected(w.rect()).isEmpty());
    }

    void balloonCutToItsOutline_data()
    {
        QTest::addColumn<bool>("thought");
        QTest::addColumn<bool>("below");
        QTest::newRow("speech above") << false << false;
        QTest::newRow("speech below") << false << true;
        QTest::newRow("thought above") << true << false;
        QTest::newRow("thought below") << true << true;
    }

    void balloonCutToItsOutline()
    {
        QFETCH(bool, thought);
        QFETCH(bool, below);
        const QString text = u"You have a new message from the garden club about the folding chairs."_s;
        BalloonWindow b;
        b.setBalloonFont(QFont());
        b.setAnchor(QRect(500, below ? 0 : 500, 128, 128));
        b.setShaping(ShapedWindow::Shaping::Translucent);
        if (thought)
            b.startThought(text);
        else
            b.startSpeech(text);
        b.reveal(text.size());
        QCOMPARE(b.isBelow(), below);
        const QImage smooth = b.snapshot();

        b.setShaping(ShapedWindow::Shaping::Mask);
        const QRegion mask = b.shape();
        QVERIFY(!mask.isEmpty());
        const QString wrong = maskMismatch(mask, smooth);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        const QRect r = b.rect();
        for (const QPoint corner : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()})
            QVERIFY2(!mask.contains(corner), qPrintable(u"corner %1,%2"_s.arg(corner.x()).arg(corner.y())));
        // The pointer (or the smallest bubble) is part of it, right where it points.
        const QPoint tip = b.tipOnScreen() - b.pos();
        QVERIFY(!mask.intersected(QRect(tip.x() - 6, tip.y() - 6, 13, 13)).isEmpty());

        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&b));
        QString onScreen;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         const QImage shot = grabScreen(b.geometry());
                         onScreen = screenMismatch(shot, smooth);
                         if (onScreen.isEmpty() && !sameColour(shot.pixel(r.center()), Paper))
                             onScreen = u"no paper in the middle"_s;
                         return onScreen.isEmpty();
                     },
                     5000),
                 qPrintable(onScreen));
    }

    void translucentWhileACompositorRuns()
    {
        CharacterWindow w;
        w.setCharacter(&m_file);
        w.setGeometry(300, 300, 128, 128);
        BalloonWindow b;
        b.setBalloonFont(QFont());
        b.setAnchor(w.geometry());
        b.startSpeech(u"Hello there."_s);

        // Plain Xvfb: no compositor, so both are cut.
        w.show();
        b.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.masked());
        QVERIFY(!w.shape().isEmpty());
        QVERIFY(b.masked());
        QVERIFY(!b.shape().isEmpty());

        {
            FakeCompositor compositor;
            QVERIFY(compositor.ok());
            // Shown windows follow at once...
            QTRY_VERIFY(!w.masked());
            QVERIFY(w.shape().isEmpty());
            // ...and a window shown anew asks again.
            b.hide();
            b.startSpeech(u"Hello again."_s);
            b.show();
            QVERIFY(!b.masked());
            QVERIFY(b.shape().isEmpty());
        }
        // The compositor quit: back to the cut windows.
        QTRY_VERIFY(w.masked());
        QVERIFY(!w.shape().isEmpty());
        QTRY_VERIFY(b.masked());
    }

    void clicksBesideTheFigureGoThrough()
    {
        CharacterWindow w;
        w.setCharacter(&m_file);
        w.setGeometry(600, 400, 128, 128);
        QSignalSpy menu(&w, &CharacterWindow::menuRequested);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.masked());
        m_backdrop->presses.clear();

        // The top left corner is clear: the click lands on the backdrop.
        const QPoint corner = w.geometry().topLeft() + QPoint(2, 2);
        QVERIFY(!w.shape().contains(corner - w.pos()));
        QVERIFY(runXdotool(
            {u"mousemove"_s, QString::number(corner.x()), QString::number(corner.y()), u"click"_s, u"3"_s}));
        QTRY_COMPARE(m_backdrop->presses.size(), 1);
        QCOMPARE(m_backdrop->presses.first(), corner);
        QCOMPARE(menu.size(), 0);

        // The middle of the body belongs to the character.
        const QPoint body = w.geometry().center() + QPoint(0, 20);
        QVERIFY(w.shape().contains(body - w.pos()));
        QVERIFY(runXdotool(
            {u"mousemove"_s, QString::number(body.x()), QString::number(body.y()), u"click"_s, u"3"_s}));
        QTRY_COMPARE(menu.size(), 1);
        QCOMPARE(m_backdrop->presses.size(), 1);
    }
};

QTEST_MAIN(TestAgentShape)
#include "tst_AgentShape.moc"
