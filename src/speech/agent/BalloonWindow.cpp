#include "speech/agent/BalloonWindow.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTextLayout>
#include <QTextOption>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

constexpr qreal PadX = 10;
constexpr qreal PadY = 7;
constexpr qreal Tail = 16; // from the body to the tip
constexpr qreal Radius = 9;
constexpr qreal Outline = 1.5;
constexpr int Shadow = 3; // room right and below for the balloon's shadow
constexpr qreal Puff = 7; // the thought cloud's puffs stand out this far around its text
const QColor Paper(255, 255, 238);
const QColor Ink(40, 40, 48);

QString plainLine(QString text)
{
    // Line ends and tabs would break the balloon's own wrapping; one blank for
    // one character keeps every index where the spoken word events put it.
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = u' ';
    }
    return text;
}

} // namespace

BalloonWindow::BalloonWindow()
    : ShapedWindow(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setObjectName(u"BalloonWindow"_s);
    m_pageTimer.setSingleShot(true);
    connect(&m_pageTimer, &QTimer::timeout, this, &BalloonWindow::nextPage);
}

BalloonWindow::~BalloonWindow() = default;

void BalloonWindow::setBalloonFont(const QFont& font)
{
    m_font = font;
    if (m_layout) {
        layoutText();
        place();
        update();
    }
}

void BalloonWindow::setAnchor(const QRect& character)
{
    m_anchor = character;
    if (m_layout) {
        place();
        update();
    }
}

void BalloonWindow::startSpeech(const QString& text)
{
    m_pageTimer.stop();
    m_thought = false;
    m_text = plainLine(text);
    m_revealed = 0;
    m_page = 0;
    layoutText();
    place();
    update();
}

void BalloonWindow::reveal(qsizetype upTo)
{
    upTo = qBound<qsizetype>(0, upTo, m_text.size());
    if (upTo == m_revealed) return;
    m_revealed = upTo;
    update();
}

void BalloonWindow::startThought(const QString& text)
{
    m_thought = true;
    m_text = plainLine(text);
    m_revealed = m_text.size();
    m_page = -1;
    layoutText();
    place();
    nextPage();
}

void BalloonWindow::nextPage()
{
    if (!m_thought || !m_layout) return;
    if (m_page + 1 >= pageCount()) {
        Q_EMIT thoughtFinished();
        return;
    }
    ++m_page;
    update();
    // Time to read the page: a moment to look, then about 200 words a minute.
    int words = 0;
    const int first = m_page * ThoughtLines;
    const int last = qMin(m_layout->lineCount(), first + ThoughtLines);
    if (first < last) {
        const QTextLine a = m_layout->lineAt(first), b = m_layout->lineAt(last - 1);
        const QStringView page =
            QStringView(m_text).mid(a.textStart(), b.textStart() + b.textLength() - a.textStart());
        bool inWord = false;
        for (QChar c : page) {
            if (!c.isSpace() && !inWord) ++words;
            inWord = !c.isSpace();
        }
    }
    m_pageTimer.start(qMin(1200 + words * 300, 15000));
}

int BalloonWindow::pageCount() const
{
    if (!m_layout) return 0;
    return qMax(1, (m_layout->lineCount() + ThoughtLines - 1) / ThoughtLines);
}

void BalloonWindow::close()
{
    m_pageTimer.stop();
    m_layout.reset();
    m_text.clear();
    m_revealed = 0;
    hide();
}

void BalloonWindow::layoutText()
{
    const QFontMetricsF fm(m_font);
    const qreal maxWidth = qBound<qreal>(150, fm.averageCharWidth() * 34, 480);
    m_layout = std::make_unique<QTextLayout>(m_text, m_font);
    QTextOption opt;
    opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_layout->setTextOption(opt);
    m_layout->beginLayout();
    qreal y = 0;
    while (true) {
        QTextLine line = m_layout->createLine();
        if (!line.isValid()) break;
        line.setLineWidth(maxWidth);
        line.setPosition(QPointF(0, y));
        y += fm.lineSpacing();
    }
    m_layout->endLayout();
}

int BalloonWindow::visibleLines() const
{
    if (!m_layout) return 0;
    return qMax(1, qMin(m_layout->lineCount(), m_thought ? ThoughtLines : SpeechLines));
}

