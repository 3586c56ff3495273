#pragma once

#include "speech/agent/CharacterFile.h"
#include "speech/agent/ShapedWindow.h"

#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QRegion>
#include <memory>

class QSvgRenderer;

namespace orvella {

// The character on the desktop: a frameless, translucent, always-on-top tool
// window that never takes the focus. It draws one frame of the character file
// (with the row's transform and the mouth of the moment) at any size, can be
// dragged, and reports right clicks and double clicks. Without a compositor
// it is cut to the figure of the frame it shows.
class CharacterWindow : public ShapedWindow
{
    Q_OBJECT
public:
    CharacterWindow();
    ~CharacterWindow() override;

    // The file must outlive its use here; nullptr clears.
    void setCharacter(const CharacterFile* file);
    void showFrame(int frame, const CharacterFile::Row& row);
    void showFrame(int frame) { showFrame(frame, CharacterFile::Row()); }
    int currentFrame() const { return m_frame; }
    // While speaking, the index into the file's speaking mouths; -1 for the frame's own.
    void setSpeakingMouth(int level);
    int speakingMouth() const { return m_speakingMouth; }
    QString currentMouth() const;

    // The window as it would look on screen, transparent around the character.
    QImage snapshot();

Q_SIGNALS:
    void menuRequested(const QPoint& globalPos);
    void doubleClicked();
    // The window moved or changed size (a drag, MoveTo, a new size).
    void geometryChanged();

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void contextMenuEvent(QContextMenuEvent*) override;
    void moveEvent(QMoveEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void shapingChanged() override;

private:
    // A frame drawn for a window without translucency, and its outline.
    struct Shape
    {
        QImage image;
        QRegion region;
    };

    QSvgRenderer* renderer(int frame, const QString& mouth);
    void paintCharacter(QPainter& p);
    void renderFrame(QPainter& p, qreal opacity);
    QString shapeKey() const;
    // Masked: puts the mask and the picture of the current frame in place.
    void updateShape();

    const CharacterFile* m_file = nullptr;
    int m_frame = -1;
    CharacterFile::Row m_row;
    int m_speakingMouth = -1;
    QHash<QString, std::shared_ptr<QSvgRenderer>> m_renderers;
    QHash<QString, QPixmap> m_pixmaps; // plain frames at the current size
    QHash<QString, Shape> m_shapes;    // masked: frames by frame, mouth, row and size
    QString m_shapeKey;                // masked: the one in place
    Shape m_shape;
    QPoint m_pressPos;
    bool m_pressed = false;
    bool m_dragging = false;
};

} // namespace orvella
