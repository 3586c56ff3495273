#include "agent/view/CharacterWindow.h"

#include "platform/WindowSystem.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSemaphore>
#include <QSvgRenderer>
#include <QThreadPool>
#include <QWindow>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace orvella {

namespace {

// Pictures kept for the frames that come again: every frame an idle
// animation shows, with room for the speaking mouths and a gesture or two.
// At the usual 128 pixels that is about thirty; a large character keeps fewer.
constexpr int PictureBudgetKiB = 2 * 1024;

} // namespace

CharacterWindow::CharacterWindow()
    : ShapedWindow(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      m_pictures(PictureBudgetKiB)
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
    m_pictures.clear();
    m_pictureKey.clear();
    m_picture = Picture();
    m_frame = file ? file->restFrame() : -1;
    m_row = CharacterFile::Row();
    m_speakingMouth = -1;
    refresh();
}

void CharacterWindow::showFrame(int frame, const CharacterFile::Row& row)
{
    if (!m_file || frame < 0 || frame >= m_file->frames().size()) return;
    m_frame = frame;
    m_row = row;
    refresh();
}

void CharacterWindow::setSpeakingMouth(int level)
{
    if (m_file) level = qBound(-1, level, int(m_file->speakingMouths().size()) - 1);
    if (level == m_speakingMouth) return;
    m_speakingMouth = level;
    if (!m_file || m_frame < 0 || !m_file->frames().at(m_frame).usesMouth) return;
    refresh();
}

QString CharacterWindow::currentMouth() const
{
    if (!m_file || m_frame < 0) return QString();
    const CharacterFile::Frame& f = m_file->frames().at(m_frame);
    if (!f.usesMouth || f.mouth.isEmpty()) return f.mouth;
    if (m_speakingMouth >= 0) return m_file->speakingMouths().at(m_speakingMouth);
    return f.mouth;
}

QString CharacterWindow::pictureKey() const
{
    if (!m_file || m_frame < 0 || size().isEmpty()) return QString();
    // Masked, opacity is left out: a window without translucency cannot
    // fade, so Show and Hide carry on by their scale alone.
    return QString::number(m_frame) + u'/' + currentMouth() + u'/' + QString::number(width()) + u'x' +
           QString::number(height()) + u'@' + QString::number(devicePixelRatioF()) + u'/' +
           QString::number(m_row.scale) + u',' + QString::number(m_row.dx) + u',' +
           QString::number(m_row.dy) + u',' + QString::number(m_row.rotate) +
           (masked() ? u"/masked"_s : u'/' + QString::number(m_row.opacity));
}

void CharacterWindow::drawVectors(QPainter& p, qreal opacity) const
{
    // Parsed for this picture only: a document per frame and mouth would
    // stay in memory long after its picture is made.
    QSvgRenderer r(m_file->frameDocument(m_frame, currentMouth()));
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
    r.render(&p, target);
    p.restore();
}

bool CharacterWindow::updatePicture()
{
    const QString key = pictureKey();
    if (key == m_pictureKey) return false;
    m_pictureKey = key;
    if (key.isEmpty()) {
        m_picture = Picture();
        return true;
    }
    if (const Picture* kept = m_pictures.object(key)) {
        m_picture = *kept;
        return true;
    }
    const qreal dpr = devicePixelRatioF();
    auto made = std::make_unique<Picture>();
    made->image = QImage(size() * dpr, QImage::Format_ARGB32_Premultiplied);
    made->image.setDevicePixelRatio(dpr);
    made->image.fill(Qt::transparent);
    // Qt splits every large fill over the threads of its pool, unless it is
    // drawn on one of them: drawn there, a picture wakes one thread, not
    // every thread of the pool a few dozen times. This thread waits; nothing
    // else runs in the pool.
    QSemaphore drawn;
    QThreadPool::globalInstance()->start([&] {
        QPainter p(&made->image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        drawVectors(p, masked() ? 1.0 : m_row.opacity);
        p.end();
        drawn.release();
    });
    drawn.acquire();
    if (masked()) made->region = flattenToRegion(made->image);
    m_picture = *made;
    // The steps of Show and Hide (the rows that move, turn, scale or fade)
    // come once a showing: they are not kept.
    if (m_row.plain()) {
        const qsizetype kib = made->image.sizeInBytes() / 1024 + 1;
        m_pictures.insert(key, made.release(), kib);
    }
    return true;
}

bool CharacterWindow::placePicture()
{
    if (!updatePicture()) return false;
    if (masked()) setShape(m_picture.region);
    return true;
}

void CharacterWindow::refresh()
{
    // A hidden window is drawn as it shows (it may never show, and until it
    // does its size may be Qt's default); a masked one keeps its outline ready.
    if (!isVisible() && !masked()) return;
    if (!placePicture()) return;
    if (masked())
        // Now, not at the next update: the new outline must not show the old
        // frame (or black where it had none) for a moment.
        repaint();
    else
        update();
}

void CharacterWindow::shapingChanged()
{
    m_pictures.clear();
    m_pictureKey.clear();
    m_picture = Picture();
    refresh();
    update();
}

void CharacterWindow::paintEvent(QPaintEvent*)
{
    placePicture();
    QPainter p(this);
    // The picture is the whole window: copied as it is, transparent pixels
    // included. No smooth transform hint: with it even a plain copy is
    // blended span by span on Qt's thread pool.
    p.setCompositionMode(QPainter::CompositionMode_Source);
    if (m_picture.image.isNull())
        p.fillRect(rect(), Qt::transparent);
    else
        p.drawImage(0, 0, m_picture.image);
}

QImage CharacterWindow::snapshot()
{
    placePicture();
    QImage img(size(), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    if (!m_picture.image.isNull()) p.drawImage(0, 0, m_picture.image);
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
    if (platform::nativeWayland()) {
        // A Wayland client cannot move its own window: the compositor moves
        // it for the rest of this press, and the release goes to it as well.
        m_pressed = false;
        if (QWindow* w = windowHandle()) w->startSystemMove();
        return;
    }
    m_dragging = true;
    move(target);
}

void CharacterWindow::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        const bool dragged = m_dragging;
        m_pressed = false;
        m_dragging = false;
        if (dragged) Q_EMIT dragFinished();
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
    // Pictures of another size will not come back unless the size does.
    m_pictures.clear();
    refresh();
    Q_EMIT geometryChanged();
}

void CharacterWindow::hideEvent(QHideEvent* e)
{
    // Nothing is shown: only the picture in place is kept, for the next showing.
    m_pictures.clear();
    ShapedWindow::hideEvent(e);
}

} // namespace orvella