int BalloonWindow::firstVisibleLine() const
{
    if (!m_layout || m_layout->lineCount() == 0) return 0;
    if (m_thought) return qMax(0, m_page) * ThoughtLines;
    // Keep the line being spoken in view, the earlier ones scrolling away.
    const QTextLine current = m_layout->lineForTextPosition(int(qMax<qsizetype>(0, m_revealed - 1)));
    const int at = current.isValid() ? current.lineNumber() : 0;
    return qMax(0, at - SpeechLines + 1);
}

QString BalloonWindow::visibleText() const
{
    if (!m_layout) return QString();
    QString out;
    const int first = firstVisibleLine();
    const int last = qMin(m_layout->lineCount(), first + visibleLines());
    for (int i = first; i < last; ++i) {
        const QTextLine l = m_layout->lineAt(i);
        qsizetype end = l.textStart() + l.textLength();
        end = qMin(end, m_revealed);
        if (end > l.textStart()) out += m_text.mid(l.textStart(), end - l.textStart());
    }
    return out.simplified();
}

BalloonWindow::Placement BalloonWindow::placementFor(const QRect& anchor) const
{
    Placement out;
    if (!m_layout) return out;
    const QFontMetricsF fm(m_font);
    qreal textWidth = 0;
    for (int i = 0; i < m_layout->lineCount(); ++i)
        textWidth = qMax(textWidth, m_layout->lineAt(i).naturalTextWidth());
    const qreal cloud = m_thought ? 2 * Puff : 0;
    const qreal bodyW = std::ceil(qMax<qreal>(textWidth, fm.averageCharWidth() * 6) + 2 * PadX + cloud);
    const qreal bodyH = std::ceil(visibleLines() * fm.lineSpacing() + 2 * PadY + cloud);
    const qreal extra = m_thought ? Tail + 6 : Tail;

    QScreen* screen = QGuiApplication::screenAt(anchor.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);

    // Point at the head: a little below the top of the window, where the
    // character's face is; from below, point at its chest.
    const qreal headX = anchor.center().x();
    const qreal tipAbove = anchor.top() + anchor.height() * 0.12;
    const qreal tipBelow = anchor.top() + anchor.height() * 0.80;
    out.below = tipAbove - extra - bodyH < avail.top();
    const qreal bodyW2 = qMin<qreal>(bodyW, avail.width() - Shadow);
    qreal left = qBound<qreal>(avail.left(), headX - bodyW2 / 2, avail.right() + 1 - bodyW2 - Shadow);
    qreal top;
    if (!out.below) {
        top = tipAbove - extra - bodyH;
    } else {
        top = tipBelow + extra;
        // A character taller than the room below: the balloon still stays on screen.
        top = qMin(top, avail.bottom() + 1 - bodyH - Shadow);
    }
    top = qMax<qreal>(top, avail.top() + (out.below ? extra : 0));
    out.window = QRect(int(left), int(out.below ? top - extra : top), int(bodyW2) + Shadow,
                       int(bodyH + extra) + Shadow);
    out.body = out.below ? QRectF(0, extra, bodyW2, bodyH) : QRectF(0, 0, bodyW2, bodyH);
    out.body.adjust(Outline, Outline, -Outline, -Outline);
    const qreal tipX = qBound<qreal>(Radius + 6, headX - out.window.left(), bodyW2 - Radius - 6);
    out.tip = QPointF(tipX, out.below ? 0.5 : out.window.height() - Shadow - 0.5);
    return out;
}

QRect BalloonWindow::geometryFor(const QRect& character) const
{
    return placementFor(character).window;
}

void BalloonWindow::place()
{
    if (!m_layout) return;
    const Placement p = placementFor(m_anchor);
    m_below = p.below;
    m_body = p.body;
    m_tip = p.tip;
    const QRect win = p.window;
    setGeometry(win);
    // Dragging the character moves the balloon along without changing its
    // outline; the cloud's is worth keeping (simplifying it takes a while).
    const QString key = QString::number(win.width()) + u'x' + QString::number(win.height()) + u'/' +
                        QString::number(m_body.x()) + u',' + QString::number(m_body.y()) + u',' +
                        QString::number(m_body.width()) + u',' + QString::number(m_body.height()) + u'/' +
                        QString::number(m_tip.x()) + u',' + QString::number(m_tip.y()) + u'/' +
                        (m_thought ? u't' : u's');
    if (key == m_outlineKey) return;
    m_outlineKey = key;
    m_outline = makeOutline();
    updateShape();
}

