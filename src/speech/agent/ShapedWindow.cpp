#include "speech/agent/ShapedWindow.h"

#include "platform/DesktopCompositor.h"
#include "platform/WindowGroup.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QTransform>
#include <QWindow>

namespace orvella {

namespace {

// Runs of covered pixels, row by row; rows with the same runs as the one
// above extend its band. That is the banded, non-overlapping, sorted list
// QRegion::setRects takes as it stands, so no union of thousands of small
// regions is needed (QRegion(QBitmap) would cost two more image conversions
// and fix the threshold).
template <bool Flatten> QRegion scanRegion(QImage& image)
{
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = image.width(), h = image.height();
    QList<QRect> rects;
    QList<int> runs, previous; // x0, x1 pairs of the current and the band's row
    int bandStart = 0;
    qsizetype bandFirst = 0; // index in rects of the open band's first rect
    for (int y = 0; y < h; ++y) {
        QRgb* line = Flatten ? reinterpret_cast<QRgb*>(image.scanLine(y))
                             : const_cast<QRgb*>(reinterpret_cast<const QRgb*>(image.constScanLine(y)));
        runs.clear();
        int x = 0;
        while (x < w) {
            while (x < w && qAlpha(line[x]) < ShapedWindow::MaskThreshold) {
                if constexpr (Flatten) line[x] = 0;
                ++x;
            }
            if (x == w) break;
            const int x0 = x;
            while (x < w && qAlpha(line[x]) >= ShapedWindow::MaskThreshold) {
                if constexpr (Flatten) line[x] = qUnpremultiply(line[x]) | 0xff000000u;
                ++x;
            }
            runs << x0 << x;
        }
        if (y > 0 && runs == previous) {
            for (qsizetype i = bandFirst; i < rects.size(); ++i)
                rects[i].setBottom(y);
            continue;
        }
        bandStart = y;
        bandFirst = rects.size();
        for (qsizetype i = 0; i < runs.size(); i += 2)
            rects << QRect(runs[i], bandStart, runs[i + 1] - runs[i], 1);
        previous.swap(runs);
    }
    QRegion region;
    region.setRects(rects.constData(), int(rects.size()));
    const qreal dpr = image.devicePixelRatio();
    if (dpr != 1.0) region = QTransform::fromScale(1 / dpr, 1 / dpr).map(region);
    return region;
}

} // namespace

ShapedWindow::ShapedWindow(Qt::WindowFlags flags) : QWidget(nullptr, flags)
{
    if (DesktopCompositor* c = DesktopCompositor::instance()) {
        connect(c, &DesktopCompositor::changed, this, [this] {
            if (m_shaping == Shaping::Auto && isVisible()) refresh();
        });
    }
}

QRegion ShapedWindow::alphaRegion(const QImage& image)
{
    QImage copy = image; // shared, unless it needs converting
    return scanRegion<false>(copy);
}

QRegion ShapedWindow::flattenToRegion(QImage& image)
{
    return scanRegion<true>(image);
}

void ShapedWindow::setShaping(Shaping shaping)
{
    m_shaping = shaping;
    // Asking the display waits for its answer: do it when it matters, as the window shows.
    if (shaping != Shaping::Auto || isVisible()) refresh();
}

void ShapedWindow::showEvent(QShowEvent* e)
{
    // A compositor may have started or stopped while the window was hidden.
    // Sent before the window is mapped, so it appears with the right shape.
    if (m_shaping == Shaping::Auto) refresh();
    applyShape(true);
    // Out of the program's window group, so the program's dialogs can be
    // raised above it (see leaveWindowGroup).
    platform::leaveWindowGroup(this);
    QWidget::showEvent(e);
}

void ShapedWindow::refresh()
{
    bool masked = m_shaping == Shaping::Mask;
    if (m_shaping == Shaping::Auto) {
        DesktopCompositor* c = DesktopCompositor::instance();
        masked = c && !c->isActive(this);
    }
    if (masked == m_masked) return;
    m_masked = masked;
    if (!masked) {
        m_shape = QRegion();
        applyShape();
    }
    shapingChanged();
}

void ShapedWindow::setShape(const QRegion& region)
{
    // X Shape cuts to the client region within the window's own bounds: a
    // pixel outside them leaves nothing at all.
    m_shape = region.isEmpty() ? QRegion(-1, -1, 1, 1) : region;
    applyShape();
}

void ShapedWindow::applyShape(bool again)
{
    // The cut goes to the window on the screen, not to the widget: a widget
    // mask would also clip the painting to it, and drawing through such a
    // clip goes span by span (on Qt's thread pool) where a plain copy does.
    // Outside the figure the pictures are clear anyway. A window not made
    // yet gets its cut when it shows, and so does one made anew; otherwise
    // only a change goes out.
    QWindow* w = windowHandle();
    if (!w) return;
    const QRegion cut = m_masked ? m_shape : QRegion();
    if (again ? !cut.isEmpty() || !w->mask().isEmpty() : w->mask() != cut) w->setMask(cut);
}

} // namespace orvella
