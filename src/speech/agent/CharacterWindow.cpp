#include "speech/agent/CharacterWindow.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// Rendered frames kept for the current size; a character has a few dozen.
constexpr int MaxCachedPixmaps = 160;
// Masked frames: every frame with its mouths, plus the steps of Show and Hide.
constexpr int MaxCachedShapes = 160;

} // namespace

CharacterWindow::CharacterWindow()
    : ShapedWindow(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    setObjectName(u"CharacterWindow"_s);
    setWindowTitle(u"Orvella character"_s);
}

CharacterWindow::~CharacterWindow() = default;

void CharacterWindow::setCharacter(const CharacterFile* file)
{
    m_file = file;
    m_renderers.clear();
    m_pixmaps.clear();
    m_shapes.clear();
    m_shapeKey.clear();
    m_frame = file ? file->restFrame() : -1;
    m_row = CharacterFile::Row();
    m_speakingMouth = -1;
    updateShape();
    update();
}

void CharacterWindow::showFrame(int frame, const CharacterFile::Row& row)
{
    if (!m_file || frame < 0 || frame >= m_file->frames().size()) return;
    m_frame = frame;
    m_row = row;
    if (masked())
        updateShape();
    else
        update();
}

void CharacterWindow::setSpeakingMouth(int level)
{
    if (m_file) level = qBound(-1, level, int(m_file->speakingMouths().size()) - 1);
    if (level == m_speakingMouth) return;
    m_speakingMouth = level;
    if (!m_file || m_frame < 0 || !m_file->frames().at(m_frame).usesMouth) return;
    if (masked())
        updateShape();
    else
        update();
}

QString CharacterWindow::currentMouth() const
{
    if (!m_file || m_frame < 0) return QString();
    const CharacterFile::Frame& f = m_file->frames().at(m_frame);
    if (!f.usesMouth || f.mouth.isEmpty()) return f.mouth;
    if (m_speakingMouth >= 0) return m_file->speakingMouths().at(m_speakingMouth);
    return f.mouth;
}

QSvgRenderer* CharacterWindow::renderer(int frame, const QString& mouth)
{
    const QString key = QString::number(frame) + u'/' + mouth;
    auto it = m_renderers.find(key);
    if (it == m_renderers.end()) {
        auto r = std::make_shared<QSvgRenderer>(m_file->frameDocument(frame, mouth));
        it = m_renderers.insert(key, r);
    }
    return it->get();
}

void CharacterWindow::paintCharacter(QPainter& p)
{
    if (!m_file || m_frame < 0) return;
    if (masked()) {
        p.drawImage(0, 0, m_shape.image);
        return;
    }
    const QString mouth = currentMouth();
    if (m_row.plain()) {
        QSvgRenderer* r = renderer(m_frame, mouth);
        const QRectF target(0, 0, width(), height());
        // Idle and speaking frames repeat; keep them drawn.
        const qreal dpr = devicePixelRatioF();
        const QString key = QString::number(m_frame) + u'/' + mouth;
        auto it = m_pixmaps.find(key);
        if (it == m_pixmaps.end() || it->size() != (size() * dpr)) {
            if (m_pixmaps.size() >= MaxCachedPixmaps) m_pixmaps.clear();
            QPixmap pm(size() * dpr);
            pm.setDevicePixelRatio(dpr);
            pm.fill(Qt::transparent);
            QPainter pp(&pm);
            pp.setRenderHint(QPainter::Antialiasing);
            pp.setRenderHint(QPainter::SmoothPixmapTransform);
            r->render(&pp, target);
            pp.end();
            it = m_pixmaps.insert(key, pm);
        }
        p.drawPixmap(0, 0, *it);
        return;
    }
    renderFrame(p, m_row.opacity);
}

void CharacterWindow::renderFrame(QPainter& p, qreal opacity)
{
    QSvgRenderer* r = renderer(m_frame, currentMouth());
    const QRectF target(0, 0, width(), height());
    const double sx = width() / double(m_file->width());
    const double sy = height() / double(m_file->height());
    p.save();
    p.setOpacity(opacity);
    // Scale and turn about the feet, so the character grows out of and
    // shrinks into the spot it stands on.
    p.translate(width() / 2.0 + m_row.dx * sx, height() + m_row.dy * sy);
    p.rotate(m_row.rotate);
    p.scale(m_row.scale, m_row.scale);
    p.translate(-width() / 2.0, -height());
    r->render(&p, target);
    p.restore();
}

QString CharacterWindow::shapeKey() const
{
    // Opacity is left out: a window without translucency cannot fade, so
    // Show and Hide carry on by their scale alone.
    return QString::number(m_frame) + u'/' + currentMouth() + u'/' + QString::number(width()) + u'x' +
           QString::number(height()) + u'@' + QString::number(devicePixelRatioF()) + u'/' +
           QString::number(m_row.scale) + u',' + QString::number(m_row.dx) + u',' +
           QString::number(m_row.dy) + u',' + QString::number(m_row.rotate);
}

void CharacterWindow::updateShape()
{
    if (!masked()) return;
    if (!m_file || m_frame < 0 || size().isEmpty()) {
        m_shapeKey.clear();
        m_shape = Shape();
        setShape(QRegion());
        return;
    }
    const QString key = shapeKey();
    if (key == m_shapeKey) return;
    auto it = m_shapes.constFind(key);
    if (it == m_shapes.cend()) {
        if (m_shapes.size() >= MaxCachedShapes) m_shapes.clear();
        const qreal dpr = devicePixelRatioF();
        Shape s;
        s.image = QImage(size() * dpr, QImage::Format_ARGB32_Premultiplied);
        s.image.setDevicePixelRatio(dpr);
        s.image.fill(Qt::transparent);
        QPainter p(&s.image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        renderFrame(p, 1.0);
        p.end();
        s.region = flattenToRegion(s.image);
        it = m_shapes.insert(key, s);
    }
    m_shapeKey = key;
    m_shape = *it;
    setShape(m_shape.region);
    // Now, not at the next update: the new outline must not show the old
    // frame (or black where it had none) for a moment.
    repaint();
}

void CharacterWindow::shapingChanged()
{
    m_shapes.clear();
    m_shapeKey.clear();
    m_shape = Shape();
    updateShape();
    update();
}

void CharacterWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    paintCharacter(p);
}

QImage CharacterWindow::snapshot()
{
    // A hidden window gets its resize event only when it shows.
    updateShape();
    QImage img(size(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    paintCharacter(p);
    return img;
}

void CharacterWindow::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        m_pressed = true;
        m_dragging = false;
        m_pressPos = e->globalPosition().toPoint() - pos();
    }
}

void CharacterWindow::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_pressed || !(e->buttons() & Qt::LeftButton)) return;
    const QPoint target = e->globalPosition().toPoint() - m_pressPos;
    if (!m_dragging && (target - pos()).manhattanLength() < QApplication::startDragDistance()) return;
    m_dragging = true;
    move(target);
}

void CharacterWindow::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        m_pressed = false;
        m_dragging = false;
    }
}

void CharacterWindow::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) Q_EMIT doubleClicked();
}

void CharacterWindow::contextMenuEvent(QContextMenuEvent* e)
{
    Q_EMIT menuRequested(e->globalPos());
}

void CharacterWindow::moveEvent(QMoveEvent*)
{
    Q_EMIT geometryChanged();
}

void CharacterWindow::resizeEvent(QResizeEvent*)
{
    m_pixmaps.clear();
    updateShape();
    Q_EMIT geometryChanged();
}

} // namespace orvella
