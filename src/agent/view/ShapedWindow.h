#pragma once

#include <QRegion>
#include <QWidget>

class QImage;

namespace orvella {

// A frameless window that shows only what it draws. Where the desktop
// composes, it is translucent and its soft edges blend with what lies below.
// Where it does not, translucency would show as black, so the window is cut
// to its figure with a mask instead (X Shape): only the drawn pixels show and
// clicks elsewhere go to whatever lies below.
class ShapedWindow : public QWidget
{
    Q_OBJECT
public:
    enum class Shaping {
        Auto,       // follow the desktop: masked while no compositor runs
        Mask,       // always masked
        Translucent // never masked
    };

    // A pixel belongs to the figure when at least this much of it is covered.
    static constexpr int MaskThreshold = 128;

    void setShaping(Shaping shaping);
    Shaping shaping() const { return m_shaping; }
    // The window is cut to its figure rather than drawn translucent.
    bool masked() const { return m_masked; }
    // The region the window is cut to (in its own coordinates); empty while
    // it is not masked.
    QRegion shape() const { return m_shape; }

    // The pixels at least MaskThreshold opaque, in the image's logical pixels.
    static QRegion alphaRegion(const QImage& image);
    // The same, and makes the image fit for a window without translucency:
    // the pixels inside turn fully opaque in their own colour (not darkened
    // by their coverage), the ones outside fully clear.
    static QRegion flattenToRegion(QImage& image);

protected:
    explicit ShapedWindow(Qt::WindowFlags flags);
    void showEvent(QShowEvent* e) override;

    // Masked or not has changed: set the mask (or not) and repaint.
    virtual void shapingChanged() = 0;
    // Cuts the window to region. An empty region hides everything, where
    // QWidget::setMask would take it as "no mask" and show the whole window.
    void setShape(const QRegion& region);

private:
    void refresh();
    void applyShape(bool again = false);

    Shaping m_shaping = Shaping::Auto;
    bool m_masked = false;
    QRegion m_shape;
};

} // namespace orvella