QPainterPath BalloonWindow::makeOutline() const
{
    QPainterPath shape;
    if (!m_thought) {
        shape.addRoundedRect(m_body, Radius, Radius);
        const qreal edge = m_below ? m_body.top() : m_body.bottom();
        const qreal baseX = qBound(m_body.left() + Radius + 6, m_tip.x() + (m_below ? 10 : -10),
                                   m_body.right() - Radius - 14);
        QPainterPath tail;
        tail.moveTo(baseX, edge + (m_below ? 2 : -2));
        tail.lineTo(m_tip);
        tail.lineTo(baseX + 14, edge + (m_below ? 2 : -2));
        tail.closeSubpath();
        shape = shape.united(tail);
    } else {
        // A cloud: puffs all round the text's rounded box.
        const QRectF inner = m_body.adjusted(Puff, Puff, -Puff, -Puff);
        QPainterPath cloud;
        cloud.setFillRule(Qt::WindingFill);
        cloud.addRoundedRect(inner, Radius, Radius);
        const int across = qMax(2, int(inner.width() / (Puff * 1.7)));
        const int down = qMax(1, int(inner.height() / (Puff * 1.7)));
        for (int i = 0; i <= across; ++i) {
            const qreal x = inner.left() + inner.width() * i / across;
            cloud.addEllipse(QPointF(x, inner.top()), Puff, Puff);
            cloud.addEllipse(QPointF(x, inner.bottom()), Puff, Puff);
        }
        for (int i = 1; i < down; ++i) {
            const qreal y = inner.top() + inner.height() * i / down;
            cloud.addEllipse(QPointF(inner.left(), y), Puff, Puff);
            cloud.addEllipse(QPointF(inner.right(), y), Puff, Puff);
        }
        shape = cloud.simplified();
        // Bubbles rising from the character's head to the cloud.
        const qreal edge = m_below ? m_body.top() : m_body.bottom();
        const QPointF from(m_tip.x(), edge);
        for (int i = 0; i < 3; ++i) {
            const qreal t = (i + 1) / 3.6;
            const QPointF c = from + (m_tip - from) * t;
            const qreal r = 4.5 - i * 1.2;
            shape.addEllipse(c, r, r);
        }
    }
    return shape;
}

void BalloonWindow::updateShape()
{
    if (!masked() || !m_layout) return;
    QImage img(size(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Ink, Outline));
    p.setBrush(Paper);
    p.drawPath(m_outline);
    p.end();
    setShape(alphaRegion(img));
}

void BalloonWindow::shapingChanged()
{
    updateShape();
    update();
}

void BalloonWindow::paintBalloon(QPainter& p)
{
    if (!m_layout) return;
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath& shape = m_outline;
    if (masked()) {
        // No translucency: the soft shadow would be solid black, and the
        // outline's soft edge blends with the ink behind it, never with black.
        p.fillRect(rect(), Ink);
    } else {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 40));
        p.drawPath(shape.translated(1.5, 2.0));
    }
    p.setPen(QPen(Ink, Outline));
    p.setBrush(Paper);
    p.drawPath(shape);

    const QFontMetricsF fm(m_font);
    p.setFont(m_font);
    p.setPen(Ink);
    const int first = firstVisibleLine();
    const int last = qMin(m_layout->lineCount(), first + visibleLines());
    const QRectF text = m_thought ? m_body.adjusted(Puff, Puff, -Puff, -Puff) : m_body;
    const qreal top =
        text.top() + PadY - Outline - (first < m_layout->lineCount() ? m_layout->lineAt(first).y() : 0);
    const qreal left = text.left() + PadX - Outline;
    for (int i = first; i < last; ++i) {
        const QTextLine l = m_layout->lineAt(i);
        const qsizetype end = qMin<qsizetype>(l.textStart() + l.textLength(), m_revealed);
        if (end <= l.textStart()) break;
        const QString part = m_text.mid(l.textStart(), end - l.textStart());
        p.drawText(QPointF(left, top + l.y() + l.ascent()), part);
    }
}

void BalloonWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    paintBalloon(p);
}

QImage BalloonWindow::snapshot()
{
    QImage img(size(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    paintBalloon(p);
    if (masked() && !shape().isEmpty()) {
        // What the cut takes away is not on the screen.
        p.setClipRegion(QRegion(rect()).subtracted(shape()));
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(rect(), Qt::transparent);
    }
    return img;
}

} // namespace orvella
